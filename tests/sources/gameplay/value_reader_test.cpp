#include <gtest/gtest.h>

#include <string>

#include "sources/gameplay/value_reader.h"
#include "vadu/exception.h"

namespace {

using gameplay::ValueReader;

struct Parsed {
    explicit Parsed(const std::string& text) : document(text.data(), text.size()) {}
    ValueReader::Element root() const { return document.get_root(); }
    vadu::xml::parser::Document document;
};

std::string Std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

template <typename F>
std::pair<std::string, std::string> GluckOf(F&& call)
{
    try {
        call();
    } catch (const vadu::Gluck& gluck) {
        return {Std(gluck.get_function()), Std(gluck.get_description())};
    }
    return {"", "no exception"};
}

TEST(ValueReaderTest, ReadsPointsFromXAndYChildren)
{
    Parsed doc("<Item><Position><X>12.5</X><Y>-3</Y></Position></Item>");
    const auto point = ValueReader::ReadVector2(doc.root(), "Position");
    EXPECT_FLOAT_EQ(point.x, 12.5f);
    EXPECT_FLOAT_EQ(point.y, -3.0f);
}

TEST(ValueReaderTest, PointFailuresName)
{
    struct Case {
        const char* xml;
        const char* function;
        const char* description;
    } cases[] = {
        {"<Item/>", "ValueReader::CheckNodeForNull", "Unable to find node Position"},
        {"<Item><Position><X>1</X></Position></Item>", "ValueReader::CheckNodeForNull", "Unable to find node Y"},
        {"<Item><Position><X>1</X><Y></Y></Position></Item>", "", "No data in Y"},
        {"<Item><Position><X>one</X><Y>2</Y></Position></Item>", "ValueReader::ReadNumber", "Not a number in X: one"},
    };
    for (const Case& c : cases) {
        Parsed doc(c.xml);
        const auto [function, description] = GluckOf([&] { ValueReader::ReadVector2(doc.root(), "Position"); });
        if (*c.function) {
            EXPECT_EQ(function, c.function) << c.xml;
        }
        EXPECT_EQ(description, c.description) << c.xml;
    }
}

TEST(ValueReaderTest, CustomPropertiesMatchExactlyAndTheFirstWins)
{
    Parsed doc(R"(<Level><CustomProperties>
        <Property Name="gravity"><string>7</string></Property>
        <Property Name="Gravity"><string>99</string></Property>
        <Property Name="gravity"><string>8</string></Property>
        <Property Name="bare">42</Property>
        <Property Name="empty"><string></string></Property>
        <Property Name="nothing"/>
        <Property Name="grav"><string>1</string></Property>
    </CustomProperties></Level>)");
    struct Case {
        const char* name;
        bool exists;
        const char* text;
    } cases[] = {
        {"gravity", true, "7"},   {"Gravity", true, "99"}, {"bare", true, "42"}, {"empty", true, ""},
        {"nothing", true, ""},    {"gravit", false, ""},   {"gravity ", false, ""}, {"", false, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValueReader::IsCustomPropertyExist(doc.root(), c.name), c.exists) << c.name;
        EXPECT_EQ(Std(ValueReader::ReadCustomProperty(doc.root(), c.name)), c.text) << c.name;
    }
    EXPECT_EQ(ValueReader::ReadInt(doc.root(), "gravity"), 7);
    EXPECT_EQ(ValueReader::ReadInt(doc.root(), "empty"), 0);
    EXPECT_EQ(ValueReader::ReadInt(doc.root(), "absent"), 0);
    EXPECT_FLOAT_EQ(ValueReader::ReadFloat(doc.root(), "bare"), 42.0f);
}

TEST(ValueReaderTest, PropertyFailuresName)
{
    Parsed bare("<Level/>");
    EXPECT_EQ(GluckOf([&] { ValueReader::ReadCustomProperty(bare.root(), "x"); }),
              std::make_pair(std::string("ValueReader::ReadCustomProperty"), std::string("Unable to find CustomProperties")));
    EXPECT_EQ(GluckOf([&] { ValueReader::IsCustomPropertyExist(bare.root(), "x"); }),
              std::make_pair(std::string("ValueReader::IsCustomPropertyExist"),
                             std::string("Unable to find CustomProperties")));

    Parsed words(R"(<Level><CustomProperties><Property Name="levelEnergy"><string>lots</string></Property>
        </CustomProperties></Level>)");
    EXPECT_EQ(GluckOf([&] { ValueReader::ReadInt(words.root(), "levelEnergy"); }).second,
              "Property levelEnergy is not a number: lots");
    EXPECT_EQ(GluckOf([&] { ValueReader::ReadFloat(words.root(), "levelEnergy"); }).second,
              "Property levelEnergy is not a number: lots");
}

} // namespace
