#include "vadu/xml_document.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "vadu/exception.h"

namespace xml_document_test_file {

using vadu::xml::parser::Document;
using vadu::xml::parser::Node;

static_assert(std::has_virtual_destructor_v<Document>);
static_assert(!std::is_copy_constructible_v<Document>);
static_assert(std::is_trivially_copyable_v<Node> && sizeof(Node) == sizeof(void*));

std::string to_std(const vadu::String& text) { return std::string(text.data(), text.size()); }
std::u16string to_std(const vadu::WString& text) { return std::u16string(text.data(), text.size()); }

std::vector<std::string> names_of(const std::vector<Node>& nodes)
{
    std::vector<std::string> names;
    for (const Node& node : nodes)
        names.push_back(to_std(node.get_name()));
    return names;
}

// Parses the text with nothing allowed on stderr.
class XmlDocument : public testing::Test {
protected:
    Node parse(std::string_view text)
    {
        testing::internal::CaptureStderr();
        document_ = std::make_unique<Document>(text.data(), text.size());
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed, "");
        return document_->get_root();
    }

    std::unique_ptr<Document> document_;
};

constexpr std::string_view level_xml =
    "<?xml version=\"1.0\"?>\n"
    "<Level Name=\"Meadow\" Empty=\"\" Title=\"Gr\xC3\xBC\xC3\x9F" "e &amp; &lt;more&gt; &#x20AC;\">\n"
    "  <!-- monsters first -->\n"
    "  <Monster Color=\"red\"/>\n"
    "  <?marker here?>\n"
    "  <Cannon Angle=\"30\"/>\n"
    "  <Monster Color=\"blue\"/>\n"
    "</Level>";

TEST_F(XmlDocument, ListsElementChildrenInDocumentOrder)
{
    const Node root = parse(level_xml);
    ASSERT_FALSE(root.is_null());
    EXPECT_EQ(document_->get_error(), "");
    EXPECT_EQ(root.get_name(), "Level");

    // Whitespace, the comment and the processing instruction are not listed.
    EXPECT_EQ(names_of(root.get_all_children()), (std::vector<std::string>{"Monster", "Cannon", "Monster"}));
    const std::vector<Node> monsters = root.get_children("Monster");
    ASSERT_EQ(monsters.size(), 2u);
    EXPECT_EQ(monsters[0].get_attribute("Color"), "red");
    EXPECT_EQ(monsters[1].get_attribute("Color"), "blue");
    EXPECT_TRUE(root.get_children("Monste").empty());
    EXPECT_TRUE(root.get_children("monster").empty());
    // Elements only, although a text child named "text" exists.
    EXPECT_TRUE(root.get_children("text").empty());
    EXPECT_TRUE(monsters[0].get_all_children().empty());
}

TEST_F(XmlDocument, AttributesByExactName)
{
    const Node root = parse(level_xml);
    struct Case {
        const char* name;
        std::string narrow;
        std::u16string wide;
    };
    const Case cases[] = {
        {"Name", "Meadow", u"Meadow"},
        {"Empty", "", u""},
        {"Missing", "", u""},  // indistinguishable from an empty value
        {"name", "", u""},
        {"Nam", "", u""},
        {"NameX", "", u""},
        // Entities and character references are resolved; narrow text is UTF-8.
        {"Title", "Gr\xC3\xBC\xC3\x9F" "e & <more> \xE2\x82\xAC", u"Grüße & <more> €"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(to_std(root.get_attribute(c.name)), c.narrow);
        EXPECT_EQ(to_std(root.get_attribute_w(c.name)), c.wide);
    }
}

TEST_F(XmlDocument, FindsChildrenOfAnyKindByName)
{
    const Node root = parse("<Level>lead<!--note--><Cannon/><Cannon Id=\"2\"/></Level>");

    const Node text = root.find_child("text");
    ASSERT_FALSE(text.is_null());
    EXPECT_EQ(text.get_name(), "text");
    EXPECT_TRUE(root.has_child("comment"));
    EXPECT_EQ(root.find_child("comment").get_name(), "comment");

    // The first of two equal names.
    const Node cannon = root.find_child("Cannon");
    ASSERT_FALSE(cannon.is_null());
    EXPECT_EQ(cannon.get_attribute("Id"), "");
    EXPECT_TRUE(root.has_child("Cannon"));

    for (const char* missing : {"Cannons", "Canno", "cannon", "", "Level"}) {
        SCOPED_TRACE(missing);
        EXPECT_FALSE(root.has_child(missing));
        EXPECT_TRUE(root.find_child(missing).is_null());
    }
}

TEST_F(XmlDocument, ValueIsTheFirstChildsContent)
{
    struct Case {
        std::string_view xml;
        std::string narrow;
        std::u16string wide;
    };
    const Case cases[] = {
        {"<S>Hello</S>", "Hello", u"Hello"},
        {"<S>a &amp; b</S>", "a & b", u"a & b"},
        {"<S>\xF0\x9F\x90\x9F fish</S>", "\xF0\x9F\x90\x9F fish", u"\U0001F41F fish"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><S>caf\xE9</S>", "caf\xC3\xA9", u"café"},
        {"<S><![CDATA[<raw>]]></S>", "<raw>", u"<raw>"},
        {"<S><![CDATA[]]></S>", "", u""},  // an empty child is data, unlike no child
        // Only the first child counts: a comment answers its own text, an element nothing.
        {"<S><!-- first -->text</S>", " first ", u" first "},
        {"<S><B>inner</B>tail</S>", "", u""},
        {"<S>head<B/>tail</S>", "head", u"head"},
        {"<S>\n  <B/>\n</S>", "\n  ", u"\n  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.xml));
        const Node root = parse(c.xml);
        ASSERT_FALSE(root.is_null()) << to_std(document_->get_error());
        EXPECT_EQ(to_std(root.GetValue()), c.narrow);
        EXPECT_EQ(to_std(root.GetValueW()), c.wide);
    }
}

void expect_no_data(const Node& node, const std::string& name)
{
    try {
        node.GetValue();
        ADD_FAILURE() << "GetValue did not raise";
    } catch (const vadu::Gluck& gluck) {
        EXPECT_EQ(gluck.get_function(), "vadu::xml::parser::Node::GetValue");
        EXPECT_EQ(to_std(gluck.get_description()), "No data in " + name);
    }
    try {
        node.GetValueW();
        ADD_FAILURE() << "GetValueW did not raise";
    } catch (const vadu::Gluck& gluck) {
        EXPECT_EQ(gluck.get_function(), "vadu::xml::parser::Node::GetValueW");
        EXPECT_EQ(to_std(gluck.get_description()), "No data in " + name);
    }
}

TEST_F(XmlDocument, ElementWithoutChildrenHasNoValue)
{
    expect_no_data(parse("<Price/>"), "Price");
    expect_no_data(parse("<Price></Price>"), "Price");
    expect_no_data(parse("<Shop><Item/></Shop>").find_child("Item"), "Item");
}

TEST_F(XmlDocument, NullNodeAnswersEmpty)
{
    const Node root = parse("<Level><Monster>");
    ASSERT_TRUE(root.is_null());

    // Callers chain queries without checking.
    for (const Node& node : {root, Node(), root.find_child("Monster").find_child("Eye")}) {
        EXPECT_TRUE(node.is_null());
        EXPECT_EQ(node.get_name(), "");
        EXPECT_EQ(node.get_attribute("Name"), "");
        EXPECT_EQ(node.get_attribute_w("Name"), u"");
        EXPECT_FALSE(node.has_child("Monster"));
        EXPECT_TRUE(node.find_child("Monster").is_null());
        EXPECT_TRUE(node.get_children("Monster").empty());
        EXPECT_TRUE(node.get_all_children().empty());
        // A missing value is an error, as for an element without data.
        expect_no_data(node, "");
    }
}

TEST_F(XmlDocument, TextThatDoesNotParseLeavesARootlessDocumentAndItsReason)
{
    struct Case {
        std::string_view xml;
        const char* reason;  // part of the parser's message
    };
    const Case cases[] = {
        {"", "empty"},
        {"   ", "Start tag expected"},
        {"not xml", "Start tag expected"},
        {"<Level>", "Premature end of data"},
        {"<Level></Levels>", "Opening and ending tag mismatch"},
        {"<Level/><Level/>", "Extra content"},
        {"<Level a=\"1\" a=\"2\"/>", "redefined"},
        {"<Level>&undefined;</Level>", "not defined"},
        {"<Level>\xFF\xFE</Level>", "UTF-8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.xml));
        EXPECT_TRUE(parse(c.xml).is_null());
        const std::string error = to_std(document_->get_error());
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_NE(error.back(), '\n');
    }
}

TEST_F(XmlDocument, ParsesOnlyTheGivenBytes)
{
    constexpr std::string_view text = "<Level/>trailing garbage";
    Document document(text.data(), 8);
    EXPECT_EQ(document.get_root().get_name(), "Level");

    const Document no_buffer(nullptr, 10);
    EXPECT_TRUE(no_buffer.get_root().is_null());
    EXPECT_NE(no_buffer.get_error(), "");
}

TEST_F(XmlDocument, WarningsStayQuietAndDoNotFailTheDocument)
{
    const Node root = parse("<Level xmlns=\"relative/uri\"><Item/></Level>");
    EXPECT_EQ(root.get_name(), "Level");
    EXPECT_EQ(document_->get_error(), "");
    EXPECT_TRUE(root.has_child("Item"));
}

TEST_F(XmlDocument, EntityReferencesAreNotWalkedAsElements)
{
    const Node root = parse("<!DOCTYPE Level [<!ENTITY greeting \"<B>hi</B>\">]><Level>&greeting;</Level>");
    ASSERT_FALSE(root.is_null()) << to_std(document_->get_error());
    // Unexpanded: the reference is the only child.
    const Node reference = root.find_child("greeting");
    ASSERT_FALSE(reference.is_null());
    EXPECT_TRUE(root.get_all_children().empty());
    EXPECT_TRUE(reference.get_all_children().empty());
    EXPECT_FALSE(reference.has_child("B"));
    expect_no_data(reference, "greeting");
}

} // namespace
