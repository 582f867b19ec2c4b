#include "vadu/property_list.h"

#include <cmath>
#include <limits>

#include "vadu/converter.h"
#include "vadu/xml_writer.h"

namespace vadu::xml {

namespace {

WString widen(const String& text)
{
    WString wide;
    wide.append_narrow(text);
    return wide;
}

} // namespace

PropertyList::Item::Item(const WString& name_attribute, const WString& value_attribute)
    : name_attribute_(name_attribute), value_attribute_(value_attribute)
{
}

bool PropertyList::Item::OnAttribute(Provider&, const WString& name, const WString& text)
{
    if (name == value_attribute_) {
        value = text;
        return true;
    }
    if (name == name_attribute_)
        return converter::convert(text, &this->name);
    return false;
}

bool PropertyList::Item::OnAttribute(Provider&, const String& name, const String& text)
{
    const WString wide_name = widen(name);
    if (wide_name == value_attribute_) {
        value = widen(text);
        return true;
    }
    if (wide_name == name_attribute_) {
        this->name = Atom(text);
        return true;
    }
    return false;
}

void PropertyList::Item::OnSaveAttributes(Saver& saver)
{
    // The wide value goes out as it is: narrowing it to ANSI first would lose what the
    // code page lacks.
    write_attribute_value(saver, name_attribute_, widen(name.get_name()));
    write_attribute_value(saver, value_attribute_, value);
}

PropertyList::PropertyList() : PropertyList("Property", "Name", "Value") {}

PropertyList::PropertyList(const String& element_name, const String& name_attribute,
                           const String& value_attribute)
    : element_name_(element_name), name_attribute_(name_attribute), value_attribute_(value_attribute)
{
}

void PropertyList::fold_cache()
{
    for (const auto& [name, number] : numbers_) {
        char16_t text[converter::wide_print_capacity];
        const int count = converter::print_double_w(text, number);
        texts_[name] = count > 0 ? WString(text, text + count) : WString();
    }
    numbers_.clear();
}

bool PropertyList::OnNode(Provider& provider, const String& name)
{
    fold_cache();
    if (!(name == element_name_))
        return false;
    Item item(widen(name_attribute_), widen(value_attribute_));
    if (!provider.ParseObject(item))
        return false;
    texts_[item.name] = item.value;
    return true;
}

void PropertyList::OnSaveNodes(Saver& saver)
{
    fold_cache();
    Item item(widen(name_attribute_), widen(value_attribute_));
    for (const auto& [name, text] : texts_) {
        item.name = name;
        item.value = text;
        saver.save_element(element_name_, item);
    }
}

void PropertyList::get_double(const Atom& name, double& value)
{
    if (const auto cached = numbers_.find(name); cached != numbers_.end()) {
        value = cached->second;
        return;
    }
    if (const auto found = texts_.find(name); found != texts_.end()) {
        // The parser itself, not convert: a text without digits must give 0.
        const WString& text = found->second;
        converter::parse_double_w(text.data(), text.data_end(), &value);
    }
    numbers_[name] = value;
}

int32_t PropertyList::get_int(const Atom& name, int32_t default_value)
{
    double value = default_value;
    get_double(name, value);
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0)
        return std::numeric_limits<int32_t>::max();
    if (value <= -2147483649.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

bool PropertyList::get_bool(const Atom& name) const
{
    const auto found = texts_.find(name);
    if (found == texts_.end())
        return false;
    bool value = false;
    return converter::convert(found->second, &value) && value;
}

} // namespace vadu::xml
