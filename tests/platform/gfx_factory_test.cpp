#include "gfx_test_support.h"

#include "platform/headless/script.h"
#include "platform/modules.h"

#include <functional>
#include <string>

namespace {

using namespace gfx_test;

TEST(GfxEntry, ReachedThroughTheModuleTable)
{
    reset_hooks();
    const uint32_t before = live_object_count();
    platform::ModuleHandle library = platform::load_library("D3D9.DLL");
    ASSERT_NE(library, nullptr);
    auto entry = reinterpret_cast<CreateFactoryProc>(platform::get_proc_address(library, "Direct3DCreate9"));
    ASSERT_NE(entry, nullptr);

    EXPECT_EQ(entry(31), nullptr) << "only the SDK version 32 is accepted";
    script_failure(Call::create_factory);
    EXPECT_EQ(entry(sdk_version), nullptr);
    Factory* factory = entry(sdk_version);
    ASSERT_NE(factory, nullptr) << "the scripted failure happens once";
    EXPECT_EQ(factory->get_adapter_count(), 1u);
    EXPECT_EQ(factory->release(), 0u);
    EXPECT_EQ(live_object_count(), before);
    EXPECT_TRUE(platform::free_library(library));
}

TEST_F(FactoryTest, DefaultAdapterDescribesTheSoftwareRasterizer)
{
    AdapterIdentifier identifier;
    ASSERT_EQ(factory->get_adapter_identifier(0, 0, &identifier), ok);
    EXPECT_EQ(identifier.description, "Software Rasterizer");

    Caps caps;
    ASSERT_EQ(factory->get_device_caps(0, DeviceType::hal, &caps), ok);
    EXPECT_EQ(caps.pixel_shader_version & 0xFFFF, 0x104u);
    EXPECT_EQ(caps.vertex_shader_version & 0xFFFF, 0x101u);
    EXPECT_EQ(caps.max_simultaneous_textures, 8u);
    EXPECT_EQ(static_cast<int>(caps.max_point_size), 64);
    EXPECT_EQ(caps.max_texture_width, 4096u);
    EXPECT_EQ(caps.max_texture_height, 4096u);
    EXPECT_EQ(caps.max_vertex_index, 0xFFFFu);
    EXPECT_EQ(caps.caps2 & caps_flags::caps2::can_auto_gen_mipmap, 0u) << "no automatic mip generation";

    namespace f = caps_flags;
    const struct {
        const char* member;
        uint32_t value;
        uint32_t flags;
    } flag_members[] = {
        {"dev", caps.dev_caps, f::dev::hw_rasterization | f::dev::hw_transform_and_light},
        {"primitive misc", caps.primitive_misc_caps,
         f::primitive_misc::mask_z | f::primitive_misc::cull_none | f::primitive_misc::cull_cw
             | f::primitive_misc::cull_ccw | f::primitive_misc::color_write_enable | f::primitive_misc::blend_op},
        {"raster", caps.raster_caps, f::raster::z_test},
        {"z compare", caps.z_cmp_caps, f::compare::always | f::compare::less | f::compare::less_equal},
        {"source blend", caps.src_blend_caps, f::blend::one | f::blend::src_alpha},
        {"destination blend", caps.dest_blend_caps, f::blend::one | f::blend::inv_src_alpha},
        {"alpha compare", caps.alpha_cmp_caps, f::compare::equal | f::compare::not_equal},
        {"texture", caps.texture_caps,
         f::texture::alpha | f::texture::cube_map | f::texture::cube_map_pow2 | f::texture::mip_cube_map
             | f::texture::mip_map | f::texture::mip_volume_map | f::texture::square_only | f::texture::pow2
             | f::texture::volume_map | f::texture::volume_map_pow2},
        {"texture address", caps.texture_address_caps,
         f::address::clamp | f::address::wrap | f::address::mirror | f::address::mirror_once},
        {"volume address", caps.volume_texture_address_caps,
         f::address::clamp | f::address::wrap | f::address::mirror | f::address::mirror_once},
        {"stencil", caps.stencil_caps,
         f::stencil::decr_sat | f::stencil::decr | f::stencil::incr_sat | f::stencil::incr | f::stencil::keep},
        {"vertex format", caps.fvf_caps, f::fvf::psize},
        {"texture op", caps.texture_op_caps,
         f::texture_op::modulate | f::texture_op::modulate_2x | f::texture_op::multiply_add
             | f::texture_op::blend_texture_alpha},
    };
    for (const auto& member : flag_members)
        EXPECT_EQ(member.value & member.flags, member.flags) << member.member;
}

TEST_F(FactoryTest, ConfiguredAdaptersAreReadAtEachCall)
{
    AdapterConfig second;
    second.description = "Second Adapter";
    second.caps.pixel_shader_version = 0xFFFF0000u;
    second.caps.max_texture_width = 1024;
    configuration().adapters.push_back(second);

    ASSERT_EQ(factory->get_adapter_count(), 2u);
    AdapterIdentifier identifier;
    ASSERT_EQ(factory->get_adapter_identifier(1, 0, &identifier), ok);
    EXPECT_EQ(identifier.description, "Second Adapter");
    Caps caps;
    ASSERT_EQ(factory->get_device_caps(1, DeviceType::hal, &caps), ok);
    EXPECT_EQ(caps.adapter_ordinal, 1u);
    EXPECT_EQ(caps.pixel_shader_version & 0xFFFF, 0u);
    EXPECT_EQ(caps.max_texture_width, 1024u);

    EXPECT_EQ(factory->get_adapter_identifier(2, 0, &identifier), error::invalid_call);
    EXPECT_EQ(factory->get_device_caps(2, DeviceType::hal, &caps), error::invalid_call);
    EXPECT_EQ(factory->get_device_caps(0, DeviceType::reference, &caps), error::not_available);
}

TEST_F(FactoryTest, DisplayModesFollowTheConfiguredList)
{
    const std::pair<uint32_t, uint32_t> defaults[] = {{800, 600}, {1024, 768}, {1280, 720}, {1920, 1080}};
    ASSERT_EQ(factory->get_adapter_mode_count(0, Format::unknown), 4u);
    EXPECT_EQ(factory->get_adapter_mode_count(0, Format::x8r8g8b8), 4u);
    EXPECT_EQ(factory->get_adapter_mode_count(0, Format::r5g6b5), 0u);
    for (uint32_t i = 0; i < 4; ++i) {
        DisplayMode mode;
        ASSERT_EQ(factory->enum_adapter_modes(0, Format::unknown, i, &mode), ok);
        EXPECT_EQ(std::pair(mode.width, mode.height), defaults[i]);
        EXPECT_EQ(mode.format, Format::x8r8g8b8);
    }
    DisplayMode mode;
    EXPECT_EQ(factory->enum_adapter_modes(0, Format::unknown, 4, &mode), error::invalid_call);

    // Duplicates and order come through unchanged: callers sort and unique them.
    configuration().adapters[0].follows_desktop = false;
    configuration().adapters[0].modes = {{640, 480, 60, Format::x8r8g8b8},
                                         {640, 480, 75, Format::x8r8g8b8},
                                         {320, 240, 60, Format::r5g6b5}};
    EXPECT_EQ(factory->get_adapter_mode_count(0, Format::unknown), 3u);
    EXPECT_EQ(factory->get_adapter_mode_count(0, Format::r5g6b5), 1u);
    ASSERT_EQ(factory->enum_adapter_modes(0, Format::r5g6b5, 0, &mode), ok);
    EXPECT_EQ(mode.width, 320u);

    configuration().adapters[0].display_mode = {1600, 900, 60, Format::x8r8g8b8};
    ASSERT_EQ(factory->get_adapter_display_mode(0, &mode), ok);
    EXPECT_EQ(std::pair(mode.width, mode.height), std::pair(1600u, 900u));
    EXPECT_EQ(mode.format, Format::x8r8g8b8);
}

// The adapter drives the desktop: the screen is in a mode of the desktop's size, and that
// mode is offered with the listed ones, as a display adapter offers the mode its screen
// is in.
TEST_F(FactoryTest, TheDesktopsOwnSizeIsTheDisplayModeAndAmongTheModes)
{
    struct Case {
        platform::Size desktop;
        uint32_t count; // the four listed ones, and the desktop's when it is not one of them
    };
    const Case cases[] = {{{1280, 800}, 5}, {{1920, 1080}, 4}, {{1366, 768}, 5}, {{800, 600}, 4}};
    for (const Case& c : cases) {
        platform::headless::set_desktop_size(c.desktop);
        const std::pair desktop(static_cast<uint32_t>(c.desktop.width), static_cast<uint32_t>(c.desktop.height));
        DisplayMode mode;
        ASSERT_EQ(factory->get_adapter_display_mode(0, &mode), ok);
        EXPECT_EQ(std::pair(mode.width, mode.height), desktop);
        EXPECT_EQ(mode.format, Format::x8r8g8b8);
        ASSERT_EQ(factory->get_adapter_mode_count(0, Format::unknown), c.count) << desktop.first;
        EXPECT_EQ(factory->get_adapter_mode_count(0, Format::x8r8g8b8), c.count) << desktop.first;
        bool offered = false;
        for (uint32_t i = 0; i < c.count; ++i) {
            ASSERT_EQ(factory->enum_adapter_modes(0, Format::unknown, i, &mode), ok);
            offered = offered || std::pair(mode.width, mode.height) == desktop;
        }
        EXPECT_TRUE(offered) << desktop.first << " x " << desktop.second;
        EXPECT_EQ(factory->enum_adapter_modes(0, Format::unknown, c.count, &mode), error::invalid_call);
    }
    platform::headless::reset();
}

TEST_F(FactoryTest, DeviceTypeChecks)
{
    const struct {
        Format display;
        Format back_buffer;
        bool windowed;
        Result expected;
    } cases[] = {
        {Format::x8r8g8b8, Format::a8r8g8b8, true, ok},
        {Format::x8r8g8b8, Format::x8r8g8b8, true, ok},
        // Windowed needs the desktop's format.
        {Format::r5g6b5, Format::r5g6b5, true, error::not_available},
        {Format::r5g6b5, Format::r5g6b5, false, ok},
        {Format::x1r5g5b5, Format::a1r5g5b5, false, ok},
        {Format::x8r8g8b8, Format::r5g6b5, false, error::not_available},
        {Format::x8r8g8b8, Format::r8g8b8, true, error::not_available},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(factory->check_device_type(0, DeviceType::hal, c.display, c.back_buffer, c.windowed), c.expected)
            << static_cast<int>(c.display) << "/" << static_cast<int>(c.back_buffer) << " windowed " << c.windowed;
    }
}

TEST_F(FactoryTest, DeviceFormatChecksFollowTheConfiguredLists)
{
    const Format display = Format::x8r8g8b8;
    const struct {
        uint32_t usage;
        ResourceType type;
        Format format;
        Result expected;
    } cases[] = {
        {0, ResourceType::texture, Format::a8r8g8b8, ok},
        {0, ResourceType::texture, Format::a4r4g4b4, ok},
        {0, ResourceType::texture, Format::r8g8b8, ok},
        {0, ResourceType::texture, Format::r5g6b5, ok},
        {0, ResourceType::texture, Format::a2b10g10r10, error::not_available},
        {0, ResourceType::texture, Format::d24x8, error::not_available},
        {0, ResourceType::cube_texture, Format::a1r5g5b5, ok},
        {usage::render_target, ResourceType::texture, Format::x8r8g8b8, ok},
        {usage::render_target, ResourceType::texture, Format::a2b10g10r10, error::not_available},
        {usage::render_target, ResourceType::texture, Format::r8g8b8, error::not_available},
        {usage::render_target, ResourceType::texture, Format::a4r4g4b4, error::not_available},
        {usage::render_target, ResourceType::cube_texture, Format::a8r8g8b8, ok},
        {usage::depth_stencil, ResourceType::surface, Format::d24x8, ok},
        {usage::depth_stencil, ResourceType::surface, Format::d15s1, error::not_available},
        {0, ResourceType::index_buffer, Format::index16, ok},
        {0, ResourceType::index_buffer, Format::index32, error::not_available},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(factory->check_device_format(0, DeviceType::hal, display, c.usage, c.type, c.format), c.expected)
            << "usage " << c.usage << " type " << static_cast<int>(c.type) << " format " << static_cast<int>(c.format);
    }
    EXPECT_EQ(factory->check_device_format(0, DeviceType::hal, Format::a8r8g8b8, 0, ResourceType::texture,
                                           Format::a8r8g8b8),
              error::invalid_call)
        << "the adapter format must be a display format";

    // Taking a format out of a list is how tests steer the renderer's fallbacks.
    std::erase(configuration().adapters[0].texture_formats, Format::r8g8b8);
    configuration().adapters[0].cube_texture_formats.clear();
    configuration().adapters[0].render_target_formats.push_back(Format::a2b10g10r10);
    EXPECT_EQ(factory->check_device_format(0, DeviceType::hal, display, 0, ResourceType::texture, Format::r8g8b8),
              error::not_available);
    EXPECT_EQ(factory->check_device_format(0, DeviceType::hal, display, 0, ResourceType::cube_texture,
                                           Format::a8r8g8b8),
              error::not_available);
    EXPECT_EQ(factory->check_device_format(0, DeviceType::hal, display, usage::render_target, ResourceType::texture,
                                           Format::a2b10g10r10),
              ok);
}

TEST_F(FactoryTest, DepthStencilMatchAndMultisampleChecks)
{
    const Format display = Format::x8r8g8b8;
    AdapterConfig& adapter = configuration().adapters[0];
    EXPECT_EQ(factory->check_depth_stencil_match(0, DeviceType::hal, display, Format::x8r8g8b8, Format::d24x8), ok);
    EXPECT_EQ(factory->check_depth_stencil_match(0, DeviceType::hal, display, Format::a8r8g8b8, Format::d16), ok);
    EXPECT_EQ(factory->check_depth_stencil_match(0, DeviceType::hal, display, Format::x8r8g8b8, Format::d15s1),
              error::not_available)
        << "an unsupported depth format";
    EXPECT_EQ(factory->check_depth_stencil_match(0, DeviceType::hal, display, Format::a2b10g10r10, Format::d24x8),
              error::not_available)
        << "an unsupported target format";
    adapter.depth_mismatches.emplace_back(Format::r5g6b5, Format::d24x8);
    EXPECT_EQ(factory->check_depth_stencil_match(0, DeviceType::hal, display, Format::r5g6b5, Format::d24x8),
              error::not_available);
    EXPECT_EQ(factory->check_depth_stencil_match(0, DeviceType::hal, display, Format::r5g6b5, Format::d16), ok);

    // The default adapter offers 2 samples for targets and depth (4 cost too much time
    // to offer); an adapter offers what its list says.
    for (const Format format : {Format::x8r8g8b8, Format::r5g6b5, Format::d24x8, Format::d16}) {
        EXPECT_EQ(factory->check_device_multisample_type(0, DeviceType::hal, format, true, 2, nullptr), ok);
        for (const uint32_t samples : {4u, 8u})
            EXPECT_EQ(factory->check_device_multisample_type(0, DeviceType::hal, format, true, samples, nullptr),
                      error::not_available);
    }
    adapter.multisample = {{Format::x8r8g8b8, 2}, {Format::x8r8g8b8, 4}, {Format::d24x8, 2}, {Format::d24x8, 4}};
    EXPECT_EQ(factory->check_device_multisample_type(0, DeviceType::hal, Format::r5g6b5, true, 2, nullptr),
              error::not_available);
    uint32_t quality = 0;
    EXPECT_EQ(factory->check_device_multisample_type(0, DeviceType::hal, Format::x8r8g8b8, true, 4, &quality), ok);
    EXPECT_EQ(quality, 1u);
    EXPECT_EQ(factory->check_device_multisample_type(0, DeviceType::hal, Format::d24x8, true, 2, nullptr), ok);
    EXPECT_EQ(factory->check_device_multisample_type(0, DeviceType::hal, Format::x8r8g8b8, true, 8, nullptr),
              error::not_available);
    EXPECT_EQ(factory->check_device_multisample_type(0, DeviceType::hal, Format::a4r4g4b4, true, 0, nullptr), ok)
        << "no multisampling is always possible";
    // 4 samples for the colour but not for the depth format.
    std::erase(adapter.multisample, std::pair{Format::d24x8, 4u});
    EXPECT_EQ(factory->check_device_multisample_type(0, DeviceType::hal, Format::x8r8g8b8, true, 4, nullptr), ok);
    EXPECT_EQ(factory->check_device_multisample_type(0, DeviceType::hal, Format::d24x8, true, 4, nullptr),
              error::not_available);
}

TEST_F(FactoryTest, EveryQueryCanBeScriptedToFail)
{
    const Format display = Format::x8r8g8b8;
    configuration().adapters[0].multisample = {{Format::x8r8g8b8, 2}};
    const struct {
        Call call;
        std::function<Result()> run;
    } queries[] = {
        {Call::get_device_caps, [&] { Caps caps; return factory->get_device_caps(0, DeviceType::hal, &caps); }},
        {Call::get_adapter_identifier, [&] { AdapterIdentifier id; return factory->get_adapter_identifier(0, 0, &id); }},
        {Call::get_adapter_display_mode, [&] { DisplayMode mode; return factory->get_adapter_display_mode(0, &mode); }},
        {Call::enum_adapter_modes,
         [&] { DisplayMode mode; return factory->enum_adapter_modes(0, Format::unknown, 0, &mode); }},
        {Call::check_device_type,
         [&] { return factory->check_device_type(0, DeviceType::hal, display, Format::x8r8g8b8, true); }},
        {Call::check_device_format,
         [&] {
             return factory->check_device_format(0, DeviceType::hal, display, 0, ResourceType::texture,
                                                 Format::a8r8g8b8);
         }},
        {Call::check_depth_stencil_match,
         [&] {
             return factory->check_depth_stencil_match(0, DeviceType::hal, display, Format::x8r8g8b8, Format::d24x8);
         }},
        {Call::check_device_multisample_type,
         [&] { return factory->check_device_multisample_type(0, DeviceType::hal, Format::x8r8g8b8, true, 2, nullptr); }},
    };
    for (const auto& query : queries) {
        SCOPED_TRACE(static_cast<int>(query.call));
        script_failure(query.call, {.after = 1, .times = 2, .result = error::not_available});
        EXPECT_EQ(query.run(), ok);
        EXPECT_EQ(query.run(), error::not_available);
        EXPECT_EQ(query.run(), error::not_available);
        EXPECT_EQ(query.run(), ok);
    }

    script_failure(Call::check_device_format, {.times = -1});
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(factory->check_device_format(0, DeviceType::hal, display, 0, ResourceType::texture, Format::a8r8g8b8),
                  error::invalid_call);
    }
    clear_failures();
    EXPECT_EQ(factory->check_device_format(0, DeviceType::hal, display, 0, ResourceType::texture, Format::a8r8g8b8),
              ok);
}

TEST_F(FactoryTest, CreateDeviceChecksVertexProcessingAndWindowing)
{
    const uint32_t hardware = create_flags::hardware_vertex_processing;
    const uint32_t software = create_flags::software_vertex_processing;
    const struct {
        const char* name;
        uint32_t flags;
        bool windowed;
        bool transform_and_light;
        Result expected;
    } cases[] = {
        {"hardware", hardware, true, true, ok},
        {"mixed", create_flags::mixed_vertex_processing, true, true, ok},
        {"software", software, true, true, ok},
        {"no processing flag", 0, true, true, error::invalid_call},
        {"two processing flags", hardware | software, true, true, error::invalid_call},
        {"hardware without T&L", hardware, true, false, error::not_available},
        {"software without T&L", software, true, false, ok},
        {"full screen", software, false, true, error::not_available},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Caps& caps = configuration().adapters[0].caps;
        caps.dev_caps = c.transform_and_light ? default_caps().dev_caps : caps_flags::dev::hw_rasterization;
        PresentParameters parameters = windowed_parameters();
        parameters.windowed = c.windowed;
        Device* device = reinterpret_cast<Device*>(1);
        EXPECT_EQ(factory->create_device(0, DeviceType::hal, window, c.flags, &parameters, &device), c.expected);
        if (c.expected == ok) {
            ASSERT_NE(device, nullptr);
            EXPECT_EQ(device->creation_flags(), c.flags);
            EXPECT_EQ(device->release(), 0u);
        } else {
            EXPECT_EQ(device, nullptr);
        }
    }
}

TEST_F(FactoryTest, CreateDeviceCompletesThePresentParameters)
{
    PresentParameters parameters = windowed_parameters(Format::unknown);
    parameters.back_buffer_count = 0;
    Device* device = nullptr;
    ASSERT_EQ(factory->create_device(0, DeviceType::hal, window, create_flags::software_vertex_processing, &parameters,
                                     &device),
              ok);
    EXPECT_EQ(parameters.back_buffer_width, 640u) << "the window's client size";
    EXPECT_EQ(parameters.back_buffer_height, 480u);
    EXPECT_EQ(parameters.back_buffer_count, 1u);
    EXPECT_EQ(parameters.back_buffer_format, Format::x8r8g8b8) << "the desktop's format";
    ASSERT_NE(device->back_buffer(), nullptr);
    EXPECT_EQ(device->back_buffer()->width(), 640u);
    EXPECT_EQ(device->window(), window);
    EXPECT_EQ(live_devices(), std::vector<Device*>{device});
    EXPECT_EQ(device->release(), 0u);
    EXPECT_TRUE(live_devices().empty());
}

TEST_F(FactoryTest, CreateDeviceRefusesParametersTheAdapterCannotMeet)
{
    const struct {
        const char* name;
        std::function<void(PresentParameters&)> change;
    } cases[] = {
        {"unsupported back buffer", [](PresentParameters& p) { p.back_buffer_format = Format::r8g8b8; }},
        {"unsupported depth", [](PresentParameters& p) { p.auto_depth_stencil_format = Format::d15s1; }},
        {"multisample with a lockable back buffer",
         [](PresentParameters& p) {
             p.multisample_type = 2;
             p.flags = present_flags::lockable_back_buffer;
         }},
        {"unsupported multisample", [](PresentParameters& p) { p.multisample_type = 8; }},
        {"no window", [](PresentParameters& p) { p.device_window = nullptr; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PresentParameters parameters = windowed_parameters();
        c.change(parameters);
        Device* device = nullptr;
        const platform::WindowHandle focus = parameters.device_window;
        EXPECT_NE(factory->create_device(0, DeviceType::hal, focus, create_flags::software_vertex_processing,
                                         &parameters, &device),
                  ok);
        EXPECT_EQ(device, nullptr);
    }

    script_failure(Call::create_device);
    PresentParameters parameters = windowed_parameters();
    Device* device = nullptr;
    EXPECT_EQ(factory->create_device(0, DeviceType::hal, window, create_flags::hardware_vertex_processing, &parameters,
                                     &device),
              error::invalid_call);
    ASSERT_EQ(factory->create_device(0, DeviceType::hal, window, create_flags::software_vertex_processing, &parameters,
                                     &device),
              ok)
        << "the fallback after one scripted failure";
    device->release();
}

TEST_F(FactoryTest, ADeviceKeepsItsFactoryAlive)
{
    PresentParameters parameters = windowed_parameters();
    Device* device = nullptr;
    ASSERT_EQ(factory->create_device(0, DeviceType::hal, window, create_flags::software_vertex_processing, &parameters,
                                     &device),
              ok);
    EXPECT_EQ(factory->release(), 0u);
    factory = nullptr;
    EXPECT_EQ(device->test_cooperative_level(), ok);
    EXPECT_EQ(device->release(), 0u);
}

} // namespace
