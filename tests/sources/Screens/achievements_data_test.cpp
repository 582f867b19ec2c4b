// The achievements' popup and screen over the game's own data files, in the running
// application: a scene or controls file that no longer has what the code looks for, or a
// picture that is missing, fails here rather than on the player's screen.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "../shell_app_support.h"
#include "game/screen_definition.h"
#include "sources/Screens/achievements_screen.h"
#include "sources/achievements.h"
#include "sources/profile_manager.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/sprite.h"

namespace {

namespace fs = std::filesystem;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;

std::string narrow(const vadu::WString& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        out.push_back(text.data()[i] < 0x80 ? static_cast<char>(text.data()[i]) : '?');
    return out;
}

std::string narrow(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

class AchievementsData : public shell_test::ShellAppTest {
protected:
    // Updates (without drawing) until the pictures asked for have loaded.
    void settle()
    {
        for (int i = 0; i < 30; ++i)
            app_->Update(1.0 / 60.0);
    }

    AchievementCollection& player_collection()
    {
        ProfileManager::Instance()->CreateProfile("Ann");
        AchievementCollection* collection = AchievementCollection::Current();
        EXPECT_NE(collection, nullptr);
        return *collection;
    }
};

// A popup per kind of picture: a plain one (as every kind of the game's file has it) and
// an atlas frame (an atlas put beside the medals for this test).
TEST_F(AchievementsData, ThePopupSceneShowsTheTitleAndAPictureOrAnAtlasFrame)
{
    const fs::path program = copy_program_folder();
    std::ofstream(program / "data/achievements/screen/medals.atlas")
        << R"(<Atlas TextureSrc="data/achievements/screen/titanic"><Frame Name="gold" Rect="0 0 16 16"/></Atlas>)";
    start_game();
    AchievementCollection& collection = player_collection();
    ASSERT_EQ(collection.Count(), 32);
    Node level(vadu::Atom("Level"), nullptr);
    collection.SetLevel(&level);
    ASSERT_NE(collection.GetStackView(), nullptr);

    struct Case {
        int kind;
        const char* frame;
    };
    for (const Case& c : {Case{25, ""}, Case{28, "gold"}}) {
        AchievementBase& kind = *collection.GetByIndex(c.kind);
        SCOPED_TRACE(narrow(kind.name));
        ASSERT_FALSE(kind.title.empty()) << "no title in the achievements file";
        if (*c.frame != '\0') {
            kind.textureSrc = "medals.atlas";
            kind.textureFrame = c.frame;
        }
        const size_t before = level.get_child_count();
        kind.Unlock();
        ASSERT_EQ(level.get_child_count(), before + 1);
        Node* popup = level.get_children().back();
        auto* label = dynamic_cast<vadu::lib3d::node::Text*>(popup->find_child(vadu::Atom("Label"), true));
        ASSERT_NE(label, nullptr) << "the popup scene has no text \"Label\"";
        EXPECT_EQ(narrow(label->get_text()), narrow(kind.title));
        auto* picture = dynamic_cast<Sprite*>(popup->find_child(vadu::Atom("Picture"), true));
        ASSERT_NE(picture, nullptr) << "the popup scene has no sprite \"Picture\"";
        vadu::lib3d::material::TextureHandle* texture = picture->get_texture();
        ASSERT_NE(texture, nullptr);
        settle();
        EXPECT_TRUE(texture->is_ready()) << "the picture did not load";
        if (*c.frame == '\0') {
            EXPECT_EQ(texture->get_atlas(), nullptr);
        } else {
            ASSERT_NE(texture->get_atlas(), nullptr);
            ASSERT_NE(texture->get_frame(), nullptr);
            EXPECT_EQ(texture->get_width(), 16);
        }
    }
    EXPECT_EQ(collection.GetStackView()->shownCount, 2);
    collection.SetLevel(nullptr);
}

// The screen built from data/screens/achievements.screen as the flow builds it: the
// profile's thirty-two on four pages with a dot each, every entry titled from the file
// and showing a picture that loads (the template itself none); a title and a description too large for the scene's
// "TextSize" (330 x 60) shrink to it, evenly, in the scene's own font.
TEST_F(AchievementsData, TheScreenFileListsTheProfilesThirtyTwoWithTheirPictures)
{
    start_game();
    AchievementCollection& collection = player_collection();
    collection.GetByIndex(0)->achieved = true;
    const int crowded = 5;
    collection.GetByIndex(crowded)->title = u"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW";
    collection.GetByIndex(crowded)->description = u"one\ntwo\nthree\nfour\nfive\nsix";
    game::StaticResourceScreenReference reference(vadu::filesystem::String("data/screens/achievements.screen", true));
    std::unique_ptr<game::Screen> screen = reference.ConstructScreen(*app_->GetRoot());
    ASSERT_NE(screen, nullptr);
    auto* shown = dynamic_cast<AchievementsScreen*>(screen->GetBackend());
    ASSERT_NE(shown, nullptr) << "the screen file names another backend";
    shown->OnInitialized();

    // The template stays where the first entry goes: it must not show over it.
    Node* entry_template = screen->GetSceneRoot()->find_child(vadu::Atom("Achievement"), true);
    ASSERT_NE(entry_template, nullptr);
    auto* template_picture = dynamic_cast<Sprite*>(entry_template->find_child(vadu::Atom("Picture"), false));
    ASSERT_NE(template_picture, nullptr);
    EXPECT_EQ(template_picture->get_texture(), nullptr);

    EXPECT_EQ(shown->GetPageCount(), 4);
    EXPECT_EQ(shown->GetDots().size(), 4u);
    ASSERT_EQ(shown->GetEntries().size(), 32u);
    settle();
    for (int i = 0; i < 32; ++i) {
        const AchievementsScreen::Entry& entry = shown->GetEntries()[i];
        const AchievementBase& kind = *collection.GetByIndex(i);
        SCOPED_TRACE(narrow(kind.name));
        EXPECT_EQ(narrow(entry.picture).ends_with("_off"), i != 0);
        EXPECT_TRUE(fs::exists(fs::path(QUILLO_PROGRAM_FOLDER) / (narrow(entry.picture) + ".png")));
        auto* picture = dynamic_cast<Sprite*>(entry.node->find_child(vadu::Atom("Picture"), false));
        ASSERT_NE(picture, nullptr);
        ASSERT_NE(picture->get_texture(), nullptr);
        EXPECT_TRUE(picture->get_texture()->is_ready());
        vadu::lib3d::node::Text* texts[2];
        for (int t = 0; t < 2; ++t) {
            const char* name = t == 0 ? "Title" : "Description";
            texts[t] = dynamic_cast<vadu::lib3d::node::Text*>(entry.node->find_child(vadu::Atom(name), false));
            ASSERT_NE(texts[t], nullptr) << name;
            EXPECT_FALSE(texts[t]->get_text().empty()) << name;
            const vadu::math::Vector3 scale = texts[t]->get_scale();
            EXPECT_EQ(scale.x, scale.y) << name;
            EXPECT_EQ(scale.x < 1.0f, i == crowded) << name;
        }
        if (i == crowded) {
            EXPECT_NEAR(texts[0]->get_width(texts[0]->get_text()) * texts[0]->get_scale().x, 330.0f, 0.01f);
            EXPECT_NEAR(texts[1]->get_height() * texts[1]->get_scale().y, 60.0f, 0.01f);
        }
    }
    screen.reset();
}

} // namespace
