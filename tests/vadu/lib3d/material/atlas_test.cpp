#include "vadu/lib3d/material/atlas.h"

#include <gtest/gtest.h>

#include <string_view>

#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/xml_reader.h"

namespace {

using namespace texture_test;
using namespace vadu::lib3d::material;
using vadu::Atom;
using vadu::filesystem::String;

String path(const char* text)
{
    return String(text, true);
}

const char* const sheet_atlas = R"(<Atlas TextureSrc="Atlas\Sheet">
  <Frame Name="fish" Rect="10 20 32 16"/>
  <Frame Name="star" X="1" Y="2" Width="8" Height="9"/>
  <Frame Name="fish" Rect="0 0 4 4"/>
</Atlas>)";

struct Parsed {
    bool loaded = false;
    bool threw = false;
    std::string description;
    std::string function;
    AtlasDefinition definition;
};

std::unique_ptr<Parsed> parse(std::string_view text)
{
    auto result = std::make_unique<Parsed>();
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    vadu::xml::StreamResource resource(&stream);
    vadu::xml::Root root(result->definition, "Atlas");
    try {
        result->loaded = resource.load(root);
    } catch (const vadu::Gluck& failure) {
        result->threw = true;
        result->description = to_std(failure.get_description());
        result->function = to_std(failure.get_function());
    }
    return result;
}

TEST(AtlasDefinition, ReadsFramesByRectOrByFields)
{
    const struct {
        const char* frame;
        int32_t x, y, width, height;
    } cases[] = {
        {R"(Rect="0 0 64 32")", 0, 0, 64, 32},
        {R"(Rect=" 3 -4 5 6")", 3, -4, 5, 6},
        {R"(X="7" Y="8" Width="9" Height="10")", 7, 8, 9, 10},
        {R"(Width="2" Height="3")", 0, 0, 2, 3},
    };
    for (const auto& c : cases) {
        const std::string text = std::string(R"(<Atlas TextureSrc="a"><Frame Name="f" )") + c.frame + "/></Atlas>";
        auto parsed = parse(text);
        ASSERT_TRUE(parsed->loaded) << c.frame;
        ASSERT_EQ(parsed->definition.frames.size(), 1u);
        const AtlasFrame& frame = parsed->definition.frames[0];
        EXPECT_EQ(frame.name, Atom("f"));
        EXPECT_EQ(frame.x, c.x) << c.frame;
        EXPECT_EQ(frame.y, c.y) << c.frame;
        EXPECT_EQ(frame.width, c.width) << c.frame;
        EXPECT_EQ(frame.height, c.height) << c.frame;
    }
    auto sheet = parse(sheet_atlas);
    ASSERT_TRUE(sheet->loaded);
    EXPECT_EQ(to_std(sheet->definition.texture_source.get_text()), "atlas/sheet");
    EXPECT_EQ(sheet->definition.frames.size(), 3u);
}

TEST(AtlasDefinition, RefusesBadFramesAndUnknownNames)
{
    const struct {
        const char* text;
        bool throws;
    } cases[] = {
        {R"(<Atlas><Frame Name="f" Rect="0 0 64"/></Atlas>)", true}, // the missing height stays 0
        {R"(<Atlas><Frame Name="f" Width="0" Height="5"/></Atlas>)", true},
        {R"(<Atlas><Frame Name="f" X="1" Y="1"/></Atlas>)", true},
        {R"(<Atlas><Frame Name="f" Rect="0 0"/></Atlas>)", false},
        {R"(<Atlas><Frame Name="f" Rect="1 2 3 4" Depth="1"/></Atlas>)", false},
        {R"(<Atlas><Frame Name="f" Width="x"/></Atlas>)", false},
        {R"(<Atlas Source="a"/>)", false},
        {R"(<Atlas><Picture/></Atlas>)", false},
    };
    for (const auto& c : cases) {
        auto parsed = parse(c.text);
        EXPECT_FALSE(parsed->loaded) << c.text;
        EXPECT_EQ(parsed->threw, c.throws) << c.text;
        if (c.throws) {
            EXPECT_EQ(parsed->description, "Atlas width and height should be greater then 0");
            EXPECT_EQ(parsed->function, "vadu::lib3d::material::AtlasDefinition::OnNode");
        }
    }
}

class AtlasTest : public TextureFixture {
protected:
    ~AtlasTest() override
    {
        EXPECT_EQ(get_texture_atlas_cache(), nullptr) << "an atlas outlived its handles";
        EXPECT_EQ(get_texture_simple_cache(), nullptr);
    }

    void write_sheet()
    {
        write_text(file("atlas/sheet.atlas"), sheet_atlas);
        write_png(file("atlas/sheet.png"), gradient(128, 64), true);
    }

    static void passes()
    {
        const int64_t now = vadu::time::get_ticks();
        load_texture_atlas_reps(now, 10.0);
        load_texture_simple_reps(now, 10.0);
    }
};

TEST_F(AtlasTest, FramesResolveByIndexAndByFirstName)
{
    write_sheet();
    TextureAtlasRep rep(path("atlas/sheet.atlas"));
    EXPECT_FALSE(rep.is_loaded());
    rep.load();
    ASSERT_TRUE(rep.is_loaded());
    ASSERT_EQ(rep.get_frames().size(), 3u);
    EXPECT_EQ(rep.GetFrame(Atom("fish")).x, 10) << "the first of two frames of that name";
    EXPECT_EQ(rep.GetFrame(1).height, 9);
    EXPECT_EQ(rep.GetFrame(2).width, 4);
    EXPECT_EQ(to_std(rep.get_picture()->get_rep()->get_path().get_text()), "atlas/sheet");
    EXPECT_FALSE(rep.get_picture()->get_wrap());

    const struct {
        int32_t index;
        const char* message;
    } indices[] = {{3, "Frame index 3 is out of range"}, {-1, "Frame index -1 is out of range"}};
    for (const auto& c : indices) {
        try {
            rep.GetFrame(c.index);
            ADD_FAILURE() << c.index;
        } catch (const vadu::Gluck& failure) {
            EXPECT_EQ(to_std(failure.get_description()), c.message);
            EXPECT_EQ(to_std(failure.get_function()), "vadu::lib3d::material::TextureAtlasRep::GetFrame");
        }
    }
    try {
        rep.GetFrame(Atom("shark"));
        ADD_FAILURE();
    } catch (const vadu::Gluck& failure) {
        EXPECT_EQ(to_std(failure.get_description()), "Can't found frame \"shark\"");
    }
}

TEST_F(AtlasTest, UnreadableAtlasFilesFailWithTheResourcePath)
{
    write_text(file("bad/broken.atlas"), "<Atlas TextureSrc=\"x\"><Frame");
    write_text(file("bad/other.atlas"), "<Sheet TextureSrc=\"x\"/>");
    for (const char* name : {"bad/missing.atlas", "bad/broken.atlas", "bad/other.atlas"}) {
        TextureAtlasRep rep(path(name));
        try {
            rep.load();
            ADD_FAILURE() << name;
        } catch (const vadu::GluckBadResource& failure) {
            EXPECT_EQ(to_std(failure.get_description()), "Failed to load atlas definition resource") << name;
            EXPECT_EQ(to_std(failure.get_function()), "vadu::lib3d::material::TextureAtlasRep::load");
            EXPECT_EQ(to_std(failure.get_resource().get_text()), name);
        }
        EXPECT_FALSE(rep.is_loaded());
    }
}

TEST_F(AtlasTest, HandlesShareTheAtlasAndItsPicture)
{
    write_sheet();
    auto fish = std::make_unique<TextureHandle>(path("atlas/sheet.atlas"), Atom("fish"));
    auto star = std::make_unique<TextureHandle>(path("Atlas/Sheet.atlas"), 1);
    ASSERT_EQ(&fish->get_atlas()->get_rep(), &star->get_atlas()->get_rep());
    EXPECT_EQ(fish->get_atlas()->get_rep().get_reference_count(), 2);
    EXPECT_FALSE(fish->is_ready());
    EXPECT_EQ(fish->get_frame(), nullptr);
    EXPECT_EQ(fish->get_width(), 0);

    ASSERT_TRUE(pump_until(passes, [&] { return fish->is_ready() && star->is_ready(); }));
    EXPECT_EQ(fish->get_width(), 32);
    EXPECT_EQ(fish->get_height(), 16);
    EXPECT_EQ(star->get_width(), 8);
    EXPECT_EQ(fish->get_atlas()->get_rep().get_width(), 128);
    EXPECT_EQ(fish->get_atlas()->get_rep().get_height(), 64);

    hard::TextureStage stage;
    stage.wrap = 1;
    fish->apply(hardware, stage);
    ASSERT_EQ(hardware.textures.size(), 1u);
    EXPECT_EQ(stage.texture, hardware.textures[0]);
    EXPECT_EQ(stage.alpha, 1);
    EXPECT_EQ(stage.wrap, 1) << "the atlas leaves the wrap flag alone";
    EXPECT_FALSE(hardware.textures[0]->wrap);

    TextureHandle copy(*fish);
    EXPECT_EQ(copy.get_pending_name(), Atom("fish"));
    EXPECT_EQ(fish->get_atlas()->get_rep().get_reference_count(), 3);
    EXPECT_TRUE(copy.is_ready());

    fish.reset();
    star.reset();
    EXPECT_NE(get_texture_atlas_cache(), nullptr);
}

TEST_F(AtlasTest, FramesMapTextureCoordinatesIntoTheirRectangle)
{
    write_sheet();
    TextureHandle handle(path("atlas/sheet.atlas"), Atom("fish"));
    EXPECT_EQ(handle.map_u(0.3f), 0.3f) << "unchanged while unresolved";
    ASSERT_TRUE(pump_until(passes, [&] { return handle.is_ready(); }));
    // Frame x 10, y 20, w 32, h 16 of a 128 x 64 picture; v counts from the bottom.
    const struct {
        float in;
        float u;
        float v;
    } cases[] = {
        {0.0f, 10.5f / 128, (64 - 20 - 16 + 0.5f) / 64},
        {1.0f, (10.5f + 31) / 128, (64 - 20 - 16 + 0.5f + 15) / 64},
        {0.5f, (10.5f + 15.5f) / 128, (28.5f + 7.5f) / 64},
    };
    for (const auto& c : cases) {
        EXPECT_FLOAT_EQ(handle.map_u(c.in), c.u) << c.in;
        EXPECT_FLOAT_EQ(handle.map_v(c.in), c.v) << c.in;
    }
    handle.set_frame_by_index(1);
    EXPECT_FLOAT_EQ(handle.map_u(0.0f), 1.5f / 128);
    EXPECT_FLOAT_EQ(handle.map_v(1.0f), (64 - 2 - 9 + 0.5f + 8) / 64);
}

// Bad frame names in data must not end the program from the frame step.
TEST_F(AtlasTest, MissingFramesLogOnceAndLeaveTheHandleNotReady)
{
    write_sheet();
    TextureHandle by_name(path("atlas/sheet.atlas"), Atom("shark"));
    TextureHandle by_index(path("atlas/sheet.atlas"), 7);
    TextureHandle good(path("atlas/sheet.atlas"), Atom("star"));
    ASSERT_TRUE(pump_until(passes, [&] { return good.is_ready(); }));
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(by_name.get_frame(), nullptr);
        EXPECT_FALSE(by_name.is_ready());
        EXPECT_FALSE(by_index.is_ready());
        EXPECT_EQ(by_index.get_width(), 0);
        EXPECT_EQ(by_name.map_u(0.25f), 0.25f);
        hard::TextureStage stage;
        by_name.apply(hardware, stage);
        EXPECT_EQ(stage.texture, nullptr);
    }
    const std::string log = log_text();
    EXPECT_EQ(count_of(log, "Can't found frame \"shark\""), 1u);
    EXPECT_EQ(count_of(log, "Frame index 7 is out of range"), 1u);

    by_name.set_frame_by_name(Atom("fish"));
    EXPECT_TRUE(by_name.is_ready());
    EXPECT_EQ(by_name.get_width(), 32);
    by_name.set_frame_by_name(Atom("whale"));
    EXPECT_FALSE(by_name.is_ready());
    EXPECT_EQ(count_of(log_text(), "whale"), 1u);
}

TEST_F(AtlasTest, TheAtlasPassLogsBrokenAtlasesOnceAndMarksThemFailed)
{
    write_text(file("zero.atlas"), R"(<Atlas TextureSrc="x"><Frame Name="f" Rect="0 0 64"/></Atlas>)");
    TextureHandle missing(path("missing.atlas"), Atom("f"));
    TextureHandle zero(path("zero.atlas"), 0);
    for (int frame = 0; frame < 3; ++frame)
        EXPECT_EQ(load_texture_atlas_reps(vadu::time::get_ticks(), 10.0), 0);
    EXPECT_TRUE(missing.get_atlas()->get_rep().has_failed());
    EXPECT_TRUE(zero.get_atlas()->get_rep().has_failed());
    EXPECT_FALSE(missing.is_ready());
    EXPECT_FALSE(zero.is_ready());
    const std::string log = log_text();
    EXPECT_EQ(count_of(log, "Failed to load atlas definition resource"), 1u);
    EXPECT_EQ(count_of(log, "Atlas width and height should be greater then 0"), 1u);
}

TEST_F(AtlasTest, AFrameIsNotReadyUntilThePictureHasLoaded)
{
    write_text(file("late.atlas"), R"(<Atlas TextureSrc="late"><Frame Name="f" Rect="0 0 2 2"/></Atlas>)");
    TextureHandle handle(path("late.atlas"), Atom("f"));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!handle.get_frame() && std::chrono::steady_clock::now() < deadline)
        load_texture_atlas_reps(vadu::time::get_ticks(), 10.0);
    ASSERT_NE(handle.get_frame(), nullptr);
    EXPECT_FALSE(handle.is_ready()) << "the picture is still being read";
    EXPECT_EQ(handle.get_atlas()->get_rep().get_width(), 0);
    EXPECT_EQ(handle.map_u(0.5f), 0.5f) << "no division by an unknown width";

    // The picture never appears: the handle stays not ready.
    ASSERT_TRUE(pump(load_texture_simple_reps));
    EXPECT_FALSE(handle.is_ready());

    write_png(file("late.png"), gradient(2, 2), true);
    TextureHandle later(path("late.atlas"), Atom("f"));
    EXPECT_FALSE(later.is_ready()) << "the failed picture stays failed while its rep lives";
}

} // namespace
