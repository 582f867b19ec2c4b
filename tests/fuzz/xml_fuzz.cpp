// libFuzzer target: the XML stream reader and object binding over any bytes, with a
// tree that takes every element and attribute (through the wide and the narrow
// interface), then what the writer makes of that tree read back again; and the
// document parser over the same bytes. Built only with QUILLO_FUZZ (clang); run by
// `make fuzz`.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/log.h"
#include "vadu/xml_document.h"
#include "vadu/xml_reader.h"
#include "vadu/xml_writer.h"

namespace {

using namespace vadu;

// Deeper documents are refused, as a real loader bounds its nesting.
constexpr int max_depth = 200;

// Takes everything: names starting with "W" through the wide interface, the rest
// through the narrow one; writes itself back the same way.
class Anything : public xml::ObjectANSI, public xml::ObjectUnicode {
public:
    explicit Anything(int depth = 0) : depth_(depth) {}

    bool OnAttribute(xml::Provider&, const WString& name, const WString& value) override
    {
        if (name.empty() || name[0] != u'W')
            return false;
        wide_attributes_.push_back({name, value});
        return true;
    }
    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        attributes_.push_back({name, value});
        return true;
    }
    bool OnNode(xml::Provider& provider, const WString& name) override
    {
        if (name.empty() || name[0] != u'W')
            return false;
        return take(provider, wide_children_, name);
    }
    bool OnNode(xml::Provider& provider, const String& name) override
    {
        return take(provider, children_, name);
    }

    void OnSaveAttributes(xml::Saver& saver) override
    {
        for (const auto& [name, value] : attributes_)
            saver.save_attribute(name, value);
        for (const auto& [name, value] : wide_attributes_)
            saver.save_attribute(name, value);
    }
    void OnSaveNodes(xml::Saver& saver) override
    {
        for (auto& [name, child] : children_)
            saver.save_element(name, *child);
        for (auto& [name, child] : wide_children_)
            saver.save_element(name, *child);
    }

    size_t size() const { return children_.size() + wide_children_.size(); }
    const String& first_name() const { return children_.empty() ? empty_ : children_.front().first; }

private:
    template <class Name>
    bool take(xml::Provider& provider, std::vector<std::pair<Name, std::unique_ptr<Anything>>>& into, const Name& name)
    {
        if (depth_ >= max_depth)
            return false;
        into.push_back({name, std::make_unique<Anything>(depth_ + 1)});
        return provider.ParseObject(*into.back().second);
    }

    int depth_;
    String empty_;
    std::vector<std::pair<String, String>> attributes_;
    std::vector<std::pair<WString, WString>> wide_attributes_;
    std::vector<std::pair<String, std::unique_ptr<Anything>>> children_;
    std::vector<std::pair<WString, std::unique_ptr<Anything>>> wide_children_;
};

class StringSink : public xml::Sink {
public:
    void write(const char* first, const char* last) override { text.append(first, last); }
    void flush() override {}
    std::string text;
};

bool load(const uint8_t* data, size_t size, Anything& into)
{
    filesystem::MemoryStream stream(std::vector<uint8_t>(data, data + size));
    try {
        return xml::StreamResource(&stream).load(into);
    } catch (const Gluck&) {
        return false;
    }
}

void walk(const xml::parser::Node& node, int depth)
{
    if (depth > max_depth)
        return;
    node.get_name();
    node.get_attribute("Name");
    try {
        node.get_attribute_w("Name");
        node.GetValueW();
    } catch (const Gluck&) {
    }
    for (const xml::parser::Node& child : node.get_all_children())
        walk(child, depth + 1);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Refused names and parse errors are logged; the lines go nowhere here.
    logs::set_log(std::make_unique<logs::Stream>(nullptr));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The document holder's root takes the document's own root element.
    Anything document;
    if (load(data, size, document) && document.size() == 1) {
        // What the writer makes of an accepted tree must read back as the same tree.
        StringSink sink;
        {
            xml::SaverImpl saver(sink);
            document.OnSaveNodes(saver);
        }
        Anything again;
        if (!load(reinterpret_cast<const uint8_t*>(sink.text.data()), sink.text.size(), again))
            __builtin_trap();
        StringSink second;
        {
            xml::SaverImpl saver(second);
            again.OnSaveNodes(saver);
        }
        if (second.text != sink.text)
            __builtin_trap();
    }

    xml::parser::Document parsed(data, size);
    walk(parsed.get_root(), 0);
    return 0;
}
