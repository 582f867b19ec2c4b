#include "sources/gameplay/value_reader.h"

#include "vadu/converter.h"
#include "vadu/exception.h"

namespace gameplay {

namespace {

using Element = ValueReader::Element;

// The property element of that name, or a null node; raises for a missing "CustomProperties".
Element FindProperty(const Element& element, const vadu::String& name, const char* function)
{
    const Element properties = element.find_child("CustomProperties");
    if (properties.is_null())
        throw vadu::Gluck(function, "Unable to find CustomProperties");
    for (const Element& property : properties.get_children("Property")) {
        const vadu::String propertyName = property.get_attribute("Name");
        if (propertyName == name)
            return property;
    }
    return Element();
}

// The text of an element that may have none.
vadu::String TextOf(const Element& element)
{
    if (!element.has_child("text"))
        return vadu::String();
    return element.GetValue();
}

vadu::String PropertyText(const Element& property)
{
    const Element text = property.find_child("string");
    return text.is_null() ? TextOf(property) : TextOf(text);
}

} // namespace

Element ValueReader::CheckNodeForNull(const Element& element, const vadu::String& name)
{
    for (const Element& child : element.get_children(name))
        return child;
    throw vadu::Gluck("ValueReader::CheckNodeForNull", vadu::String("Unable to find node ") + name);
}

vadu::String ValueReader::ReadString(const Element& element, const vadu::String& name)
{
    return CheckNodeForNull(element, name).GetValue();
}

float ValueReader::ReadNumber(const Element& element, const vadu::String& name)
{
    const vadu::String text = ReadString(element, name);
    float value = 0.0f;
    if (!vadu::converter::convert(text, &value))
        throw vadu::Gluck("ValueReader::ReadNumber", vadu::String("Not a number in ") + name + ": " + text);
    return value;
}

vadu::math::Vector2<float> ValueReader::ReadVector2(const Element& element, const vadu::String& name)
{
    const Element point = CheckNodeForNull(element, name);
    return {ReadNumber(point, "X"), ReadNumber(point, "Y")};
}

vadu::String ValueReader::ReadCustomProperty(const Element& element, const vadu::String& name)
{
    const Element property = FindProperty(element, name, "ValueReader::ReadCustomProperty");
    return property.is_null() ? vadu::String() : PropertyText(property);
}

bool ValueReader::IsCustomPropertyExist(const Element& element, const vadu::String& name)
{
    return !FindProperty(element, name, "ValueReader::IsCustomPropertyExist").is_null();
}

int ValueReader::ReadInt(const Element& element, const vadu::String& name)
{
    const vadu::String text = ReadCustomProperty(element, name);
    int32_t value = 0;
    if (!text.empty() && !vadu::converter::convert(text, &value))
        throw vadu::Gluck("ValueReader::ReadInt", vadu::String("Property ") + name + " is not a number: " + text);
    return value;
}

float ValueReader::ReadFloat(const Element& element, const vadu::String& name)
{
    const vadu::String text = ReadCustomProperty(element, name);
    float value = 0.0f;
    if (!text.empty() && !vadu::converter::convert(text, &value))
        throw vadu::Gluck("ValueReader::ReadFloat", vadu::String("Property ") + name + " is not a number: " + text);
    return value;
}

} // namespace gameplay
