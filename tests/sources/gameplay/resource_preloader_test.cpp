#include <gtest/gtest.h>

#include <string>

#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "sources/gameplay/resource_preloader.h"
#include "vadu/exception.h"
#include "vadu/lib3d/material/texture_handle.h"

namespace {

// Texture handles need the engine's resource loader and files.
class PreloaderTest : public ::testing::Test {
protected:
    test_support::TempFolder temp_{"QuilloPreloader"};
    texture_test::Engine engine_{temp_.root().string()};
    test_support::LogCapture log_;
};

TEST_F(PreloaderTest, ShellModeHoldsSevenTexturesOnly)
{
    gameplay::ResourcePreloader preloader(0);
    ASSERT_EQ(preloader.Textures().size(), 7u);
    EXPECT_TRUE(preloader.Dictionaries().empty());
    for (const auto& texture : preloader.Textures()) {
        EXPECT_NE(texture->get_texture(), nullptr);
        EXPECT_EQ(texture->get_atlas(), nullptr);
    }
}

TEST_F(PreloaderTest, LevelModeFailsAsItsDictionaryFails)
{
    // Without "data/fonts/score.symdict" the dictionary handle refuses, and so does the
    // preloader; the handles made before it are released.
    try {
        gameplay::ResourcePreloader preloader(1);
        ADD_FAILURE() << "no dictionary, yet the preloader was made";
    } catch (const vadu::GluckBadResource& error) {
        // The dictionary's own font is what is missing.
        EXPECT_EQ(std::string(error.get_resource().c_str()).rfind("data/fonts/score.", 0), 0u)
            << error.get_resource().c_str();
    }
}

TEST_F(PreloaderTest, AtlasesHoldFrameZero)
{
    gameplay::ResourcePreloader preloader(2);
    EXPECT_TRUE(preloader.Textures().empty());
    preloader.AddAtlas(vadu::filesystem::String("data/shapes/bomb.atlas", true));
    ASSERT_EQ(preloader.Textures().size(), 1u);
    EXPECT_NE(preloader.Textures()[0]->get_atlas(), nullptr);
    EXPECT_EQ(preloader.Textures()[0]->get_pending_index(), 0);
}

} // namespace
