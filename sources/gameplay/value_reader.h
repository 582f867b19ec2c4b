#pragma once

// Reads values out of an element of a parsed XML document: required child elements, points
// written as "X"/"Y" children, and named custom properties. Level files, their loader and the
// shell share it. Every failure raises vadu::Gluck; nothing here logs.

#include "vadu/math.h"
#include "vadu/string.h"
#include "vadu/xml_document.h"

namespace gameplay {

class ValueReader {
public:
    using Element = vadu::xml::parser::Node;

    // The child element of that name; raises "Unable to find node " + name when missing.
    static Element CheckNodeForNull(const Element& element, const vadu::String& name);
    // The required child's text; an empty child raises the document's "No data in " + name.
    static vadu::String ReadString(const Element& element, const vadu::String& name);
    // The required child's text as a float; text that is not a number raises, naming the child.
    static float ReadNumber(const Element& element, const vadu::String& name);
    // A required child with "X" and "Y" children.
    static vadu::math::Vector2<float> ReadVector2(const Element& element, const vadu::String& name);

    // The value of the first "Property" under the element's "CustomProperties" whose "Name"
    // is exactly name: its "string" child's text, or its own text without one; empty when
    // no property matches. A missing "CustomProperties" raises.
    static vadu::String ReadCustomProperty(const Element& element, const vadu::String& name);
    static bool IsCustomPropertyExist(const Element& element, const vadu::String& name);

    // A property converted to a number; empty text (or no such property) reads 0. Text that
    // is not a number raises, naming the property.
    static int ReadInt(const Element& element, const vadu::String& name);
    static float ReadFloat(const Element& element, const vadu::String& name);
};

} // namespace gameplay
