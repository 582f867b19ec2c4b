#pragma once

// Small element readers shared by the framework's loaders.

#include "vadu/converter.h"
#include "vadu/path.h"
#include "vadu/string.h"
#include "vadu/xml_object.h"

namespace game::detail {

// An element whose one attribute "Path" names a file; nothing else is accepted.
class PathElement : public vadu::xml::ObjectANSI {
public:
    bool OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        if (name == "Path") {
            path = value;
            has_path = true;
            return true;
        }
        return false;
    }

    vadu::String path;
    bool has_path = false;
};

// An element with exactly one child "Resource" holding "Path".
class ResourceHolder : public vadu::xml::ObjectANSI {
public:
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override
    {
        if (name != "Resource")
            return false;
        PathElement element;
        if (!provider.ParseObject(element))
            return false;
        path = element.path;
        has_path = element.has_path;
        return true;
    }

    vadu::String path;
    bool has_path = false;
};

inline vadu::filesystem::String to_path(const vadu::String& text)
{
    return vadu::filesystem::String(text, true);
}

} // namespace game::detail
