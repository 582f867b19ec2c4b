#include "gfx_test_support.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace gfx_test;

using ResourceTest = DeviceTest;

TEST_F(ResourceTest, BuffersLockTheRequestedRange)
{
    VertexBuffer* buffer = nullptr;
    ASSERT_EQ(device->create_vertex_buffer(96, usage::write_only, 0x142, Pool::managed, &buffer, nullptr), ok);
    const BufferDesc desc = buffer->desc();
    EXPECT_EQ(desc.size, 96u);
    EXPECT_EQ(desc.fvf, 0x142u);
    EXPECT_EQ(desc.pool, Pool::managed);
    EXPECT_EQ(desc.type, ResourceType::vertex_buffer);

    void* whole = nullptr;
    ASSERT_EQ(buffer->lock(0, 0, &whole, 0), ok);
    std::memset(whole, 0xAB, 96);
    void* tail = nullptr;
    ASSERT_EQ(buffer->lock(24, 0, &tail, 0), ok) << "locks nest";
    EXPECT_EQ(static_cast<uint8_t*>(tail) - static_cast<uint8_t*>(whole), 24);
    ASSERT_EQ(buffer->unlock(), ok);
    EXPECT_TRUE(buffer->is_locked());
    ASSERT_EQ(buffer->unlock(), ok);
    EXPECT_EQ(buffer->unlock(), error::invalid_call) << "not locked";
    EXPECT_EQ(buffer->data()[95], 0xAB);

    void* data = reinterpret_cast<void*>(1);
    EXPECT_EQ(buffer->lock(90, 8, &data, 0), error::invalid_call);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(buffer->lock(97, 0, &data, 0), error::invalid_call);
    EXPECT_FALSE(buffer->is_locked());

    script_failure(Call::lock);
    EXPECT_EQ(buffer->lock(0, 0, &data, 0), error::invalid_call);
    EXPECT_FALSE(buffer->is_locked());
    ASSERT_EQ(buffer->lock(0, 0, &data, 0), ok);
    ASSERT_EQ(buffer->unlock(), ok);
    EXPECT_EQ(buffer->release(), 0u);
}

TEST_F(ResourceTest, BufferCreationChecksItsArguments)
{
    const uint32_t points = usage::write_only | usage::points | usage::do_not_clip;
    const struct {
        const char* name;
        uint32_t length;
        uint32_t usage;
        uint32_t fvf;
        Pool pool;
        Result expected;
    } vertex_cases[] = {
        {"static", 32 * 4, usage::write_only, 0x112, Pool::managed, ok},
        {"dynamic", 24 * 4, usage::write_only | usage::dynamic, 0x142, Pool::default_pool, ok},
        {"point buffer without format", 3200, points, 0, Pool::default_pool, ok},
        {"empty", 0, usage::write_only, 0x112, Pool::managed, error::invalid_call},
        {"shorter than one vertex", 20, usage::write_only, 0x112, Pool::managed, error::invalid_call},
        {"dynamic and managed", 64, usage::dynamic, 0, Pool::managed, error::invalid_call},
        {"system memory pool", 64, 0, 0, Pool::system_memory, error::invalid_call},
        {"render target usage", 64, usage::render_target, 0, Pool::default_pool, error::invalid_call},
        {"no position in the format", 64, 0, fvf::normal, Pool::managed, error::invalid_call},
    };
    for (const auto& c : vertex_cases) {
        VertexBuffer* buffer = reinterpret_cast<VertexBuffer*>(1);
        EXPECT_EQ(device->create_vertex_buffer(c.length, c.usage, c.fvf, c.pool, &buffer, nullptr), c.expected)
            << c.name;
        if (c.expected == ok && buffer) {
            buffer->release();
        } else {
            EXPECT_EQ(buffer, nullptr) << c.name;
        }
    }

    IndexBuffer* indices = nullptr;
    EXPECT_EQ(device->create_index_buffer(12, usage::write_only, Format::index32, Pool::managed, &indices, nullptr),
              error::invalid_call)
        << "32-bit indices need a vertex index limit above 0xFFFF";
    EXPECT_EQ(device->create_index_buffer(12, usage::write_only, Format::d16, Pool::managed, &indices, nullptr),
              error::invalid_call);
    ASSERT_EQ(device->create_index_buffer(12, usage::write_only, Format::index16, Pool::managed, &indices, nullptr),
              ok);
    EXPECT_EQ(indices->desc().format, Format::index16);
    indices->release();
    configuration().adapters[0].caps.max_vertex_index = 0xFFFFFF;
    ASSERT_EQ(device->create_index_buffer(12, usage::write_only, Format::index32, Pool::managed, &indices, nullptr),
              ok);
    indices->release();

    const struct {
        Call call;
        std::function<Result()> create;
    } scripted[] = {
        {Call::create_vertex_buffer,
         [&] {
             VertexBuffer* b = nullptr;
             const Result r = device->create_vertex_buffer(64, 0, 0, Pool::managed, &b, nullptr);
             if (b)
                 b->release();
             return r;
         }},
        {Call::create_index_buffer,
         [&] {
             IndexBuffer* b = nullptr;
             const Result r = device->create_index_buffer(64, 0, Format::index16, Pool::managed, &b, nullptr);
             if (b)
                 b->release();
             return r;
         }},
        {Call::create_texture,
         [&] {
             Texture* t = nullptr;
             const Result r = device->create_texture(8, 8, 0, 0, Format::a8r8g8b8, Pool::managed, &t, nullptr);
             if (t)
                 t->release();
             return r;
         }},
        {Call::create_cube_texture,
         [&] {
             CubeTexture* t = nullptr;
             const Result r = device->create_cube_texture(8, 0, 0, Format::a8r8g8b8, Pool::managed, &t, nullptr);
             if (t)
                 t->release();
             return r;
         }},
        {Call::create_render_target,
         [&] {
             Surface* s = nullptr;
             const Result r = device->create_render_target(2, 2, Format::x8r8g8b8, 0, 0, true, &s, nullptr);
             if (s)
                 s->release();
             return r;
         }},
    };
    for (const auto& c : scripted) {
        script_failure(c.call, {.result = error::out_of_video_memory});
        EXPECT_EQ(c.create(), error::out_of_video_memory) << static_cast<int>(c.call);
        EXPECT_EQ(c.create(), ok) << static_cast<int>(c.call) << " fails once";
    }
}

TEST_F(ResourceTest, TexturesBuildTheirMipChain)
{
    Texture* texture = nullptr;
    ASSERT_EQ(device->create_texture(300, 200, 0, 0, Format::a8r8g8b8, Pool::managed, &texture, nullptr), ok);
    ASSERT_EQ(texture->get_level_count(), 9u) << "300 down to 1";
    const uint32_t widths[] = {300, 150, 75, 37, 18, 9, 4, 2, 1};
    const uint32_t heights[] = {200, 100, 50, 25, 12, 6, 3, 1, 1};
    for (uint32_t level = 0; level < 9; ++level) {
        SurfaceDesc desc;
        ASSERT_EQ(texture->get_level_desc(level, &desc), ok);
        EXPECT_EQ(desc.width, widths[level]);
        EXPECT_EQ(desc.height, heights[level]);
        EXPECT_EQ(desc.pool, Pool::managed);
    }
    SurfaceDesc desc;
    EXPECT_EQ(texture->get_level_desc(9, &desc), error::invalid_call);
    texture->release();

    const struct {
        const char* name;
        uint32_t width, height, levels, usage;
        Format format;
        Pool pool;
        Result expected;
    } cases[] = {
        {"one level", 64, 32, 1, 0, Format::r5g6b5, Pool::managed, ok},
        {"too many levels", 64, 32, 8, 0, Format::a8r8g8b8, Pool::managed, error::invalid_call},
        {"above the maximum size", 8192, 8, 1, 0, Format::a8r8g8b8, Pool::managed, error::invalid_call},
        {"unsupported format", 8, 8, 1, 0, Format::a2b10g10r10, Pool::managed, error::invalid_call},
        {"depth format", 8, 8, 1, 0, Format::d16, Pool::managed, error::invalid_call},
        {"managed render target", 8, 8, 1, usage::render_target, Format::x8r8g8b8, Pool::managed, error::invalid_call},
        {"render target in a texture-only format", 8, 8, 1, usage::render_target, Format::a4r4g4b4,
         Pool::default_pool, error::invalid_call},
        {"render target", 8, 8, 1, usage::render_target, Format::x8r8g8b8, Pool::default_pool, ok},
        {"zero size", 0, 8, 1, 0, Format::a8r8g8b8, Pool::managed, error::invalid_call},
    };
    for (const auto& c : cases) {
        Texture* created = nullptr;
        EXPECT_EQ(device->create_texture(c.width, c.height, c.levels, c.usage, c.format, c.pool, &created, nullptr),
                  c.expected)
            << c.name;
        if (created)
            created->release();
    }
}

TEST_F(ResourceTest, LocksHonourTheFormatsPitch)
{
    const struct {
        Format format;
        uint32_t width;
        int32_t pitch;
    } cases[] = {
        {Format::a8r8g8b8, 5, 20}, {Format::r8g8b8, 5, 16}, {Format::r8g8b8, 4, 12},
        {Format::r5g6b5, 5, 12},   {Format::a4r4g4b4, 3, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        Texture* texture = nullptr;
        ASSERT_EQ(device->create_texture(c.width, 4, 1, 0, c.format, Pool::managed, &texture, nullptr), ok);
        LockedRect whole;
        ASSERT_EQ(texture->lock_rect(0, &whole, nullptr, lock_flags::no_system_lock), ok);
        EXPECT_EQ(whole.pitch, c.pitch);
        EXPECT_EQ(texture->lock_rect(0, &whole, nullptr, 0), error::invalid_call) << "already locked";
        ASSERT_EQ(texture->unlock_rect(0), ok);
        EXPECT_EQ(texture->unlock_rect(0), error::invalid_call);

        const platform::Rect rect{1, 2, 3, 4};
        LockedRect part;
        ASSERT_EQ(texture->lock_rect(0, &part, &rect, 0), ok);
        EXPECT_EQ(static_cast<uint8_t*>(part.bits) - static_cast<uint8_t*>(whole.bits),
                  2 * c.pitch + static_cast<int32_t>(bytes_per_pixel(c.format)));
        ASSERT_EQ(texture->unlock_rect(0), ok);
        const platform::Rect outside{0, 0, static_cast<int32_t>(c.width) + 1, 1};
        EXPECT_EQ(texture->lock_rect(0, &part, &outside, 0), error::invalid_call);
        texture->release();
    }
}

TEST_F(ResourceTest, OnlyManagedOrDynamicTexturesAndLockableTargetsLock)
{
    Texture* target = nullptr;
    ASSERT_EQ(device->create_texture(8, 8, 1, usage::render_target, Format::x8r8g8b8, Pool::default_pool, &target,
                                     nullptr),
              ok);
    LockedRect locked;
    EXPECT_EQ(target->lock_rect(0, &locked, nullptr, 0), error::invalid_call);
    Texture* dynamic = nullptr;
    ASSERT_EQ(device->create_texture(8, 8, 1, usage::dynamic, Format::a8r8g8b8, Pool::default_pool, &dynamic, nullptr),
              ok);
    EXPECT_EQ(dynamic->lock_rect(0, &locked, nullptr, 0), ok);
    EXPECT_EQ(dynamic->unlock_rect(0), ok);

    Surface* lockable = nullptr;
    ASSERT_EQ(device->create_render_target(2, 2, Format::x8r8g8b8, multisample::none, 0, true, &lockable, nullptr), ok);
    ASSERT_EQ(lockable->lock_rect(&locked, nullptr, lock_flags::no_system_lock), ok);
    EXPECT_EQ(locked.pitch, 8);
    ASSERT_EQ(lockable->unlock_rect(), ok);
    Surface* sealed = nullptr;
    ASSERT_EQ(device->create_render_target(2, 2, Format::x8r8g8b8, multisample::none, 0, false, &sealed, nullptr), ok);
    EXPECT_EQ(sealed->lock_rect(&locked, nullptr, 0), error::invalid_call);
    Surface* refused = nullptr;
    EXPECT_EQ(device->create_render_target(2, 2, Format::x8r8g8b8, multisample::samples_2, 0, true, &refused, nullptr),
              error::invalid_call)
        << "multisampled targets cannot be lockable";
    EXPECT_EQ(device->create_render_target(2, 2, Format::a4r4g4b4, multisample::none, 0, true, &refused, nullptr),
              error::invalid_call);
    EXPECT_EQ(device->back_buffer()->lock_rect(&locked, nullptr, 0), error::invalid_call)
        << "the back buffer was not asked to be lockable";

    target->release();
    dynamic->release();
    lockable->release();
    sealed->release();
}

TEST_F(ResourceTest, SurfacesShareTheirTexturesCount)
{
    const uint32_t live = live_object_count();
    Texture* texture = nullptr;
    ASSERT_EQ(device->create_texture(16, 16, 0, 0, Format::a8r8g8b8, Pool::managed, &texture, nullptr), ok);
    Surface* level = nullptr;
    ASSERT_EQ(texture->get_surface_level(2, &level), ok);
    EXPECT_EQ(level->width(), 4u);
    EXPECT_EQ(level->container(), texture);
    EXPECT_EQ(texture->get_surface_level(5, &level), error::invalid_call);
    ASSERT_EQ(texture->get_surface_level(2, &level), ok);
    EXPECT_EQ(texture->release(), 2u) << "two surface references remain";
    EXPECT_EQ(level->release(), 1u);
    LockedRect locked;
    ASSERT_EQ(level->lock_rect(&locked, nullptr, 0), ok) << "the texture is still alive";
    ASSERT_EQ(level->unlock_rect(), ok);
    EXPECT_EQ(level->release(), 0u);
    EXPECT_EQ(live_object_count(), live);
}

TEST_F(ResourceTest, CubeTexturesKeepSixFaces)
{
    CubeTexture* cube = nullptr;
    ASSERT_EQ(device->create_cube_texture(8, 0, 0, Format::a8r8g8b8, Pool::managed, &cube, nullptr), ok);
    ASSERT_EQ(cube->get_level_count(), 4u);
    for (uint32_t face = 0; face < 6; ++face) {
        LockedRect locked;
        ASSERT_EQ(cube->lock_rect(static_cast<CubeFace>(face), 0, &locked, nullptr, 0), ok);
        for (uint32_t y = 0; y < 8; ++y) {
            for (uint32_t x = 0; x < 8; ++x)
                std::memset(static_cast<uint8_t*>(locked.bits) + y * locked.pitch + x * 4, 10 * (face + 1), 4);
        }
        ASSERT_EQ(cube->unlock_rect(static_cast<CubeFace>(face), 0), ok);
    }
    ASSERT_EQ(filter_texture(cube, 0), ok);
    for (uint32_t face = 0; face < 6; ++face) {
        Surface* surface = nullptr;
        ASSERT_EQ(cube->get_cube_map_surface(static_cast<CubeFace>(face), 3, &surface), ok);
        EXPECT_EQ(surface->width(), 1u);
        EXPECT_EQ(surface->pixels()[0], 10 * (face + 1)) << "face " << face << " keeps its own pixels";
        surface->release();
    }
    Surface* surface = nullptr;
    EXPECT_EQ(cube->get_cube_map_surface(static_cast<CubeFace>(6), 0, &surface), error::invalid_call);
    cube->release();

    // One visible level under automatic mipmaps.
    ASSERT_EQ(device->create_cube_texture(8, 0, usage::auto_gen_mipmap, Format::a8r8g8b8, Pool::managed, &cube,
                                          nullptr),
              ok);
    EXPECT_EQ(cube->get_level_count(), 1u);
    cube->release();
    EXPECT_EQ(device->create_cube_texture(8, 4, usage::auto_gen_mipmap, Format::a8r8g8b8, Pool::managed, &cube,
                                          nullptr),
              error::invalid_call);
    configuration().adapters[0].cube_texture_formats = {Format::a8r8g8b8};
    EXPECT_EQ(device->create_cube_texture(8, 1, 0, Format::r5g6b5, Pool::managed, &cube, nullptr), error::invalid_call);
}

struct FilterCase {
    const char* name;
    Format format;
    uint32_t block[4]; // top-left, top-right, bottom-left, bottom-right pixel words
    uint32_t expected;
};

// Each channel averages in its own width; a carry never spills into its neighbour.
const FilterCase kFilterCases[] = {
    {"A8R8G8B8", Format::a8r8g8b8, {0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF}, 0x40404040},
    {"A8R8G8B8 rounding", Format::a8r8g8b8, {0x01010101, 0x01010101, 0x00000000, 0x00000000}, 0x01010101},
    {"X8R8G8B8", Format::x8r8g8b8, {0xFF102030, 0xFF102030, 0xFF305070, 0xFF305070}, 0xFF203850},
    {"R8G8B8", Format::r8g8b8, {0xFF0000, 0x00FF00, 0x0000FF, 0x000000}, 0x404040},
    {"R5G6B5", Format::r5g6b5, {0xF800, 0x0000, 0x0000, 0x0000}, 0x4000},
    {"R5G6B5 blue no carry", Format::r5g6b5, {0x001F, 0x001F, 0x0000, 0x0000}, 0x0010},
    {"R5G6B5 green", Format::r5g6b5, {0x07E0, 0x07E0, 0x07E0, 0x0000}, 0x05E0},
    {"X1R5G5B5", Format::x1r5g5b5, {0xFC00, 0x8000, 0x8000, 0x8000}, 0x8000 | (8 << 10)},
    {"A1R5G5B5", Format::a1r5g5b5, {0x8000, 0x8000, 0x8000, 0x0000}, 0x8000},
    {"A1R5G5B5 half alpha", Format::a1r5g5b5, {0x8000, 0x8000, 0x0000, 0x0000}, 0x8000},
    {"A1R5G5B5 quarter alpha", Format::a1r5g5b5, {0x8000, 0x0000, 0x0000, 0x0000}, 0x0000},
    {"A4R4G4B4", Format::a4r4g4b4, {0xF000, 0x0F00, 0x00F0, 0x000F}, 0x4444},
    {"A4R4G4B4 mixed", Format::a4r4g4b4, {0x1234, 0x5678, 0x9ABC, 0xDEF0}, 0x7896},
};

class BoxFilterTest : public DeviceTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(BoxFilterTest, RebuildsSmallerLevelsPerFormat)
{
    const FilterCase& c = GetParam();
    const uint32_t bytes = bytes_per_pixel(c.format);
    // 4×2 level 0: the block on the left, its mirror image on the right.
    Texture* texture = nullptr;
    ASSERT_EQ(device->create_texture(4, 2, 0, 0, c.format, Pool::managed, &texture, nullptr), ok);
    ASSERT_EQ(texture->get_level_count(), 3u);
    LockedRect locked;
    ASSERT_EQ(texture->lock_rect(0, &locked, nullptr, 0), ok);
    auto put = [&](uint32_t x, uint32_t y, uint32_t word) {
        uint8_t* pixel = static_cast<uint8_t*>(locked.bits) + y * locked.pitch + x * bytes;
        for (uint32_t i = 0; i < bytes; ++i)
            pixel[i] = static_cast<uint8_t>(word >> (8 * i));
    };
    put(0, 0, c.block[0]);
    put(1, 0, c.block[1]);
    put(0, 1, c.block[2]);
    put(1, 1, c.block[3]);
    put(3, 0, c.block[0]);
    put(2, 0, c.block[1]);
    put(3, 1, c.block[2]);
    put(2, 1, c.block[3]);
    ASSERT_EQ(texture->unlock_rect(0), ok);
    EXPECT_EQ(filter_texture(texture, 0), ok);

    auto get = [&](uint32_t level, uint32_t x) {
        const Surface* surface = texture->level_surface(0, level);
        uint32_t word = 0;
        for (uint32_t i = 0; i < bytes; ++i)
            word |= static_cast<uint32_t>(surface->pixels()[x * bytes + i]) << (8 * i);
        return word;
    };
    EXPECT_EQ(get(1, 0), c.expected);
    EXPECT_EQ(get(1, 1), c.expected);
    // A 2×1 level averages its single row with itself.
    EXPECT_EQ(get(2, 0), c.expected);
    texture->release();
}

INSTANTIATE_TEST_SUITE_P(Formats, BoxFilterTest, ::testing::ValuesIn(kFilterCases),
                         [](const ::testing::TestParamInfo<FilterCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             }
                             return name;
                         });

TEST_F(ResourceTest, FilterFromALaterLevelLeavesTheLevelsAbove)
{
    Texture* texture = nullptr;
    ASSERT_EQ(device->create_texture(8, 8, 0, 0, Format::a8r8g8b8, Pool::managed, &texture, nullptr), ok);
    Surface* level1 = texture->level_surface(0, 1);
    std::memset(level1->pixels(), 0x80, level1->pitch() * level1->height());
    ASSERT_EQ(filter_texture(texture, 1), ok);
    EXPECT_EQ(texture->level_surface(0, 0)->pixels()[0], 0) << "level 0 is not touched";
    EXPECT_EQ(texture->level_surface(0, 3)->pixels()[0], 0x80);

    EXPECT_EQ(filter_texture(texture, 4), error::invalid_call);
    EXPECT_EQ(filter_texture(nullptr, 0), error::invalid_call);
    LockedRect locked;
    ASSERT_EQ(texture->lock_rect(2, &locked, nullptr, 0), ok);
    EXPECT_EQ(filter_texture(texture, 0), error::invalid_call) << "a level is locked";
    ASSERT_EQ(texture->unlock_rect(2), ok);
    texture->release();
}

TEST(GfxFormat, ColoursUseTheFormatsByteLayout)
{
    const struct {
        Format format;
        uint32_t argb;
        std::vector<uint8_t> bytes;
        uint32_t read_back;
    } cases[] = {
        {Format::a8r8g8b8, 0x80FF4020, {0x20, 0x40, 0xFF, 0x80}, 0x80FF4020},
        {Format::x8r8g8b8, 0x00FF4020, {0x20, 0x40, 0xFF, 0xFF}, 0xFFFF4020},
        {Format::r8g8b8, 0x12345678, {0x78, 0x56, 0x34}, 0xFF345678},
        {Format::r5g6b5, 0xFFFF0000, {0x00, 0xF8}, 0xFFFF0000},
        {Format::r5g6b5, 0xFF00FF00, {0xE0, 0x07}, 0xFF00FF00},
        {Format::x1r5g5b5, 0x000000FF, {0x1F, 0x80}, 0xFF0000FF},
        {Format::a1r5g5b5, 0x80FFFFFF, {0xFF, 0xFF}, 0xFFFFFFFF},
        {Format::a1r5g5b5, 0x7FFFFFFF, {0xFF, 0x7F}, 0x00FFFFFF},
        {Format::a4r4g4b4, 0xF0804020, {0x42, 0xF8}, 0xFF884422},
        {Format::a2b10g10r10, 0xFFFF0000, {0xFF, 0x03, 0x00, 0xC0}, 0xFFFF0000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        ASSERT_EQ(bytes_per_pixel(c.format), c.bytes.size());
        std::vector<uint8_t> pixel(c.bytes.size() + 1, 0xEE);
        encode_color(c.format, c.argb, pixel.data());
        EXPECT_EQ(std::vector<uint8_t>(pixel.begin(), pixel.end() - 1), c.bytes);
        EXPECT_EQ(pixel.back(), 0xEE) << "nothing written past the pixel";
        EXPECT_EQ(decode_color(c.format, pixel.data()), c.read_back);
    }
    EXPECT_EQ(bytes_per_pixel(Format::d24s8), 4u);
    EXPECT_EQ(bytes_per_pixel(Format::index16), 2u);
    EXPECT_FALSE(is_color_format(Format::d16));
}

TEST(GfxFormat, VertexStridesFollowTheFormatBits)
{
    EXPECT_EQ(fvf_stride(0x112), 32u);
    EXPECT_EQ(fvf_stride(0x142), 24u);
    EXPECT_EQ(fvf_stride(0x152), 36u);
    EXPECT_EQ(fvf_stride(fvf::xyz), 12u);
    EXPECT_EQ(fvf_stride(fvf::xyz | fvf::psize | fvf::diffuse), 20u);
    EXPECT_EQ(fvf_stride(fvf::xyz | fvf::tex1 | (1u << 16)), 24u) << "a three-float texture set";
    EXPECT_EQ(fvf_stride(fvf::normal), 0u);
    EXPECT_EQ(primitive_vertex_count(PrimitiveType::triangle_list, 2), 6u);
    EXPECT_EQ(primitive_vertex_count(PrimitiveType::triangle_strip, 2), 4u);
    EXPECT_EQ(primitive_vertex_count(PrimitiveType::point_list, 7), 7u);
}

} // namespace
