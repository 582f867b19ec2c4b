// The demo the program showed before the game's screens, run through the demo application
// over the program's real data folder: the shipped data loads completely, the cursor
// plays its halves, starter.ini and a saved video settings file are honoured, and a
// frame at fixed times matches golden/demo_scene.png byte for byte (golden/README.md;
// regenerate with QUILLO_UPDATE_GOLDEN=1).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/gfx/present.h"
#include "program_folder.h"
#include "support/golden.h"
#include "fixtures/demo_application.h"
#include "vadu/lib3d/node/image.h"
#include "vadu/lib3d/node/sprite.h"

namespace demo_test_file {

namespace fs = std::filesystem;
using vadu::Atom;
using vadu::lib3d::node::Image;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
using vadu::math::Vector3;

fs::path source_folder()
{
    return fs::path(__FILE__).parent_path();
}

// Every sprite and image of the tree has its picture.
bool pictures_ready(Node& node)
{
    if (auto* sprite = dynamic_cast<Sprite*>(&node)) {
        if (!sprite->get_texture() || !sprite->get_texture()->is_ready())
            return false;
    }
    if (auto* image = dynamic_cast<Image*>(&node)) {
        if (!image->get_impl().is_picture_loaded(nullptr))
            return false;
    }
    for (Node* child : node.get_children()) {
        if (!pictures_ready(*child))
            return false;
    }
    return true;
}

Node& child(Node& parent, const char* path)
{
    Node* found = parent.find_child(Atom(path), true);
    if (!found)
        throw std::runtime_error(std::string("no node ") + path);
    return *found;
}

uint32_t pixel(const platform::gfx::PresentedFrame& frame, uint32_t x, uint32_t y)
{
    const uint8_t* p = &frame.pixels[(size_t{y} * frame.width + x) * 4];
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

uint32_t brightest_channel(uint32_t argb)
{
    return std::max({argb >> 16 & 0xFFu, argb >> 8 & 0xFFu, argb & 0xFFu});
}

uint32_t darkest_channel(uint32_t argb)
{
    return std::min({argb >> 16 & 0xFFu, argb >> 8 & 0xFFu, argb & 0xFFu});
}

class Demo : public game_test::ProgramFolderTest {
protected:
    void TearDown() override
    {
        app_.reset();
        vadu::lib3d::Application::get_starter_settings().clear();
        if (!settings_folder_.empty()) {
            std::error_code ignored;
            fs::remove_all(settings_folder_, ignored);
        }
        ProgramFolderTest::TearDown();
    }

    DemoApplication& start(const std::string& command_line)
    {
        app_ = std::make_unique<DemoApplication>(name_.c_str(), command_line.c_str());
        return *app_;
    }

    // Where the application of this test keeps its video settings.
    fs::path settings_file()
    {
        const vadu::filesystem::String path =
            vadu::filesystem::String(vadu::String("%local_appdata%/") + name_.c_str(), true) + "/videosettings.ini";
        const fs::path file(std::string(path.get_text().data(), path.get_text().size()));
        settings_folder_ = file.parent_path();
        return file;
    }

    // Frame steps that move no time, until every picture of the demo and the cursor is in.
    void load_pictures()
    {
        for (int step = 0; step < 5000; ++step) {
            if (pictures_ready(app_->get_demo_root()) && pictures_ready(app_->get_cursor_root()))
                return;
            app_->Update(0.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        FAIL() << "the demo's pictures did not load";
    }

    // The pointer over the game window, in client coordinates.
    void point_at(int32_t x, int32_t y)
    {
        const platform::Point origin = platform::screen_to_client(app_->get_window().window, {0, 0});
        platform::headless::set_pointer_position({x - origin.x, y - origin.y});
    }

    void expect_golden(const platform::gfx::PresentedFrame& frame, const std::string& name)
    {
        golden::expect_frame(frame, source_folder() / "golden", name);
    }

    std::string name_ = private_name("demo");
    std::unique_ptr<DemoApplication> app_;
    fs::path settings_folder_;
};

TEST_F(Demo, EveryPictureLoadsAndEveryAnimationFindsItsTargets)
{
    DemoApplication& app = start("-nofullscreen");
    auto* camera = dynamic_cast<vadu::lib3d::node::CameraParallel*>(app.get_demo_camera());
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->get_width(), 800.0);
    EXPECT_EQ(camera->get_height(), 600.0);
    ASSERT_NE(app.get_cursor_node(), nullptr);
    load_pictures();

    Node& root = app.get_demo_root();
    struct Size {
        const char* sprite;
        int32_t width, height;
    };
    // Atlas frames take the frame's size, pictures the picture's.
    for (const Size& size : {Size{"Play", 64, 64}, Size{"Pause", 64, 64}, Size{"Ball", 64, 64}}) {
        auto& sprite = dynamic_cast<Sprite&>(child(root, size.sprite));
        EXPECT_EQ(sprite.get_width(), size.width) << size.sprite;
        EXPECT_EQ(sprite.get_height(), size.height) << size.sprite;
    }
    EXPECT_EQ(dynamic_cast<Image&>(child(root, "Background")).get_impl().get_picture_width(), 256);

    vadu::animate::PrimitiveAnimation* orbit = child(root, "Orbit").get_animation();
    ASSERT_NE(orbit, nullptr);
    ASSERT_EQ(orbit->get_vector_tracks().size(), 1u);
    EXPECT_EQ(orbit->get_vector_tracks()[0].target.get(), &child(root, "Ball"));
    ASSERT_EQ(orbit->get_commands().commands.size(), 1u);
    EXPECT_EQ(orbit->get_commands().commands[0].target.get(), &child(root, "Ball"));
    EXPECT_EQ(orbit->get_length(), 4.0);

    const vadu::animate::PrimitiveAnimation& cursor = app.get_cursor_animation();
    ASSERT_EQ(cursor.get_vector_tracks().size(), 1u);
    EXPECT_EQ(cursor.get_vector_tracks()[0].target.get(), &child(*app.get_cursor_node(), "Arrow"));
}

TEST_F(Demo, TheBallGoesRoundItsLoop)
{
    DemoApplication& app = start("-nofullscreen");
    Node& ball = child(app.get_demo_root(), "Ball");
    struct Step {
        double seconds;
        Vector3 position;
    };
    // Keys every second; after four the loop starts again.
    const Step steps[] = {{1.0, {0.0f, 120.0f, -30.0f}},
                          {1.0, {200.0f, 0.0f, -30.0f}},
                          {1.0, {0.0f, -120.0f, -30.0f}},
                          {1.0, {-200.0f, 0.0f, -30.0f}},
                          {1.0, {0.0f, 120.0f, -30.0f}}};
    for (const Step& step : steps) {
        app.Update(step.seconds);
        const Vector3& position = ball.get_position();
        EXPECT_NEAR(position.x, step.position.x, 1e-3);
        EXPECT_NEAR(position.y, step.position.y, 1e-3);
        EXPECT_NEAR(position.z, step.position.z, 1e-3);
    }
}

TEST_F(Demo, TheCursorShrinksWhileTheButtonIsDownAndGrowsBackOnRelease)
{
    DemoApplication& app = start("-nofullscreen");
    Node& arrow = child(*app.get_cursor_node(), "Arrow");
    struct Step {
        uint32_t message; // 0: none
        double seconds;
        float scale;
    };
    const Step steps[] = {
        {0, 0.5, 1.0f},                            // no click: the first key holds
        {platform::wm::LBUTTONDOWN, 0.05, 0.9f},   // halfway down
        {0, 0.5, 0.8f},                            // held at the middle of the animation
        {platform::wm::LBUTTONUP, 0.05, 0.9f},     // halfway back
        {0, 0.5, 1.0f},                            // held at the end
    };
    for (const Step& step : steps) {
        if (step.message != 0)
            app.OnWindowMessage(step.message, 0, 0);
        app.Update(step.seconds);
        EXPECT_NEAR(arrow.get_scale().x, step.scale, 1e-4) << step.message;
        EXPECT_NEAR(arrow.get_scale().y, step.scale, 1e-4) << step.message;
        EXPECT_EQ(arrow.get_scale().z, 1.0f);
    }
}

TEST_F(Demo, TheShippedStarterIniGivesTheVideoModeDialogItsTexts)
{
    struct Seen {
        std::string caption, ok, cancel, adapter, first_column;
    } seen;
    platform::headless::set_dialog_script([&seen](platform::Dialog& dialog) {
        seen = {dialog.get_caption(), dialog.get_text(1), dialog.get_text(2),
                dialog.get_text(vadu::lib3d::Application::adapter_label_id),
                dialog.get_text(vadu::lib3d::Application::first_attribute_label_id)};
        dialog.click(static_cast<int>(platform::dialog_cancel));
    });
    start("settings");
    EXPECT_EQ(platform::headless::dialogs_shown(), 1);
    EXPECT_EQ(seen.caption, "Quillo Tovra: video mode");
    EXPECT_EQ(seen.ok, "Play");
    EXPECT_EQ(seen.cancel, "Cancel");
    EXPECT_EQ(seen.adapter, "Video device");
    EXPECT_EQ(seen.first_column, "Full screen");
}

TEST_F(Demo, TheSampleVideoSettingsChooseTheirMode)
{
    const fs::path file = settings_file();
    fs::create_directories(file.parent_path());
    fs::copy_file(source_folder() / "data" / "videosettings.ini", file, fs::copy_options::overwrite_existing);

    DemoApplication& app = start("");
    vadu::lib3d::hard::Hardware* hardware = app.get_hardware();
    ASSERT_NE(hardware, nullptr);
    EXPECT_EQ(hardware->get_name(), vadu::String("1: DirectX8 on Software Rasterizer"));
    EXPECT_EQ(hardware->get_attribute_value("Fullscreen"), vadu::String("No (Window mode)"));
    // The file asks for 2 samples, which the software device offers.
    EXPECT_EQ(hardware->get_attribute_value("Antialiasing"), vadu::String("2xSamples (Medium)"));
}

TEST_F(Demo, TheFrameMatchesTheGoldenPicture)
{
    DemoApplication& app = start("-nofullscreen");
    point_at(300, 200);
    load_pictures();
    // The ball halfway between the top and the right of its loop.
    for (int step = 0; step < 3; ++step)
        app.Update(0.5);
    ASSERT_TRUE(app.Render());

    const platform::gfx::PresentedFrame& frame = platform::gfx::last_presented_frame();
    ASSERT_EQ(frame.width, 512u);
    ASSERT_EQ(frame.height, 512u);
    // The arrow's tip is on the pointer: its dark outline, then white inside.
    EXPECT_LT(brightest_channel(pixel(frame, 301, 201)), 0x20u);
    EXPECT_GT(darkest_channel(pixel(frame, 303, 210)), 0xF0u);
    expect_golden(frame, "demo_scene");
}

// The part of a frame in [x, x + width) × [y, y + height).
platform::gfx::PresentedFrame crop(const platform::gfx::PresentedFrame& frame, uint32_t x, uint32_t y, uint32_t width,
                                   uint32_t height)
{
    platform::gfx::PresentedFrame part;
    part.width = width;
    part.height = height;
    for (uint32_t row = y; row < y + height; ++row) {
        const auto start = frame.pixels.begin() + static_cast<ptrdiff_t>((size_t{row} * frame.width + x) * 4);
        part.pixels.insert(part.pixels.end(), start, start + static_cast<ptrdiff_t>(width) * 4);
    }
    return part;
}

// A sprite turned and enlarged through the scene graph, drawn by the hardware: its filter
// byte decides between smooth and blocky texels, and each look is pinned by a golden frame.
TEST_F(Demo, GoldenFramesShowARotatedScaledSpriteFilteredExactlyWhenItsFilterByteIsOn)
{
    DemoApplication& app = start("-nofullscreen");
    point_at(480, 20);
    load_pictures();
    child(app.get_demo_root(), "Ball").set_visible(false);
    auto& play = dynamic_cast<Sprite&>(child(app.get_demo_root(), "Play"));
    play.set_position({-200.0f, 0.0f, -20.0f});
    play.set_rotation({0.0f, 0.0f, 0.5f});
    play.set_scale({2.5f, 2.5f, 1.0f});

    platform::gfx::PresentedFrame looks[2];
    for (const bool filtered : {false, true}) {
        play.set_filter_texture(filtered);
        app.Update(0.0);
        ASSERT_TRUE(app.Render());
        // The sprite's surroundings: the sprite is centred at (128, 256).
        looks[filtered] = crop(platform::gfx::last_presented_frame(), 32, 160, 192, 192);
        expect_golden(looks[filtered], filtered ? "sprite_filtered" : "sprite_unfiltered");
    }
    EXPECT_NE(looks[0].pixels, looks[1].pixels);
}

} // namespace demo_test_file
