#include "vadu/property_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "vadu/filesystem.h"
#include "vadu/log.h"
#include "vadu/xml_reader.h"
#include "vadu/xml_writer.h"

namespace {

namespace xml = vadu::xml;

class StringSink : public xml::Sink {
public:
    void write(const char* first, const char* last) override { text.append(first, last); }
    void flush() override {}
    std::string text;
};

bool load(xml::PropertyList& list, std::string_view text, const char* root_name = "Balance")
{
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    xml::Root root(list, root_name);
    return xml::StreamResource(&stream).load(root);
}

std::string save(xml::PropertyList& list)
{
    StringSink sink;
    xml::save_document(sink, "Balance", list);
    return sink.text;
}

class PropertyListTest : public ::testing::Test {
protected:
    // Refused names go to a log of their own, out of the test output.
    PropertyListTest() { vadu::logs::set_log(std::make_unique<vadu::logs::Stream>(nullptr)); }
    ~PropertyListTest() override { vadu::logs::Creator restore(""); }

    xml::PropertyList list;
};

TEST_F(PropertyListTest, GettersConvertTruncateAndCacheDefaults)
{
    ASSERT_TRUE(load(list, "<Balance>\n"
                           "\t<Property Name=\"whole\" Value=\"12\"/>\n"
                           "\t<Property Name=\"up\" Value=\"2.9\"/>\n"
                           "\t<Property Name=\"down\" Value=\"-2.9\"/>\n"
                           "\t<Property Name=\"word\" Value=\"abc\"/>\n"
                           "\t<Property Name=\"trail\" Value=\"7 mana\"/>\n"
                           "\t<Property Name=\"empty\" Value=\"\"/>\n"
                           "\t<Property Name=\"blank\" Value=\"  \"/>\n"
                           "\t<Property Name=\"huge\" Value=\"1e20\"/>\n"
                           "\t<Property Name=\"tiny\" Value=\"-1e20\"/>\n"
                           "\t<Property Name=\"nan\" Value=\"0e400\"/>\n"
                           "</Balance>\n"));
    struct Case {
        const char* name;
        int32_t default_value;
        int32_t expected;
    };
    const Case cases[] = {
        {"whole", 5, 12},
        {"up", 5, 2},
        {"down", 5, -2},
        {"word", 5, 0},   // no digits
        {"trail", 5, 7},
        {"empty", 5, 5},  // nothing to parse keeps the default
        {"blank", 5, 5},
        {"huge", 5, std::numeric_limits<int32_t>::max()},
        {"tiny", 5, std::numeric_limits<int32_t>::min()},
        {"nan", 5, 0},
        {"absent", 5, 5},
        // Asked again with other defaults: the cached numbers answer.
        {"absent", 9, 5},
        {"empty", 9, 5},
        {"up", 9, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(list.get_int(c.name, c.default_value), c.expected);
    }

    double value = 1.5;
    list.get_double("up", value);
    EXPECT_NEAR(value, 2.9, 1e-12);
    value = -4;
    list.get_double("absent double", value);
    EXPECT_EQ(value, -4);
    value = 100;
    list.get_double("absent double", value);
    EXPECT_EQ(value, -4);
}

TEST_F(PropertyListTest, BooleanLookUp)
{
    ASSERT_TRUE(load(list, "<Balance>"
                           "<Property Name=\"t1\" Value=\"true\"/><Property Name=\"t2\" Value=\"1\"/>"
                           "<Property Name=\"t3\" Value=\"TRUE\"/><Property Name=\"f1\" Value=\"false\"/>"
                           "<Property Name=\"f2\" Value=\"0\"/><Property Name=\"f3\" Value=\"yes\"/>"
                           "<Property Name=\"f4\" Value=\"true \"/>"
                           "</Balance>"));
    for (const char* name : {"t1", "t2", "t3"})
        EXPECT_TRUE(list.get_bool(name)) << name;
    for (const char* name : {"f1", "f2", "f3", "f4", "ExclusiveHandler"})
        EXPECT_FALSE(list.get_bool(name)) << name;
}

TEST_F(PropertyListTest, LaterTextReplacesEarlierAndRefusalsKeepWhatWasRead)
{
    ASSERT_TRUE(load(list, "<Balance><Property Name=\"tap\" Value=\"1\"/><Property Name=\"tap\" Value=\"2\"/></Balance>"));
    ASSERT_TRUE(load(list, "<Balance><Property Value=\"8\" Name=\"bomb\"/></Balance>"));

    EXPECT_FALSE(load(list, "<Balance><Property Name=\"tap\" Value=\"3\"/><Other/></Balance>"));
    EXPECT_FALSE(load(list, "<Balance><Property Name=\"fish\" Value=\"4\" Unit=\"x\"/></Balance>"));
    EXPECT_FALSE(load(list, "<Balance Version=\"1\"/>"));

    // The items before a refusal were taken; the refused item was not.
    EXPECT_EQ(list.get_int("tap", 0), 3);
    EXPECT_EQ(list.get_int("bomb", 0), 8);
    EXPECT_EQ(list.get_int("fish", -1), -1);
}

TEST_F(PropertyListTest, CachedNumbersFoldBackAsShortestTextAtTheNextRead)
{
    ASSERT_TRUE(load(list, "<Balance><Property Name=\"pi\" Value=\"3.14159265\"/>"
                           "<Property Name=\"word\" Value=\"abc\"/></Balance>"));
    double pi = 0;
    list.get_double("pi", pi);
    EXPECT_NEAR(pi, 3.14159265, 1e-12);
    double word = 1;
    list.get_double("word", word);
    double fallback = 0.25;
    list.get_double("fallback", fallback);

    ASSERT_TRUE(load(list, "<Balance/>"));  // no item: the fold happens at the first child only
    pi = 0;
    list.get_double("pi", pi);
    EXPECT_NEAR(pi, 3.14159265, 1e-12);

    ASSERT_TRUE(load(list, "<Balance><Property Name=\"other\" Value=\"1\"/></Balance>"));
    pi = 0;
    list.get_double("pi", pi);
    EXPECT_NEAR(pi, 3.14159, 1e-12);  // "%g" keeps six digits
    EXPECT_EQ(list.get_int("word", 7), 0);
    fallback = 9;
    list.get_double("fallback", fallback);
    EXPECT_NEAR(fallback, 0.25, 1e-12);  // the cached default became text
}

TEST_F(PropertyListTest, SavesOneElementPerNameInAtomOrder)
{
    // Interned before the file names them, so they sort first and in this order.
    const vadu::Atom third("pl_save_gamma");
    const vadu::Atom first("pl_save_alpha");
    ASSERT_TRUE(load(list, "<Balance>"
                           "<Property Name=\"pl_save_alpha\" Value=\"1.50\"/>"
                           "<Property Name=\"pl_save_beta\" Value=\"R&amp;D &lt;2&gt;\"/>"
                           "<Property Name=\"pl_save_gamma\" Value=\"\xD0\x9C\xD0\xB8\xD1\x80\"/>"
                           "</Balance>"));
    double alpha = 0;
    list.get_double(first, alpha);

    const std::string written = save(list);
    EXPECT_EQ(written, "<?xml version=\"1.0\"?>\n\n"
                       "<Balance>\n"
                       "\t<Property Name=\"pl_save_gamma\" Value=\"\xD0\x9C\xD0\xB8\xD1\x80\"/>\n"
                       "\t<Property Name=\"pl_save_alpha\" Value=\"1.5\"/>\n"
                       "\t<Property Name=\"pl_save_beta\" Value=\"R&amp;D &lt;2&gt;\"/>\n"
                       "</Balance>\n");

    // What was saved loads back into the same texts.
    xml::PropertyList again;
    ASSERT_TRUE(load(again, written));
    EXPECT_EQ(save(again), written);
}

TEST_F(PropertyListTest, ElementAndAttributeNamesAreTheListsOwn)
{
    xml::PropertyList settings("Setting", "Key", "Val");
    ASSERT_TRUE(load(settings, "<Settings><Setting Key=\"volume\" Val=\"0.5\"/></Settings>", "Settings"));
    EXPECT_FALSE(load(settings, "<Settings><Property Name=\"volume\" Value=\"1\"/></Settings>", "Settings"));
    EXPECT_FALSE(load(settings, "<Settings><Setting Name=\"volume\" Val=\"1\"/></Settings>", "Settings"));
    double volume = 0;
    settings.get_double("volume", volume);
    EXPECT_EQ(volume, 0.5);

    StringSink sink;
    xml::save_document(sink, "Settings", settings);
    EXPECT_EQ(sink.text, "<?xml version=\"1.0\"?>\n\n<Settings>\n\t<Setting Key=\"volume\" Val=\"0.5\"/>\n</Settings>\n");
}

} // namespace
