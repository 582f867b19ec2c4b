#include "vadu/xml_writer.h"

#include <cstring>
#include <iterator>
#include <string>

#include <utf8.h>

#include "vadu/xml_object.h"

namespace vadu::xml {

namespace {

// Code points that XML 1.0 cannot carry at all, not even as references.
bool is_xml_char(uint32_t c)
{
    if (c < 0x20)
        return c == '\t' || c == '\n' || c == '\r';
    if (c >= 0xD800 && c <= 0xDFFF)
        return false;
    return c != 0xFFFE && c != 0xFFFF && c <= 0x10FFFF;
}

void append_utf8(std::string& out, uint32_t c)
{
    utf8::append(is_xml_char(c) ? c : static_cast<uint32_t>('?'), std::back_inserter(out));
}

// UTF-16 to UTF-8; a lone surrogate, and any code point XML cannot carry, becomes "?".
std::string utf8_of(const WString& text)
{
    std::u16string units(text.data(), text.data_end());
    // utfcpp refuses unpaired surrogates: they go first.
    for (size_t i = 0; i < units.size(); ++i) {
        if (utf8::internal::is_lead_surrogate(units[i]) && i + 1 < units.size() &&
            utf8::internal::is_trail_surrogate(units[i + 1]))
            ++i;
        else if (utf8::internal::is_surrogate(units[i]))
            units[i] = u'?';
    }
    std::string decoded;
    utf8::utf16to8(units.begin(), units.end(), std::back_inserter(decoded));
    std::string out;
    out.reserve(decoded.size());
    for (auto it = decoded.begin(); it != decoded.end();)
        append_utf8(out, utf8::unchecked::next(it));
    return out;
}

// Narrow text that is not UTF-8 is ANSI text.
std::string utf8_of(const String& text)
{
    if (utf8::is_valid(text.data(), text.data_end()))
        return std::string(text.data(), text.size());
    WString wide;
    wide.append_narrow(text);
    return utf8_of(wide);
}

String to_string(const std::string& text)
{
    return String(text.data(), text.data() + text.size());
}

// Escapes what would end or change the text when read back. In an attribute value the
// blanks \t \n \r are references too, as a reader turns them into spaces.
std::string escape(const std::string& text, char quote, bool attribute)
{
    std::string out;
    out.reserve(text.size());
    auto it = text.begin();
    while (it != text.end()) {
        const uint32_t c = utf8::unchecked::next(it);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"':
            out += (attribute && quote == '"') ? "&quot;" : "\"";
            break;
        case '\'':
            out += (attribute && quote == '\'') ? "&apos;" : "'";
            break;
        case '\t':
            out += attribute ? "&#9;" : "\t";
            break;
        case '\n':
            out += attribute ? "&#10;" : "\n";
            break;
        case '\r': out += "&#13;"; break;
        default: append_utf8(out, c); break;
        }
    }
    return out;
}

WString widen(const String& text)
{
    WString wide;
    wide.append_narrow(text);
    return wide;
}

template <class Text>
bool has(const Text& text, typename Text::value_type c)
{
    return text.find(c) != Text::npos;
}

template <class Text>
void write_quoted(Saver& saver, const Text& name, const Text& value)
{
    // A value with both quotation marks is double-quoted; the saver writes its double
    // quotation marks as "&quot;".
    if (!has(value, '"') || has(value, '\''))
        saver.save_attribute(name, value);
    else
        saver.save_attribute_single(name, value);
}

} // namespace

Sink::~Sink() = default;

FileSink::FileSink(const filesystem::String& path)
{
    file_.open(path, filesystem::File::write_mode);
}

FileSink::~FileSink() = default;

void FileSink::write(const char* first, const char* last)
{
    if (!first || last <= first)
        return;
    const auto count = static_cast<uint32_t>(last - first);
    if (file_.write(first, count) != count)
        good_ = false;
}

void FileSink::flush()
{
    if (file_.is_open() && file_.flush() != 0)
        good_ = false;
}

Saver::~Saver() = default;

void Saver::write_attribute(const String& name, const String& value)
{
    write_attribute_value(*this, widen(name), widen(value));
}

void write_attribute_value(Saver& saver, const String& name, const String& value)
{
    write_quoted(saver, name, value);
}

void write_attribute_value(Saver& saver, const WString& name, const WString& value)
{
    write_quoted(saver, name, value);
}

SaverImpl::SaverImpl(Sink& sink) : sink_(&sink) {}

void SaverImpl::write(const char* text)
{
    sink_->write(text, text + std::strlen(text));
}

void SaverImpl::write(const String& text)
{
    sink_->write(text.data(), text.data_end());
}

void SaverImpl::write_indent()
{
    for (int32_t i = 0; i < depth_; ++i)
        write("\t");
}

bool SaverImpl::write_attribute_text(const String& name, const String& value, char quote)
{
    if (state_ != tag_open && state_ != tag_has_attributes)
        return false;
    const char quote_text[2] = {quote, '\0'};
    write(" ");
    write(to_string(utf8_of(name)));
    write("=");
    write(quote_text);
    write(to_string(escape(utf8_of(value), quote, true)));
    write(quote_text);
    state_ = tag_has_attributes;
    return true;
}

bool SaverImpl::save_attribute(const WString& name, const WString& value)
{
    return write_attribute_text(to_string(utf8_of(name)), to_string(utf8_of(value)), '"');
}

bool SaverImpl::save_attribute(const String& name, const String& value)
{
    return write_attribute_text(name, value, '"');
}

bool SaverImpl::save_attribute_single(const WString& name, const WString& value)
{
    return write_attribute_text(to_string(utf8_of(name)), to_string(utf8_of(value)), '\'');
}

bool SaverImpl::save_attribute_single(const String& name, const String& value)
{
    return write_attribute_text(name, value, '\'');
}

bool SaverImpl::save_element(const WString& name, Object& object)
{
    return save_element(to_string(utf8_of(name)), object);
}

bool SaverImpl::save_element(const String& name, Object& object)
{
    const String tag = to_string(utf8_of(name));
    if (state_ == tag_open || state_ == tag_has_attributes)
        write(">\n");
    write_indent();
    write("<");
    write(tag);
    ++depth_;
    state_ = tag_open;

    object.OnSaveAttributes(*this);
    object.OnSaveNodes(*this);
    object.OnSaveContent(*this);

    --depth_;
    if (state_ == tag_open || state_ == tag_has_attributes) {
        write("/>\n");
        state_ = element_closed;
        return true;
    }
    if (state_ != content_written)
        write_indent();
    write("</");
    write(tag);
    write(">\n");
    state_ = element_closed;
    return true;
}

bool SaverImpl::save_content(const String& text)
{
    if (state_ == tag_open || state_ == tag_has_attributes)
        write(">");
    write(to_string(escape(utf8_of(text), '\0', false)));
    state_ = content_written;
    return true;
}

const char xml_declaration[] = "<?xml version=\"1.0\"?>\n\n";

void save_document(Sink& sink, const String& root_name, Object& root)
{
    sink.write(xml_declaration, xml_declaration + std::strlen(xml_declaration));
    SaverImpl saver(sink);
    saver.save_element(root_name, root);
}

} // namespace vadu::xml
