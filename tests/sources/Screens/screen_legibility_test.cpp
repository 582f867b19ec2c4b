// What the player can read on the real screens, frame by frame: the game in-process over its
// own data, headless at 960 x 640. A part's ink is the set of pixels that change when that
// part alone is hidden; two parts whose inks share no pixel are both seen whole. A text reads
// over a bright picture when no bright pixel of its letters touches a bright pixel of the
// picture around it (a dark ring keeps them apart).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "../shell_app_support.h"
#include "game/controls/control.h"
#include "sources/Screens/achievements_screen.h"
#include "sources/Screens/level_select_screen.h"
#include "sources/Screens/main_menu_screen.h"
#include "sources/Screens/splash_screen.h"
#include "sources/achievements.h"
#include "sources/gameplay/game_screen.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_profile.h"
#include "sources/gameplay/shape_chain.h"
#include "sources/gameplay/tutorial.h"
#include "sources/profile_manager.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/sprite.h"

namespace screen_legibility_test_file {

using vadu::lib3d::node::Node;
using Frame = platform::gfx::PresentedFrame;
namespace fs = std::filesystem;

constexpr double Step = 1.0 / 60.0;

// Pixels that differ between two frames of the same size.
std::vector<bool> ink(const Frame& shown, const Frame& hidden)
{
    std::vector<bool> mask(size_t{shown.width} * shown.height, false);
    for (size_t i = 0; i < mask.size(); ++i) {
        for (int c = 0; c < 3; ++c)
            mask[i] = mask[i] || std::abs(int{shown.pixels[i * 4 + c]} - int{hidden.pixels[i * 4 + c]}) > 24;
    }
    return mask;
}

int count(const std::vector<bool>& mask)
{
    int n = 0;
    for (const bool b : mask)
        n += b;
    return n;
}

int shared(const std::vector<bool>& a, const std::vector<bool>& b)
{
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i)
        n += a[i] && b[i];
    return n;
}

// Rows where the text's ink over a bright picture starts further right, or ends further
// left, than its ink over a plain one. Over a plain picture the letters themselves are ink;
// over white, white letters are not, and only a dark edge drawn all round them still marks
// where each stroke begins and ends. A shadow cast to one side leaves the other side of
// every stroke white on white: those rows count.
int rows_losing_an_edge(const Frame& frame, const std::vector<bool>& overBright, const std::vector<bool>& overPlain)
{
    int rows = 0;
    for (uint32_t y = 0; y < frame.height; ++y) {
        int plainFirst = -1, plainLast = -1, brightFirst = -1, brightLast = -1;
        for (uint32_t x = 0; x < frame.width; ++x) {
            const size_t i = size_t{y} * frame.width + x;
            if (overPlain[i]) {
                plainFirst = plainFirst < 0 ? static_cast<int>(x) : plainFirst;
                plainLast = static_cast<int>(x);
            }
            if (overBright[i]) {
                brightFirst = brightFirst < 0 ? static_cast<int>(x) : brightFirst;
                brightLast = static_cast<int>(x);
            }
        }
        if (plainFirst < 0)
            continue;
        if (brightFirst < 0 || brightFirst > plainFirst + 1 || brightLast < plainLast - 1)
            ++rows;
    }
    return rows;
}

Node* find(Node* root, const char* name)
{
    return root != nullptr ? root->find_child(vadu::Atom(name), true) : nullptr;
}

// The first node of that name and type below the root, depth first.
Node* find_typed(Node* root, const char* name, const char* type)
{
    if (root->get_name() == vadu::Atom(name) && root->get_type_name() == vadu::Atom(type))
        return root;
    for (Node* child : root->get_children()) {
        if (Node* found = find_typed(child, name, type))
            return found;
    }
    return nullptr;
}

class ScreenLegibility : public shell_test::ShellAppTest {
protected:
    void step() override
    {
        pump_messages();
        app_->Update(Step);
    }

    // Drawn as it stands now, nothing moved on.
    Frame snap()
    {
        const uint64_t before = frames_presented();
        for (int attempt = 0; attempt < 3 && frames_presented() == before; ++attempt)
            app_->Render();
        EXPECT_NE(frames_presented(), before);
        return platform::gfx::last_presented_frame();
    }

    // The frame as it is, and the ink of the node: what changes when it alone is hidden.
    std::vector<bool> ink_of(Node* node, const Frame& shown)
    {
        node->set_visible(false);
        node->mark_transform_changed();
        const Frame hidden = snap();
        node->set_visible(true);
        node->mark_transform_changed();
        return ink(shown, hidden);
    }

    // A first start: the splash clicked away, "Player" taken, the profile panel closed.
    void to_main_menu_with_a_player()
    {
        start_game();
        platform::FitWindowSizeToDesktop(app_->get_window(), 960, 640);
        ASSERT_TRUE(reach<SplashScreen>());
        int frame_number = 0;
        ASSERT_TRUE(run_until([&] {
            if (++frame_number % 70 == 0 && current_backend<SplashScreen>())
                click(480, 320);
            // The loading picture moves on only once drawn.
            if (!current_backend<SplashScreen>() && !current_backend<MainMenuScreen>())
                app_->Render();
            return current_backend<MainMenuScreen>() != nullptr;
        }));
        frames(5);
        const platform::WindowHandle window = app_->get_window().window;
        platform::headless::push_key(window, platform::vk::RETURN, true);
        platform::headless::push_key(window, platform::vk::RETURN, false);
        ASSERT_TRUE(run_until([] { return ProfileManager::Instance()->GetProfileCount() == 1; }, 60));
        frames(2);
        click_control("profileSelectClose");
        ASSERT_TRUE(run_until([this] {
            return current_backend<MainMenuScreen>()->GetActiveGroup() == MainMenuScreen::MenuGroup;
        }, 10));
    }

    // Level 1 running, its pictures in.
    gameplay::Level* to_first_level()
    {
        to_main_menu_with_a_player();
        click_control("playButton");
        EXPECT_TRUE(reach<LevelSelectScreen>());
        frames(5);
        click_control("LevelButton1");
        EXPECT_TRUE(reach<gameplay::GameScreen>());
        EXPECT_TRUE(run_until([this] { return current_backend<gameplay::GameScreen>()->GetLevel() != nullptr; }));
        frames(60);
        return current_backend<gameplay::GameScreen>()->GetLevel();
    }
};

// On a locked plate the chain leaves the number whole; on a played plate the type mark, the
// best score and the number each keep pixels of their own.
TEST_F(ScreenLegibility, ALevelPlateShowsItsNumberScoreMarkAndChainApart)
{
    to_main_menu_with_a_player();
    click_control("playButton");
    ASSERT_TRUE(reach<LevelSelectScreen>());
    frames(30);
    Node* root = current_screen()->GetSceneRoot();

    Node* locked = find(root, "LevelButton7");
    ASSERT_NE(locked, nullptr);
    Node* chain = find(locked, "ButtonChain");
    Node* lockedNumber = find(locked, "ButtonNumber");
    ASSERT_TRUE(chain != nullptr && lockedNumber != nullptr);
    ASSERT_TRUE(chain->is_visible());
    Frame shown = snap();
    const std::vector<bool> chainInk = ink_of(chain, shown);
    const std::vector<bool> lockedNumberInk = ink_of(lockedNumber, shown);
    EXPECT_GT(count(chainInk), 100);
    EXPECT_GT(count(lockedNumberInk), 100);
    EXPECT_EQ(shared(chainInk, lockedNumberInk), 0) << "the chain covers the number";

    // A played level: its best score shown as the map shows one, a wide one.
    Node* open = find(root, "LevelButton3");
    ASSERT_NE(open, nullptr);
    auto* score = dynamic_cast<vadu::lib3d::node::Text*>(find(open, "ButtonScore"));
    Node* mark = find(open, "LevelType");
    Node* number = find(open, "ButtonNumber");
    ASSERT_TRUE(score != nullptr && mark != nullptr && number != nullptr);
    ASSERT_TRUE(mark->is_visible());
    score->set_text(vadu::WString(u"123,456"), false);
    score->set_visible(true);
    score->mark_transform_changed();
    frames(1);
    shown = snap();
    const std::vector<bool> scoreInk = ink_of(score, shown);
    const std::vector<bool> markInk = ink_of(mark, shown);
    const std::vector<bool> numberInk = ink_of(number, shown);
    EXPECT_GT(count(scoreInk), 100);
    EXPECT_GT(count(markInk), 50);
    EXPECT_EQ(shared(markInk, scoreInk), 0) << "the type mark covers the score";
    EXPECT_EQ(shared(markInk, numberInk), 0) << "the type mark covers the number";
    EXPECT_EQ(shared(scoreInk, numberInk), 0) << "the score runs into the number";
}

// The low-mana hint and an achievement's popup, both up at once, cover nothing of each
// other; the mana count stays readable at the top of the bar's white flash.
TEST_F(ScreenLegibility, ThePopupLeavesTheLowManaHintClearAndTheManaCountReadsInTheFlash)
{
    gameplay::Level* level = to_first_level();
    ASSERT_NE(level, nullptr);
    Node* root = current_screen()->GetSceneRoot();

    // Mana runs low: the warning comes up, and its hint with the next turn; an achievement
    // unlocks meanwhile.
    level->AddMana(-90.0f);
    frames(2);
    ASSERT_NE(level->GetTutorial(), nullptr);
    level->GetTutorial()->OnEvent(gameplay::ShapeChain(level));
    type("plekotitanic");
    frames(60);
    Frame shown = snap();
    Node* popup = find(root, "Popup");
    Node* hint = find_typed(root, "Frame", "TutorialNode");
    ASSERT_NE(popup, nullptr);
    ASSERT_NE(hint, nullptr) << "no low-mana hint";
    const std::vector<bool> popupInk = ink_of(popup, shown);
    const std::vector<bool> hintInk = ink_of(hint, shown);
    EXPECT_GT(count(popupInk), 1000);
    EXPECT_GT(count(hintInk), 1000);
    EXPECT_EQ(shared(popupInk, hintInk), 0) << "the popup covers the low-mana hint";

    // A full bar: the count lies over the fill, which flashes white when mana drops.
    level->AddMana(100.0f);
    frames(60);
    auto* slider = dynamic_cast<vadu::lib3d::node::Sprite*>(find(root, "ManaBarSlider"));
    Node* label = find(root, "ManaLabel");
    ASSERT_TRUE(slider != nullptr && label != nullptr);
    ActionManager::Global().StopActionsByTag(vadu::Atom("Highlight"));
    slider->change_attribute(vadu::Atom("SpecularLevel"), 0.0);
    shown = snap();
    const std::vector<bool> plainInk = ink_of(label, shown);
    // The flash at its brightest.
    slider->change_attribute(vadu::Atom("SpecularLevel"), 1.0);
    shown = snap();
    const std::vector<bool> flashInk = ink_of(label, shown);
    EXPECT_GT(count(plainInk), 100);
    EXPECT_EQ(rows_losing_an_edge(shown, flashInk, plainInk), 0) << "the count's letters melt into the flash";
}

// An achievement's title and description read over a cloud drifting behind them.
TEST_F(ScreenLegibility, AchievementTextsReadOverACloud)
{
    to_main_menu_with_a_player();
    click_control("otherRolloutButton");
    frames(30);
    click_control("achievementsButton");
    ASSERT_TRUE(reach<AchievementsScreen>());
    frames(30);
    Node* root = current_screen()->GetSceneRoot();
    Node* decorations = find(root, "DecorationsRoot");
    ASSERT_NE(decorations, nullptr);
    // The first cloud of the screen's sky, drifted behind the first entry and grown to
    // cover its texts.
    Node* cloud = nullptr;
    for (Node* child : decorations->get_children()) {
        auto* sprite = dynamic_cast<vadu::lib3d::node::Sprite*>(child);
        if (sprite != nullptr && sprite->get_width() == 160)
            cloud = sprite;
    }
    ASSERT_NE(cloud, nullptr);
    Node* entry = nullptr;
    // The copies of the template in the scroll: the first page's top-left one, the first
    // achievement.
    std::vector<Node*> stack{root};
    while (!stack.empty()) {
        Node* node = stack.back();
        stack.pop_back();
        auto* title = dynamic_cast<vadu::lib3d::node::Text*>(node->find_child(vadu::Atom("Title"), false));
        if (title != nullptr && !title->get_text().empty()) {
            const vadu::math::Vector3 at = node->get_global_position();
            if (entry == nullptr || at.x < entry->get_global_position().x ||
                (at.x == entry->get_global_position().x && at.y > entry->get_global_position().y))
                entry = node;
        }
        for (Node* child : node->get_children())
            stack.push_back(child);
    }
    ASSERT_NE(entry, nullptr);
    const vadu::math::Vector3 at = entry->get_global_position();
    const vadu::math::Vector3 away = cloud->get_position();
    const vadu::math::Vector3 behind{at.x + 160.0f, at.y, away.z};
    cloud->set_scale({3.0f, 2.5f, 1.0f});
    for (const char* name : {"Title", "Description"}) {
        SCOPED_TRACE(name);
        Node* text = entry->find_child(vadu::Atom(name), false);
        ASSERT_NE(text, nullptr);
        // Over the sky alone, then over the cloud.
        cloud->set_position({-5000.0f, away.y, away.z});
        Frame shown = snap();
        const std::vector<bool> plainInk = ink_of(text, shown);
        cloud->set_position(behind);
        shown = snap();
        const std::vector<bool> cloudInk = ink_of(text, shown);
        EXPECT_GT(count(plainInk), 100);
        EXPECT_EQ(rows_losing_an_edge(shown, cloudInk, plainInk), 0) << "letters melt into the cloud";
    }
}

// A screen of any shape shows more of the scene at its sides (never less): the water of a
// level with a water line and the dim behind the pause menu reach both of its edges.
class WideScreens : public ScreenLegibility, public ::testing::WithParamInterface<platform::Size> {
protected:
    void TearDown() override
    {
        ::CurrentLevel = nullptr;
        ScreenLegibility::TearDown();
    }

    gameplay::LevelProfile record_;
};

// Columns with no pixel of the mask in them, among the outer ten on each side.
int bare_edge_columns(const Frame& frame, const std::vector<bool>& mask)
{
    int bare = 0;
    for (uint32_t x = 0; x < frame.width; ++x) {
        if (x >= 10 && x + 10 < frame.width)
            continue;
        bool any = false;
        for (uint32_t y = 0; y < frame.height && !any; ++y)
            any = mask[size_t{y} * frame.width + x];
        bare += !any;
    }
    return bare;
}

TEST_P(WideScreens, TheWaterAndThePauseDimReachBothEdges)
{
    const platform::Size desktop = GetParam();
    platform::headless::set_desktop_size(desktop);
    const fs::path copy = copy_program_folder();
    start_flow_at(copy, "Game");
    ASSERT_FALSE(HasFatalFailure());
    // Level 8: the tide of a night level.
    record_.number = 8;
    record_.mode = 0;
    record_.fileName = "level08";
    record_.locked = 0;
    record_.type = "Night";
    // A first start: full screen, as the entry places it.
    start("").Initialize(vadu::filesystem::String("data/quillo_wide.game", true));
    platform::FitWindowSizeToDesktop(app_->get_window(), 960, 640);
    platform::ToggleFullscreen(app_->get_window());
    ::CurrentLevel = &record_;
    ASSERT_TRUE(run_until([this] {
        auto* screen = current_backend<gameplay::GameScreen>();
        return screen != nullptr && screen->GetLevel() != nullptr;
    }, 30));
    frames(30);
    Node* root = current_screen()->GetSceneRoot();
    Node* water = find(root, "WaterNode");
    Node* pause = find(root, "Pause");
    ASSERT_TRUE(water != nullptr && pause != nullptr);

    const Frame shown = snap();
    ASSERT_EQ(shown.width, static_cast<uint32_t>(desktop.width));
    ASSERT_EQ(shown.height, static_cast<uint32_t>(desktop.height));
    EXPECT_EQ(bare_edge_columns(shown, ink_of(water, shown)), 0) << "the water stops short of an edge";

    pause->set_visible(true);
    pause->mark_transform_changed();
    const Frame paused = snap();
    EXPECT_EQ(bare_edge_columns(shown, ink(paused, shown)), 0) << "the dim stops short of an edge";
}

INSTANTIATE_TEST_SUITE_P(Shapes, WideScreens,
                         // Kept small for the software rasterizer: 4:3, 16:10 and a very wide one.
                         ::testing::Values(platform::Size{1024, 768}, platform::Size{1280, 800},
                                           platform::Size{2400, 600}),
                         [](const ::testing::TestParamInfo<platform::Size>& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

} // namespace screen_legibility_test_file
