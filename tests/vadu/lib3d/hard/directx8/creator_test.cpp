#include "vadu/lib3d/hard/directx8/creator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "hardware_fixture.h"

namespace directx8_test {
namespace {

using vadu::lib3d::hard::directx8::CapabilityRows;
using vadu::lib3d::hard::directx8::Creator;
using RenderDevices = vadu::HardwareManager<vadu::lib3d::hard::Hardware>;

std::string text_of(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// The log is captured right after the creator's own log stream is made, so that the
// creator's construction is in it.
class CapturedLog : public virtual vadu::logs::Creator {
public:
    LogCapture log;
};

class TestCreator : public virtual CapturedLog, public Creator {};

// Turns down the first hardware that joins the manager.
class RefusingDependent : public RenderDevices::Dependent {
public:
    void on_add_hardware(vadu::lib3d::hard::Hardware*) override
    {
        if (refusals++ == 0)
            throw vadu::Gluck("test::RefusingDependent::on_add_hardware", "refused");
    }
    void on_remove_hardware(vadu::lib3d::hard::Hardware*) override {}
    int refusals = 0;
};

class WithRefusingDependent : public virtual RenderDevices::Creator {
public:
    WithRefusingDependent() { RenderDevices::add_dependent(&dependent); }
    ~WithRefusingDependent() override { RenderDevices::remove_dependent(&dependent); }
    RefusingDependent dependent;
};

class RefusedCreator : public virtual CapturedLog, public virtual WithRefusingDependent, public Creator {};

class CreatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gfx::reset_hooks();
        platform::clear_module_failures();
        objects_before_ = gfx::live_object_count();
    }
    void TearDown() override
    {
        platform::clear_module_failures();
        gfx::reset_hooks();
        EXPECT_EQ(gfx::live_object_count(), objects_before_) << "device objects leaked";
        EXPECT_EQ(platform::module_load_count("D3D9.DLL"), 0);
    }

private:
    uint32_t objects_before_ = 0;
};

TEST_F(CreatorTest, RegistersOneHardwarePerAdapterAndLogsItsCapabilities)
{
    gfx::configuration().adapters.resize(2);
    gfx::configuration().adapters[1].description = "Second Rasterizer";
    {
        TestCreator creator;
        const auto& hardwares = RenderDevices::get_hardwares();
        ASSERT_EQ(hardwares.size(), 2u);
        EXPECT_EQ(Creator::get_hardwares().size(), 2u);
        EXPECT_EQ(text_of(hardwares[0]->get_name()), "1: DirectX8 on Software Rasterizer");
        EXPECT_EQ(text_of(hardwares[1]->get_name()), "2: DirectX8 on Second Rasterizer");
        EXPECT_EQ(text_of(hardwares[1]->get_description()), "Second Rasterizer");
        EXPECT_EQ(platform::module_load_count("D3D9.DLL"), 1);

        const std::string log = creator.log.text();
        EXPECT_EQ(creator.log.count("Examining device capabilities\n"
                                    "--------------------------------------------------------------\n"),
                  2u);
        // Rows in name order: the ":) " rows come first, then the plain ones.
        const size_t blend_op = log.find(":) device_caps.PrimitiveMiscCaps.D3DPMISCCAPS_BLENDOP = 1\n");
        const size_t anisotropy = log.find("device_caps.MaxAnisotropy = 16\n");
        const size_t shader = log.find("device_caps.VertexShaderVersion = 257\n");
        ASSERT_NE(blend_op, std::string::npos);
        ASSERT_NE(anisotropy, std::string::npos);
        ASSERT_NE(shader, std::string::npos);
        EXPECT_LT(blend_op, anisotropy);
        EXPECT_LT(anisotropy, shader);
        EXPECT_NE(log.find("device_caps.PixelShaderVersion = 260\n"), std::string::npos);
        EXPECT_NE(log.find("\nSummary for device: 2: DirectX8 on Second Rasterizer\n"), std::string::npos);
        EXPECT_NE(log.find("Using Radeon8500-compatible driver\n"), std::string::npos);

        const std::string information = text_of(creator.get_system_information());
        const std::string tail = "Software Rasterizer$T$Second Rasterizer$T$";
        ASSERT_GE(information.size(), tail.size());
        EXPECT_EQ(information.substr(information.size() - tail.size()), tail);
        // Seven machine fields come before the adapters.
        EXPECT_EQ(std::count(information.begin(), information.end(), '$'), 7 + 4);
    }
    EXPECT_TRUE(RenderDevices::get_hardwares().empty());
    EXPECT_TRUE(Creator::get_hardwares().empty());
}

TEST_F(CreatorTest, TheSoftwareAdapterPublishesWindowedAndFullScreenModes)
{
    TestCreator creator;
    ASSERT_EQ(Creator::get_hardwares().size(), 1u);
    const Hardware& hardware = *Creator::get_hardwares().front();
    EXPECT_EQ(hardware.get_capabilities().driver_class, 1u);
    EXPECT_FALSE(hardware.get_capabilities().prefer_small_formats);
    EXPECT_EQ(hardware.get_mode_parameters().texture_formats[0], gfx::Format::a8r8g8b8);
    EXPECT_EQ(hardware.get_attribute_value("Fullscreen"), "Yes");
    EXPECT_EQ(hardware.get_attribute_value("ResolutionX"), "1024");
    EXPECT_EQ(hardware.get_attribute_value("ResolutionY"), "768");
    EXPECT_EQ(hardware.get_attribute_value("Antialiasing"), "None");
    // Two rows per size (none and 2 samples): the window's own size, then four display
    // modes.
    EXPECT_EQ(hardware.get_rows().size(), 10u);
}

struct FailureCase {
    const char* name;
    platform::ModuleFailure module;
    bool null_interface;
    std::vector<const char*> lines;
};

class CreatorFailureTest : public CreatorTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CreatorFailureTest, LogsTheReasonAndLeavesNoHardware)
{
    const FailureCase& failure = GetParam();
    platform::set_module_failure("D3D9.DLL", failure.module);
    if (failure.null_interface)
        gfx::script_failure(gfx::Call::create_factory, {0, -1});
    TestCreator creator;
    EXPECT_TRUE(Creator::get_hardwares().empty());
    EXPECT_TRUE(RenderDevices::get_hardwares().empty());
    for (const char* line : failure.lines)
        EXPECT_EQ(creator.log.count(line), 1u) << line;
    EXPECT_EQ(creator.log.count("Examining device capabilities"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CreatorFailureTest,
    ::testing::Values(
        FailureCase{"NoLibrary",
                    platform::ModuleFailure::library_missing,
                    false,
                    {"In lib3d::hard::directx8::create(): No D3D9.dll\n",
                     "In lib3d::hard::directx8::create(): DirectX is lower than 9\n"}},
        FailureCase{"NoEntryPoint",
                    platform::ModuleFailure::entry_point_missing,
                    false,
                    {"In lib3d::hard::directx8::create(): DirectX is lower than 9\n"}},
        FailureCase{"NullInterface",
                    platform::ModuleFailure::none,
                    true,
                    {"In In lib3d::hard::directx8::create(): Failed to create Direct8 instance\n"}}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(CreatorTest, SkipsAnAdapterWhoseCapabilitiesCannotBeRead)
{
    gfx::configuration().adapters.resize(2);
    gfx::script_failure(gfx::Call::get_device_caps, {0, 1});
    TestCreator creator;
    ASSERT_EQ(Creator::get_hardwares().size(), 1u);
    EXPECT_EQ(text_of(Creator::get_hardwares()[0]->get_name()), "2: DirectX8 on Software Rasterizer");
    EXPECT_EQ(creator.log.count("Examining device capabilities"), 1u);
}

TEST_F(CreatorTest, AGluckWhileAHardwareJoinsIsLoggedAndTheNextAdapterFollows)
{
    gfx::configuration().adapters.resize(2);
    gfx::configuration().adapters[1].description = "Second Rasterizer";
    RefusedCreator creator;
    EXPECT_EQ(creator.log.count("Gluck while creating hardware: refused at: [test::RefusingDependent::on_add_hardware]\n"),
              1u);
    EXPECT_EQ(Creator::get_hardwares().size(), 2u);
    const std::string information = text_of(creator.get_system_information());
    EXPECT_EQ(information.find("Software Rasterizer$T$"), std::string::npos);
    EXPECT_NE(information.find("Second Rasterizer$T$"), std::string::npos);
}

TEST(CapabilityRows, HoldEveryValueAndFlagUnderItsName)
{
    gfx::Caps caps = gfx::default_caps();
    caps.max_point_size = 63.9f;
    caps.stencil_caps = gfx::caps_flags::stencil::keep;
    const CapabilityRows rows = read_capability_rows(caps);
    EXPECT_EQ(rows.size(), 14u + 46u);
    EXPECT_EQ(rows.at("device_caps.MaxPointSize"), 63);
    EXPECT_EQ(rows.at("device_caps.PixelShaderVersion"), 0x104);
    EXPECT_EQ(rows.at("device_caps.MaxTextureWidth"), 4096);
    EXPECT_EQ(rows.at("device_caps.StencilCaps.D3DSTENCILCAPS_KEEP"), 1);
    EXPECT_EQ(rows.at("device_caps.StencilCaps.D3DSTENCILCAPS_INCR"), 0);
    EXPECT_EQ(rows.at(":) device_caps.FVFCaps.D3DFVFCAPS_PSIZE"), 1);
    EXPECT_EQ(rows.count("device_caps.Caps2.D3DCAPS2_CANAUTOGENMIPMAP"), 0u);
}

} // namespace
} // namespace directx8_test
