#pragma once

#include <cstddef>
#include <vector>

#include "vadu/string.h"

// libxml2's own tree types; only their addresses are kept here.
struct _xmlDoc;
struct _xmlNode;

namespace vadu::xml::parser {

// One node of a parsed document, copied by value and valid while its Document
// lives. Names compare byte for byte on UTF-8; narrow results are UTF-8 bytes.
//
// A null node (the root of a document that did not parse, or a child that was
// not found) answers every query with emptiness: name "", attributes "", no
// children. Its GetValue raises like any element without data.
class Node {
public:
    Node() noexcept = default;
    explicit Node(_xmlNode* node) noexcept : node_(node) {}

    bool is_null() const noexcept { return node_ == nullptr; }

    String get_name() const;
    // The first attribute with that name; "" when absent or empty.
    String get_attribute(const String& name) const;
    // Raises vadu::Gluck when the value is not valid UTF-8.
    WString get_attribute_w(const String& name) const;

    // Any kind of child node counts: a text node is named "text", a comment "comment".
    bool has_child(const String& name) const;
    Node find_child(const String& name) const;

    // Element children only, in document order.
    std::vector<Node> get_children(const String& name) const;
    std::vector<Node> get_all_children() const;

    // The content of the first child node, whatever its kind. Raises vadu::Gluck
    // "No data in " + name when there is no child.
    String GetValue() const;
    WString GetValueW() const;

private:
    _xmlNode* node_ = nullptr;
};

// A whole XML text parsed into a read-only tree. Parse errors are not printed;
// a text that does not parse leaves a null root and the parser's message in
// get_error().
class Document {
public:
    Document(const void* buffer, size_t size);
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    virtual ~Document();

    Node get_root() const noexcept { return Node(root_); }
    // Why the text did not parse; empty when it did.
    const String& get_error() const noexcept { return error_; }

private:
    _xmlDoc* document_ = nullptr;
    _xmlNode* root_ = nullptr;
    String error_;
};

} // namespace vadu::xml::parser
