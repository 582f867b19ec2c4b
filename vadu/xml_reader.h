#pragma once

#include <memory>

#include "vadu/path.h"
#include "vadu/stream.h"
#include "vadu/string.h"
#include "vadu/xml_object.h"

struct _xmlError;
struct _xmlTextReader;

namespace vadu::xml {

// libxml2's streaming text reader over an engine stream, from the stream's current
// position. Records the first fatal parse error, so that a damaged document never
// passes as loaded, and keeps libxml2 from printing it.
class LibxmlResourceReader {
public:
    // Throws vadu::Gluck when libxml2 cannot create the reader.
    explicit LibxmlResourceReader(Stream& stream);
    ~LibxmlResourceReader();
    LibxmlResourceReader(const LibxmlResourceReader&) = delete;
    LibxmlResourceReader& operator=(const LibxmlResourceReader&) = delete;

    _xmlTextReader* get() const noexcept { return reader_; }
    Stream& get_stream() const noexcept { return *stream_; }

    bool has_fatal_error() const noexcept { return has_fatal_error_; }
    // libxml2's message for the first fatal error, without its line break; empty when
    // there was none. The first is the one that says what is wrong: recovery turns
    // it into the later ones.
    const String& get_fatal_error() const noexcept { return fatal_error_; }
    // The line of that error; 0 when unknown.
    int get_fatal_error_line() const noexcept { return fatal_error_line_; }

private:
    static void on_error(void* context, ::_xmlError* error);

    Stream* stream_;
    _xmlTextReader* reader_ = nullptr;
    bool has_fatal_error_ = false;
    String fatal_error_;
    int fatal_error_line_ = 0;
};

// The Provider over a stream: walks the document and drives the bound objects.
class StreamResourceImpl : public Provider {
public:
    // The stream is not owned and may be null. The resource path, when known, is named
    // in the exceptions of a document that cannot be read.
    StreamResourceImpl(Stream* stream, const filesystem::String& resource);
    ~StreamResourceImpl() override;

    // A fresh reader over the stream's current position, then the root object's parse.
    bool load(Object& root);
    bool ParseObject(Object& object) override;

    // What made the last load fail without an exception ("refused attribute \"x\"
    // (line 3)"); empty when nothing was refused.
    const String& get_problem() const noexcept { return problem_; }

private:
    // Records and logs the first refused name of a load; the enclosing elements that
    // fail because of it add nothing.
    void refuse(const char* what, const String& name, int line);

    [[noreturn]] void fail(const char* function, const String& description) const;
    void check_read(int result) const;
    void check_utf8(const Object& object, const String& text, const char* what) const;

    Stream* stream_;
    filesystem::String resource_;
    std::unique_ptr<LibxmlResourceReader> reader_;
    String problem_;
};

// An XML document in a stream, loaded into a bound object tree:
//
//   auto stream = vadu::filesystem::open(path);
//   vadu::xml::StreamResource resource(stream.get(), path);
//   vadu::xml::Root root(loader, "Animation");
//   if (!resource.load(root)) throw vadu::GluckBadResource(...);
//
// load returns false for a null stream and for a name that a handler refuses; the first
// refused name goes to the engine log with its kind, line and resource, and get_problem
// tells it for the loader's own exception. A document that is not well-formed, or whose
// text is not UTF-8, raises vadu::GluckBadResource naming the resource, or vadu::Gluck
// when it was made without one; the description carries libxml2's first error and its
// line. The stream is not owned. Loading again starts a fresh reader at the
// stream's current position.
class StreamResource {
public:
    explicit StreamResource(Stream* stream);
    StreamResource(Stream* stream, const filesystem::String& resource);
    virtual ~StreamResource();
    StreamResource(const StreamResource&) = delete;
    StreamResource& operator=(const StreamResource&) = delete;

    virtual bool load(Object& root);
    // See StreamResourceImpl::get_problem.
    const String& get_problem() const noexcept;

private:
    std::unique_ptr<StreamResourceImpl> impl_;
};

// Writes the line + "\n" to the engine log when there is one.
void log_refused_name(const String& line);

} // namespace vadu::xml
