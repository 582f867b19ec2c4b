#include "vadu/lib3d/material/texture.h"

#include <gtest/gtest.h>

#include <string_view>

#include "vadu/lib3d/material/atlas.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/xml_reader.h"

namespace texture_test_file {

using namespace texture_test;
using texture_test::to_std;
using namespace vadu::lib3d::material;
using vadu::lib3d::material::Texture;
using vadu::Atom;
using vadu::filesystem::String;

String path(const char* text)
{
    return String(text, true);
}

bool parse(vadu::xml::Object& object, const char* root_name, std::string_view text)
{
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    vadu::xml::StreamResource resource(&stream);
    vadu::xml::Root root(object, root_name);
    return resource.load(root);
}

// The interface's own answers: nothing is known.
TEST(Animatable, KnowsNoAttributeOfItsOwn)
{
    vadu::animate::Animatable object;
    const Atom name("Anything");
    double number = 5.0;
    vadu::math::Vector3 vector;
    vadu::animate::ThirdValueKind third;
    String file;
    vadu::WString wide;
    EXPECT_FALSE(object.change_attribute(name, 1.0));
    EXPECT_FALSE(object.change_attribute(name, vector));
    EXPECT_FALSE(object.change_attribute(name, third));
    EXPECT_FALSE(object.change_attribute(name, file));
    EXPECT_FALSE(object.change_attribute(name, wide));
    EXPECT_FALSE(object.get_attribute(name, number));
    EXPECT_FALSE(object.get_attribute(name, vector));
    EXPECT_FALSE(object.get_attribute(name, third));
    EXPECT_FALSE(object.get_attribute(name, file));
    EXPECT_FALSE(object.get_attribute(name, wide));
    EXPECT_FALSE(object.play_sequence(name));
    EXPECT_EQ(object.find_object(name, true), nullptr);
    EXPECT_EQ(number, 5.0);
}

TEST(Texture, WrapAttributeSwitchesAboveOneHalf)
{
    const struct {
        double value;
        bool wrap;
    } cases[] = {{0.0, false}, {0.5, false}, {0.51, true}, {1.0, true}};
    for (const auto& c : cases) {
        Texture texture(Atom("Diffuse"), !c.wrap);
        EXPECT_TRUE(texture.change_attribute(Atom("Wrap"), c.value));
        double read = -1.0;
        EXPECT_TRUE(texture.get_attribute(Atom("Wrap"), read));
        EXPECT_EQ(read, c.wrap ? 1.0 : 0.0) << c.value;
        hard::TextureStage stage;
        stage.wrap = c.wrap ? 0 : 1;
        MemoryHardware hardware;
        texture.apply(hardware, stage);
        EXPECT_EQ(stage.wrap, c.wrap ? 1 : 0);
        EXPECT_EQ(stage.texture, nullptr);
    }
    Texture texture;
    double value = 0.0;
    EXPECT_FALSE(texture.change_attribute(Atom("Transparency"), 1.0));
    EXPECT_FALSE(texture.get_attribute(Atom("Transparency"), value));
    EXPECT_FALSE(texture.play_sequence(Atom("Wrap")));
}

TEST(TextureSimpleLoader, ReadsImageAndWrapAndRefusesOthers)
{
    TextureSimpleLoader loader;
    EXPECT_TRUE(loader.wrap);
    ASSERT_TRUE(parse(loader, "Diffuse", R"(<Diffuse Image="Data\Pics\Ball" Wrap="false"/>)"));
    EXPECT_EQ(to_std(loader.path.get_text()), "data/pics/ball");
    EXPECT_FALSE(loader.wrap);

    TextureSimpleLoader refused;
    EXPECT_FALSE(parse(refused, "Diffuse", R"(<Diffuse Image="ball" Colour="1"/>)"));
    TextureSimpleLoader bad_word;
    EXPECT_FALSE(parse(bad_word, "Diffuse", R"(<Diffuse Wrap="yes"/>)"));
}

class TextureCacheTest : public TextureFixture {
protected:
    ~TextureCacheTest() override
    {
        EXPECT_EQ(get_texture_simple_cache(), nullptr) << "a rep outlived its textures";
        EXPECT_EQ(get_texture_reflection_cache(), nullptr);
        EXPECT_EQ(get_texture_atlas_cache(), nullptr);
    }

    static bool load_all() { return pump(load_texture_simple_reps); }
};

TEST_F(TextureCacheTest, UsersOfOnePathShareOneRepThatDiesWithTheLast)
{
    write_png(file("pics/ball.png"), gradient(4, 2), true);
    auto first = std::make_unique<TextureSimple>(Atom("Diffuse"), TextureSimpleLoader(path("pics/ball"), true));
    auto second = std::make_unique<TextureSimple>(Atom("Bump"), TextureSimpleLoader(path("Pics\\Ball"), false));
    ASSERT_EQ(first->get_rep(), second->get_rep());
    EXPECT_EQ(first->get_rep()->get_reference_count(), 2);
    EXPECT_FALSE(second->get_wrap());
    ASSERT_NE(get_texture_simple_cache(), nullptr);
    EXPECT_EQ(get_texture_simple_cache()->size(), 1u);

    ASSERT_TRUE(load_all());
    EXPECT_EQ(hardware.requests.size(), 1u) << "read and uploaded once";

    auto copy = first->clone();
    EXPECT_EQ(static_cast<TextureSimple&>(*copy).get_rep(), first->get_rep());
    EXPECT_EQ(first->get_rep()->get_reference_count(), 3);

    first.reset();
    copy.reset();
    ASSERT_NE(get_texture_simple_cache(), nullptr);
    EXPECT_EQ(second->get_rep()->get_reference_count(), 1);
    EXPECT_TRUE(second->get_rep()->is_loaded());
    second.reset();
    EXPECT_EQ(get_texture_simple_cache(), nullptr);
}

// Rows arrive bottom row first and are stored in that order, pitch apart.
TEST_F(TextureCacheTest, LoadUploadsThePictureInItsOwnFormat)
{
    const struct {
        bool with_alpha;
        Format format;
    } cases[] = {{true, vadu::pictureformat::format_bgra}, {false, vadu::pictureformat::format_bgr}};
    const Picture picture = gradient(5, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.with_alpha);
        const std::string name = c.with_alpha ? "alpha" : "opaque";
        write_png(file(name + ".png"), picture, c.with_alpha);
        TextureSimple texture(Atom(), TextureSimpleLoader(path(name.c_str()), false));
        TextureSimpleRep& rep = *texture.get_rep();
        EXPECT_FALSE(rep.is_loaded());
        EXPECT_EQ(texture_width(rep, false), 0) << "unknown while reading";
        ASSERT_TRUE(load_all());
        EXPECT_TRUE(rep.is_loaded());
        EXPECT_EQ(rep.has_alpha(), c.with_alpha);
        EXPECT_EQ(texture_width(rep, true), 5);
        EXPECT_EQ(texture_height(rep, true), 3);

        MemoryTexture& stored = *hardware.textures.back();
        EXPECT_EQ(hardware.requests.back().levels, 1);
        EXPECT_EQ(hardware.requests.back().format, c.format);
        EXPECT_EQ(hardware.requests.back().width, 5);
        EXPECT_EQ(hardware.requests.back().height, 3);
        EXPECT_FALSE(stored.wrap);
        EXPECT_TRUE(stored.is_operational());
        for (int row = 0; row < 3; ++row) {
            for (int x = 0; x < 5; ++x) {
                const uint8_t* source = picture.at(x, 2 - row);
                const uint8_t* stored_pixel = stored.pixel(0, x, row);
                EXPECT_EQ(stored_pixel[0], source[2]);
                EXPECT_EQ(stored_pixel[1], source[1]);
                EXPECT_EQ(stored_pixel[2], source[0]);
                if (c.with_alpha) {
                    EXPECT_EQ(stored_pixel[3], source[3]);
                }
            }
        }

        hard::TextureStage stage;
        stage.wrap = 1;
        texture.apply(hardware, stage);
        EXPECT_EQ(stage.texture, &stored);
        EXPECT_EQ(stage.wrap, 0);
        EXPECT_EQ(stage.alpha, c.with_alpha ? 1 : 0);
    }
}

// A device may keep 16-bit pixels where 32-bit ones were asked for: the texture says
// which layout it stores, and the pixels are written in that one.
TEST_F(TextureCacheTest, PixelsAreWrittenInTheLayoutTheDeviceTextureStores)
{
    hardware.store_as = vadu::pictureformat::format_r5g6b5;
    // Red 0xF8, green 0x2C, blue 0x18: 5-6-5 word 0xF963.
    auto plain = [](int width, int height) {
        Picture picture(width, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* p = picture.at(x, y);
                p[0] = 0xF8;
                p[1] = 0x2C;
                p[2] = 0x18;
            }
        }
        return picture;
    };
    write_png(file("flat.png"), plain(3, 2), false);
    write_png(file("cube.png"), plain(2, 12), false);
    TextureSimple flat(Atom(), TextureSimpleLoader(path("flat"), true));
    TextureReflection cube(Atom(), TextureSimpleLoader(path("cube"), true));
    ASSERT_TRUE(load_all());
    ASSERT_TRUE(pump(load_texture_reflection_reps));

    ASSERT_EQ(hardware.textures.size(), 1u);
    EXPECT_EQ(hardware.requests[0].format, vadu::pictureformat::format_bgr);
    const MemoryTexture& stored = *hardware.textures[0];
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 3; ++x) {
            const uint8_t* pixel = stored.pixel(0, x, row);
            EXPECT_EQ(pixel[0], 0x63) << x << "," << row;
            EXPECT_EQ(pixel[1], 0xF9) << x << "," << row;
        }
    }
    EXPECT_EQ(stored.memory[0][6], 0xEE) << "nothing past the row's three 16-bit pixels";

    ASSERT_EQ(hardware.cube_textures.size(), 1u);
    const MemoryCubeTexture& faces = *hardware.cube_textures[0];
    for (int face = 0; face < 6; ++face) {
        ASSERT_EQ(faces.faces[face].size(), 8u);
        const std::vector<uint8_t> expected = {0x63, 0xF9, 0x63, 0xF9, 0x63, 0xF9, 0x63, 0xF9};
        EXPECT_EQ(faces.faces[face], expected) << "face " << face;
    }
}

// A pass loads while its budget lasts and checks the clock after every load.
TEST_F(TextureCacheTest, PassesLoadOneRepAtATimeOnceTheBudgetIsSpent)
{
    std::vector<std::unique_ptr<TextureSimple>> textures;
    for (const char* name : {"a", "b", "c"}) {
        write_png(file(std::string(name) + ".png"), gradient(2, 2), false);
        textures.push_back(std::make_unique<TextureSimple>(Atom(), TextureSimpleLoader(path(name), true)));
    }
    auto loaded = [&] {
        int count = 0;
        for (const auto& texture : textures)
            count += texture->get_rep()->is_loaded() ? 1 : 0;
        return count;
    };
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (loaded() < 3 && std::chrono::steady_clock::now() < deadline) {
        const int before = loaded();
        EXPECT_EQ(load_texture_simple_reps(vadu::time::get_ticks(), -1.0), 3 - before);
        EXPECT_LE(loaded() - before, 1);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(loaded(), 3);
    EXPECT_EQ(load_texture_simple_reps(vadu::time::get_ticks(), -1.0), 0);
}

TEST_F(TextureCacheTest, BrokenPicturesThrowFromTheRepButOnlyLogInThePass)
{
    write_text(file("broken.png"), "\x89PNG\r\n\x1a\n but nothing else");
    for (const char* name : {"missing", "broken"}) {
        SCOPED_TRACE(name);
        {
            TextureSimple texture(Atom(), TextureSimpleLoader(path(name), true));
            TextureSimpleRep& rep = *texture.get_rep();
            bool thrown = false;
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (!thrown && std::chrono::steady_clock::now() < deadline) {
                try {
                    rep.load();
                } catch (const vadu::GluckBadResource& failure) {
                    thrown = true;
                    EXPECT_EQ(to_std(failure.get_description()), "pl is not valid");
                    EXPECT_EQ(to_std(failure.get_function()), "vadu::lib3d::material::TextureSimpleRep::load");
                    EXPECT_EQ(to_std(failure.get_resource().get_text()), name);
                }
                std::this_thread::sleep_for(1ms);
            }
            EXPECT_TRUE(thrown);
        }
        const size_t logged_before = count_of(log_text(), "pl is not valid");
        TextureHandle handle(path(name), true);
        ASSERT_TRUE(pump(load_texture_simple_reps));
        for (int frame = 0; frame < 3; ++frame)
            EXPECT_EQ(load_texture_simple_reps(vadu::time::get_ticks(), 10.0), 0);
        EXPECT_EQ(count_of(log_text(), "pl is not valid"), logged_before + 1) << "logged once";
        EXPECT_NE(log_text().find(name), std::string::npos);
        EXPECT_TRUE(handle.get_texture()->get_rep()->has_failed());
        EXPECT_FALSE(handle.is_ready());
        EXPECT_EQ(handle.get_width(), 0);
        hard::TextureStage stage;
        handle.apply(hardware, stage);
        EXPECT_EQ(stage.texture, nullptr);
    }
}

TEST_F(TextureCacheTest, AFailedPictureIsReadAgainOnTheNextRequestForItsPath)
{
    TextureHandle first(path("late"), true);
    ASSERT_TRUE(pump(load_texture_simple_reps));
    ASSERT_TRUE(first.get_texture()->get_rep()->has_failed());

    // The picture appears; a request while the failed rep is still cached reads it.
    write_png(file("late.png"), gradient(6, 4), true);
    TextureHandle second(path("late"), true);
    ASSERT_EQ(second.get_texture()->get_rep(), first.get_texture()->get_rep());
    EXPECT_FALSE(second.get_texture()->get_rep()->has_failed());
    ASSERT_TRUE(load_all());
    EXPECT_TRUE(second.is_ready());
    EXPECT_TRUE(first.is_ready()) << "the holders of the rep see the picture too";
    EXPECT_EQ(second.get_width(), 6);
    EXPECT_EQ(hardware.requests.size(), 1u);
}

TEST_F(TextureCacheTest, HandleIsReadyOnlyOnceThePictureHasASize)
{
    write_png(file("sprite.png"), gradient(6, 4), true);
    TextureHandle handle(path("sprite"), false);
    EXPECT_FALSE(handle.is_ready());
    EXPECT_EQ(handle.get_width(), 0);
    EXPECT_EQ(handle.get_frame(), nullptr);
    ASSERT_TRUE(load_all());
    EXPECT_TRUE(handle.is_ready());
    EXPECT_EQ(handle.get_width(), 6);
    EXPECT_EQ(handle.get_height(), 4);
    // No atlas frame: coordinates pass unchanged.
    EXPECT_EQ(handle.map_u(0.25f), 0.25f);
    EXPECT_EQ(handle.map_v(0.75f), 0.75f);

    TextureHandle copy(handle);
    EXPECT_EQ(copy.get_texture()->get_rep(), handle.get_texture()->get_rep());
    EXPECT_EQ(handle.get_texture()->get_rep()->get_reference_count(), 2);
    EXPECT_TRUE(copy.is_ready());
}

TEST_F(TextureCacheTest, LostContentsAreReloadedIntoTheSameTexture)
{
    const Picture picture = gradient(3, 2);
    write_png(file("lost.png"), picture, true);
    TextureSimple texture(Atom(), TextureSimpleLoader(path("lost"), true));
    ASSERT_TRUE(load_all());
    ASSERT_EQ(hardware.textures.size(), 1u);
    MemoryTexture& stored = *hardware.textures[0];
    const int locks = stored.locks;

    stored.operational = false;
    std::fill(stored.memory[0].begin(), stored.memory[0].end(), 0);
    hard::TextureStage stage;
    texture.apply(hardware, stage);
    EXPECT_EQ(stage.texture, nullptr) << "not drawn this frame";
    EXPECT_FALSE(texture.get_rep()->is_loaded());

    ASSERT_TRUE(load_all());
    EXPECT_EQ(hardware.textures.size(), 1u) << "the texture is refilled, not replaced";
    EXPECT_GT(stored.locks, locks);
    EXPECT_EQ(stored.pixel(0, 0, 0)[2], picture.at(0, 1)[0]);
    texture.apply(hardware, stage);
    EXPECT_EQ(stage.texture, &stored);
}

TEST_F(TextureCacheTest, HardwaresJoiningAndLeavingGetAndLoseTheirTextures)
{
    write_png(file("pics/shared.png"), gradient(2, 2), false);
    TextureSimple texture(Atom(), TextureSimpleLoader(path("pics/shared"), true));
    ASSERT_TRUE(load_all());

    MemoryHardware second;
    hard::Manager::add_hardware(&second);
    EXPECT_FALSE(texture.get_rep()->is_loaded());
    ASSERT_TRUE(load_all());
    ASSERT_EQ(second.textures.size(), 1u);
    hard::TextureStage stage;
    texture.apply(second, stage);
    EXPECT_EQ(stage.texture, second.textures[0]);
    EXPECT_EQ(hardware.textures.size(), 1u) << "the first hardware keeps its texture";

    hard::Manager::notify_remove_hardware(&second);
    EXPECT_THROW(texture.apply(second, stage), vadu::Gluck);
    try {
        texture.apply(second, stage);
    } catch (const vadu::Gluck& failure) {
        EXPECT_EQ(to_std(failure.get_description()), "Data not found");
    }
}

TEST_F(TextureCacheTest, ImageAttributeSwitchesRepsOnlyForANewPath)
{
    write_png(file("one.png"), gradient(2, 2), false);
    write_png(file("two.png"), gradient(4, 4), false);
    TextureSimple texture(Atom("Diffuse"), TextureSimpleLoader(path("one"), false));
    TextureSimpleRep* first = texture.get_rep();
    EXPECT_TRUE(texture.change_attribute(Atom("Image"), path("one")));
    EXPECT_EQ(texture.get_rep(), first);

    EXPECT_TRUE(texture.change_attribute(Atom("Image"), path("two")));
    EXPECT_NE(texture.get_rep(), first);
    EXPECT_EQ(get_texture_simple_cache()->size(), 1u) << "the old rep went with its last user";
    EXPECT_FALSE(texture.get_rep()->get_loader().wrap) << "wrap kept";
    String read;
    EXPECT_TRUE(texture.get_attribute(Atom("Image"), read));
    EXPECT_EQ(to_std(read.get_text()), "two");
    EXPECT_FALSE(texture.change_attribute(Atom("Picture"), path("one")));
}

TEST_F(TextureCacheTest, RenderTargetTextureShowsTheNamedTargetOnly)
{
    hardware.targets.push_back(std::make_unique<MemoryRenderTarget>(Atom("Mirror")));
    TextureRenderTarget texture(Atom("Diffuse"), Atom("Mirror"), false);
    hard::TextureStage stage;
    stage.wrap = 1;
    stage.alpha = 1;
    texture.apply(hardware, stage);
    EXPECT_EQ(stage.texture, hardware.targets[0].get());
    EXPECT_EQ(stage.wrap, 1);
    EXPECT_EQ(stage.alpha, 1);

    TextureRenderTarget missing(Atom("Diffuse"), Atom("Nowhere"), true);
    auto copy = missing.clone();
    copy->apply(hardware, stage);
    EXPECT_EQ(stage.texture, nullptr);
}

TEST_F(TextureCacheTest, ReflectionFacesAreBandsOfAPictureSixTimesTallerThanWide)
{
    Picture picture(4, 24);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 4; ++x) {
            uint8_t* p = picture.at(x, y);
            p[0] = static_cast<uint8_t>(y);
            p[1] = static_cast<uint8_t>(x);
            p[2] = 99;
        }
    }
    write_png(file("sky.png"), picture, false);
    TextureReflection texture(Atom("Reflection"), TextureSimpleLoader(path("sky"), true));
    ASSERT_TRUE(pump(load_texture_reflection_reps));
    ASSERT_EQ(hardware.cube_textures.size(), 1u);
    const MemoryCubeTexture& cube = *hardware.cube_textures[0];
    EXPECT_EQ(cube.width, 4);
    EXPECT_EQ(cube.height, 4);
    // Face i holds the rows 4i.. counted from the bottom of the picture.
    for (int face = 0; face < 6; ++face) {
        for (int row = 0; row < 4; ++row)
            EXPECT_EQ(cube.faces[face][static_cast<size_t>(row) * cube.pitch + 2], 23 - (face * 4 + row));
    }
    hard::TextureStage stage;
    stage.wrap = 0;
    texture.apply(hardware, stage);
    EXPECT_EQ(stage.texture, &cube);
    EXPECT_EQ(stage.wrap, 1);

    write_png(file("odd.png"), gradient(4, 25), false);
    TextureReflectionRep rep(TextureSimpleLoader(path("odd"), true));
    bool thrown = false;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!thrown && std::chrono::steady_clock::now() < deadline) {
        try {
            rep.load();
        } catch (const vadu::GluckBadResource&) {
            ADD_FAILURE() << "the picture is readable";
            break;
        } catch (const vadu::Gluck& failure) {
            thrown = true;
            EXPECT_EQ(to_std(failure.get_description()), "pl->get_height() is not multiply of 6");
            EXPECT_EQ(to_std(failure.get_function()), "vadu::lib3d::material::TextureReflectionRep::load");
        }
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(thrown);

    TextureReflection odd(Atom("Reflection"), TextureSimpleLoader(path("odd"), true));
    ASSERT_TRUE(pump(load_texture_reflection_reps));
    EXPECT_TRUE(odd.get_rep()->has_failed());
    EXPECT_EQ(count_of(log_text(), "not multiply of 6"), 1u);
}

TEST_F(TextureCacheTest, WithoutAnOperationalHardwareOnlyThePictureIsRead)
{
    write_png(file("later.png"), gradient(2, 2), false);
    hardware.operational = false;
    TextureSimple texture(Atom(), TextureSimpleLoader(path("later"), true));
    ASSERT_TRUE(load_all());
    EXPECT_TRUE(hardware.textures.empty());
    EXPECT_EQ(texture_width(*texture.get_rep(), false), 2);

    hardware.operational = true;
    hard::TextureStage stage;
    texture.apply(hardware, stage);
    EXPECT_EQ(stage.texture, nullptr);
    ASSERT_TRUE(load_all());
    texture.apply(hardware, stage);
    ASSERT_EQ(hardware.textures.size(), 1u);
    EXPECT_EQ(stage.texture, hardware.textures[0]);
}

TEST_F(TextureCacheTest, ARepCanAdoptADeviceTextureInsteadOfAPicture)
{
    TextureSimpleLoader loader(path("generated/glyphs"), false);
    auto* made = new MemoryTexture(1, vadu::pictureformat::format_bgra, 16, 8);
    made->operational = true;
    loader.ready_hardware = &hardware;
    loader.ready_texture = made;
    TextureSimple texture(Atom(), loader);
    EXPECT_TRUE(texture.get_rep()->is_loaded());
    EXPECT_TRUE(texture.get_rep()->has_alpha());
    EXPECT_EQ(texture_width(*texture.get_rep(), false), 16) << "the size the texture was made for";
    EXPECT_EQ(texture_height(*texture.get_rep(), false), 8);
    EXPECT_EQ(load_texture_simple_reps(vadu::time::get_ticks(), 10.0), 0) << "nothing to read";
    hard::TextureStage stage;
    texture.apply(hardware, stage);
    EXPECT_EQ(stage.texture, made);
    EXPECT_EQ(stage.alpha, 1);

    // The path has its rep: a second texture handed over is not needed and is freed.
    TextureSimpleLoader again(path("generated/glyphs"), false);
    again.ready_hardware = &hardware;
    again.ready_texture = new MemoryTexture(1, vadu::pictureformat::format_bgra, 8, 8);
    TextureSimple second(Atom(), again);
    EXPECT_EQ(second.get_rep(), texture.get_rep());
    second.apply(hardware, stage);
    EXPECT_EQ(stage.texture, made);
}

} // namespace
