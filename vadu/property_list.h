#pragma once

#include <cstdint>
#include <map>

#include "vadu/atom.h"
#include "vadu/string.h"
#include "vadu/xml_object.h"

namespace vadu::xml {

// A flat list of named values, by default <Property Name="..." Value="..."/> children,
// read into a name-to-text map. Numbers asked for are cached (defaults too) and folded
// back into the text, as "%g", before the next read and before saving.
class PropertyList : public ObjectANSI {
public:
    // One item element: its name and value attributes, nothing else.
    class Item : public ObjectANSI, public ObjectUnicode {
    public:
        Item(const WString& name_attribute, const WString& value_attribute);

        bool OnAttribute(Provider& provider, const WString& name, const WString& value) override;
        bool OnAttribute(Provider& provider, const String& name, const String& value) override;
        void OnSaveAttributes(Saver& saver) override;

        WString value;
        Atom name;

    private:
        WString name_attribute_;
        WString value_attribute_;
    };

    PropertyList();
    PropertyList(const String& element_name, const String& name_attribute, const String& value_attribute);

    bool OnNode(Provider& provider, const String& name) override;
    void OnSaveNodes(Saver& saver) override;

    // The caller puts the default into value; on return it holds the list's number. A
    // text without digits gives 0; the result is cached, so a later call returns it
    // whatever its default.
    void get_double(const Atom& name, double& value);
    // get_double truncated toward zero; beyond the int range it saturates, NaN gives 0.
    int32_t get_int(const Atom& name, int32_t default_value);
    // The text as a boolean word (true, 1, True, TRUE and their negatives); a missing
    // name or another text is false.
    bool get_bool(const Atom& name) const;

private:
    void fold_cache();

    std::map<Atom, WString> texts_;
    String element_name_;
    String name_attribute_;
    String value_attribute_;
    std::map<Atom, double> numbers_;
};

} // namespace vadu::xml
