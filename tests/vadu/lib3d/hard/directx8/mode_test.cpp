// Capabilities, published video modes, format selection, and opening and closing the
// device.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hardware_fixture.h"
#include "platform/headless/script.h"
#include "vadu/lib3d/hard/directx8/textures.h"

namespace directx8_test {
namespace {

using vadu::lib3d::hard::directx8::ModeParameters;

struct DriverCase {
    const char* name;
    const char* description;
    uint32_t pixel_shader;
    uint32_t textures;
    bool transform_and_light;
    bool multiply_add;
    uint32_t driver_class;
    bool prefer_small;
    int32_t width;
    const char* line;
};

class DriverClassTest : public HardwareFixture, public ::testing::WithParamInterface<DriverCase> {};

TEST_P(DriverClassTest, FollowsShadersTexturesAndVendor)
{
    const DriverCase& c = GetParam();
    gfx::Caps& caps = adapter().caps;
    caps.pixel_shader_version = 0xFFFF0000u | c.pixel_shader;
    caps.max_simultaneous_textures = c.textures;
    if (!c.transform_and_light)
        caps.dev_caps &= ~gfx::caps_flags::dev::hw_transform_and_light;
    if (!c.multiply_add)
        caps.texture_op_caps &= ~gfx::caps_flags::texture_op::multiply_add;
    adapter().description = c.description;
    const Hardware& hw = make_hardware();
    EXPECT_EQ(hw.get_capabilities().driver_class, c.driver_class);
    EXPECT_EQ(hw.get_capabilities().prefer_small_formats, c.prefer_small);
    EXPECT_EQ(hw.get_capabilities().default_width, c.width);
    EXPECT_EQ(hw.get_capabilities().default_height, c.width == 1024 ? 768 : 600);
    EXPECT_EQ(hw.get_wanted_values()[1], c.width == 1024 ? "1024" : "800");
    EXPECT_EQ(log.count(c.line), 1u) << log.text();
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, DriverClassTest,
    ::testing::Values(
        DriverCase{"Software", "Software Rasterizer", 0x104, 8, true, true, 1, false, 1024,
                   "Using Radeon8500-compatible driver\n"},
        DriverCase{"GeForceNeverRadeonPath", "NVIDIA GeForce FX", 0x104, 6, true, true, 1, false, 1024,
                   "Using GeForce4-compatible driver\n"},
        DriverCase{"GeForce4", "Some Card", 0x103, 4, true, true, 1, false, 1024,
                   "Using GeForce4-compatible driver\n"},
        DriverCase{"FastOldCard", "Some Card", 0x101, 8, true, true, 1, true, 1024,
                   "Using Old-Style driver on fast card, like GeForce4MX\n"},
        DriverCase{"ModerateCard", "Some Card", 0, 2, false, true, 1, true, 1024,
                   "Using Old-Style driver on moderate card, like GeForce2\n"},
        DriverCase{"IntelWithMultiplyAdd", "Intel(R) Graphics", 0, 2, false, true, 0, true, 800,
                   "Using Old-Style driver on very old card (or on Intel card :))\n"},
        DriverCase{"VeryOldCard", "Some Card", 0, 2, false, false, 0, true, 800,
                   "Using Old-Style driver on very old card (or on Intel card :))\n"}),
    [](const ::testing::TestParamInfo<DriverCase>& info) { return std::string(info.param.name); });

TEST_F(HardwareFixture, SummarisesTheCapabilitiesItDerives)
{
    gfx::Caps& caps = adapter().caps;
    caps.max_point_size = 1.0f;
    caps.stencil_caps = gfx::caps_flags::stencil::keep | gfx::caps_flags::stencil::incr
        | gfx::caps_flags::stencil::decr;
    caps.max_texture_height = 2048;
    adapter().description = "GeForce and Intel";
    const Hardware& hw = make_hardware();
    const auto& derived = hw.get_capabilities();
    EXPECT_FALSE(derived.sprites);
    EXPECT_FALSE(derived.auto_mipmaps);
    EXPECT_TRUE(derived.shadows);
    EXPECT_EQ(derived.stencil_increment, 7u);
    EXPECT_EQ(derived.stencil_decrement, 8u);
    EXPECT_TRUE(derived.transparency);
    EXPECT_TRUE(derived.hardware_vertex_shaders);
    EXPECT_EQ(derived.max_texture_size, 2048u);
    EXPECT_EQ(derived.max_vertex_index, 0xFFFFu);
    EXPECT_NE(log.text().find("\nSummary for device: 1: DirectX8 on GeForce and Intel\n"
                              "--------------------------------------------------------------\n"
                              "No sprites\nNo auto mipmaps\nShadows\nTransparency\nAnisotropic filtering\n"
                              "Try Using Hardware Vertex Shader\nTry Hardware Vertex Processing\n"),
              std::string::npos)
        << log.text();
    EXPECT_EQ(log.count("ByName detection: Intel found\n"), 1u);
    EXPECT_EQ(log.count("ByName detection: GeForce found\n"), 1u);
}

TEST_F(HardwareFixture, FullScreenRowsAreTheSortedDistinctDisplayModes)
{
    adapter().follows_desktop = false; // the listed modes only
    adapter().modes = {{1280, 720, 60, gfx::Format::x8r8g8b8},
                       {800, 600, 60, gfx::Format::x8r8g8b8},
                       {1280, 720, 75, gfx::Format::x8r8g8b8},
                       {800, 480, 60, gfx::Format::r5g6b5}};
    // 2 samples for the colour format only, 4 for colour and depth.
    adapter().multisample = {{gfx::Format::a8r8g8b8, 2},
                             {gfx::Format::a8r8g8b8, 4},
                             {gfx::Format::d24x8, 4}};
    const Hardware& hw = make_hardware();
    using Row = Hardware::Row;
    const std::vector<Row> expected = {
        {"No (Window mode)", "0", "0", "None"}, {"No (Window mode)", "0", "0", "4xSamples (High)"},
        {"Yes", "800", "480", "None"},          {"Yes", "800", "480", "4xSamples (High)"},
        {"Yes", "800", "600", "None"},          {"Yes", "800", "600", "4xSamples (High)"},
        {"Yes", "1280", "720", "None"},         {"Yes", "1280", "720", "4xSamples (High)"},
    };
    EXPECT_EQ(hw.get_rows(), expected);
}

// What the video-mode dialog offers: in a window one row of width and height 0 (the
// window's own size), in full screen the adapter's modes, the desktop's own among them.
TEST_F(HardwareFixture, TheDesktopsSizeIsOfferedInFullScreenAndAWindowKeepsItsOwn)
{
    platform::headless::set_desktop_size({1280, 800});
    struct Restore {
        ~Restore() { platform::headless::set_desktop_size({1920, 1080}); }
    } restore;
    adapter().multisample.clear();
    const Hardware& hw = make_hardware();
    using Row = Hardware::Row;
    const std::vector<Row> expected = {
        {"No (Window mode)", "0", "0", "None"}, {"Yes", "800", "600", "None"},  {"Yes", "1024", "768", "None"},
        {"Yes", "1280", "720", "None"},         {"Yes", "1280", "800", "None"}, {"Yes", "1920", "1080", "None"},
    };
    EXPECT_EQ(hw.get_rows(), expected);
    EXPECT_EQ(hardware->get_column_values("ResolutionX"), (std::vector<vadu::String>{"800", "1024", "1280", "1920"}));
    ASSERT_TRUE(hardware->select_row("Fullscreen", "No (Window mode)"));
    EXPECT_EQ(hardware->get_column_values("ResolutionX"), (std::vector<vadu::String>{"0"}));
    EXPECT_EQ(hardware->get_column_values("ResolutionY"), (std::vector<vadu::String>{"0"}));
    ASSERT_TRUE(hardware->select_row("Fullscreen", "Yes"));
    ASSERT_TRUE(hardware->select_row("ResolutionX", "1280"));
    EXPECT_EQ(hardware->get_column_values("ResolutionY"), (std::vector<vadu::String>{"720", "800"}));
}

TEST_F(HardwareFixture, AnAdapterWithoutUsableFormatsPublishesNoModes)
{
    adapter().texture_formats = {gfx::Format::r5g6b5}; // nothing for pictures with alpha
    const Hardware& hw = make_hardware();
    EXPECT_TRUE(hw.get_rows().empty());
    EXPECT_FALSE(hardware->set_mode(window));
    EXPECT_EQ(hardware->get_device(), nullptr);
}

TEST_F(HardwareFixture, FormatSelectionFollowsTheDriverClassAndTheAdapter)
{
    make_hardware();
    ModeParameters mode;
    mode.is_full_screen = false;
    ASSERT_TRUE(hardware->select_formats(mode));
    EXPECT_EQ(mode.display_format, gfx::Format::x8r8g8b8);
    EXPECT_EQ(mode.colour_format, gfx::Format::a8r8g8b8);
    EXPECT_EQ(mode.render_target_format, gfx::Format::x8r8g8b8); // no A2B10G10R10 target
    EXPECT_EQ(mode.z_buffer_format, gfx::Format::d24x8);
    const std::array<gfx::Format, 9> textures = {
        gfx::Format::a8r8g8b8, gfx::Format::a8r8g8b8, gfx::Format::r8g8b8,   gfx::Format::r8g8b8,  gfx::Format::r8g8b8,
        gfx::Format::r5g6b5,   gfx::Format::a1r5g5b5, gfx::Format::a4r4g4b4, gfx::Format::r5g6b5};
    EXPECT_EQ(mode.texture_formats, textures);
    EXPECT_EQ(mode.cube_texture_formats, textures);

    // The first target format that shares a depth format with the back buffer wins.
    adapter().depth_mismatches = {{gfx::Format::x8r8g8b8, gfx::Format::d24x8},
                                  {gfx::Format::x8r8g8b8, gfx::Format::d16},
                                  {gfx::Format::x8r8g8b8, gfx::Format::d16_lockable},
                                  {gfx::Format::x8r8g8b8, gfx::Format::d24s8}};
    adapter().cube_texture_formats = {gfx::Format::a4r4g4b4};
    ASSERT_TRUE(hardware->select_formats(mode));
    EXPECT_EQ(mode.render_target_format, gfx::Format::a8r8g8b8);
    EXPECT_EQ(mode.z_buffer_format, gfx::Format::d24x8);
    EXPECT_EQ(mode.cube_texture_formats[0], gfx::Format::a4r4g4b4);
    EXPECT_EQ(mode.cube_texture_formats[2], gfx::Format::a4r4g4b4);
    EXPECT_EQ(mode.cube_texture_formats[6], gfx::Format::a4r4g4b4);

    mode.is_full_screen = true;
    adapter().cube_texture_formats = {};
    ASSERT_TRUE(hardware->select_formats(mode));
    EXPECT_EQ(mode.display_format, gfx::Format::x8r8g8b8);
    EXPECT_EQ(mode.cube_texture_formats[0], gfx::Format::unknown);
}

TEST_F(HardwareFixture, OldCardsPreferSixteenBitFormats)
{
    adapter().caps = old_card_caps();
    make_hardware();
    ModeParameters mode;
    mode.is_full_screen = true;
    ASSERT_TRUE(hardware->select_formats(mode));
    EXPECT_EQ(mode.colour_format, gfx::Format::r5g6b5);
    EXPECT_EQ(mode.display_format, gfx::Format::r5g6b5);
    EXPECT_EQ(mode.texture_formats[0], gfx::Format::a4r4g4b4);
    EXPECT_EQ(mode.texture_formats[2], gfx::Format::r5g6b5);
    // A windowed back buffer must suit the 32-bit desktop.
    mode.is_full_screen = false;
    ASSERT_TRUE(hardware->select_formats(mode));
    EXPECT_EQ(mode.colour_format, gfx::Format::a8r8g8b8);
}

TEST_F(HardwareFixture, SetModeOpensAWindowedDeviceAndLogsTheFormats)
{
    make_hardware();
    ASSERT_TRUE(hardware->set_mode(window)); // the selected row is a full-screen one
    ASSERT_NE(hardware->get_device(), nullptr);
    EXPECT_TRUE(hardware->is_operational());
    const gfx::PresentParameters& parameters = device().present_parameters();
    EXPECT_TRUE(parameters.windowed);
    EXPECT_EQ(parameters.back_buffer_width, 320u);
    EXPECT_EQ(parameters.back_buffer_height, 240u);
    EXPECT_EQ(parameters.back_buffer_format, gfx::Format::a8r8g8b8);
    EXPECT_EQ(parameters.auto_depth_stencil_format, gfx::Format::d24x8);
    EXPECT_EQ(parameters.multisample_type, 0u);
    EXPECT_EQ(device().creation_flags(), gfx::create_flags::hardware_vertex_processing);
    EXPECT_EQ(hardware->get_width(), 320);
    EXPECT_EQ(hardware->get_height(), 240);
    EXPECT_FALSE(hardware->get_mode_parameters().is_full_screen);
    EXPECT_EQ(hardware->get_mode_parameters().resolution_x, 1024);

    const std::string text = log.text();
    EXPECT_NE(text.find("color_format: D3DFMT_A8R8G8B8\ndisplay_format: D3DFMT_X8R8G8B8\nformat_for_texture:\n"
                        "0: D3DFMT_A8R8G8B8\n1: D3DFMT_A8R8G8B8\n2: D3DFMT_R8G8B8\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("format_for_cubic_texture:\n0: D3DFMT_A8R8G8B8\n"), std::string::npos);
    EXPECT_NE(text.find("8: D3DFMT_R5G6B5\nis_fullscreen: false\nrender_target_format: D3DFMT_X8R8G8B8\n"
                        "resolution_x: 1024\nresolution_y: 768\nz_buffer_format: D3DFMT_D24X8\n"
                        "Hardware::set_mode_internal() dependent parameters are ok\n"
                        "Hardware::set_mode_internal() try_hardware_vp\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(log.count("Device (Video+AGP) Memory Available: "), 2u); // before and after the resources
    EXPECT_EQ(log.count("Hardware::restore_resources()\n"), 1u);
    EXPECT_EQ(log.count("Mode set\n"), 1u);
}

TEST_F(HardwareFixture, AnUnreadableResolutionOpensNothing)
{
    make_hardware();
    EXPECT_FALSE(hardware->set_mode_internal(window, {"Yes", "wide", "768", "None"}));
    EXPECT_FALSE(hardware->set_mode_internal(window, {"Yes", "1024"}));
    EXPECT_EQ(hardware->get_device(), nullptr);
    EXPECT_EQ(log.count("dependent parameters are ok"), 0u);
}

struct SampleCase {
    const char* name;
    const char* antialiasing;
    std::vector<std::pair<gfx::Format, uint32_t>> supported;
    uint32_t expected;
};

class MultisampleTest : public HardwareFixture, public ::testing::WithParamInterface<SampleCase> {};

TEST_P(MultisampleTest, OpensWithTheSamplesBothFormatsSupport)
{
    const SampleCase& c = GetParam();
    adapter().multisample = c.supported;
    make_hardware();
    ASSERT_TRUE(open(c.antialiasing));
    EXPECT_EQ(device().present_parameters().multisample_type, c.expected);
    EXPECT_EQ(hardware->get_mode_parameters().multisample_type, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MultisampleTest,
    ::testing::Values(
        SampleCase{"None", "None", {{gfx::Format::a8r8g8b8, 4}, {gfx::Format::d24x8, 4}}, 0},
        SampleCase{"Four", "4xSamples (High)", {{gfx::Format::a8r8g8b8, 4}, {gfx::Format::d24x8, 4}}, 4},
        SampleCase{"Two", "2xSamples (Medium)", {{gfx::Format::a8r8g8b8, 2}, {gfx::Format::d24x8, 2}}, 2},
        SampleCase{"DepthLacksFour", "4xSamples (High)", {{gfx::Format::a8r8g8b8, 4}}, 0},
        SampleCase{"UnknownWord", "8xSamples", {{gfx::Format::a8r8g8b8, 4}, {gfx::Format::d24x8, 4}}, 0}),
    [](const ::testing::TestParamInfo<SampleCase>& info) { return std::string(info.param.name); });

// The constructor's last formats are the full-screen ones (16-bit on an old card); the
// check must use the windowed formats this mode opens with, or the device is refused.
TEST_F(HardwareFixture, TheMultisampleCheckUsesTheFormatsOfTheModeBeingSet)
{
    adapter().caps = old_card_caps();
    adapter().multisample = {{gfx::Format::r5g6b5, 4}, {gfx::Format::d24x8, 4}};
    make_hardware();
    ASSERT_EQ(hardware->get_mode_parameters().colour_format, gfx::Format::r5g6b5);
    ASSERT_TRUE(open("4xSamples (High)"));
    EXPECT_EQ(device().present_parameters().back_buffer_format, gfx::Format::a8r8g8b8);
    EXPECT_EQ(device().present_parameters().multisample_type, 0u);
}

TEST_F(HardwareFixture, WithoutHardwareTransformTheDeviceUsesSoftwareProcessingAtOnce)
{
    adapter().caps.dev_caps &= ~gfx::caps_flags::dev::hw_transform_and_light;
    make_hardware();
    ASSERT_TRUE(open());
    EXPECT_EQ(device().creation_flags(), gfx::create_flags::software_vertex_processing);
    EXPECT_EQ(log.count("try_hardware_vp"), 0u);
    EXPECT_EQ(log.count("Hardware::set_mode_internal() try_software_vp\n"), 1u);
}

TEST_F(HardwareFixture, AfterASoftwareFallbackHardwareProcessingIsNeverTriedAgain)
{
    make_hardware();
    gfx::script_failure(gfx::Call::create_device, {0, 1});
    ASSERT_TRUE(open());
    EXPECT_EQ(device().creation_flags(), gfx::create_flags::software_vertex_processing);
    EXPECT_EQ(log.count("try_hardware_vp"), 1u);
    EXPECT_FALSE(hardware->get_capabilities().hardware_vertex_shaders);
    EXPECT_FALSE(hardware->has_hardware_vertex_shaders());

    hardware->stop_mode();
    ASSERT_TRUE(open());
    EXPECT_EQ(log.count("try_hardware_vp"), 1u);
    EXPECT_EQ(log.count("try_software_vp"), 2u);
}

TEST_F(HardwareFixture, AFailedCreationIsLoggedAndLeavesNoDevice)
{
    make_hardware();
    gfx::script_failure(gfx::Call::create_device, {0, 2});
    EXPECT_FALSE(open());
    EXPECT_EQ(hardware->get_device(), nullptr);
    EXPECT_FALSE(hardware->is_operational());
    EXPECT_EQ(log.count("Hardware::set_mode_internal() CreateDevice failed\n"), 1u);
    EXPECT_FALSE(hardware->start_frame());
}

TEST_F(HardwareFixture, WithoutATargetFormatTheDeviceOpensWithoutSynchronisationSurfaces)
{
    adapter().render_target_formats = {};
    make_hardware();
    ASSERT_TRUE(open());
    EXPECT_NE(log.text().find("render_target_format: D3DFMT_UNKNOWN\n"), std::string::npos);
    EXPECT_EQ(hardware->get_mode_parameters().z_buffer_format, gfx::Format::d24x8);
    EXPECT_TRUE(hardware->is_operational());
    ASSERT_TRUE(hardware->start_frame());
    EXPECT_TRUE(device().draw_calls().empty());
}

TEST_F(HardwareFixture, ASecondModeReplacesTheDevice)
{
    adapter().multisample = {{gfx::Format::a8r8g8b8, 4}, {gfx::Format::d24x8, 4}};
    make_hardware();
    ASSERT_TRUE(open());
    // A mark the first device carries; a freed device's address may well be reused, so
    // the replacement is told by its state, not by where it lives.
    ASSERT_EQ(device().set_render_state(gfx::RenderState::point_scale_enable, 1u), gfx::ok);
    ASSERT_TRUE(open("4xSamples (High)"));
    ASSERT_EQ(gfx::live_devices().size(), 1u);
    uint32_t mark = 1;
    ASSERT_EQ(device().get_render_state(gfx::RenderState::point_scale_enable, &mark), gfx::ok);
    EXPECT_EQ(mark, 0u);
    EXPECT_EQ(device().present_parameters().multisample_type, 4u);
    EXPECT_EQ(log.count("Hardware::stop_mode()\n"), 1u);
}

TEST_F(HardwareFixture, StopModeClosesTheDeviceAndGivesTheWindowItsStyleBack)
{
    platform::set_window_style(window, platform::ws::OVERLAPPEDWINDOW);
    make_hardware();
    ASSERT_TRUE(open());
    platform::set_window_style(window, platform::ws::POPUP); // the shell's full screen
    auto texture = hardware->create_texture(1, vadu::pictureformat::format_bgra, 8, 8);
    int32_t pitch = 0;
    ASSERT_NE(texture->lock(0, pitch), nullptr);
    texture->unlock(0);
    ASSERT_TRUE(texture->is_operational());
    auto buffer = hardware->create_vertex_buffer(false);
    ASSERT_TRUE(buffer->update({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 0, 1}));

    hardware->stop_mode();
    EXPECT_EQ(hardware->get_device(), nullptr);
    EXPECT_FALSE(hardware->is_operational());
    // Resources made on the device let go of it: the device is really gone.
    EXPECT_TRUE(gfx::live_devices().empty());
    EXPECT_FALSE(texture->is_operational());
    EXPECT_EQ(platform::get_window_style(window), platform::ws::OVERLAPPEDWINDOW);
    EXPECT_EQ(log.count("Hardware::stop_mode()\nHardware::lose_resources()\n"), 1u);
    // A hardware without a mode draws nothing and fails no call.
    EXPECT_FALSE(hardware->start_frame());
    hardware->finish_frame();
    EXPECT_TRUE(buffer->update({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 0, 1}));
}

TEST_F(HardwareFixture, FactoriesMakeResourcesInTheModesFormats)
{
    make_hardware();
    ASSERT_TRUE(open());
    namespace pf = vadu::pictureformat;
    using vadu::lib3d::hard::directx8::TextureCubic;

    auto texture = hardware->create_texture(1, pf::format_rgb, 16, 16);
    auto* stored = dynamic_cast<vadu::lib3d::hard::directx8::Texture*>(texture.get());
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->get_device_format(), gfx::Format::r8g8b8);
    EXPECT_EQ(stored->get_format(), pf::format_bgr);
    auto cube = hardware->create_texture_cubic(1, pf::format_bgra, 16, 16);
    EXPECT_NE(dynamic_cast<TextureCubic*>(cube.get()), nullptr);

    const vadu::Atom name("mirror");
    auto target = hardware->create_render_target(name, 64, 32);
    EXPECT_EQ(hardware->find_render_target(name), target.get());
    EXPECT_EQ(hardware->find_render_target(vadu::Atom("other")), nullptr);
    target.reset();
    EXPECT_EQ(hardware->find_render_target(name), nullptr);

    EXPECT_GLUCK(hardware->create_texture(1, static_cast<pf::Format>(9), 4, 4),
                 "vadu::lib3d::hard::directx8::Hardware::create_texture", "Unknown picture format");

    // An adapter without cube textures: an inert stand-in that stores nothing.
    adapter().cube_texture_formats = {};
    ASSERT_TRUE(open());
    auto inert = hardware->create_texture_cubic(1, pf::format_bgra, 16, 16);
    EXPECT_EQ(dynamic_cast<TextureCubic*>(inert.get()), nullptr);
    int32_t pitch = 0;
    EXPECT_TRUE(inert->is_operational());
    EXPECT_TRUE(inert->set(0));
    EXPECT_EQ(inert->lock(0, 0, pitch), nullptr);
    inert->unlock(0, 0);
    EXPECT_EQ(inert->get_width(), 16u);
}

TEST(RemapPictureFormat, MapsEveryTextureFormatAndRefusesTheRest)
{
    namespace pf = vadu::pictureformat;
    const std::pair<gfx::Format, pf::Format> cases[] = {
        {gfx::Format::a8r8g8b8, pf::format_bgra},    {gfx::Format::x8r8g8b8, pf::format_bgra},
        {gfx::Format::r8g8b8, pf::format_bgr},       {gfx::Format::r5g6b5, pf::format_r5g6b5},
        {gfx::Format::x1r5g5b5, pf::format_a1r5g5b5}, {gfx::Format::a1r5g5b5, pf::format_a1r5g5b5},
        {gfx::Format::a4r4g4b4, pf::format_a4r4g4b4},
    };
    for (const auto& [device_format, picture_format] : cases)
        EXPECT_EQ(Hardware::remap_pictureformat(device_format), picture_format);
    EXPECT_GLUCK(Hardware::remap_pictureformat(gfx::Format::d24x8),
                 "vadu::lib3d::hard::directx8::Hardware::remap_pictureformat",
                 "D3DFORMAT could not be represented by pictureformat::Format");
}

} // namespace
} // namespace directx8_test
