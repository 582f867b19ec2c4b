// Text nodes of every font kind drawn through the device's rasterizer under a parallel
// camera, compared byte for byte with golden/text_fixture.png (regenerate with
// QUILLO_UPDATE_GOLDEN=1 after an intended change, and look at the picture first).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/gfx/present.h"
#include "support/golden.h"
#include "support/temp_folder.h"
#include "text/TextLibrary.h"
#include "vadu/animate/soul.h"
#include "vadu/filesystem.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/hard/directx8/hardware_fixture.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/xml_reader.h"
#include "vadu/lib3d/node/registry.h"

namespace text_golden_test {
namespace {

namespace fs = std::filesystem;
namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;
namespace node = vadu::lib3d::node;

class TextGoldenTest : public directx8_test::HardwareFixture {
protected:
    void SetUp() override
    {
        HardwareFixture::SetUp();
        make_open_hardware();
        manager_ = std::make_unique<hard::Manager::Creator>();
        hard::Manager::add_hardware(hardware.get());
        files_ = std::make_unique<vadu::filesystem::Creator>([root = temp_.root().string()] {
            return std::make_unique<vadu::filesystem::PathFileSystem>(
                vadu::filesystem::String((root + "/").c_str(), false),
                std::make_unique<vadu::filesystem::NativeFileSystem>());
        });
        fs::create_directories(temp_.root() / "data/fonts");
        fs::copy_file(FONT_TEST_FACE, temp_.root() / "data/fonts/sans.ttf");
        node::register_node_type("Node", &node::create_node_of_type<node::Node>);
        node::register_node_type("Text", &node::create_node_of_type<node::Text>);
        node::register_node_type("CameraParallel", &node::create_node_of_type<node::CameraParallel>);
    }

    void TearDown() override
    {
        scene_.reset();
        node::unregister_node_type("CameraParallel");
        node::unregister_node_type("Text");
        node::unregister_node_type("Node");
        files_.reset();
        hard::Manager::notify_remove_hardware(hardware.get());
        manager_.reset();
        HardwareFixture::TearDown();
    }

    void write(const std::string& relative, const std::string& text) const
    {
        std::ofstream(temp_.root() / relative, std::ios::binary) << text;
    }

    gfx::PresentedFrame draw(const std::string& body)
    {
        write("data/scene.xml", "<Scene>" + body + "</Scene>");
        scene_ = std::make_unique<node::LoadingRoot>(vadu::Atom("Root"));
        {
            const vadu::filesystem::String path("data/scene.xml", true);
            std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
            vadu::xml::StreamResource resource(stream.get(), path);
            vadu::xml::Root bound(*scene_, "Scene");
            EXPECT_TRUE(stream && resource.load(bound));
        }
        auto* camera = dynamic_cast<node::Camera*>(scene_->find_child(vadu::Atom("Camera"), true));
        EXPECT_NE(camera, nullptr);
        gfx::PresentedFrame frame;
        if (!camera)
            return frame;
        EXPECT_TRUE(hardware->start_frame());
        hard::RenderList list;
        list.flag = 1;
        camera->prepare_render(*hardware, list);
        hardware->render(list, *hardware);
        gfx::read_back_buffer(*device().back_buffer(), frame);
        hardware->finish_frame();
        return frame;
    }

    test_support::TempFolder temp_{"QuilloTextGolden"};
    vadu::animate::Soul::Creator souls_;
    TrueText::TextLibrary::Creator library_;

private:
    std::unique_ptr<hard::Manager::Creator> manager_;
    std::unique_ptr<vadu::filesystem::Creator> files_;
    std::unique_ptr<node::LoadingRoot> scene_;
};

TEST_F(TextGoldenTest, GoldenTextFixture)
{
    write("data/fonts/small.font", "<TrueTypeFont Face=\"data/fonts/sans.ttf\" Size=\"11\" Color=\"1 1 1\"/>");
    write("data/fonts/outlined.font", "<TrueTypeFont Face=\"data/fonts/sans.ttf\" Size=\"16\" Color=\"1 0.8 0.2\" "
                                      "Outline=\"true\" OutlineWidth=\"1.5\" OutlineColor=\"0.6 0 0\"/>");
    write("data/fonts/shadowed.font", "<TrueTypeFont Face=\"data/fonts/sans.ttf\" Size=\"16\" Color=\"0.6 0.9 1\" "
                                      "Shadow=\"true\" ShadowOffset=\"2 2\" ShadowColor=\"0 0 0\"/>");
    write("data/fonts/score.font", "<TrueTypeFont Face=\"data/fonts/sans.ttf\" Size=\"18\" Color=\"1 1 1\" "
                                   "Outline=\"true\" OutlineWidth=\"2\" OutlineColor=\"0 0.3 0.8\"/>");
    write("data/fonts/score.symdict", "<SymbolAtlas><Font Name=\"data/fonts/score.font\"/>"
                                      "<Dictionary Value=\"0123456789,\"/></SymbolAtlas>");
    // Letters of a 16 x 16 picture, drawn without one: the quads alone show the layout.
    write("data/fonts/blocks.font", "<Font Height=\"16\" Width=\"16\" Size=\"4\">"
                                    "<Letter Symbol=\"A\" X=\"0\" Y=\"0\" Width=\"4\" Height=\"4\" BaseWidth=\"5\"/>"
                                    "<Letter Symbol=\"B\" X=\"4\" Y=\"0\" Width=\"4\" Height=\"4\" BaseWidth=\"5\"/>"
                                    "<Letter Code=\"10\" X=\"8\" Y=\"0\" Width=\"2\" Height=\"4\" BaseWidth=\"3\"/>"
                                    "</Font>");

    std::string body = "<CameraParallel Name=\"Camera\" Width=\"320\" Height=\"240\" NearPlane=\"-100\" "
                       "FarPlane=\"100\"/>";
    // Three alignments across, four vertical alignments down, each at a grid point.
    const char* alignments[] = {"LEFT", "CENTER", "RIGHT"};
    const char* valignments[] = {"TOP", "MIDDLE", "BOTTOM_BASELINE", "BOTTOM_BLOCK"};
    for (int a = 0; a < 3; ++a) {
        for (int v = 0; v < 4; ++v) {
            body += "<Text Font=\"data/fonts/small.font\" Text=\"Ag\" Alignment=\"" + std::string(alignments[a]) +
                    "\" VAlignment=\"" + valignments[v] + "\" Position=\"" + std::to_string(-100 + 100 * a) + " " +
                    std::to_string(100 - 30 * v) + " 0\"/>";
        }
    }
    body += "<Text Font=\"data/fonts/outlined.font\" Text=\"Outline\" Position=\"-150 -30 0\"/>";
    body += "<Text Font=\"data/fonts/shadowed.font\" Text=\"Shadow\" Position=\"-150 -60 0\"/>";
    body += "<Text Font=\"data/fonts/score.symdict\" Text=\"12,345\" Alignment=\"RIGHT\" Position=\"150 -40 0\"/>";
    body += "<Text Font=\"data/fonts/blocks.font\" Text=\"AB\\nA\" Position=\"-150 -100 0\" Scale=\"4 4 1\"/>";
    body += "<Text Font=\"data/fonts/blocks.font\" Text=\"AB\\nA\" Normalize=\"false\" Position=\"0 -100 0\" "
            "Scale=\"2 2 1\"/>";
    golden::expect_frame(draw(body), fs::path(__FILE__).parent_path() / "golden", "text_fixture");
}

} // namespace
} // namespace text_golden_test
