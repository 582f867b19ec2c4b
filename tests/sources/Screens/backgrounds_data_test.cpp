// The backgrounds of the menus and the field over the game's own data: drawn for the
// layout sizes, wide enough for the wide game screen, tall enough for a 5:4 desktop and larger
// than the screen on every side, so no screen ever shows one of their edges.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "../shell_app_support.h"
#include "platform/gfx/present.h"
#include "sources/game_sizes.h"

namespace backgrounds_data_test_file {

using BackgroundsData = shell_test::ShellAppTest;

TEST_F(BackgroundsData, EachBackgroundCoversTheWidestGameScreenWithRoomToSpare)
{
    // The game's own files, read as the game reads them.
    start_game();
    GameSizes::ResetForTests();
    const GameSizes* sizes = GameSizes::Instance();
    ASSERT_TRUE(sizes->hasWideScreen);
    const float widest = std::max({sizes->screenWidth, sizes->fieldWidth, sizes->wideScreenWidth});
    for (const char* name : {"main_bg", "main_bg_night", "main_bg_underwater"}) {
        SCOPED_TRACE(name);
        platform::gfx::PresentedFrame picture;
        ASSERT_TRUE(platform::gfx::read_snapshot(
            std::filesystem::path(QUILLO_PROGRAM_FOLDER) / "data" / "decorations" / (std::string(name) + ".png"), picture));
        // Centred on the screen (the background coefficient scales it).
        const float width = static_cast<float>(picture.width) * sizes->backgroundCoefficient;
        const float height = static_cast<float>(picture.height) * sizes->backgroundCoefficient;
        EXPECT_GE(width, widest + 2.0f);
        EXPECT_GE(height, sizes->screenHeight + 2.0f);
        // A desktop taller than the layout (up to 5:4) shows the whole width of the view and
        // more rows above and below it, never black bands.
        EXPECT_GE(height, sizes->screenWidth * 4.0f / 5.0f + 2.0f);
        // Drawn at the layout's own scale: one picture pixel to one screen pixel.
        EXPECT_EQ(sizes->backgroundCoefficient, 1.0f);
    }
    GameSizes::ResetForTests();
}

} // namespace backgrounds_data_test_file
