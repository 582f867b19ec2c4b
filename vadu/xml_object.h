#pragma once

#include "vadu/string.h"

namespace vadu::xml {

class ObjectANSI;
class ObjectUnicode;
class Provider;
class Saver;

// Base of every object that is filled from an XML element and can write itself back.
// A loader derives from ObjectANSI (narrow names and values), ObjectUnicode (wide ones)
// or both; both share this one virtual base, which keeps a pointer to each part.
class Object {
public:
    Object() = default;
    // A copy is a new object: its handler pointers are set by its own parts, never
    // copied from the source.
    Object(const Object&) noexcept {}
    Object& operator=(const Object&) noexcept { return *this; }
    virtual ~Object();

    // Called once the element has ended, after all its attributes and children; false
    // fails the parse.
    virtual bool OnEndNode(Provider& provider);
    virtual void OnSaveAttributes(Saver& saver);
    virtual void OnSaveNodes(Saver& saver);
    virtual void OnSaveContent(Saver& saver);

    ObjectANSI* get_ansi_handler() const noexcept { return ansi_; }
    ObjectUnicode* get_unicode_handler() const noexcept { return unicode_; }

    // Offers a child element (name in UTF-8) to the wide handler, then to the narrow
    // one; the first acceptance wins. The wide handler gets the name decoded to UTF-16,
    // the narrow one the UTF-8 bytes unchanged. Invalid UTF-8 raises vadu::Gluck when a
    // wide handler is present.
    bool dispatch_node(Provider& provider, const String& name);
    // The same for an attribute; both name and value are UTF-8.
    bool dispatch_attribute(Provider& provider, const String& name, const String& value);

private:
    friend class ObjectANSI;
    friend class ObjectUnicode;

    ObjectANSI* ansi_ = nullptr;
    ObjectUnicode* unicode_ = nullptr;
};

class ObjectANSI : public virtual Object {
public:
    ObjectANSI() noexcept { ansi_ = this; }
    ObjectANSI(const ObjectANSI&) noexcept : Object() { ansi_ = this; }
    ObjectANSI& operator=(const ObjectANSI&) noexcept { return *this; }

    // Accepting a child means having the provider parse it into an object and returning
    // that result.
    virtual bool OnNode(Provider& provider, const String& name);
    virtual bool OnAttribute(Provider& provider, const String& name, const String& value);
};

class ObjectUnicode : public virtual Object {
public:
    ObjectUnicode() noexcept { unicode_ = this; }
    ObjectUnicode(const ObjectUnicode&) noexcept : Object() { unicode_ = this; }
    ObjectUnicode& operator=(const ObjectUnicode&) noexcept { return *this; }

    virtual bool OnNode(Provider& provider, const WString& name);
    virtual bool OnAttribute(Provider& provider, const WString& name, const WString& value);
};

// The reader as the handlers see it.
class Provider {
public:
    virtual ~Provider();
    // Fills the object from the element the reader stands on: its attributes, its
    // children, then OnEndNode. True when the element was read completely.
    virtual bool ParseObject(Object& object) = 0;
};

// Binds a document's root element, by exact name, to the object that is filled from it.
// The wide root name stays empty, so the name matches through the narrow interface.
class Root : public ObjectANSI, public ObjectUnicode {
public:
    // The target is not owned and must outlive the load.
    Root(Object& target, const String& root_name);

    bool OnNode(Provider& provider, const String& name) override;
    bool OnNode(Provider& provider, const WString& name) override;

private:
    Object* target_;
    String root_name_;
    WString wide_root_name_;
};

} // namespace vadu::xml
