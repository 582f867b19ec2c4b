#include "vadu/xml_document.h"

#include <climits>
#include <cstring>
#include <memory>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include "vadu/converter.h"
#include "vadu/exception.h"

namespace vadu::xml::parser {

namespace {

const char* text_of(const xmlChar* text) noexcept
{
    return text ? reinterpret_cast<const char*>(text) : "";
}

// CDATA and some other node kinds carry no name; they match nothing.
bool name_is(const xmlChar* node_name, const String& name) noexcept
{
    if (!node_name)
        return false;
    const char* text = reinterpret_cast<const char*>(node_name);
    return std::strlen(text) == name.size() && std::memcmp(text, name.data(), name.size()) == 0;
}

// Only elements are walked: an entity reference's child list holds the entity
// declaration itself, which is not a node of the document.
xmlNode* children_of(xmlNode* node) noexcept
{
    return node && node->type == XML_ELEMENT_NODE ? node->children : nullptr;
}

WString decode(const String& text)
{
    WString wide;
    converter::convert_utf8(text, &wide);
    return wide;
}

String first_child_content(xmlNode* node, const char* function)
{
    xmlNode* child = children_of(node);
    if (!child)
        throw Gluck(function, String("No data in ") + text_of(node ? node->name : nullptr));
    return String(text_of(child->content));
}

struct ContextDeleter {
    void operator()(xmlParserCtxt* context) const noexcept { xmlFreeParserCtxt(context); }
};

String parser_message(xmlParserCtxt* context)
{
    const xmlError* error = xmlCtxtGetLastError(context);
    if (!error || !error->message)
        return String("The document could not be parsed");
    String message(error->message);
    // libxml2 ends its messages with a newline.
    while (!message.empty() && (message[message.size() - 1] == '\n' || message[message.size() - 1] == '\r'))
        message.resize(message.size() - 1);
    return message;
}

} // namespace

String Node::get_name() const
{
    return node_ ? String(text_of(node_->name)) : String();
}

String Node::get_attribute(const String& name) const
{
    if (!node_ || node_->type != XML_ELEMENT_NODE)
        return String();
    for (xmlAttr* attribute = node_->properties; attribute; attribute = attribute->next) {
        if (name_is(attribute->name, name))
            return attribute->children ? String(text_of(attribute->children->content)) : String();
    }
    return String();
}

WString Node::get_attribute_w(const String& name) const
{
    return decode(get_attribute(name));
}

bool Node::has_child(const String& name) const
{
    return !find_child(name).is_null();
}

Node Node::find_child(const String& name) const
{
    for (xmlNode* child = children_of(node_); child; child = child->next) {
        if (name_is(child->name, name))
            return Node(child);
    }
    return Node();
}

std::vector<Node> Node::get_children(const String& name) const
{
    std::vector<Node> children;
    for (xmlNode* child = children_of(node_); child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && name_is(child->name, name))
            children.emplace_back(child);
    }
    return children;
}

std::vector<Node> Node::get_all_children() const
{
    std::vector<Node> children;
    for (xmlNode* child = children_of(node_); child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE)
            children.emplace_back(child);
    }
    return children;
}

String Node::GetValue() const
{
    return first_child_content(node_, "vadu::xml::parser::Node::GetValue");
}

WString Node::GetValueW() const
{
    return decode(first_child_content(node_, "vadu::xml::parser::Node::GetValueW"));
}

Document::Document(const void* buffer, size_t size)
{
    if (!buffer || size > static_cast<size_t>(INT_MAX)) {
        error_ = buffer ? "The document is too large" : "No document text";
        return;
    }
    std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
    if (!context) {
        error_ = "Failed to create the XML parser";
        return;
    }
    // Errors stay in the context instead of going to stderr; the tree is the same.
    document_ = xmlCtxtReadMemory(context.get(), static_cast<const char*>(buffer), static_cast<int>(size),
                                  nullptr, nullptr, XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (document_)
        root_ = xmlDocGetRootElement(document_);
    else
        error_ = parser_message(context.get());
}

Document::~Document()
{
    if (document_)
        xmlFreeDoc(document_);
}

} // namespace vadu::xml::parser
