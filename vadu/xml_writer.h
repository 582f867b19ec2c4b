#pragma once

#include <cstdint>

#include "vadu/filesystem.h"
#include "vadu/string.h"

namespace vadu::xml {

class Object;

// Where written XML goes.
class Sink {
public:
    virtual ~Sink();
    virtual void write(const char* first, const char* last) = 0;
    virtual void flush() = 0;
};

// A native file opened for writing (its folders are created); closed with the sink.
class FileSink : public Sink {
public:
    explicit FileSink(const filesystem::String& path);
    ~FileSink() override;

    void write(const char* first, const char* last) override;
    void flush() override;

    bool is_open() const { return file_.is_open(); }
    // Open, and every write and flush so far went through completely.
    bool is_good() const { return file_.is_open() && good_; }

private:
    filesystem::File file_;
    bool good_ = true;
};

// What the save operations of bound objects write through. Text goes out as UTF-8: wide
// text is encoded, narrow text that is valid UTF-8 is kept and any other narrow text is
// read as ANSI (1252). Attribute values and content are escaped, so any value gives
// well-formed XML that reads back to the same text.
class Saver {
public:
    virtual ~Saver();

    // Attributes belong to the element whose start tag is open; elsewhere they are
    // ignored and the result is false.
    virtual bool save_attribute(const WString& name, const WString& value) = 0;
    virtual bool save_attribute(const String& name, const String& value) = 0;
    // The same between single quotation marks.
    virtual bool save_attribute_single(const WString& name, const WString& value) = 0;
    virtual bool save_attribute_single(const String& name, const String& value) = 0;
    // A child element: the object's attributes, child elements and content, in that order.
    virtual bool save_element(const WString& name, Object& object) = 0;
    virtual bool save_element(const String& name, Object& object) = 0;
    virtual bool save_content(const String& text) = 0;

    // An ANSI value, widened, written with the quoting that suits it.
    void write_attribute(const String& name, const String& value);
};

// Picks the quotation marks: double unless the value holds a double quote, then single
// unless it also holds a single one; a value with both is double-quoted with "&quot;".
void write_attribute_value(Saver& saver, const String& name, const String& value);
void write_attribute_value(Saver& saver, const WString& name, const WString& value);

// Indented XML to a sink: one tab per level, empty elements self-closed.
class SaverImpl : public Saver {
public:
    enum State : int32_t { tag_open = 0, tag_has_attributes = 1, element_closed = 2, content_written = 3 };

    // The sink is not owned.
    explicit SaverImpl(Sink& sink);

    bool save_attribute(const WString& name, const WString& value) override;
    bool save_attribute(const String& name, const String& value) override;
    bool save_attribute_single(const WString& name, const WString& value) override;
    bool save_attribute_single(const String& name, const String& value) override;
    bool save_element(const WString& name, Object& object) override;
    bool save_element(const String& name, Object& object) override;
    bool save_content(const String& text) override;

    int32_t get_state() const { return state_; }
    int32_t get_depth() const { return depth_; }

private:
    bool write_attribute_text(const String& name, const String& value, char quote);
    void write(const char* text);
    void write(const String& text);
    void write_indent();

    int32_t state_ = element_closed;
    int32_t depth_ = 0;
    Sink* sink_;
};

// "<?xml version=\"1.0\"?>\n\n"
extern const char xml_declaration[];

// A whole document: the declaration, then the root object as the element root_name.
void save_document(Sink& sink, const String& root_name, Object& root);

} // namespace vadu::xml
