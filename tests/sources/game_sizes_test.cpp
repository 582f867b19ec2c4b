// Layout sizes from the default camera and the optional sizes file, and the wide-screen
// margins.

#include <gtest/gtest.h>

#include "shell_data_support.h"
#include "vadu/exception.h"

namespace {

using namespace shell_data_test;

using GameSizesTest = ShellDataTest;

std::string Camera(int width, int height)
{
    return "<Camera><CameraParallel Width=\"" + std::to_string(width) + "\" Height=\"" + std::to_string(height) +
           "\" NearPlane=\"-100\" FarPlane=\"100\"/></Camera>";
}

TEST_F(GameSizesTest, TheCameraThenTheSizesFileGiveTheNumbers)
{
    struct Case {
        const char* what;
        std::string camera;
        const char* sizes; // null: no file
        float scale, extraHeight, screenW, screenH, fieldW, fieldH, offsetX, background;
    } const cases[] = {
        {"a 960 x 640 camera alone", Camera(960, 640), nullptr, 1.0f, 0.0f, 960, 640, 960, 640, 0, 1.0f},
        {"a 1136 x 640 camera alone", Camera(1136, 640), nullptr, 1.1833333f, -117.333336f, 1136, 640, 1136, 640, 0,
         1.0f},
        {"the sizes file overrides the camera", Camera(960, 640),
         R"(<Sizes><GameScreen Width="1136" Height="640"/><GameField Width="1136" Height="640" OffsetX="88"/>
            <Background Coefficient="0.5"/></Sizes>)",
         1.1833333f, -117.333336f, 1136, 640, 1136, 640, 88, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteGameFile("data/default.camera", c.camera);
        fs::remove(game_ / "data/sizes.xml");
        if (c.sizes)
            WriteGameFile("data/sizes.xml", c.sizes);
        GameSizes::ResetForTests();
        const GameSizes& sizes = *GameSizes::Instance();
        EXPECT_FLOAT_EQ(sizes.scale, c.scale);
        EXPECT_FLOAT_EQ(sizes.extraHeight, c.extraHeight);
        EXPECT_EQ(sizes.screenWidth, c.screenW);
        EXPECT_EQ(sizes.screenHeight, c.screenH);
        EXPECT_EQ(sizes.fieldWidth, c.fieldW);
        EXPECT_EQ(sizes.fieldHeight, c.fieldH);
        EXPECT_EQ(sizes.fieldOffsetX, c.offsetX);
        EXPECT_EQ(sizes.backgroundCoefficient, c.background);
        EXPECT_FALSE(sizes.hasWideScreen);
        EXPECT_EQ(sizes.GetWideMargin(), 0.0f);
    }
}

TEST_F(GameSizesTest, TheOffsetAndTheWideMarginsFollowTheWindowWidth)
{
    WriteGameFile("data/default.camera", Camera(960, 640));
    WriteGameFile("data/sizes.xml", R"(<Sizes><GameScreen Width="1136" Height="640"/>
        <GameField Width="960" Height="640" OffsetX="88"/><Background Coefficient="1"/>
        <WideScreen Width="1136" FieldWidth="960" Margin="40.5"/></Sizes>)");
    struct Case {
        float windowWidth;
        float offsetX, margin, extra;
    } const cases[] = {
        {960, 0, 0, 0},
        {1135, 0, 0, 0},
        {1136, 88, 40.5f, 135},
        {1280, 88, 40.5f, 135},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windowWidth);
        SetGameWindowSize(c.windowWidth, 640);
        const GameSizes& sizes = *GameSizes::Instance();
        EXPECT_EQ(sizes.GetFieldOffsetX(), c.offsetX);
        EXPECT_EQ(sizes.GetWideMargin(), c.margin);
        EXPECT_EQ(sizes.GetWideExtra(), c.extra);
    }
}

TEST_F(GameSizesTest, MissingRequiredPiecesNameTheFile)
{
    struct Case {
        const char* what;
        const char* camera; // null: no file
        const char* sizes;  // null: no file
        const char* file;
    } const cases[] = {
        {"no camera", nullptr, nullptr, "data/default.camera"},
        {"a camera without CameraParallel", "<Camera/>", nullptr, "data/default.camera"},
        {"a camera without Height", R"(<Camera><CameraParallel Width="960"/></Camera>)", nullptr,
         "data/default.camera"},
        {"sizes without GameField", R"(<Camera><CameraParallel Width="960" Height="640"/></Camera>)",
         R"(<Sizes><GameScreen Width="960" Height="640"/><Background Coefficient="1"/></Sizes>)", "data/sizes.xml"},
        {"sizes without OffsetX", R"(<Camera><CameraParallel Width="960" Height="640"/></Camera>)",
         R"(<Sizes><GameScreen Width="960" Height="640"/><GameField Width="960" Height="640"/>
            <Background Coefficient="1"/></Sizes>)",
         "data/sizes.xml"},
        {"a wide screen without its margin", R"(<Camera><CameraParallel Width="960" Height="640"/></Camera>)",
         R"(<Sizes><GameScreen Width="960" Height="640"/><GameField Width="960" Height="640" OffsetX="0"/>
            <Background Coefficient="1"/><WideScreen Width="1136" FieldWidth="960"/></Sizes>)",
         "data/sizes.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(game_ / "data/default.camera");
        fs::remove(game_ / "data/sizes.xml");
        if (c.camera)
            WriteGameFile("data/default.camera", c.camera);
        if (c.sizes)
            WriteGameFile("data/sizes.xml", c.sizes);
        GameSizes::ResetForTests();
        try {
            GameSizes::Instance();
            FAIL() << "no error";
        } catch (const vadu::GluckBadResource& gluck) {
            EXPECT_EQ(gluck.get_resource().get_text(), c.file);
        }
    }
}

} // namespace
