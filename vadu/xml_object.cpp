#include "vadu/xml_object.h"

#include <iterator>

#include <utf8.h>

#include "vadu/exception.h"

namespace vadu::xml {

namespace {

// UTF-8 to UTF-16. utfcpp's own exception must not leave the engine: callers catch only
// vadu::Gluck.
WString decode(const String& text, const char* function, const char* what)
{
    WString result;
    try {
        std::u16string units;
        utf8::utf8to16(text.data(), text.data_end(), std::back_inserter(units));
        if (!units.empty())
            result = WString(units.data(), units.data() + units.size());
    } catch (const utf8::exception&) {
        throw Gluck(function, String("Invalid UTF-8 in ") + what);
    }
    return result;
}

} // namespace

Object::~Object() = default;

bool Object::OnEndNode(Provider&) { return true; }

void Object::OnSaveAttributes(Saver&) {}

void Object::OnSaveNodes(Saver&) {}

void Object::OnSaveContent(Saver&) {}

bool Object::dispatch_node(Provider& provider, const String& name)
{
    if (unicode_) {
        const WString wide = decode(name, "vadu::xml::Object::dispatch_node", "an element name");
        if (unicode_->OnNode(provider, wide))
            return true;
    }
    if (ansi_)
        return ansi_->OnNode(provider, name);
    return false;
}

bool Object::dispatch_attribute(Provider& provider, const String& name, const String& value)
{
    if (unicode_) {
        const char* function = "vadu::xml::Object::dispatch_attribute";
        const WString wide_name = decode(name, function, "an attribute name");
        const WString wide_value = decode(value, function, "an attribute value");
        if (unicode_->OnAttribute(provider, wide_name, wide_value))
            return true;
    }
    if (ansi_)
        return ansi_->OnAttribute(provider, name, value);
    return false;
}

bool ObjectANSI::OnNode(Provider&, const String&) { return false; }

bool ObjectANSI::OnAttribute(Provider&, const String&, const String&) { return false; }

bool ObjectUnicode::OnNode(Provider&, const WString&) { return false; }

bool ObjectUnicode::OnAttribute(Provider&, const WString&, const WString&) { return false; }

Provider::~Provider() = default;

Root::Root(Object& target, const String& root_name) : target_(&target), root_name_(root_name) {}

bool Root::OnNode(Provider& provider, const String& name)
{
    if (!(name == root_name_))
        return false;
    return provider.ParseObject(*target_);
}

bool Root::OnNode(Provider& provider, const WString& name)
{
    if (!(name == wide_root_name_))
        return false;
    return provider.ParseObject(*target_);
}

} // namespace vadu::xml
