#include "vadu/lib3d/hard/directx8/textures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_owner.h"
#include "vadu/atom.h"

namespace directx8_test {
namespace {

const std::string padding_warning = "WARNING: used non power-of-two texture!\n";

uint32_t sampler(gfx::Device& device, uint32_t stage, gfx::SamplerState state)
{
    uint32_t value = 0;
    device.get_sampler_state(stage, state, &value);
    return value;
}

// The texture's surface of a stored level (no reference added).
const gfx::Surface& stored_level(const Texture& texture, uint32_t level)
{
    return *texture.get_device_texture()->level_surface(0, level);
}

uint32_t word_at(const gfx::Surface& surface, uint32_t x, uint32_t y)
{
    uint32_t word = 0;
    std::memcpy(&word, surface.pixels() + size_t{y} * surface.pitch() + size_t{x} * 4, 4);
    return word;
}

// Writes one 32-bit pixel into locked memory.
void put_word(void* pixels, int32_t pitch, uint32_t x, uint32_t y, uint32_t word)
{
    std::memcpy(static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch + size_t{x} * 4, &word, 4);
}

// --- textures -----------------------------------------------------------------------------

using TextureTest = ResourceTest;

TEST_F(TextureTest, NonPowerOfTwoSizesArePaddedAndScaledWithOneWarning)
{
    Texture texture(*owner, 1, 0, gfx::Format::a8r8g8b8, 300, 200, 4096);
    EXPECT_EQ(log.count(padding_warning), 1u);
    const TextureBase& base = texture.get_base();
    EXPECT_EQ(base.padded_width, 512u);
    EXPECT_EQ(base.padded_height, 256u);
    EXPECT_FLOAT_EQ(base.horizontal_scale, 300.0f / 512.0f);
    EXPECT_FLOAT_EQ(base.vertical_scale, 200.0f / 256.0f);
    const gfx::Texture* stored = texture.get_device_texture();
    EXPECT_EQ(stored->pool(), gfx::Pool::managed);
    EXPECT_EQ(stored->usage(), 0u);
    EXPECT_EQ(stored->format(), gfx::Format::a8r8g8b8);
    EXPECT_EQ(stored->level_count(), 10u) << "the full chain down to 1×1";
    EXPECT_EQ(stored_level(texture, 0).width(), 512u);
    EXPECT_FALSE(texture.is_operational());

    Texture square(*owner, 1, 0, gfx::Format::a8r8g8b8, 256, 64, 4096);
    EXPECT_EQ(log.count(padding_warning), 1u) << "power-of-two sizes are not padded";
    EXPECT_FLOAT_EQ(square.get_base().horizontal_scale, 1.0f);
}

// What the texture layer asks through the abstract interfaces: the picture format the
// pixels are stored in and the sizes asked for, not the padded ones.
TEST_F(TextureTest, ReportsTheStoredPictureFormatAndTheRequestedSizes)
{
    Texture flat(*owner, 1, vadu::pictureformat::format_r5g6b5, gfx::Format::r5g6b5, 300, 200, 4096);
    const vadu::lib3d::hard::Texture& seen = flat;
    EXPECT_EQ(seen.get_format(), vadu::pictureformat::format_r5g6b5);
    EXPECT_EQ(seen.get_width(), 300u);
    EXPECT_EQ(seen.get_height(), 200u);

    TextureCubic cube(*owner, 1, vadu::pictureformat::format_a1r5g5b5, gfx::Format::a1r5g5b5, 16, 16);
    const vadu::lib3d::hard::TextureCubic& seen_cube = cube;
    EXPECT_EQ(seen_cube.get_format(), vadu::pictureformat::format_a1r5g5b5);
    EXPECT_EQ(seen_cube.get_width(), 16u);
    EXPECT_EQ(seen_cube.get_height(), 16u);
}

TEST_F(TextureTest, SetScalesTheStageAndForcesPointSamplingOnlyWhenAsked)
{
    Texture texture(*owner, 1, 0, gfx::Format::a8r8g8b8, 300, 200, 4096);
    EXPECT_FALSE(texture.get_point_sampling());
    EXPECT_TRUE(texture.get_wrap());
    ASSERT_TRUE(texture.set(2));

    gfx::Matrix transform;
    device().get_transform(gfx::texture_transform(2), &transform);
    gfx::Matrix expected;
    expected.m[0][0] = 300.0f / 512.0f;
    expected.m[1][1] = 200.0f / 256.0f;
    EXPECT_EQ(transform, expected);
    uint32_t flags = 0;
    device().get_texture_stage_state(2, gfx::TextureStageState::texture_transform_flags, &flags);
    EXPECT_EQ(flags, gfx::texture_transform_flags::count2);
    EXPECT_EQ(device().state().textures[2], texture.get_device_texture());

    // The filters the drawing chose from the record stay unless point sampling is forced.
    for (const uint32_t chosen : {gfx::texture_filter::linear, gfx::texture_filter::none}) {
        for (const bool point : {true, false}) {
            for (const auto state : {gfx::SamplerState::mag_filter, gfx::SamplerState::min_filter,
                                     gfx::SamplerState::mip_filter})
                device().set_sampler_state(2, state, chosen);
            texture.set_point_sampling(point);
            ASSERT_TRUE(texture.set(2));
            const uint32_t filter = point ? gfx::texture_filter::point : chosen;
            for (const auto state : {gfx::SamplerState::mag_filter, gfx::SamplerState::min_filter,
                                     gfx::SamplerState::mip_filter})
                EXPECT_EQ(sampler(device(), 2, state), filter) << "point " << point << " chosen " << chosen;
        }
    }
}

TEST_F(TextureTest, OversizedTexturesSkipLevelsButNeverPastTheChain)
{
    struct Case {
        uint32_t width, height, max_size;
        uint32_t skipped;
        uint32_t stored_width, stored_height;
    };
    const std::vector<Case> cases = {
        {256, 256, 256, 0, 256, 256},  // fits
        {256, 256, 0, 0, 256, 256},    // no limit
        {512, 512, 256, 1, 256, 256},  // ratio 2
        {1024, 1024, 256, 2, 256, 256}, // ratio 4
        {2048, 2048, 256, 4, 128, 128}, // ratio 8: the stored formula skips one level more
        {4096, 4096, 256, 8, 16, 16},   // ratio 16
        {4096, 8, 256, 3, 512, 1},      // the formula's 8 would leave no row
        {4096, 4096, 1, 12, 1, 1},      // never every level
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "×" << c.height << " at most " << c.max_size);
        Texture texture(*owner, 1, 0, gfx::Format::a8r8g8b8, c.width, c.height, c.max_size);
        EXPECT_EQ(texture.get_skipped_levels(), c.skipped);
        EXPECT_EQ(texture.get_level_count(), c.skipped + 1);
        EXPECT_EQ(stored_level(texture, 0).width(), c.stored_width);
        EXPECT_EQ(stored_level(texture, 0).height(), c.stored_height);

        int32_t pitch = 0;
        if (c.skipped > 0) {
            EXPECT_EQ(texture.lock(c.skipped - 1, pitch), nullptr);
        }
        void* top = texture.lock(c.skipped, pitch);
        ASSERT_NE(top, nullptr);
        EXPECT_EQ(top, stored_level(texture, 0).pixels());
        EXPECT_EQ(pitch, static_cast<int32_t>(c.stored_width * 4));
        texture.unlock(c.skipped);
        EXPECT_TRUE(texture.is_operational());

        const uint32_t past_chain = c.skipped + texture.get_device_texture()->level_count();
        EXPECT_EQ(texture.lock(past_chain, pitch), nullptr);
        EXPECT_NE(texture.lock(past_chain - 1, pitch), nullptr);
        texture.unlock(past_chain - 1);
    }
}

TEST_F(TextureTest, UnlockPadsByTheRealPixelSizeAtEveryLevel)
{
    struct Format {
        gfx::Format format;
        uint32_t bytes;
    };
    const std::vector<Format> formats = {
        {gfx::Format::a8r8g8b8, 4}, {gfx::Format::x8r8g8b8, 4}, {gfx::Format::r8g8b8, 3},
        {gfx::Format::r5g6b5, 2},   {gfx::Format::a4r4g4b4, 2}, {gfx::Format::a1r5g5b5, 2},
    };
    for (const Format& f : formats) {
        for (const uint32_t level : {0u, 1u}) {
            SCOPED_TRACE(testing::Message() << "format " << static_cast<uint32_t>(f.format) << ", level " << level);
            // 10×6 in 16×8 at level 0; 5×3 in 8×4 at level 1.
            Texture texture(*owner, 2, 0, f.format, 10, 6, 4096);
            const uint32_t width = 16 >> level, height = 8 >> level;
            const uint32_t requested_width = 10 >> level, requested_height = 6 >> level;
            int32_t pitch = 0;
            auto* pixels = static_cast<uint8_t*>(texture.lock(level, pitch));
            ASSERT_NE(pixels, nullptr);
            ASSERT_GE(pitch, static_cast<int32_t>(width * f.bytes));
            const auto byte_of = [&](uint32_t x, uint32_t y, uint32_t b) {
                return static_cast<uint8_t>(1 + x + 16 * y + 100 * b);
            };
            for (uint32_t y = 0; y < requested_height; ++y)
                for (uint32_t x = 0; x < requested_width; ++x)
                    for (uint32_t b = 0; b < f.bytes; ++b)
                        pixels[y * pitch + x * f.bytes + b] = byte_of(x, y, b);
            texture.unlock(level);

            const gfx::Surface& stored = stored_level(texture, level);
            ASSERT_EQ(stored.width(), width);
            for (uint32_t y = 0; y < height; ++y) {
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t from_x = std::min(x, requested_width - 1);
                    const uint32_t from_y = std::min(y, requested_height - 1);
                    for (uint32_t b = 0; b < f.bytes; ++b)
                        ASSERT_EQ(stored.pixels()[y * stored.pitch() + x * f.bytes + b], byte_of(from_x, from_y, b))
                            << "pixel " << x << "," << y;
                }
            }
        }
    }
}

TEST_F(TextureTest, UnlockRebuildsTheLevelsBelowTheUnlockedOne)
{
    Texture texture(*owner, 1, 0, gfx::Format::a8r8g8b8, 4, 4, 4096);
    const uint32_t quadrant[2][2] = {{0xFF102030, 0xFF304050}, {0xFF506070, 0xFF708090}};
    int32_t pitch = 0;
    void* pixels = texture.lock(0, pitch);
    ASSERT_NE(pixels, nullptr);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x)
            put_word(pixels, pitch, x, y, quadrant[y / 2][x / 2]);
    texture.unlock(0);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 2; ++x)
            EXPECT_EQ(word_at(stored_level(texture, 1), x, y), quadrant[y][x]);
    EXPECT_EQ(word_at(stored_level(texture, 2), 0, 0), 0xFF405060u);

    // A level of its own (a picture with mip frames) replaces what was built below it.
    pixels = texture.lock(1, pitch);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 2; ++x)
            put_word(pixels, pitch, x, y, 0xFFFFFFFF);
    texture.unlock(1);
    EXPECT_EQ(word_at(stored_level(texture, 2), 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(word_at(stored_level(texture, 0), 0, 0), quadrant[0][0]);

    texture.unlock(2); // never locked: nothing happens
    EXPECT_EQ(word_at(stored_level(texture, 2), 0, 0), 0xFFFFFFFFu);
}

TEST_F(TextureTest, ManagedTexturesSurviveDeviceLossUntilDropped)
{
    Texture texture(*owner, 1, 0, gfx::Format::a8r8g8b8, 2, 2, 4096);
    int32_t pitch = 0;
    void* pixels = texture.lock(0, pitch);
    put_word(pixels, pitch, 0, 0, 0xFF00FF00);
    texture.unlock(0);
    ASSERT_TRUE(texture.set(0));
    const gfx::Texture* kept = texture.get_device_texture();

    device().simulate_lost();
    owner->lose_resources();
    device().simulate_resettable();
    ASSERT_EQ(owner->reset(), gfx::ok);
    EXPECT_EQ(texture.get_device_texture(), kept);
    EXPECT_TRUE(texture.is_operational());
    EXPECT_EQ(word_at(stored_level(texture, 0), 0, 0), 0xFF00FF00u);

    texture.drop();
    EXPECT_EQ(texture.get_device_texture(), nullptr);
    EXPECT_FALSE(texture.is_operational());
    EXPECT_EQ(texture.lock(0, pitch), nullptr);
    EXPECT_FALSE(texture.set(0));
}

TEST_F(TextureTest, LockingOnANonOperationalHardwareIsLoggedAndGoesOn)
{
    Texture texture(*owner, 1, 0, gfx::Format::a8r8g8b8, 2, 2, 4096);
    owner->operational = false;
    int32_t pitch = 0;
    EXPECT_NE(texture.lock(0, pitch), nullptr);
    texture.unlock(0);
    EXPECT_TRUE(texture.is_operational());
    EXPECT_EQ(log.count("Texture is locked in non-operational state\n"), 1u);
}

TEST_F(TextureTest, DeviceFailuresRaiseGlucks)
{
    const char* constructor = "vadu::lib3d::hard::directx8::Texture::Texture";
    gfx::script_failure(gfx::Call::create_texture);
    EXPECT_GLUCK(Texture(*owner, 1, 0, gfx::Format::a8r8g8b8, 64, 64, 4096), constructor,
                 "create_internal_texture() failed");
    EXPECT_GLUCK(Texture(*owner, 1, 0, gfx::Format::a8r8g8b8, 0, 64, 4096), constructor,
                 "create_internal_texture() failed");
    EXPECT_EQ(owner->get_resource_list().size(), 0u);

    Texture texture(*owner, 1, 0, gfx::Format::a8r8g8b8, 64, 64, 4096);
    gfx::script_failure(gfx::Call::lock);
    int32_t pitch = 0;
    EXPECT_GLUCK(texture.lock(0, pitch), "vadu::lib3d::hard::directx8::Texture::lock", "texture->LockRect() failed");
    EXPECT_NE(texture.lock(0, pitch), nullptr);
    texture.unlock(0);
}

// --- cube textures ------------------------------------------------------------------------

using TextureCubicTest = ResourceTest;

TEST_F(TextureCubicTest, NonSquareSizesAreRefused)
{
    EXPECT_GLUCK(TextureCubic(*owner, 0, 0, gfx::Format::a8r8g8b8, 256, 128),
                 "vadu::lib3d::hard::directx8::TextureCubic::TextureCubic", "Non-square textures are unsupported");
    EXPECT_EQ(owner->get_resource_list().size(), 0u);
}

TEST_F(TextureCubicTest, CreationFallsBackToAutomaticMipmapsThenOneLevel)
{
    struct Case {
        uint32_t levels;
        int failures;
        uint32_t level_count;
        uint32_t usage;
    };
    const std::vector<Case> cases = {
        {0, 0, 5, 0},
        {3, 0, 3, 0},
        {0, 1, 1, gfx::usage::auto_gen_mipmap},
        {0, 2, 1, 0},
        {1, 0, 1, gfx::usage::auto_gen_mipmap}, // one level asked: the given levels are not tried
        {1, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "levels " << c.levels << ", failures " << c.failures);
        gfx::clear_failures();
        if (c.failures > 0)
            gfx::script_failure(gfx::Call::create_cube_texture, {0, c.failures, gfx::error::invalid_call});
        TextureCubic cube(*owner, c.levels, 0, gfx::Format::a8r8g8b8, 16, 16);
        EXPECT_EQ(cube.get_level_count(), c.level_count);
        EXPECT_EQ(cube.get_device_texture()->level_count(), c.level_count);
        EXPECT_EQ(cube.get_device_texture()->usage(), c.usage);
        EXPECT_EQ(cube.get_device_texture()->pool(), gfx::Pool::managed);
    }
    gfx::script_failure(gfx::Call::create_cube_texture, {0, 3, gfx::error::invalid_call});
    EXPECT_GLUCK(TextureCubic(*owner, 0, 0, gfx::Format::a8r8g8b8, 16, 16),
                 "vadu::lib3d::hard::directx8::TextureCubic::TextureCubic", "create_internal_texture() failed");
}

TEST_F(TextureCubicTest, FacesAreLockedInTheDevicesOrderAndSurviveLoss)
{
    TextureCubic cube(*owner, 0, 0, gfx::Format::a8r8g8b8, 8, 8);
    EXPECT_FALSE(cube.is_operational());
    for (uint32_t face = 0; face < 6; ++face) {
        int32_t pitch = 0;
        void* pixels = cube.lock(0, face, pitch);
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pitch, 32);
        put_word(pixels, pitch, 0, 0, 0xFF000000 | face);
        cube.unlock(0, face);
    }
    EXPECT_TRUE(cube.is_operational());
    for (uint32_t face = 0; face < 6; ++face) {
        const gfx::Surface* surface = cube.get_device_texture()->level_surface(face, 0);
        EXPECT_FALSE(surface->is_locked());
        uint32_t word = 0;
        std::memcpy(&word, surface->pixels(), 4);
        EXPECT_EQ(word, 0xFF000000 | face);
    }

    device().simulate_lost();
    owner->lose_resources();
    device().simulate_resettable();
    ASSERT_EQ(owner->reset(), gfx::ok);
    EXPECT_TRUE(cube.is_operational());
    ASSERT_TRUE(cube.set(3));
    EXPECT_EQ(device().state().textures[3], cube.get_device_texture());

    cube.drop();
    EXPECT_FALSE(cube.is_operational());
    int32_t pitch = 0;
    EXPECT_EQ(cube.lock(0, 0, pitch), nullptr);
    EXPECT_FALSE(cube.set(3));
}

TEST_F(TextureCubicTest, DeviceFailuresRaiseGlucksAndReleaseTheFace)
{
    TextureCubic cube(*owner, 0, 0, gfx::Format::a8r8g8b8, 8, 8);
    int32_t pitch = 0;
    EXPECT_GLUCK(cube.lock(0, 6, pitch), "vadu::lib3d::hard::directx8::TextureCubic::lock",
                 "texture->GetCubeMapSurface() failed");
    EXPECT_GLUCK(cube.lock(9, 0, pitch), "vadu::lib3d::hard::directx8::TextureCubic::lock",
                 "texture->GetCubeMapSurface() failed");
    EXPECT_GLUCK(cube.unlock(0, 6), "vadu::lib3d::hard::directx8::TextureCubic::unlock",
                 "texture->GetCubeMapSurface() failed");
    gfx::script_failure(gfx::Call::lock);
    EXPECT_GLUCK(cube.lock(0, 2, pitch), "vadu::lib3d::hard::directx8::TextureCubic::lock",
                 "cube_face_surface->LockRect() failed");
    EXPECT_EQ(cube.get_device_texture()->held_by_caller(), 1u) << "the face's reference is given back";
    EXPECT_NE(cube.lock(0, 2, pitch), nullptr);
    cube.unlock(0, 2);
}

// --- render targets -----------------------------------------------------------------------

using RenderTargetTest = ResourceTest;

TEST_F(RenderTargetTest, TheFirstSceneMakesThePaddedTargetTexture)
{
    RenderTarget target(*owner, vadu::Atom("mirror"), 100, 60);
    EXPECT_EQ(target.get_name_atom(), vadu::Atom("mirror"));
    EXPECT_EQ(target.get_width(), 128);
    EXPECT_EQ(target.get_height(), 64);
    EXPECT_EQ(log.count(padding_warning), 1u);
    EXPECT_TRUE(target.is_operational());
    EXPECT_EQ(target.get_device_texture(), nullptr);
    EXPECT_TRUE(owner->get_resource_list().contains(&target));

    ASSERT_TRUE(target.start_scene(-1, 1, 1, -1));
    const gfx::Texture* texture = target.get_device_texture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->level_count(), 1u);
    EXPECT_EQ(texture->usage(), gfx::usage::render_target);
    EXPECT_EQ(texture->format(), gfx::Format::x8r8g8b8);
    EXPECT_EQ(texture->pool(), gfx::Pool::default_pool);
    EXPECT_EQ(texture->level_surface(0, 0)->width(), 128u);
    EXPECT_EQ(device().state().render_target, texture->level_surface(0, 0));
    EXPECT_TRUE(device().in_scene());
    ASSERT_EQ(owner->viewports.size(), 1u);
    const SceneViewport& viewport = owner->viewports[0];
    EXPECT_EQ(viewport.left, -1.0);
    EXPECT_EQ(viewport.top, 1.0);
    EXPECT_EQ(viewport.width, 128u);
    EXPECT_EQ(viewport.height, 64u);

    device().end_scene();
    ASSERT_TRUE(target.start_scene(-0.5, 0.5, 0.5, -0.5));
    EXPECT_EQ(target.get_device_texture(), texture) << "made once";
    device().end_scene();
    ASSERT_TRUE(target.set(4));
    EXPECT_EQ(device().state().textures[4], texture);
}

TEST_F(RenderTargetTest, DeviceLossReleasesTheTextureAndTheNextSceneMakesItAgain)
{
    RenderTarget target(*owner, vadu::Atom("mirror"), 64, 64);
    ASSERT_TRUE(target.start_scene(-1, 1, 1, -1));
    device().end_scene();

    device().simulate_lost();
    owner->lose_resources();
    EXPECT_EQ(target.get_device_texture(), nullptr);
    EXPECT_FALSE(target.start_scene(-1, 1, 1, -1)) << "nothing is drawn while the hardware is lost";
    device().simulate_resettable();
    ASSERT_EQ(owner->reset(), gfx::ok) << "the default-pool texture is still held";
    ASSERT_TRUE(target.start_scene(-1, 1, 1, -1));
    EXPECT_NE(target.get_device_texture(), nullptr);
    device().end_scene();
}

TEST_F(RenderTargetTest, FailuresAndDestruction)
{
    auto target = std::make_unique<RenderTarget>(*owner, vadu::Atom("mirror"), 64, 64);
    gfx::script_failure(gfx::Call::begin_scene);
    EXPECT_FALSE(target->start_scene(-1, 1, 1, -1));
    EXPECT_TRUE(owner->viewports.empty());

    target->drop();
    gfx::script_failure(gfx::Call::create_texture);
    EXPECT_GLUCK(target->start_scene(-1, 1, 1, -1), "vadu::lib3d::hard::directx8::RenderTarget::start_scene",
                 "hardware->get_device()->CreateTexture() failed");

    RenderTarget* address = target.get();
    target.reset();
    EXPECT_EQ(owner->forgotten, std::vector<RenderTarget*>{address});
    EXPECT_EQ(owner->get_resource_list().size(), 0u);
}

} // namespace
} // namespace directx8_test
