#include "vadu/xml_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/xml_object.h"
#include "vadu/xml_reader.h"

namespace xml_writer_test_file {

namespace fs = std::filesystem;
namespace xml = vadu::xml;

vadu::String narrow(std::string_view text) { return vadu::String(text.data(), text.data() + text.size()); }
vadu::WString wide(std::u16string_view text) { return vadu::WString(text.data(), text.data() + text.size()); }
std::string to_std(const vadu::String& text) { return std::string(text.data(), text.size()); }

class StringSink : public xml::Sink {
public:
    void write(const char* first, const char* last) override { text.append(first, last); }
    void flush() override {}
    std::string text;
};

// An element to write: narrow and wide attributes, children, optional content.
struct Element : xml::Object {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<std::pair<std::u16string, std::u16string>> wide_attributes;
    std::vector<Element> children;
    std::string content;

    Element(std::string element_name, std::vector<std::pair<std::string, std::string>> narrow_attributes = {},
            std::vector<Element> element_children = {})
        : name(std::move(element_name)), attributes(std::move(narrow_attributes)),
          children(std::move(element_children))
    {
    }

    void OnSaveAttributes(xml::Saver& saver) override
    {
        for (const auto& [key, value] : attributes)
            xml::write_attribute_value(saver, narrow(key), narrow(value));
        for (const auto& [key, value] : wide_attributes)
            xml::write_attribute_value(saver, wide(key), wide(value));
    }
    void OnSaveNodes(xml::Saver& saver) override
    {
        for (Element& child : children)
            saver.save_element(narrow(child.name), child);
    }
    void OnSaveContent(xml::Saver& saver) override
    {
        if (!content.empty())
            saver.save_content(narrow(content));
    }
};

// What a document reads back as: names and narrow (UTF-8) attribute values.
struct Tree {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<Tree> children;
    bool operator==(const Tree&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Tree& tree)
{
    out << "<" << tree.name;
    for (const auto& [key, value] : tree.attributes)
        out << " " << key << "=[" << value << "]";
    out << ">";
    for (const Tree& child : tree.children)
        out << child;
    return out << "</" << tree.name << ">";
}

class TreeReader : public xml::ObjectANSI {
public:
    explicit TreeReader(Tree& tree) : tree_(tree) {}

    bool OnAttribute(xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        tree_.attributes.emplace_back(to_std(name), to_std(value));
        return true;
    }
    bool OnNode(xml::Provider& provider, const vadu::String& name) override
    {
        tree_.children.push_back(Tree{to_std(name), {}, {}});
        TreeReader child(tree_.children.back());
        return provider.ParseObject(child);
    }

private:
    Tree& tree_;
};

// Reads the whole document (any root element) back into a tree.
class DocumentReader : public xml::ObjectANSI {
public:
    bool OnNode(xml::Provider& provider, const vadu::String& name) override
    {
        tree.name = to_std(name);
        TreeReader reader(tree);
        return provider.ParseObject(reader);
    }
    Tree tree;
};

Tree read_back(const std::string& document)
{
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(document.begin(), document.end()));
    DocumentReader reader;
    EXPECT_TRUE(xml::StreamResource(&stream).load(reader));
    return reader.tree;
}

std::string save(const std::string& root_name, xml::Object& root)
{
    StringSink sink;
    xml::save_document(sink, narrow(root_name), root);
    return sink.text;
}

std::string golden_text()
{
    const fs::path path = fs::path(__FILE__).parent_path() / "data" / "xml_writer_golden.xml";
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Element golden_tree()
{
    Element root("Settings", {{"Version", "2"}, {"Adapter", "Radeon & Co <R>"}},
                 {
                     Element("Mode", {{"Width", "1024"}, {"Height", "768"}}),
                     Element("Quotes",
                             {{"plain", "x"}, {"double", "say \"hi\""}, {"single", "it's"}, {"both", "it's \"odd\""}}),
                     Element("Group", {}, {Element("Empty"), Element("Deep", {{"Name", "caf\xE9"}}, {Element("Leaf")})}),
                     Element("Text"),
                     Element("Wide"),
                     Element("Blanks", {{"Lines", "a\nb\tc"}}),
                 });
    root.children[3].content = "a & b < c";
    root.children[4].wide_attributes = {{u"Name", u"\u00D6l\u00E7\u00FC \u2713"}};
    return root;
}

// What the golden tree reads back as.
Tree golden_read_back()
{
    return Tree{"Settings",
                {{"Version", "2"}, {"Adapter", "Radeon & Co <R>"}},
                {
                    {"Mode", {{"Width", "1024"}, {"Height", "768"}}, {}},
                    {"Quotes", {{"plain", "x"}, {"double", "say \"hi\""}, {"single", "it's"}, {"both", "it's \"odd\""}}, {}},
                    {"Group", {}, {{"Empty", {}, {}}, {"Deep", {{"Name", "caf\xC3\xA9"}}, {{"Leaf", {}, {}}}}}},
                    {"Text", {}, {}},
                    {"Wide", {{"Name", "\xC3\x96l\xC3\xA7\xC3\xBC \xE2\x9C\x93"}}, {}},
                    {"Blanks", {{"Lines", "a\nb\tc"}}, {}},
                }};
}

TEST(XmlWriter, GoldenDocumentAndItsReadBack)
{
    Element root = golden_tree();
    const std::string written = save("Settings", root);
    EXPECT_EQ(written, golden_text());
    EXPECT_EQ(read_back(written), golden_read_back());
}

TEST(XmlWriter, FileSinkWritesTheSameBytesAndTheFileLoads)
{
    std::string pattern = (fs::temp_directory_path() / "QuilloXml-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    const std::string file = (folder / "Sub" / "videosettings.ini").string();
    {
        Element root = golden_tree();
        xml::FileSink sink(vadu::filesystem::String(file.c_str(), false));
        ASSERT_TRUE(sink.is_open());
        xml::save_document(sink, "Settings", root);
        sink.flush();
        EXPECT_TRUE(sink.is_good());
    }
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), golden_text());

    vadu::filesystem::FileStream stream(vadu::filesystem::String(file.c_str(), false));
    DocumentReader reader;
    EXPECT_TRUE(xml::StreamResource(&stream).load(reader));
    EXPECT_EQ(reader.tree, golden_read_back());
    fs::remove_all(folder);
}

TEST(XmlWriter, FileSinkThatCannotOpenWritesNothing)
{
    xml::FileSink sink(vadu::filesystem::String("/proc/quillo/none/videosettings.ini", false));
    EXPECT_FALSE(sink.is_open());
    EXPECT_FALSE(sink.is_good());
    Element root("Settings");
    xml::save_document(sink, "Settings", root);
    sink.flush();
}

struct ValueCase {
    std::string_view value;   // as handed to the writer
    std::string_view written; // the attribute as it stands in the file
    std::string_view read;    // what a narrow handler reads back (UTF-8)
};

// One attribute "v" on an element "E".
std::string attribute_line(std::string_view written)
{
    return std::string("<?xml version=\"1.0\"?>\n\n<E v=") + std::string(written) + "/>\n";
}

TEST(XmlWriter, AnyNarrowValueGivesWellFormedXmlThatReadsBackTheSame)
{
    const ValueCase cases[] = {
        {"plain", "\"plain\"", "plain"},
        {"", "\"\"", ""},
        {"say \"hi\"", "'say \"hi\"'", "say \"hi\""},
        {"it's", "\"it's\"", "it's"},
        {"it's \"odd\"", "\"it's &quot;odd&quot;\"", "it's \"odd\""},
        {"a&b<c>d", "\"a&amp;b&lt;c&gt;d\"", "a&b<c>d"},
        {"&quot;", "\"&amp;quot;\"", "&quot;"},
        {"<\"x\">", "'&lt;\"x\"&gt;'", "<\"x\">"},
        {"\"<&>'", "\"&quot;&lt;&amp;&gt;'\"", "\"<&>'"},
        {"a\nb\tc\rd", "\"a&#10;b&#9;c&#13;d\"", "a\nb\tc\rd"},
        {"bell\x07", "\"bell?\"", "bell?"},
        {"caf\xE9", "\"caf\xC3\xA9\"", "caf\xC3\xA9"},             // ANSI text
        {"caf\xC3\xA9", "\"caf\xC3\xA9\"", "caf\xC3\xA9"},         // already UTF-8
        {"\x80 5", "\"\xE2\x82\xAC 5\"", "\xE2\x82\xAC 5"},        // the euro sign of 1252
        {"]]> ?> -->", "\"]]&gt; ?&gt; --&gt;\"", "]]> ?> -->"},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(std::string(c.value));
        Element element("E", {{"v", std::string(c.value)}});
        const std::string written = save("E", element);
        EXPECT_EQ(written, attribute_line(c.written));
        EXPECT_EQ(read_back(written), (Tree{"E", {{"v", std::string(c.read)}}, {}}));
    }
}

struct WideValueCase {
    std::u16string_view value;
    std::string_view written;
};

TEST(XmlWriter, WideValuesAreWrittenAsUtf8)
{
    const WideValueCase cases[] = {
        {u"\u00D6l\u00E7\u00FC", "\"\xC3\x96l\xC3\xA7\xC3\xBC\""},
        {u"\u041C\u0438\u0440", "\"\xD0\x9C\xD0\xB8\xD1\x80\""}, // outside the ANSI code page
        {u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
        {u"\xD800x", "\"?x\""},                                    // a lone surrogate
        {u"\uFFFF", "\"?\""},
        {u"say \"\u00E9\"", "'say \"\xC3\xA9\"'"},
    };
    for (const WideValueCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(c.value)));
        Element element("E");
        element.wide_attributes = {{u"v", std::u16string(c.value)}};
        const std::string written = save("E", element);
        EXPECT_EQ(written, attribute_line(c.written));
        read_back(written);
    }
}

// Writes through the saver's remaining entry points.
struct Entries : xml::Object {
    void OnSaveAttributes(xml::Saver& saver) override
    {
        saver.write_attribute("Adapter", "R\xE9gion & \"1\"");
        saver.save_attribute(u"n", u"1");
        saver.save_attribute_single("s", "2");
    }
    void OnSaveNodes(xml::Saver& saver) override
    {
        saver.save_element(u"Caf\u00E9", leaf);
        attribute_after_child = saver.save_attribute("late", "x");
    }
    void OnSaveContent(xml::Saver& saver) override
    {
        saver.save_content("tail");
        attribute_after_content = saver.save_attribute("later", "y");
    }
    xml::Object leaf;
    bool attribute_after_child = true;
    bool attribute_after_content = true;
};

TEST(XmlWriter, WideNamesNarrowAnsiValuesAndMisplacedAttributes)
{
    Entries root;
    const std::string written = save("Root", root);
    EXPECT_EQ(written, "<?xml version=\"1.0\"?>\n\n"
                       "<Root Adapter='R\xC3\xA9gion &amp; \"1\"' n=\"1\" s='2'>\n"
                       "\t<Caf\xC3\xA9/>\n"
                       "tail</Root>\n");
    EXPECT_FALSE(root.attribute_after_child);
    EXPECT_FALSE(root.attribute_after_content);
    read_back(written);
}

TEST(XmlWriter, ContentFollowsTheStartTagAndTheEndTagFollowsTheContent)
{
    Element root("Root", {}, {Element("Text", {{"a", "1"}}), Element("Plain")});
    root.children[0].content = "x<y & \"z\"\r\n";
    root.children[1].content = "just text";
    EXPECT_EQ(save("Root", root), "<?xml version=\"1.0\"?>\n\n"
                                  "<Root>\n"
                                  "\t<Text a=\"1\">x&lt;y &amp; \"z\"&#13;\n</Text>\n"
                                  "\t<Plain>just text</Plain>\n"
                                  "</Root>\n");
}

} // namespace
