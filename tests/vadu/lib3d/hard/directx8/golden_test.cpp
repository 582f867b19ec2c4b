// Whole frames drawn through the hardware and the device's rasterizer, compared byte
// for byte with the pictures in golden/ (see golden/README.md). After an intended
// change to the drawing, regenerate them with QUILLO_UPDATE_GOLDEN=1 and look at
// every picture that changed before keeping it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "hardware_fixture.h"
#include "support/golden.h"
#include "platform/gfx/present.h"
#include "vadu/lib3d/hard/sprite_batch.h"

namespace directx8_test {
namespace {

namespace fs = std::filesystem;
using hard::RenderList;
using hard::RenderRecord;
using hard::SpriteItem;
using vadu::math::Matrix4;
using RenderDevices = vadu::HardwareManager<vadu::lib3d::hard::Hardware>;

constexpr int side = 64;

fs::path golden_folder()
{
    return fs::path(__FILE__).parent_path() / "golden";
}

// A picture as the engine hands it over: B, G, R, A bytes per texel.
struct Picture {
    uint32_t width;
    uint32_t height;
    std::vector<uint8_t> bgra;

    uint32_t texel(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = &bgra[(size_t{y} * width + x) * 4];
        return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
};

template <class Texel>
Picture make_picture(uint32_t width, uint32_t height, Texel texel)
{
    Picture picture{width, height, std::vector<uint8_t>(size_t{width} * height * 4)};
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t argb = texel(x, y);
            uint8_t* p = &picture.bgra[(size_t{y} * width + x) * 4];
            p[0] = static_cast<uint8_t>(argb);
            p[1] = static_cast<uint8_t>(argb >> 8);
            p[2] = static_cast<uint8_t>(argb >> 16);
            p[3] = static_cast<uint8_t>(argb >> 24);
        }
    }
    return picture;
}

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return a << 24 | r << 16 | g << 8 | b;
}

// Red across, green down, opaque: every texel differs.
const Picture pattern = make_picture(16, 16, [](uint32_t x, uint32_t y) { return argb(255, x * 16, y * 16, 128); });
// Alpha across, green down over full red.
const Picture gradient = make_picture(16, 16, [](uint32_t x, uint32_t y) { return argb(x * 17, 255, y * 17, 0); });
const Picture white = make_picture(4, 4, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });

class GoldenTest : public HardwareFixture {
protected:
    void SetUp() override
    {
        HardwareFixture::SetUp();
        platform::move_window(window, 0, 0, side, side);
        make_open_hardware();
        manager_ = std::make_unique<RenderDevices::Creator>();
        RenderDevices::add_hardware(hardware.get());
    }

    void TearDown() override
    {
        lists_.clear();
        buffers_.clear();
        textures_.clear();
        RenderDevices::notify_remove_hardware(hardware.get());
        manager_.reset();
        HardwareFixture::TearDown();
    }

    hard::Texture* texture(const Picture& picture, bool point_sampling = true)
    {
        auto made = hardware->create_texture(1, vadu::pictureformat::format_bgra, static_cast<int>(picture.width),
                                             static_cast<int>(picture.height));
        int32_t pitch = 0;
        auto* bits = static_cast<uint8_t*>(made->lock(0, pitch));
        for (uint32_t y = 0; y < picture.height; ++y)
            std::memcpy(bits + static_cast<ptrdiff_t>(y) * pitch, &picture.bgra[size_t{y} * picture.width * 4],
                        size_t{picture.width} * 4);
        made->unlock(0);
        made->set_point_sampling(point_sampling);
        textures_.push_back(std::move(made));
        return textures_.back().get();
    }

    // A list over the viewport rectangle (−1..1, y up) that maps one unit to one pixel
    // of that viewport, y up, with the camera 100 units in front of z = 0.
    RenderList& make_list(double left = -1, double right = 1, double top = 1, double bottom = -1)
    {
        lists_.push_back(std::make_unique<RenderList>());
        RenderList& list = *lists_.back();
        list.viewport[0] = left;
        list.viewport[1] = right;
        list.viewport[2] = top;
        list.viewport[3] = bottom;
        const double width = side * (right - left) / 2;
        const double height = side * (top - bottom) / 2;
        list.projection = Matrix4::identity();
        list.projection.m[0] = static_cast<float>(2 / width);
        list.projection.m[3] = -1.0f;
        list.projection.m[5] = static_cast<float>(2 / height);
        list.projection.m[7] = -1.0f;
        list.projection.m[10] = 0.005f;
        list.camera_matrix = Matrix4::identity();
        list.camera_matrix.m[11] = -100.0f;
        return list;
    }

    static void background(RenderList& list, float red, float green, float blue)
    {
        list.camera_value = 1.0;
        list.camera_vector = {red, green, blue};
    }

    // A sprite with its lower left corner at (x, y); the corners turned by `angle`
    // (radians) about its centre.
    SpriteItem& sprite(float x, float y, float width, float height, hard::Texture* texture, float angle = 0.0f)
    {
        sprites_.push_back(std::make_unique<SpriteItem>());
        SpriteItem& item = *sprites_.back();
        const float cx = x + width / 2;
        const float cy = y + height / 2;
        const float corners[4][2] = {{x, y + height}, {x + width, y + height}, {x, y}, {x + width, y}};
        const float uv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
        for (int i = 0; i < 4; ++i) {
            const float dx = corners[i][0] - cx;
            const float dy = corners[i][1] - cy;
            item.corners[i][0] = cx + dx * std::cos(angle) - dy * std::sin(angle);
            item.corners[i][1] = cy + dx * std::sin(angle) + dy * std::cos(angle);
            item.uv[i][0] = uv[i][0];
            item.uv[i][1] = uv[i][1];
        }
        item.stage.texture = texture;
        return item;
    }

    // A record of a quad like a sprite's, at depth z, in the engine's own vertex buffer.
    RenderRecord quad(float x, float y, float width, float height, float z, hard::Texture* texture)
    {
        const float left = x - 0.5f;
        const float right = x + width - 0.5f;
        const float top = y + height + 0.5f;
        const float bottom = y + 0.5f;
        buffers_.push_back(hardware->create_vertex_buffer(false));
        EXPECT_TRUE(buffers_.back()->update(
            {left, top, 0, right, top, 0, left, bottom, 0, left, bottom, 0, right, top, 0, right, bottom, 0},
            {0, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 1}));
        RenderRecord record;
        record.world = Matrix4::identity();
        record.world.m[11] = z;
        record.vertex_buffer = buffers_.back().get();
        record.primitive_count = 2;
        record.vertex_count = 6;
        record.stages[1].texture = texture;
        return record;
    }

    gfx::PresentedFrame draw_frame()
    {
        EXPECT_TRUE(hardware->start_frame());
        for (auto& list : lists_)
            hardware->render(*list, *hardware);
        gfx::PresentedFrame frame;
        gfx::read_back_buffer(*device().back_buffer(), frame);
        hardware->finish_frame();
        return frame;
    }

    void expect_golden(const gfx::PresentedFrame& frame, const std::string& name)
    {
        golden::expect_frame(frame, golden_folder(), name);
    }

    void lists_clear() { lists_.clear(); }

private:
    std::unique_ptr<RenderDevices::Creator> manager_;
    std::vector<std::unique_ptr<hard::Texture>> textures_;
    std::vector<std::unique_ptr<hard::VertexBuffer>> buffers_;
    std::vector<std::unique_ptr<SpriteItem>> sprites_;
    std::vector<std::unique_ptr<RenderList>> lists_;
};

uint32_t frame_pixel(const gfx::PresentedFrame& frame, uint32_t x, uint32_t y)
{
    const uint8_t* p = &frame.pixels[(size_t{y} * frame.width + x) * 4];
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

TEST_F(GoldenTest, AnUnscaledSpriteShowsEveryTexelOnItsOwnPixel)
{
    RenderList& list = make_list();
    background(list, 0.0f, 0.0f, 0.25f);
    list.add_sprite(sprite(8, 40, 16, 16, texture(pattern)));
    const gfx::PresentedFrame frame = draw_frame();
    // Lower left corner (8, 40) with y up: the top row is 64 − 56 = 8.
    for (uint32_t y = 0; y < 16; ++y) {
        for (uint32_t x = 0; x < 16; ++x)
            ASSERT_EQ(frame_pixel(frame, 8 + x, 8 + y), pattern.texel(x, y)) << x << ", " << y;
    }
    EXPECT_EQ(frame_pixel(frame, 7, 8), 0xFF00003Fu);
    EXPECT_EQ(frame_pixel(frame, 24, 8), 0xFF00003Fu);
    EXPECT_EQ(frame_pixel(frame, 8, 24), 0xFF00003Fu);
    expect_golden(frame, "sprite_one_to_one");
}

// A turned solid square on 4 samples per pixel: its edges take the shares of the
// samples they cover, where one sample per pixel leaves only the two colours.
TEST_F(GoldenTest, FourSamplesSmoothATurnedEdge)
{
    const auto edge_colours = [&](const char* antialiasing) {
        EXPECT_TRUE(open(antialiasing));
        RenderList& list = make_list();
        background(list, 0.0f, 0.0f, 0.25f);
        list.add_sprite(sprite(12, 12, 40, 40, texture(white), 0.3f));
        const gfx::PresentedFrame frame = draw_frame();
        lists_clear();
        std::set<uint32_t> colours;
        for (uint32_t y = 0; y < side; ++y)
            for (uint32_t x = 0; x < side; ++x)
                colours.insert(frame_pixel(frame, x, y));
        return std::pair{frame, colours.size()};
    };
    // The default adapter offers 2 samples only; the rasterizer draws 4 as well.
    for (const auto& [format, samples] : std::vector(adapter().multisample))
        adapter().multisample.emplace_back(format, 4u);
    EXPECT_EQ(edge_colours("None").second, 2u);
    const auto [frame, colours] = edge_colours("4xSamples (High)");
    EXPECT_EQ(device().back_buffer()->samples(), 4u);
    // Shares of the 4 samples between the two colours.
    EXPECT_GE(colours, 4u);
    EXPECT_LE(colours, 5u);
    expect_golden(frame, "msaa_edge");
}

TEST_F(GoldenTest, TheThreeBlendModesOverAKnownColour)
{
    RenderList& list = make_list();
    background(list, 0.25f, 0.5f, 0.75f);
    hard::Texture* ramp = texture(gradient);
    const uint32_t modes[] = {hard::BM_ALPHA, hard::BM_ADD, hard::BM_ADD_ALPHA};
    for (int i = 0; i < 3; ++i) {
        RenderRecord record = quad(4.0f + 20.0f * static_cast<float>(i), 24, 16, 16, 0, ramp);
        record.stages[1].alpha = 1;
        record.blend_mode = modes[i];
        list.add_record(record);
    }
    expect_golden(draw_frame(), "blend_modes");
}

TEST_F(GoldenTest, TransparencyAndColourReachThePixelsThroughTheTextureFactor)
{
    RenderList& list = make_list();
    background(list, 0.5f, 0.5f, 0.5f);
    hard::Texture* picture = texture(pattern);
    SpriteItem& tinted = sprite(4, 24, 16, 16, picture);
    tinted.transparency = 0.5;
    tinted.colour = {1.0f, 0.5f, 0.25f};
    list.add_sprite(tinted);
    SpriteItem& faint = sprite(36, 24, 16, 16, picture);
    faint.transparency = 0.75;
    list.add_sprite(faint);
    expect_golden(draw_frame(), "texture_factor_transparency");
}

TEST_F(GoldenTest, RotatedAndScaledSprites)
{
    RenderList& list = make_list();
    background(list, 0.0f, 0.0f, 0.0f);
    list.add_sprite(sprite(8, 36, 16, 16, texture(pattern), 0.5235988f));
    list.add_sprite(sprite(28, 4, 32, 32, texture(pattern, false)));
    list.add_sprite(sprite(4, 4, 24, 12, texture(pattern), -0.3f));
    expect_golden(draw_frame(), "rotated_and_scaled");
}

TEST_F(GoldenTest, OpaqueRecordsHideWhatIsBehindThemWhateverTheirOrder)
{
    RenderList& list = make_list();
    background(list, 0.0f, 0.0f, 0.0f);
    hard::Texture* plain = texture(white);
    RenderRecord far_red = quad(8, 8, 32, 32, 10, plain);
    far_red.emissive = {1.0f, 0.0f, 0.0f};
    list.add_record(far_red);
    RenderRecord near_green = quad(24, 24, 32, 32, -10, plain);
    near_green.emissive = {0.0f, 1.0f, 0.0f};
    list.add_record(near_green);
    // Blended: blue behind both (seen only beside them), yellow in front of both.
    RenderRecord behind = quad(4, 28, 56, 8, 20, plain);
    behind.emissive = {0.0f, 0.0f, 1.0f};
    behind.transparency = 0.5;
    list.add_record(behind);
    RenderRecord front = quad(28, 4, 8, 56, -20, plain);
    front.emissive = {1.0f, 1.0f, 0.0f};
    front.transparency = 0.5;
    list.add_record(front);
    const gfx::PresentedFrame frame = draw_frame();
    EXPECT_EQ(frame_pixel(frame, 26, 30) & 0xFFFFFFu, 0x00FF00u); // green over red and blue
    expect_golden(frame, "depth_order");
}

TEST_F(GoldenTest, ASpriteIsClippedAtTheViewportEdge)
{
    RenderList& screen = make_list();
    background(screen, 0.25f, 0.25f, 0.25f);
    // The middle 32 × 32 pixels; its own units start at its lower left corner.
    RenderList& inset = make_list(-0.5, 0.5, 0.5, -0.5);
    background(inset, 1.0f, 1.0f, 1.0f); // a later list: the colour stays
    hard::Texture* picture = texture(pattern);
    inset.add_sprite(sprite(-8, 8, 16, 16, picture));
    inset.add_sprite(sprite(24, 24, 16, 16, picture));
    const gfx::PresentedFrame frame = draw_frame();
    EXPECT_EQ(frame_pixel(frame, 15, 30), 0xFF3F3F3Fu);
    EXPECT_EQ(frame_pixel(frame, 16, 30), pattern.texel(8, 6));
    expect_golden(frame, "viewport_clip");
}

TEST_F(GoldenTest, AfterAResetTheNextFrameIsTheSamePicture)
{
    RenderList& list = make_list();
    background(list, 0.0f, 0.25f, 0.0f);
    list.add_sprite(sprite(8, 8, 32, 32, texture(pattern, false), 0.2f));
    RenderRecord record = quad(20, 30, 30, 20, 0, texture(gradient));
    record.stages[1].alpha = 1;
    list.add_record(record);
    const gfx::PresentedFrame before = draw_frame();

    gfx::lose_devices();
    EXPECT_FALSE(hardware->start_frame());
    gfx::make_devices_resettable();
    EXPECT_FALSE(hardware->start_frame());
    const gfx::PresentedFrame after = draw_frame();
    EXPECT_TRUE(after.pixels == before.pixels);
}

} // namespace
} // namespace directx8_test
