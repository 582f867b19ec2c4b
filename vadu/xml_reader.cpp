#include "vadu/xml_reader.h"


#include <string>

#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>
#include <utf8.h>

#include "vadu/exception.h"
#include "vadu/log.h"

namespace vadu::xml {

namespace {

constexpr int element_node = XML_READER_TYPE_ELEMENT;          // 1
constexpr int end_element_node = XML_READER_TYPE_END_ELEMENT;  // 15

int read_callback(void* context, char* buffer, int length)
{
    if (length <= 0)
        return 0;
    // An exception must not unwind through libxml2's C frames.
    try {
        auto* reader = static_cast<LibxmlResourceReader*>(context);
        return static_cast<int>(reader->get_stream().read(buffer, static_cast<uint32_t>(length)));
    } catch (...) {
        return -1;
    }
}

// The line the reader's current node starts on; the parser itself may have read ahead.
int line_of_current_node(xmlTextReaderPtr reader)
{
    const xmlNodePtr node = xmlTextReaderCurrentNode(reader);
    const long line = node ? xmlGetLineNo(node) : -1;
    return line > 0 ? static_cast<int>(line) : xmlTextReaderGetParserLineNumber(reader);
}

String text_of(const xmlChar* text)
{
    return String(reinterpret_cast<const char*>(text));
}

} // namespace

LibxmlResourceReader::LibxmlResourceReader(Stream& stream) : stream_(&stream)
{
    // A stale record from an earlier parse must not be reported as this document's.
    xmlResetLastError();
    reader_ = xmlReaderForIO(read_callback, nullptr, this, nullptr, nullptr, XML_PARSE_RECOVER);
    if (!reader_)
        throw Gluck("vadu::xml::LibxmlResourceReader::LibxmlResourceReader", "Failed to create libxml reader");
    xmlTextReaderSetStructuredErrorHandler(reader_, on_error, this);
}

LibxmlResourceReader::~LibxmlResourceReader()
{
    xmlFreeTextReader(reader_);
}

void LibxmlResourceReader::on_error(void* context, xmlError* error)
{
    auto* self = static_cast<LibxmlResourceReader*>(context);
    if (!self || !error || error->level != XML_ERR_FATAL || self->has_fatal_error_)
        return;
    self->has_fatal_error_ = true;
    self->fatal_error_line_ = error->line;
    try {
        std::string message = error->message ? error->message : "";
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
            message.pop_back();
        self->fatal_error_ = String(message.c_str());
    } catch (...) {
        // Out of memory: the flag alone still fails the load.
    }
}

StreamResourceImpl::StreamResourceImpl(Stream* stream, const filesystem::String& resource)
    : stream_(stream), resource_(resource)
{
}

StreamResourceImpl::~StreamResourceImpl() = default;

bool StreamResourceImpl::load(Object& root)
{
    if (!stream_)
        return false;
    reader_.reset();
    problem_ = String();
    reader_ = std::make_unique<LibxmlResourceReader>(*stream_);
    return ParseObject(root);
}

void StreamResourceImpl::fail(const char* function, const String& description) const
{
    if (!resource_.empty())
        throw GluckBadResource(function, description, resource_);
    throw Gluck(function, description);
}

void StreamResourceImpl::check_read(int result) const
{
    // Recovery mode may carry on over a damaged document; its first fatal error fails
    // the load all the same.
    if (result >= 0 && !reader_->has_fatal_error())
        return;
    String message = reader_->get_fatal_error();
    int line = reader_->get_fatal_error_line();
    if (const xmlError* last = xmlGetLastError(); !reader_->has_fatal_error() && last && last->message) {
        std::string text = last->message;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        message = String(text.c_str());
        line = last->line;
    }
    if (line > 0)
        message += format(" (line %d)", line);
    fail("vadu::xml::StreamResourceImpl::ParseObject", "Libxml2 refused to parse document: " + message);
}

void StreamResourceImpl::check_utf8(const Object& object, const String& text, const char* what) const
{
    // Only the wide handlers decode; narrow ones take the bytes as they are.
    if (!object.get_unicode_handler() || utf8::is_valid(text.data(), text.data_end()))
        return;
    const int line = xmlTextReaderGetParserLineNumber(reader_->get());
    fail("vadu::xml::StreamResource::load", format("Invalid UTF-8 in %s (line %d)", what, line));
}

bool StreamResourceImpl::ParseObject(Object& object)
{
    xmlTextReaderPtr reader = reader_->get();

    if (xmlTextReaderHasAttributes(reader) == 1) {
        const int element_line = line_of_current_node(reader);
        while (xmlTextReaderMoveToNextAttribute(reader) == 1) {
            const String name = text_of(xmlTextReaderConstName(reader));
            const String value = text_of(xmlTextReaderConstValue(reader));
            check_utf8(object, name, "an attribute name");
            check_utf8(object, value, "an attribute value");
            if (!object.dispatch_attribute(*this, name, value)) {
                refuse("attribute", name, element_line);
                return false;
            }
        }
        xmlTextReaderMoveToElement(reader);
    }

    if (xmlTextReaderNodeType(reader) == element_node && xmlTextReaderIsEmptyElement(reader) == 1)
        return object.OnEndNode(*this);

    for (;;) {
        const int result = xmlTextReaderRead(reader);
        check_read(result);
        if (result == 0)
            return true;
        const int type = xmlTextReaderNodeType(reader);
        if (type == element_node) {
            const String name = text_of(xmlTextReaderConstName(reader));
            check_utf8(object, name, "an element name");
            const int line = line_of_current_node(reader);
            if (!object.dispatch_node(*this, name)) {
                refuse("element", name, line);
                return false;
            }
        } else if (type == end_element_node) {
            return object.OnEndNode(*this);
        }
    }
}

void StreamResourceImpl::refuse(const char* what, const String& name, int line)
{
    if (!problem_.empty())
        return;
    problem_ = String("refused ") + what + " \"" + name + "\"" + format(" (line %d)", line);
    String where = resource_.empty() ? String() : String(" in ") + resource_.get_text();
    log_refused_name("XML: " + problem_ + where);
}

StreamResource::StreamResource(Stream* stream) : StreamResource(stream, filesystem::String()) {}

StreamResource::StreamResource(Stream* stream, const filesystem::String& resource)
    : impl_(std::make_unique<StreamResourceImpl>(stream, resource))
{
}

StreamResource::~StreamResource() = default;

bool StreamResource::load(Object& root)
{
    return impl_->load(root);
}

const String& StreamResource::get_problem() const noexcept
{
    return impl_->get_problem();
}

void log_refused_name(const String& text)
{
    const String line = text + "\n";
    try {
        logs::log() << line;
    } catch (const Gluck&) {
        // No log: the caller reports the failed load itself.
    }
}

} // namespace vadu::xml
