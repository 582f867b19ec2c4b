#include "vadu/xml_object.h"
#include "vadu/xml_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/log.h"
#include "support/log_capture.h"

namespace xml_binding_test_file {

namespace xml = vadu::xml;

std::string to_std(const vadu::String& text) { return std::string(text.data(), text.size()); }
std::u16string to_std(const vadu::WString& text) { return std::u16string(text.data(), text.size()); }

vadu::filesystem::MemoryStream memory(std::string_view text)
{
    return vadu::filesystem::MemoryStream(std::vector<uint8_t>(text.begin(), text.end()));
}

// Everything bound objects were offered, in order, and what they refuse.
struct Journal {
    std::vector<std::string> events;
    std::set<std::string> refused;       // attribute and element names
    std::set<std::string> failing_ends;  // elements whose OnEndNode answers false
};

// Accepts every attribute and child not listed as refused, building a child per element.
class Recorder : public xml::ObjectANSI {
public:
    Recorder(Journal& journal, std::string name) : journal_(journal), name_(std::move(name)) {}

    bool OnAttribute(xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        journal_.events.push_back(name_ + " @" + to_std(name) + "=" + to_std(value));
        return !journal_.refused.count(to_std(name));
    }
    bool OnNode(xml::Provider& provider, const vadu::String& name) override
    {
        journal_.events.push_back(name_ + " <" + to_std(name));
        if (journal_.refused.count(to_std(name)))
            return false;
        children_.push_back(std::make_unique<Recorder>(journal_, to_std(name)));
        return provider.ParseObject(*children_.back());
    }
    bool OnEndNode(xml::Provider&) override
    {
        journal_.events.push_back(name_ + " end");
        return !journal_.failing_ends.count(name_);
    }

private:
    Journal& journal_;
    std::string name_;
    std::vector<std::unique_ptr<Recorder>> children_;
};

using test_support::LogCapture;

class XmlBinding : public ::testing::Test {
protected:
    // Loads the text with the root element bound to a Recorder named "top".
    bool load(std::string_view text, const char* root_name = "Root")
    {
        vadu::filesystem::MemoryStream stream = memory(text);
        Recorder top(journal, "top");
        xml::Root root(top, root_name);
        return xml::StreamResource(&stream).load(root);
    }

    Journal journal;
    LogCapture log;
};

TEST_F(XmlBinding, OffersAttributesThenChildrenThenTheEndAndSkipsText)
{
    const bool loaded = load("<?xml version=\"1.0\"?>\n"
                             "<!-- data -->\n"
                             "<Root a=\"1\" b=\"two\">text<!-- c --><?pi x?>\n"
                             "\t<One x=\"y\"/>more<![CDATA[<Fake/>]]>\n"
                             "\t<Two><Three/>inside</Two>\n"
                             "</Root>\n");
    EXPECT_TRUE(loaded);
    const std::vector<std::string> expected = {
        "top @a=1", "top @b=two", "top <One", "One @x=y", "One end", "top <Two",
        "Two <Three", "Three end", "Two end", "top end",
    };
    EXPECT_EQ(journal.events, expected);
    EXPECT_EQ(log.text(), "");
}

TEST_F(XmlBinding, ExplicitEndTagAndSelfClosingTagBothEndOnce)
{
    EXPECT_TRUE(load("<Root><Open></Open><Closed/></Root>"));
    const std::vector<std::string> expected = {"top <Open", "Open end", "top <Closed", "Closed end", "top end"};
    EXPECT_EQ(journal.events, expected);
}

struct RefusalCase {
    const char* label;
    const char* document;
    const char* root_name;
    std::set<std::string> refused;
    std::set<std::string> failing_ends;
    bool loaded;
    const char* logged;
    std::vector<std::string> events;
};

TEST_F(XmlBinding, RefusalsFailTheLoadAndNameWhatWasRefused)
{
    const RefusalCase cases[] = {
        {"matching root", "<Animation/>", "Animation", {}, {}, true, "", {"top end"}},
        {"root differs in case", "<animation/>", "Animation", {}, {}, false, "XML: refused element \"animation\" (line 1)\n", {}},
        {"root is longer", "<Animation/>", "Anim", {}, {}, false, "XML: refused element \"Animation\" (line 1)\n", {}},
        {"refused attribute",
         "<Root speed=\"1\" never=\"2\"/>",
         "Root",
         {"speed"},
         {},
         false,
         "XML: refused attribute \"speed\" (line 1)\n",
         {"top @speed=1"}},
        {"first refused child stops the walk",
         "<Root><Good/><Bad/><Never/></Root>",
         "Root",
         {"Bad"},
         {},
         false,
         "XML: refused element \"Bad\" (line 1)\n",
         {"top <Good", "Good end", "top <Bad"}},
        {"refused grandchild",
         "<Root>\n<Mid>\n\n<Bad/></Mid><Never/></Root>",
         "Root",
         {"Bad"},
         {},
         false,
         "XML: refused element \"Bad\" (line 4)\n",
         {"top <Mid", "Mid <Bad"}},
        {"failing end of a child",
         "<Root><Child/><Never/></Root>",
         "Root",
         {},
         {"Child"},
         false,
         "XML: refused element \"Child\" (line 1)\n",
         {"top <Child", "Child end"}},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.label);
        LogCapture capture;
        journal = Journal{{}, c.refused, c.failing_ends};
        EXPECT_EQ(load(c.document, c.root_name), c.loaded);
        EXPECT_EQ(capture.text(), c.logged);
        EXPECT_EQ(journal.events, c.events);
    }
}

// The loader's own exception and the log name what was refused, where.
TEST_F(XmlBinding, RefusalIsToldWithItsFileAndLine)
{
    const vadu::filesystem::String path("data/demo/demo.scene", false);
    vadu::filesystem::MemoryStream stream = memory("<Scene>\n  <Node Name=\"a\"/>\n  <Node Bogus=\"1\"/>\n</Scene>\n");
    journal = Journal{{}, {"Bogus"}, {}};
    Recorder top(journal, "top");
    xml::Root root(top, "Scene");
    xml::StreamResource resource(&stream, path);
    LogCapture capture;
    EXPECT_FALSE(resource.load(root));
    EXPECT_EQ(to_std(resource.get_problem()), "refused attribute \"Bogus\" (line 3)");
    EXPECT_EQ(capture.text(), "XML: refused attribute \"Bogus\" (line 3) in data/demo/demo.scene\n");

    // A later load that succeeds clears it.
    vadu::filesystem::MemoryStream good = memory("<Scene/>");
    xml::StreamResource again(&good, path);
    EXPECT_TRUE(again.load(root));
    EXPECT_EQ(to_std(again.get_problem()), "");
}

// Recovery makes later errors of the first one; the first is what is wrong.
TEST_F(XmlBinding, ParseErrorIsTheFirstOneWithItsLine)
{
    struct Case {
        const char* document;
        const char* description;
    };
    const Case cases[] = {
        {"<Root>\n<Node\n  A=\"1\"\n  B=\"2\"\n\n  N", "Specification mandates value for attribute N (line 6)"},
        {"<Root>\n<Child>\n</Root>\n", "Opening and ending tag mismatch: Child line 2 and Root (line 3)"},
        {"<Root/>\n<Second/>", "Extra content at the end of the document (line 2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        try {
            load(c.document);
            ADD_FAILURE() << "loaded";
        } catch (const vadu::Gluck& e) {
            EXPECT_EQ(to_std(e.get_description()), std::string("Libxml2 refused to parse document: ") + c.description);
        }
    }
}

// Wide names that start with "W" are taken by the wide interface; the rest fall through
// to the narrow one.
class Both : public xml::ObjectANSI, public xml::ObjectUnicode {
public:
    bool OnAttribute(xml::Provider&, const vadu::WString& name, const vadu::WString& value) override
    {
        events.push_back("wide @" + std::string(name.data(), name.data_end()));
        if (name[0] != u'W')
            return false;
        wide_values.push_back(to_std(value));
        return true;
    }
    bool OnAttribute(xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        events.push_back("narrow @" + to_std(name) + "=" + to_std(value));
        return true;
    }
    bool OnNode(xml::Provider& provider, const vadu::WString& name) override
    {
        events.push_back("wide <" + std::string(name.data(), name.data_end()));
        return name[0] == u'W' && provider.ParseObject(leaf);
    }
    bool OnNode(xml::Provider& provider, const vadu::String& name) override
    {
        events.push_back("narrow <" + to_std(name));
        return provider.ParseObject(leaf);
    }

    std::vector<std::string> events;
    std::vector<std::u16string> wide_values;
    xml::ObjectANSI leaf;
};

TEST_F(XmlBinding, WideHandlerIsAskedFirstAndNarrowOneGetsUtf8Bytes)
{
    vadu::filesystem::MemoryStream stream = memory("<Root Wa=\"caf\xC3\xA9\" Na=\"caf\xC3\xA9\"><Wx/><Nx/></Root>");
    Both both;
    xml::Root root(both, "Root");
    EXPECT_TRUE(xml::StreamResource(&stream).load(root));

    const std::vector<std::string> expected = {
        "wide @Wa", "wide @Na", "narrow @Na=caf\xC3\xA9", "wide <Wx", "wide <Nx", "narrow <Nx",
    };
    EXPECT_EQ(both.events, expected);
    EXPECT_EQ(both.wide_values, std::vector<std::u16string>{u"caf\u00E9"});
}

TEST_F(XmlBinding, ObjectWithoutInterfacesRefusesEverything)
{
    class Bare : public virtual xml::Object {
    } bare;
    vadu::filesystem::MemoryStream stream = memory("<Root/>");
    EXPECT_FALSE(xml::StreamResource(&stream).load(bare));
    EXPECT_EQ(log.text(), "XML: refused element \"Root\" (line 1)\n");
}

class NoProvider : public xml::Provider {
public:
    bool ParseObject(xml::Object&) override { return false; }
};

TEST_F(XmlBinding, CopiedObjectDispatchesToItsOwnHandlers)
{
    auto original = std::make_unique<Both>();
    Both copy(*original);
    original.reset();
    NoProvider provider;
    EXPECT_EQ(copy.get_ansi_handler(), static_cast<xml::ObjectANSI*>(&copy));
    EXPECT_EQ(copy.get_unicode_handler(), static_cast<xml::ObjectUnicode*>(&copy));
    EXPECT_TRUE(copy.dispatch_attribute(provider, "Wq", "1"));
    EXPECT_EQ(copy.wide_values, std::vector<std::u16string>{u"1"});
}

TEST_F(XmlBinding, InvalidUtf8ReachesNarrowHandlersButNeverEscapesAsAForeignException)
{
    NoProvider provider;
    const vadu::String bad = "caf\xE9";

    Journal narrow_journal;
    Recorder narrow_only(narrow_journal, "n");
    EXPECT_TRUE(narrow_only.dispatch_attribute(provider, "a", bad));
    EXPECT_EQ(narrow_journal.events, std::vector<std::string>{"n @a=caf\xE9"});

    Both both;
    EXPECT_THROW(both.dispatch_node(provider, bad), vadu::Gluck);
    EXPECT_THROW(both.dispatch_attribute(provider, bad, "1"), vadu::Gluck);
    EXPECT_THROW(both.dispatch_attribute(provider, "Wa", bad), vadu::Gluck);
    EXPECT_TRUE(both.events.empty());
}

TEST_F(XmlBinding, NullStreamDoesNotLoad)
{
    Recorder top(journal, "top");
    xml::Root root(top, "Root");
    EXPECT_FALSE(xml::StreamResource(nullptr).load(root));
    EXPECT_FALSE(xml::StreamResource(nullptr, vadu::filesystem::String("data/missing.xml", false)).load(root));
}

TEST_F(XmlBinding, LoadingAgainStartsAFreshReaderAtTheStreamPosition)
{
    vadu::filesystem::MemoryStream stream = memory("<Root a=\"1\"><Child/></Root>");
    Recorder top(journal, "top");
    xml::Root root(top, "Root");
    xml::StreamResource resource(&stream);

    EXPECT_TRUE(resource.load(root));
    stream.set_position(0);
    EXPECT_TRUE(resource.load(root));
    const std::vector<std::string> once = {"top @a=1", "top <Child", "Child end", "top end"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(journal.events, twice);

    // Nothing left at the end of the stream: an empty document.
    testing::internal::CaptureStderr();
    EXPECT_THROW(resource.load(root), vadu::Gluck);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Documents libxml2 refuses; a few of them are delivered in part before the error shows.
const char* const malformed_documents[] = {
    "",
    "<Root><Child></Root>",
    "<Root><Child/>",
    "<Root a=1/>",
    "<Root a=\"1\" a=\"2\"/>",
    "<Root a=\"x<y\"/>",
    "<Root>&undefined;</Root>",
    "<Root/><Second/>",
    "<Root/>junk",
    "<Root>\x01</Root>",
    "<Root a=\"caf\xE9\"/>",
};

TEST_F(XmlBinding, MalformedDocumentRaisesTheEngineExceptionWithLibxmlMessage)
{
    const std::string prefix = "Libxml2 refused to parse document: ";
    for (const char* document : malformed_documents) {
        SCOPED_TRACE(document);
        testing::internal::CaptureStderr();
        try {
            load(document);
            ADD_FAILURE() << "loaded";
        } catch (const vadu::GluckBadResource&) {
            ADD_FAILURE() << "a resource was named, but none is known";
        } catch (const vadu::Gluck& e) {
            EXPECT_EQ(to_std(e.get_function()), "vadu::xml::StreamResourceImpl::ParseObject");
            const std::string description = to_std(e.get_description());
            EXPECT_EQ(description.substr(0, prefix.size()), prefix);
            EXPECT_GT(description.size(), prefix.size() + 4);
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
}

TEST_F(XmlBinding, MalformedDocumentNamesTheResourceWhenItIsKnown)
{
    const vadu::filesystem::String path("data/levels/broken.xml", false);
    for (const char* document : malformed_documents) {
        SCOPED_TRACE(document);
        vadu::filesystem::MemoryStream stream = memory(document);
        Recorder top(journal, "top");
        xml::Root root(top, "Root");
        try {
            xml::StreamResource(&stream, path).load(root);
            ADD_FAILURE() << "loaded";
        } catch (const vadu::GluckBadResource& e) {
            EXPECT_EQ(e.get_resource(), path);
            EXPECT_EQ(to_std(e.get_function()), "vadu::xml::StreamResourceImpl::ParseObject");
        }
    }
}

TEST_F(XmlBinding, InvalidUtf8InAFileIsABadResourceForWideAndNarrowHandlers)
{
    const vadu::filesystem::String path("data/strings.xml", false);
    const char* const documents[] = {
        "<Root><Item Wa=\"caf\xE9\"/></Root>",
        "<Root><Item Wa=\"\xC0\xAF\"/></Root>",     // overlong "/"
        "<Root><Item Wa=\"\xED\xA0\x80\"/></Root>", // a surrogate
        "<Root><Caf\xE9/></Root>",
    };
    for (const char* document : documents) {
        SCOPED_TRACE(document);
        Both both;
        Journal narrow_journal;
        Recorder narrow_only(narrow_journal, "n");
        for (xml::Object* target : {static_cast<xml::Object*>(&both), static_cast<xml::Object*>(&narrow_only)}) {
            vadu::filesystem::MemoryStream stream = memory(document);
            xml::Root root(*target, "Root");
            try {
                xml::StreamResource(&stream, path).load(root);
                ADD_FAILURE() << "loaded";
            } catch (const vadu::GluckBadResource& e) {
                EXPECT_EQ(e.get_resource(), path);
                EXPECT_FALSE(e.get_description().empty());
            }
        }
        EXPECT_TRUE(both.wide_values.empty());
    }
}

// Loads another document from inside a handler, as loaders of nested files do.
class Includer : public xml::ObjectANSI {
public:
    explicit Includer(std::string inner) : inner_(std::move(inner)) {}

    bool OnNode(xml::Provider& provider, const vadu::String& name) override
    {
        if (!(name == "Include"))
            return false;
        vadu::filesystem::MemoryStream stream = memory(inner_);
        Journal journal;
        Recorder inner(journal, "inner");
        xml::Root root(inner, "Inner");
        if (!xml::StreamResource(&stream, vadu::filesystem::String("inner.xml", false)).load(root))
            return false;
        ++included;
        return provider.ParseObject(leaf_);
    }

    int included = 0;

private:
    std::string inner_;
    xml::ObjectANSI leaf_;
};

TEST_F(XmlBinding, NestedLoadsRunInsideHandlersAndKeepTheirOwnErrors)
{
    const char* outer = "<Root><Include/><Include/></Root>";
    const vadu::filesystem::String outer_path("outer.xml", false);
    {
        Includer includer("<Inner a=\"1\"><X/></Inner>");
        vadu::filesystem::MemoryStream stream = memory(outer);
        xml::Root root(includer, "Root");
        EXPECT_TRUE(xml::StreamResource(&stream, outer_path).load(root));
        EXPECT_EQ(includer.included, 2);
    }
    {
        Includer includer("<Inner><X></Inner>");
        vadu::filesystem::MemoryStream stream = memory(outer);
        xml::Root root(includer, "Root");
        try {
            xml::StreamResource(&stream, outer_path).load(root);
            ADD_FAILURE() << "loaded";
        } catch (const vadu::GluckBadResource& e) {
            EXPECT_EQ(to_std(e.get_resource().get_text()), "inner.xml");
        }
    }
}

} // namespace
