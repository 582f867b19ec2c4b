#include "font_fixture.h"

namespace font_test {
namespace {

using vadu::font::FontUse;
using vadu::font::Proportional;
using vadu::font::TrueType;

// Tells which kind a font is.
struct KindVisitor : vadu::font::Visitor {
    void Visit(node::text::SymbolAtlas&) override { kind = "atlas"; }
    void Visit(TrueType&) override { kind = "truetype"; }
    void Visit(Proportional&) override { kind = "proportional"; }
    std::string kind;
};

std::string kind_of(const FontUse& use)
{
    KindVisitor visitor;
    use.get()->accept(visitor);
    return visitor.kind;
}

TEST_F(FontTest, PathVariantsShareOneFontAndTheLastUseUnloadsIt)
{
    write_true_type("data/fonts/body.font");
    {
        FontUse first("data/fonts/body.font");
        FontUse upper("DATA/Fonts/Body.FONT");
        FontUse backslashes("data\\fonts\\body.font");
        EXPECT_EQ(first.get(), upper.get());
        EXPECT_EQ(first.get(), backslashes.get());
        EXPECT_EQ(vadu::font::get_font_table_size(), 1u);
        EXPECT_EQ(vadu::font::get_font_use_count("data/fonts/body.font"), 3);
        FontUse copy(first);
        EXPECT_EQ(vadu::font::get_font_use_count("data/fonts/body.font"), 4);
        EXPECT_EQ(to_std(first.get_path().get_text()), "data/fonts/body.font");
    }
    EXPECT_EQ(vadu::font::get_font_table_size(), 0u);
}

TEST_F(FontTest, TrueTypeSettingsReachTheTextFont)
{
    write_true_type("data/fonts/a.font", "Size=\"24\" Color=\"1 0.5 0\" Outline=\"true\" OutlineColor=\"0 0 1\" "
                                         "Shadow=\"true\" ShadowOffset=\"2.9 -3.7\" ShadowColor=\"0 1 0\"");
    FontUse use("data/fonts/a.font");
    ASSERT_EQ(kind_of(use), "truetype");
    auto& font = static_cast<TrueType&>(*use.get());
    TrueText::TextFont& text_font = *font.get_text_font();
    EXPECT_FLOAT_EQ(text_font.GetSize(), 24.0f);
    EXPECT_EQ(text_font.GetColor(), (TrueText::Color{255, 255, 127, 0}));
    EXPECT_TRUE(text_font.GetOutline().enabled);
    // Without "OutlineWidth" the width is 0, not the library's own default.
    EXPECT_FLOAT_EQ(text_font.GetOutline().width, 0.0f);
    EXPECT_EQ(text_font.GetOutline().color, (TrueText::Color{255, 0, 0, 255}));
    EXPECT_TRUE(text_font.GetShadow().enabled);
    EXPECT_EQ(text_font.GetShadow().offset_x, 2);
    EXPECT_EQ(text_font.GetShadow().offset_y, -3);
    EXPECT_EQ(text_font.GetShadow().color, (TrueText::Color{255, 0, 255, 0}));

    // A copy shares the text font.
    std::unique_ptr<vadu::font::FontRep> copy = font.clone();
    EXPECT_EQ(static_cast<TrueType&>(*copy).get_text_font(), font.get_text_font());
}

TEST_F(FontTest, ColoursOutsideTheRangeStayInTheirChannel)
{
    const float rgb[3] = {-1.0f, 2.0f, 0.5f};
    EXPECT_EQ(vadu::font::to_color(rgb), (TrueText::Color{255, 0, 255, 127}));
}

TEST_F(FontTest, ProportionalLettersTakeTheirDefaultsAndFallBack)
{
    write("data/fonts/p.font", "<Font Height=\"10\" Width=\"64\" Base=\"2\" Size=\"8\">"
                               "<Letter Symbol=\"A\" X=\"1\" Y=\"2\" Width=\"5\"/>"
                               "<Letter Code=\"66\" Width=\"4\" Height=\"7\" BaseWidth=\"6\" BaseSkip=\"1\"/>"
                               "<Letter Code=\"66\" Width=\"3\"/>"
                               "</Font>");
    FontUse use("data/fonts/p.font");
    ASSERT_EQ(kind_of(use), "proportional");
    const auto& font = static_cast<const Proportional&>(*use.get());
    EXPECT_EQ(font.get_height(), 10);
    EXPECT_EQ(font.get_width(), 64);
    EXPECT_EQ(font.get_base(), 2);
    EXPECT_DOUBLE_EQ(font.get_size(), 8.0);
    const Proportional::Letter& a = font.get_letter(u'A');
    EXPECT_EQ(a.x, 1);
    EXPECT_EQ(a.y, 2);
    EXPECT_EQ(a.height, 10);    // the font's height
    EXPECT_EQ(a.base_width, 5); // its own width
    // The later "B" replaced the earlier one.
    EXPECT_EQ(font.get_letter(u'B').width, 3);
    EXPECT_EQ(font.get_letter(u'B').base_width, 3);
    // No letter 0: an all-zero letter.
    EXPECT_EQ(font.get_letter(u'Z').width, 0);
    EXPECT_EQ(font.get_letter(u'Z').base_width, 0);

    write("data/fonts/q.font", "<Font><Letter Code=\"65536\" Width=\"9\"/></Font>");
    FontUse with_zero("data/fonts/q.font");
    // Code 65536 keeps its low 16 bits: letter 0, which missing characters fall back to.
    EXPECT_EQ(static_cast<const Proportional&>(*with_zero.get()).get_letter(u'?').width, 9);
}

struct LoadFailure {
    const char* name;
    const char* document;
    const char* function;
    const char* description;
};

class FontLoadFailureTest : public FontTest, public ::testing::WithParamInterface<LoadFailure> {};

TEST_P(FontLoadFailureTest, FailsAndLeavesNoEntry)
{
    const LoadFailure& c = GetParam();
    write("data/fonts/bad.font", c.document);
    write_true_type("data/fonts/good.font");
    FontUse good("data/fonts/good.font");
    const vadu::Gluck error = expect_gluck([] { FontUse use("data/fonts/bad.font"); });
    EXPECT_EQ(to_std(error.get_function()), c.function);
    EXPECT_EQ(to_std(error.get_description()), c.description);
    EXPECT_EQ(vadu::font::get_font_table_size(), 1u);
    EXPECT_EQ(vadu::font::get_font_use_count("data/fonts/bad.font"), 0);
}

const LoadFailure load_failures[] = {
    {"UnknownRoot", "<Picture/>", "vadu::font::GenericFontRep::GenericFontRep", "load() failed"},
    {"NotXml", "<Font", "vadu::font::GenericFontRep::GenericFontRep", "load() failed"},
    {"TwoCharacterSymbol", "<Font><Letter Symbol=\"AB\"/></Font>", "vadu::font::Proportional::Proportional",
     "load() failed"},
    {"UnknownLetterAttribute", "<Font><Letter Kind=\"1\"/></Font>", "vadu::font::Proportional::Proportional",
     "load() failed"},
    {"ZeroWidth", "<Font Width=\"0\"/>", "vadu::font::Proportional::Proportional", "load() failed"},
    {"NegativeHeight", "<Font Height=\"-4\"/>", "vadu::font::Proportional::Proportional", "load() failed"},
    {"ZeroSize", "<Font Size=\"0\"/>", "vadu::font::Proportional::Proportional", "load() failed"},
    {"TrueTypeChild", "<TrueTypeFont Face=\"data/fonts/sans.ttf\" Size=\"9\"><X/></TrueTypeFont>",
     "vadu::font::TrueType::TrueType", "load() failed"},
    {"TrueTypeBadColour", "<TrueTypeFont Face=\"data/fonts/sans.ttf\" Color=\"1 0\"/>",
     "vadu::font::TrueType::TrueType", "load() failed"},
    {"TrueTypeUnknownAttribute", "<TrueTypeFont Face=\"data/fonts/sans.ttf\" Weight=\"3\"/>",
     "vadu::font::TrueType::TrueType", "load() failed"},
    {"MissingFace", "<TrueTypeFont Face=\"data/fonts/none.ttf\" Size=\"9\"/>",
     "vadu::font::`anonymous-namespace'::faceReader", "Failed to load TrueType font face."},
};

INSTANTIATE_TEST_SUITE_P(Cases, FontLoadFailureTest, ::testing::ValuesIn(load_failures),
                         [](const auto& info) { return std::string(info.param.name); });

// A face file that is there but damaged (empty, or not a font at all) is the file named
// in the error, with what went wrong; the font description that names it is fine.
TEST_F(FontTest, ADamagedFaceFileIsTheOneNamed)
{
    for (const char* bytes : {"", "this is not a TrueType face at all"}) {
        SCOPED_TRACE(bytes);
        write("data/fonts/broken.ttf", bytes);
        write("data/fonts/broken.font", "<TrueTypeFont Face=\"data/fonts/broken.ttf\" Size=\"9\"/>");
        try {
            FontUse use("data/fonts/broken.font");
            ADD_FAILURE() << "no error";
        } catch (const vadu::GluckBadResource& error) {
            EXPECT_EQ(std::string(error.get_resource().get_text().c_str()), "data/fonts/broken.ttf");
            EXPECT_EQ(to_std(error.get_description()).rfind("The TrueType face cannot be read: ", 0), 0u)
                << to_std(error.get_description());
        } catch (const vadu::Gluck& error) {
            ADD_FAILURE() << "the face file is not named: " << to_std(error.get_description());
        }
        EXPECT_EQ(vadu::font::get_font_use_count("data/fonts/broken.font"), 0);
    }
}

TEST_F(FontTest, AMissingFontFileFails)
{
    const vadu::Gluck error = expect_gluck([] { FontUse use("data/fonts/absent.font"); });
    EXPECT_EQ(to_std(error.get_description()), "load() failed");
    EXPECT_EQ(vadu::font::get_font_table_size(), 0u);
}

} // namespace
} // namespace font_test
