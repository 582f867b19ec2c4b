#include "sources/Screens/store_manager.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "vadu/exception.h"
#include "vadu/log.h"
#include "vadu/stream.h"
#include "vadu/xml_document.h"

namespace {

std::unique_ptr<StoreManager>& instance_slot()
{
    static std::unique_ptr<StoreManager> instance;
    return instance;
}

// Leading blanks, an optional sign and the digits that follow; anything else ends the
// number, and no digits at all give 0.
int32_t to_int(const vadu::String& text)
{
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = false;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > std::numeric_limits<int32_t>::max())
            value = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

} // namespace

int32_t SaturatingAdd(int32_t a, int32_t b)
{
    const int64_t sum = static_cast<int64_t>(a) + b;
    if (sum > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (sum < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(sum);
}

StoreManager::StoreManager(const vadu::filesystem::String& path)
{
    std::vector<char> bytes;
    try {
        std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
        if (stream && stream->is_good()) {
            bytes.resize(stream->get_size());
            if (!bytes.empty())
                bytes.resize(stream->read(bytes.data(), static_cast<uint32_t>(bytes.size())));
        }
    } catch (const vadu::Gluck& error) {
        vadu::logs::log() << "StoreManager: " << error.get_description() << "\n";
    }
    vadu::xml::parser::Document document(bytes.data(), bytes.size());
    const vadu::xml::parser::Node root = document.get_root();
    if (root.is_null()) {
        vadu::logs::log() << "StoreManager: no catalogue in " << path.get_text() << "\n";
        return;
    }
    for (const vadu::xml::parser::Node& element : root.get_children("Purchase")) {
        Purchase purchase;
        purchase.points = to_int(element.get_attribute("Points"));
        purchase.identifier = element.get_attribute("Identifier");
        try {
            purchase.price = element.get_attribute_w("Price");
            purchase.text = element.get_attribute_w("Text");
        } catch (const vadu::Gluck& error) {
            vadu::logs::log() << "StoreManager: " << error.get_description() << "\n";
        }
        purchase.zenUnlock = element.get_attribute("ZenUnlock") == vadu::String("true");
        purchases.push_back(std::move(purchase));
    }
}

StoreManager& StoreManager::Instance()
{
    if (!instance_slot())
        instance_slot() = std::make_unique<StoreManager>();
    return *instance_slot();
}

void StoreManager::ResetInstance()
{
    instance_slot().reset();
}

const Purchase* StoreManager::FindPurchase(const vadu::String& identifier) const
{
    for (const Purchase& purchase : purchases) {
        if (purchase.identifier.size() == identifier.size() &&
            std::equal(identifier.data(), identifier.data() + identifier.size(), purchase.identifier.data()))
            return &purchase;
    }
    return purchases.empty() ? nullptr : &purchases.front();
}
