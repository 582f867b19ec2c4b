#include "font_fixture.h"

#include "vadu/lib3d/hard/render_list.h"

namespace font_test {
namespace {

using node::Text;

Text& text_of(node::Node& scene)
{
    return dynamic_cast<Text&>(*scene.get_children().front());
}

std::u16string u16(const vadu::WString& text) { return std::u16string(text.data(), text.size()); }

class TextNodeTest : public FontTest {
protected:
    TextNodeTest()
    {
        write_true_type("data/fonts/body.font", "Size=\"20\" Color=\"1 1 1\"");
        write("data/fonts/pixel.font", "<Font Height=\"8\" Width=\"32\" Size=\"8\">"
                                       "<Letter Symbol=\"A\" Width=\"5\" BaseWidth=\"6\"/>"
                                       "<Letter Code=\"10\" Width=\"1\"/></Font>");
    }

    // Renders the node with the fake device and returns the records it queued.
    std::vector<hard::RenderRecord> render(node::Node& node)
    {
        hard::RenderList list;
        node.render_to_list(hardware_, list);
        return list.records;
    }
};

TEST_F(TextNodeTest, LoadsAttributesFromAScene)
{
    auto scene = load_scene("<Text Name=\"T\" Font=\"data/fonts/Body.font\" Text=\"a\\nb\\tc\" Alignment=\"RIGHT\" "
                            "VAlignment=\"VA_MIDDLE\" Normalize=\"false\" MaxWidth=\"120\" LayoutRules=\"JAPANESE\"/>");
    Text& text = text_of(*scene);
    EXPECT_EQ(u16(text.get_text()), u"a\nb\tc");
    EXPECT_EQ(text.get_params().alignment, node::RIGHT);
    EXPECT_EQ(text.get_params().valignment, node::MIDDLE);
    EXPECT_EQ(text.get_params().normalize, 0);
    EXPECT_EQ(text.get_params().max_width, 120);
    EXPECT_EQ(text.get_params().layout_rules, node::LR_JAPANESE);
    ASSERT_NE(text.get_impl(), nullptr);
    // The pending transparency of a loaded node.
    EXPECT_FLOAT_EQ(text.get_impl()->transparency, 0.001f);
    EXPECT_GT(text.get_width(text.get_text()), 0.0f);

    // A text set as an attribute keeps its backslashes.
    text.change_attribute(vadu::Atom("Text"), vadu::WString(u"x\\ny"));
    EXPECT_EQ(u16(text.get_text()), u"x\\ny");
    EXPECT_TRUE(text.change_attribute(vadu::Atom("CheckLetters"), vadu::WString(u"1")));
}

struct SceneCase {
    const char* name;
    const char* element;
    bool loads;
};

class TextSceneTest : public TextNodeTest, public ::testing::WithParamInterface<SceneCase> {};

TEST_P(TextSceneTest, AcceptsOrRefuses)
{
    const SceneCase& c = GetParam();
    if (c.loads) {
        EXPECT_NO_THROW(load_scene(c.element));
    } else {
        EXPECT_THROW(load_scene(c.element), vadu::GluckBadResource);
    }
}

const SceneCase scene_cases[] = {
    {"LowerCaseAlignment", "<Text Font=\"data/fonts/body.font\" Alignment=\"center\"/>", false},
    {"MiddleWithoutPrefix", "<Text Font=\"data/fonts/body.font\" VAlignment=\"MIDDLE\"/>", true},
    {"UnknownVAlignment", "<Text Font=\"data/fonts/body.font\" VAlignment=\"BOTTOM\"/>", false},
    {"NormalizeYes", "<Text Font=\"data/fonts/body.font\" Normalize=\"yes\"/>", false},
    {"MaxWidthWord", "<Text Font=\"data/fonts/body.font\" MaxWidth=\"wide\"/>", false},
    {"LayoutRulesLower", "<Text Font=\"data/fonts/body.font\" LayoutRules=\"japanese\"/>", false},
    {"BrokenFont", "<Text Font=\"data/fonts/none.font\"/>", false},
    {"NoFont", "<Text Text=\"x\"/>", true},
};

INSTANTIATE_TEST_SUITE_P(Cases, TextSceneTest, ::testing::ValuesIn(scene_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TextNodeTest, MissingPhraseGivesThePlaceholder)
{
    auto scene = load_scene("<Text Font=\"data/fonts/body.font\" TextId=\"nowhere\"/>");
    EXPECT_EQ(u16(text_of(*scene).get_text()), u"--- Not Found ---");
}

TEST_F(TextNodeTest, TransparencyHidesTheTextButNotTheChildren)
{
    auto scene = load_scene("<Text Font=\"data/fonts/pixel.font\" Text=\"A\">"
                            "<Text Font=\"data/fonts/pixel.font\" Text=\"AA\"/></Text>");
    Text& text = text_of(*scene);
    ASSERT_EQ(render(text).size(), 2u);
    for (double hidden : {0.998, 1.0, std::nan("")}) {
        text.change_attribute(vadu::Atom("Transparency"), hidden);
        const auto records = render(text);
        ASSERT_EQ(records.size(), 1u) << hidden;
        EXPECT_EQ(records[0].vertex_count, 12u); // the child's two letters
    }
}

TEST_F(TextNodeTest, WithoutFontNothingIsDrawnMeasuredOrSaved)
{
    auto scene = load_scene("<Text Text=\"x\"><Node Name=\"Child\"/></Text>");
    Text& text = text_of(*scene);
    EXPECT_EQ(text.get_width(text.get_text()), 0.0f);
    EXPECT_EQ(text.get_height(), 0.0f);
    EXPECT_TRUE(render(text).empty());
    EXPECT_FALSE(text.change_attribute(vadu::Atom("Transparency"), 0.5));
    const std::string saved = save(text);
    EXPECT_EQ(saved.find("Font="), std::string::npos) << saved;
    std::unique_ptr<node::Node> copy(text.clone());
    EXPECT_EQ(u16(dynamic_cast<Text&>(*copy).get_text()), u"x");

    Text built(vadu::Atom("Built"), nullptr);
    EXPECT_EQ(built.get_height(), 0.0f);
}

TEST_F(TextNodeTest, SavesOnlyWhatDiffersFromTheDefaults)
{
    auto scene = load_scene("<Text Name=\"T\" Font=\"data/fonts/body.font\" Text=\"Hi\" VAlignment=\"TOP\" "
                            "MaxWidth=\"40\" Transparency=\"0.5\"/>");
    const std::string saved = save(text_of(*scene));
    EXPECT_NE(saved.find("Font=\"data/fonts/body.font\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("Text=\"Hi\""), std::string::npos) << saved;
    for (const char* absent : {"Alignment", "Normalize", "MaxWidth", "Transparency", "LayoutRules"})
        EXPECT_EQ(saved.find(absent), std::string::npos) << absent << " in " << saved;
    EXPECT_NE(saved.find("<Shader"), std::string::npos) << saved;

    auto other = load_scene("<Text Font=\"data/fonts/body.font\" Alignment=\"CENTER\" Normalize=\"false\"/>");
    const std::string saved_other = save(text_of(*other));
    EXPECT_NE(saved_other.find("Alignment=\"CENTER\""), std::string::npos) << saved_other;
    EXPECT_NE(saved_other.find("Normalize=\"false\""), std::string::npos) << saved_other;
    EXPECT_EQ(saved_other.find("Text="), std::string::npos) << saved_other;
}

TEST_F(TextNodeTest, ASavedSceneLoadsAgainWithItsTextNodes)
{
    auto scene = load_scene("<Node Name=\"Panel\"><Text Name=\"Title\" Font=\"data/fonts/body.font\" Text=\"Hi\" "
                            "Alignment=\"CENTER\" Position=\"4 5 0\"><Shader><Material Diffuse=\"1 0 0\"/></Shader>"
                            "</Text></Node>");
    const std::string saved = save(*scene);
    EXPECT_NE(saved.find("<Text "), std::string::npos) << saved;
    write("data/saved.xml", saved);
    std::unique_ptr<node::Node> again(
        node::create_from_resource("Again", nullptr, vadu::filesystem::String("data/saved.xml", true)));
    ASSERT_NE(again, nullptr);
    auto* title = dynamic_cast<Text*>(again->find_child("Title", true));
    ASSERT_NE(title, nullptr) << saved;
    EXPECT_EQ(title->get_parent(), again->find_child("Panel", true));
    EXPECT_EQ(u16(title->get_text()), u"Hi");
    EXPECT_EQ(title->get_params().alignment, node::CENTER);
    EXPECT_EQ(title->get_position().x, 4.0f);
    ASSERT_NE(title->get_impl(), nullptr);
    // Saved again, it reads as it did the first time.
    EXPECT_EQ(save(*again), saved);
}

TEST_F(TextNodeTest, TextSettersConvertTheirInput)
{
    Text text(vadu::Atom("T"), nullptr);
    text.set_text(vadu::String("caf\xE9\\n"), true);
    EXPECT_EQ(u16(text.get_text()), u"caf\u00E9\n");
    text.set_text_utf8(vadu::String("caf\xC3\xA9 \xFF!"), false);
    EXPECT_EQ(u16(text.get_text()), u"caf\u00E9 \uFFFD!");
    text.set_text_utf8(vadu::String("a\\tb"), true);
    EXPECT_EQ(u16(text.get_text()), u"a\tb");
}

TEST_F(TextNodeTest, SetFontReplacesTheFontHeld)
{
    Text text(vadu::Atom("T"), nullptr);
    text.set_font("data/fonts/body.font");
    ASSERT_NE(text.get_impl(), nullptr);
    EXPECT_FLOAT_EQ(text.get_impl()->transparency, 0.0001f);
    text.set_font("data/fonts/pixel.font");
    EXPECT_EQ(vadu::font::get_font_use_count("data/fonts/body.font"), 0);
    EXPECT_EQ(vadu::font::get_font_use_count("data/fonts/pixel.font"), 1);
    text.set_text(vadu::WString(u"AA"), false);
    EXPECT_FLOAT_EQ(text.get_width(text.get_text()), 2 * 6 * 1.0f / (8.0f / 8.0f * 32.0f));
}

TEST_F(TextNodeTest, ClonesOutliveTheirOriginals)
{
    for (const char* font : {"data/fonts/body.font", "data/fonts/pixel.font"}) {
        auto original = std::make_unique<Text>(vadu::Atom("T"), nullptr);
        original->set_font(font);
        original->set_text(vadu::WString(u"AA"), false);
        std::unique_ptr<node::Node> copy(original->clone());
        original.reset();
        EXPECT_EQ(vadu::font::get_font_use_count(font), 0) << font;
        Text& text = dynamic_cast<Text&>(*copy);
        EXPECT_GT(text.get_width(text.get_text()), 0.0f) << font;
        EXPECT_EQ(render(text).size(), 1u) << font;
    }
}

// --- TrueType implementation ---

struct SpanCase {
    const char* name;
    int32_t alignment;
    float left;  // of the quad, in units of the block width
    float right; // likewise
};

class TrueTypeSpanTest : public TextNodeTest, public ::testing::WithParamInterface<SpanCase> {};

TEST_P(TrueTypeSpanTest, QuadSpansFollowTheAlignmentMirroredWithoutParallelCamera)
{
    const SpanCase& c = GetParam();
    Text text(vadu::Atom("T"), nullptr);
    text.set_font("data/fonts/body.font");
    text.set_text(vadu::WString(u"Hello"), false);
    text.set_alignment(c.alignment);
    text.set_valignment(node::BOTTOM_BLOCK);
    ASSERT_EQ(render(text).size(), 1u);
    ASSERT_EQ(hardware_.textures.size(), 1u);
    const float w = text.get_width(text.get_text()) / 72.0f;
    const auto& p = hardware_.keeping.back()->positions;
    ASSERT_EQ(p.size(), 18u);
    // Vertex 0 is (x0, y0), vertex 2 is (x1, y0); no camera counts as a perspective one.
    EXPECT_NEAR(p[0], c.left * w, 1e-5f);
    EXPECT_NEAR(p[6], c.right * w, 1e-5f);
    EXPECT_NEAR(p[1], 0.0f, 1e-6f);
}

const SpanCase span_cases[] = {
    {"Left", node::LEFT, 0.0f, -1.0f},
    {"Center", node::CENTER, 0.5f, -0.5f},
    {"Right", node::RIGHT, 1.0f, 0.0f},
};

INSTANTIATE_TEST_SUITE_P(Cases, TrueTypeSpanTest, ::testing::ValuesIn(span_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TextNodeTest, TrueTypeTextureIsThePowerOfTwoOfTheBlock)
{
    Text text(vadu::Atom("T"), nullptr);
    text.set_font("data/fonts/body.font");
    text.set_text(vadu::WString(u"Power of two"), false);
    render(text);
    ASSERT_EQ(hardware_.textures.size(), 1u);
    const MemoryTexture& texture = *hardware_.textures[0];
    const int width = static_cast<int>(text.get_width(text.get_text()));
    EXPECT_GE(texture.width_, width);
    EXPECT_LT(texture.width_, 2 * width);
    EXPECT_EQ(texture.width_ & (texture.width_ - 1), 0);
    EXPECT_EQ(texture.height_ & (texture.height_ - 1), 0);
    EXPECT_EQ(hardware_.formats[0], vadu::pictureformat::format_bgra);
    // Something was drawn over the zeroed rows.
    bool lit = false;
    for (size_t i = 3; i < texture.pixels.size(); i += 4)
        lit = lit || texture.pixels[i] != 0;
    EXPECT_TRUE(lit);
}

TEST_F(TextNodeTest, TrueTypeRasterisesAgainOnlyAfterAChange)
{
    Text text(vadu::Atom("T"), nullptr);
    text.set_font("data/fonts/body.font");
    text.set_text(vadu::WString(u"Once"), false);
    auto& impl = dynamic_cast<node::TrueTypeTextImpl&>(*text.get_impl());
    render(text);
    render(text);
    EXPECT_EQ(impl.get_draw_count(), 1u);
    text.get_width(text.get_text());
    EXPECT_EQ(impl.get_draw_count(), 1u);
    text.set_text(vadu::WString(u"Twice"), false);
    render(text);
    EXPECT_EQ(impl.get_draw_count(), 2u);
    text.set_max_width(10);
    render(text);
    EXPECT_EQ(impl.get_draw_count(), 3u);
}

TEST_F(TextNodeTest, ABlockBeyondTheDeviceLimitDrawsNothing)
{
    Text text(vadu::Atom("T"), nullptr);
    text.set_font("data/fonts/body.font");
    text.set_text(vadu::WString(std::u16string(800, u'W').c_str()), false);
    EXPECT_TRUE(render(text).empty());
    EXPECT_TRUE(render(text).empty());
    const std::string log = log_.text();
    EXPECT_NE(log.find("does not fit a texture"), std::string::npos) << log;
    EXPECT_EQ(log.find("does not fit a texture"), log.rfind("does not fit a texture")) << log;
}

TEST_F(TextNodeTest, DevicesAddedAndRemovedMakeAndFreeTheirData)
{
    for (const char* font : {"data/fonts/body.font", "data/fonts/pixel.font"}) {
        Text text(vadu::Atom("T"), nullptr);
        text.set_font(font);
        text.set_text(vadu::WString(u"A"), false);
        TextHardware second;
        const int before = hardware_.buffers.created;
        hard::Manager::add_hardware(&second);
        EXPECT_EQ(second.buffers.created, 1) << font;
        EXPECT_EQ(render(text).size(), 1u);
        hard::Manager::notify_remove_hardware(&second);
        EXPECT_EQ(second.buffers.destroyed, 1) << font;
        EXPECT_EQ(hardware_.buffers.created, before);

        const vadu::Gluck error = expect_gluck([&] {
            hard::RenderList list;
            text.render_to_list(second, list);
        });
        EXPECT_EQ(to_std(error.get_description()), "Data not found");
        EXPECT_NE(to_std(error.get_function()).find("::find_data"), std::string::npos);
    }
}

TEST_F(TextNodeTest, TrueTypeDataNotFoundNamesItsDataType)
{
    Text text(vadu::Atom("T"), nullptr);
    text.set_font("data/fonts/body.font");
    TextHardware stranger;
    const vadu::Gluck error = expect_gluck([&] {
        hard::RenderList list;
        text.render_to_list(stranger, list);
    });
    EXPECT_EQ(to_std(error.get_function()),
              "vadu::HardwareDependentObject<class vadu::lib3d::hard::Manager,"
              "struct vadu::lib3d::node::TrueTypeTextData>::find_data");
}

// --- Proportional implementation ---

TEST_F(TextNodeTest, ProportionalLineFeedsAddLinesAndLetterQuadsFollowThePicture)
{
    auto scene = load_scene("<Text Font=\"data/fonts/pixel.font\" Text=\"A\\nA\" Normalize=\"false\"/>");
    Text& text = text_of(*scene);
    EXPECT_FLOAT_EQ(text.get_height(), 16.0f);
    const auto records = render(text);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].vertex_count, 18u); // the line feed is a letter too
    const auto& p = hardware_.keeping.back()->positions;
    const auto& t = hardware_.keeping.back()->texture_coordinates;
    ASSERT_EQ(p.size(), 54u);
    // LEFT: the first letter starts at 0, its baseline at -(base + 1).
    EXPECT_FLOAT_EQ(p[0], 0.0f);
    EXPECT_FLOAT_EQ(p[1], -1.0f);
    EXPECT_FLOAT_EQ(p[6], 5.0f);
    EXPECT_FLOAT_EQ(t[0], 0.5f / 32.0f);
    EXPECT_FLOAT_EQ(t[4], 0.5f / 32.0f + 4.0f / 32.0f);
    // The line feed's letter advances by its width of 1 after the 6 of "A".
    EXPECT_FLOAT_EQ(p[36], 7.0f);

    // Normalised: scaled by 1 / (size / height * width).
    text.change_attribute(vadu::Atom("Text"), vadu::WString(u"A"));
    text.update_layout();
    auto normalised = load_scene("<Text Font=\"data/fonts/pixel.font\" Text=\"A\"/>");
    EXPECT_FLOAT_EQ(text_of(*normalised).get_width(vadu::WString(u"AA")), 12.0f / 32.0f);
}

TEST_F(TextNodeTest, ProportionalUpdateFailureIsReported)
{
    Text text(vadu::Atom("T"), nullptr);
    text.set_font("data/fonts/pixel.font");
    hardware_.keeping.back()->refuse = true;
    const vadu::Gluck error = expect_gluck([&] { text.set_text(vadu::WString(u"A"), false); });
    EXPECT_EQ(to_std(error.get_description()), "it->second->update() failed");
    EXPECT_EQ(to_std(error.get_function()), "vadu::lib3d::node::ProportionalTextImpl::on_change_text");
}

} // namespace
} // namespace font_test
