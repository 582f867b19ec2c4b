#include "font_fixture.h"

#include "vadu/lib3d/hard/render_list.h"

namespace font_test {
namespace {

using node::text::SymbolAtlas;
using node::text::SymbolAtlasRep;

class SymbolAtlasTest : public FontTest {
protected:
    // A dictionary over a TrueType font document of the given attributes.
    void write_atlas(const std::string& name, const std::string& font_attributes, const std::string& dictionary)
    {
        write_true_type("data/fonts/" + name + ".font", font_attributes);
        write("data/fonts/" + name + ".symdict", "<SymbolAtlas><Font Name=\"data/fonts/" + name +
                                                     ".font\"/><Dictionary Value=\"" + dictionary +
                                                     "\"/></SymbolAtlas>");
    }
    static vadu::filesystem::String path(const std::string& text) { return {text.c_str(), true}; }
};

TEST_F(SymbolAtlasTest, GrowsWideThenHighUntilTheGlyphsFit)
{
    struct Case {
        const char* dictionary;
        int width;
        int height;
    };
    // DejaVu Sans at 12 px advances at most 18 px: a 32-pixel square to start with.
    const Case cases[] = {
        {"0123", 32, 32},
        {"0123456789AB", 64, 32},
        {"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", 64, 64},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string name = "grow" + std::to_string(index++);
        write_atlas(name, "Size=\"12\"", c.dictionary);
        SymbolAtlas atlas(path("data/fonts/" + name + ".symdict"));
        const SymbolAtlasRep& rep = atlas.get_rep();
        EXPECT_EQ(std::lround(rep.get_start_size()) > 16 && std::lround(rep.get_start_size()) <= 32, true)
            << rep.get_start_size();
        EXPECT_EQ(rep.get_main_size().width, c.width) << c.dictionary;
        EXPECT_EQ(rep.get_main_size().height, c.height) << c.dictionary;
        ASSERT_NE(rep.get_main_texture(hardware_), nullptr);
        EXPECT_EQ(static_cast<int>(rep.get_main_texture(hardware_)->get_width()), c.width);
        EXPECT_FALSE(rep.has_outline());
        EXPECT_EQ(rep.get_outline_texture(hardware_), nullptr);
    }
}

TEST_F(SymbolAtlasTest, AnOutlinedFontGetsASecondTexture)
{
    write_atlas("score", "Size=\"16\" Outline=\"true\" OutlineWidth=\"2\"", "0123456789,+x/");
    SymbolAtlas atlas(path("data/fonts/score.symdict"));
    const SymbolAtlasRep& rep = atlas.get_rep();
    ASSERT_TRUE(rep.has_outline());
    ASSERT_NE(rep.get_outline_texture(hardware_), nullptr);
    EXPECT_GE(rep.get_outline_size().width, rep.get_main_size().width);
    EXPECT_EQ(hardware_.textures.size(), 2u);
}

TEST_F(SymbolAtlasTest, ATinyStartSizeStillEnds)
{
    write_atlas("tiny", "Size=\"0.05\"", "0123");
    SymbolAtlas atlas(path("data/fonts/tiny.symdict"));
    EXPECT_GE(atlas.get_rep().get_main_size().width, 1);
}

TEST_F(SymbolAtlasTest, GrowthStopsAtTheDeviceLimit)
{
    hardware_.set_attribute_names({"device_caps.MaxTextureWidth", "device_caps.MaxTextureHeight"}, {"64", "64"});
    hardware_.add_attribute_table_row({"64", "64"});
    write_atlas("big", "Size=\"40\"", "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    try {
        SymbolAtlas atlas(path("data/fonts/big.symdict"));
        ADD_FAILURE() << "loaded beyond the limit";
    } catch (const vadu::GluckBadResource& error) {
        EXPECT_EQ(to_std(error.get_function()), "vadu::lib3d::node::text::SymbolAtlasRep::SymbolAtlasRep");
        EXPECT_EQ(to_std(error.get_resource().get_text()), "data/fonts/big.symdict");
    }
    EXPECT_EQ(node::text::get_symbol_atlas_count(), 0u);
    EXPECT_EQ(vadu::font::get_font_table_size(), 0u);
}

struct Refusal {
    const char* name;
    const char* dictionary;
    const char* function;
    const char* description;
};

class SymbolAtlasRefusalTest : public SymbolAtlasTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SymbolAtlasRefusalTest, RefusesAndKeepsNothing)
{
    const Refusal& c = GetParam();
    write("data/fonts/pixel.font", "<Font Height=\"8\" Width=\"8\"/>");
    write_atlas("other", "Size=\"12\"", "01");
    write("data/fonts/bad.symdict", c.dictionary);
    const vadu::Gluck error = expect_gluck([this] { SymbolAtlas atlas(path("data/fonts/bad.symdict")); });
    EXPECT_EQ(to_std(error.get_function()), c.function);
    EXPECT_EQ(to_std(error.get_description()), c.description);
    EXPECT_EQ(node::text::get_symbol_atlas_count(), 0u);
    EXPECT_EQ(vadu::font::get_font_table_size(), 0u);
}

const char visit_function[] = "vadu::lib3d::node::text::SymbolAtlasRep::{ctor}::TrueTypeExtractorVisitor::Visit";
const char rep_function[] = "vadu::lib3d::node::text::SymbolAtlasRep::SymbolAtlasRep";

const Refusal refusals[] = {
    {"Proportional", "<SymbolAtlas><Font Name=\"data/fonts/pixel.font\"/></SymbolAtlas>", visit_function,
     "Symbol atlases cannot be generated over proportional fonts"},
    {"OtherAtlas", "<SymbolAtlas><Font Name=\"data/fonts/other.symdict\"/></SymbolAtlas>", visit_function,
     "Symbol atlases cannot be generated over another symbol atlas"},
    {"Itself", "<SymbolAtlas><Font Name=\"data/fonts/bad.symdict\"/></SymbolAtlas>", visit_function,
     "Symbol atlases cannot be generated over another symbol atlas"},
    {"NoFont", "<SymbolAtlas><Dictionary Value=\"12\"/></SymbolAtlas>", rep_function,
     "Given font isn't a true type one"},
    {"UnknownChild", "<SymbolAtlas><Glyphs/></SymbolAtlas>", rep_function,
     "Failed to load symbol atlas definition resource"},
    {"NotXml", "<SymbolAtlas", rep_function, "Failed to load symbol atlas definition resource"},
};

INSTANTIATE_TEST_SUITE_P(Cases, SymbolAtlasRefusalTest, ::testing::ValuesIn(refusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SymbolAtlasTest, ANodeAndGameCodeShareOneAtlas)
{
    write_atlas("score", "Size=\"16\"", "0123456789,");
    SymbolAtlas held(path("Data/Fonts/Score.symdict"));
    auto scene = load_scene("<Text Font=\"data/fonts/score.symdict\" Text=\"12,345\"/>");
    EXPECT_EQ(node::text::get_symbol_atlas_count(), 1u);
    EXPECT_EQ(hardware_.textures.size(), 1u);
    scene.reset();
    EXPECT_EQ(node::text::get_symbol_atlas_use_count("data/fonts/score.symdict"), 1);
}

TEST_F(SymbolAtlasTest, TextRebuildsItsBuffersAtTheNextDrawOnly)
{
    write_atlas("score", "Size=\"16\" Outline=\"true\" OutlineWidth=\"1\"", "0123456789,");
    auto scene = load_scene("<Text Font=\"data/fonts/score.symdict\" Text=\"12,345\" Alignment=\"CENTER\"/>");
    node::Text& text = dynamic_cast<node::Text&>(*scene->get_children().front());
    auto& impl = dynamic_cast<node::SymbolAtlasTextImpl&>(*text.get_impl());
    hard::RenderList list;
    // The outline first, behind the glyphs (farther along the camera's view, a mirrored
    // camera's too), both half a pixel over.
    for (const float mirror : {1.0f, -1.0f}) {
        SCOPED_TRACE(mirror);
        list.records.clear();
        list.camera_matrix[10] = mirror;
        text.render_to_list(hardware_, list);
        ASSERT_EQ(list.records.size(), 2u);
        EXPECT_EQ(list.records[0].vertex_count, 36u);
        EXPECT_EQ(list.records[1].vertex_count, 36u);
        EXPECT_FLOAT_EQ(list.records[0].world[11], list.records[1].world[11] - 0.05f * mirror);
        EXPECT_FLOAT_EQ(list.records[1].world[3], 0.5f);
    }
    EXPECT_EQ(impl.get_fill_count(), 1u);
    // Centred: the first glyph starts left of the origin.
    const auto& positions = hardware_.keeping.back()->positions;
    EXPECT_LT(positions[0], 0.0f);

    text.set_text(vadu::WString(u"7"), false);
    EXPECT_EQ(impl.get_fill_count(), 1u);
    text.get_width(text.get_text());
    EXPECT_EQ(impl.get_fill_count(), 1u);
    list.records.clear();
    text.render_to_list(hardware_, list);
    EXPECT_EQ(impl.get_fill_count(), 2u);
    EXPECT_EQ(list.records[1].vertex_count, 6u);
}

TEST_F(SymbolAtlasTest, ACopyKeepsTheAtlasLoaded)
{
    write_atlas("score", "Size=\"16\"", "0123456789");
    auto scene = load_scene("<Text Font=\"data/fonts/score.symdict\" Text=\"42\"/>");
    std::unique_ptr<node::Node> copy(scene->get_children().front()->clone());
    scene.reset();
    EXPECT_EQ(node::text::get_symbol_atlas_count(), 1u);
    hard::RenderList list;
    copy->render_to_list(hardware_, list);
    EXPECT_EQ(list.records.size(), 1u);
    copy.reset();
    EXPECT_EQ(node::text::get_symbol_atlas_count(), 0u);
    EXPECT_EQ(vadu::font::get_font_table_size(), 0u);
}

TEST_F(SymbolAtlasTest, DevicesAddedAndRemovedMakeAndFreeTextures)
{
    write_atlas("score", "Size=\"16\"", "0123456789");
    SymbolAtlas atlas(path("data/fonts/score.symdict"));
    TextHardware second;
    hard::Manager::add_hardware(&second);
    EXPECT_EQ(second.textures.size(), 1u);
    EXPECT_NE(atlas.get_rep().get_main_texture(second), nullptr);
    hard::Manager::notify_remove_hardware(&second);
    const vadu::Gluck error = expect_gluck([&] { atlas.get_rep().get_main_texture(second); });
    EXPECT_EQ(to_std(error.get_description()), "Data not found");
    EXPECT_EQ(to_std(error.get_function()),
              "vadu::HardwareDependentObject<class vadu::lib3d::hard::Manager,"
              "struct vadu::lib3d::node::text::SymbolAtlasTextures>::find_data");
}

} // namespace
} // namespace font_test
