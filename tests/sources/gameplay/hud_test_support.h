#pragma once

// Shared by the HUD tests: the HUD's animation and trail files copied from the shipped
// data into the test's folder, a stand-in of the HUD scene whose sprites and labels note
// the frames and colours set on them, and a level that notes the mana warnings.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "gameplay_test_support.h"
#include "sources/gameplay/action_manager.h"
#include "support/fake_gameplay.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"

namespace hud_test {

using vadu::lib3d::node::Node;
using vadu::math::Vector3;

inline std::string narrow(const vadu::WString& text)
{
    std::string result;
    for (char16_t unit : std::u16string_view(text.data(), text.size()))
        result += static_cast<char>(unit);
    return result;
}

// Component-wise within a float's rounding of the values involved.
inline ::testing::AssertionResult Near(const Vector3& actual, const Vector3& expected, float tolerance = 1e-4f)
{
    if (std::fabs(actual.x - expected.x) <= tolerance && std::fabs(actual.y - expected.y) <= tolerance &&
        std::fabs(actual.z - expected.z) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << actual.x << ", " << actual.y << ", " << actual.z << ") is not ("
                                         << expected.x << ", " << expected.y << ", " << expected.z << ")";
}

class RecordingSprite : public vadu::lib3d::node::Sprite {
public:
    RecordingSprite(const char* name, Node* parent) : Sprite(name, parent) {}

    using Sprite::change_attribute;
    bool change_attribute(const vadu::Atom& name, const vadu::WString& value) override
    {
        if (name == vadu::Atom("Frame"))
            frames.push_back(narrow(value));
        return Sprite::change_attribute(name, value);
    }

    std::vector<std::string> frames;
};

class RecordingText : public vadu::lib3d::node::Text {
public:
    RecordingText(const char* name, Node* parent) : Text(name, parent) {}

    using Text::change_attribute;
    bool change_attribute(const vadu::Atom& name, const Vector3& value) override
    {
        if (name == vadu::Atom("Color"))
            colour = value;
        return Text::change_attribute(name, value);
    }

    std::string text() const { return narrow(get_text()); }

    Vector3 colour{-1.0f, -1.0f, -1.0f};
};

// The level's mana warnings, in order, with the shell's music beside them.
class WarningLevel : public gameplay_fakes::FakeLevel {
public:
    explicit WarningLevel(std::vector<std::string>& journal) : journal_(journal) {}
    void CheckManaDanger() override { journal_.push_back("CheckManaDanger"); }
    void OnManaNotDanger() override { journal_.push_back("OnManaNotDanger"); }

private:
    std::vector<std::string>& journal_;
};

class HudTest : public gameplay_test::GameplayTest {
protected:
    HudTest()
    {
        for (const char* file :
             {"game/level_end.anim", "game/mana_danger.anim", "game/mana_label_danger.anim", "game/mana_highlight.anim",
              "game/bottle.anim", "monsters/monster_highlight.anim", "monsters/monster_reduce.anim",
              "monsters/trail.scene", "monsters/trail.particles"})
            copy(file);
    }
    ~HudTest() override
    {
        ActionManager::ResetGlobal();
        root.reset();
    }

    void copy(const std::string& relative) const
    {
        const std::filesystem::path to = temp_.root() / "data" / relative;
        std::filesystem::create_directories(to.parent_path());
        std::filesystem::copy_file(std::filesystem::path(QUILLO_DATA_SOURCE) / relative, to,
                                   std::filesystem::copy_options::overwrite_existing);
    }

    // The HUD scene's nodes, by the names the HUD looks up; a name listed in `without` is
    // left out.
    void build(const std::vector<std::string>& without = {})
    {
        const auto wanted = [&](const std::string& name) {
            return std::find(without.begin(), without.end(), name) == without.end();
        };
        root = std::make_unique<Node>("Hud", nullptr);
        const auto text = [&](const char* name, Node* parent, bool visible = true) -> RecordingText* {
            if (!wanted(name))
                return nullptr;
            auto* node = new RecordingText(name, parent);
            node->set_visible(visible);
            return node;
        };
        const auto sprite = [&](const char* name, Node* parent) -> RecordingSprite* {
            return wanted(name) ? new RecordingSprite(name, parent) : nullptr;
        };
        scoreLabel = text("score_label", root.get());
        addedScore = text("added_score", root.get(), false);
        bonusLabel = text("BonusLabel", root.get(), false);
        text("WinLabel", root.get());
        text("LoseLabel", root.get());
        text("ShuffleLabel", root.get());
        text("LogLabel", root.get());
        manaBar = sprite("ManaBar", root.get());
        Node* barParent = manaBar ? static_cast<Node*>(manaBar) : root.get();
        slider = sprite("ManaBarSlider", barParent);
        bottle = sprite("ManaBarBottle", barParent);
        manaLabel = text("ManaLabel", barParent);
        pointsBar = sprite("ManaPointsBar", barParent);
        pointsLabel = text("ManaPointsLabel", barParent);
        monstersBar = sprite("MonstersBar", root.get());
        placeholder = sprite("Placeholder", monstersBar ? static_cast<Node*>(monstersBar) : root.get());
    }

    // Runs the global actions for the given time in steps of 1/60 s.
    void run(float seconds)
    {
        constexpr float step = 1.0f / 60.0f;
        for (float t = 0.0f; t < seconds - 1e-4f; t += step)
            manager().Update(step);
    }

    // The children of a template's parent that are copies of it (same name, not it).
    static std::vector<vadu::lib3d::node::Text*> copies(Node* of)
    {
        std::vector<vadu::lib3d::node::Text*> found;
        for (Node* child : of->get_parent()->get_children()) {
            if (child != of && child->get_name() == of->get_name())
                found.push_back(static_cast<vadu::lib3d::node::Text*>(child));
        }
        return found;
    }

    gameplay_fakes::FakeShell shell;
    std::vector<std::string> warnings;
    std::unique_ptr<Node> root;
    RecordingText* scoreLabel = nullptr;
    RecordingText* addedScore = nullptr;
    RecordingText* bonusLabel = nullptr;
    RecordingSprite* manaBar = nullptr;
    RecordingSprite* slider = nullptr;
    RecordingSprite* bottle = nullptr;
    RecordingText* manaLabel = nullptr;
    RecordingSprite* pointsBar = nullptr;
    RecordingText* pointsLabel = nullptr;
    RecordingSprite* monstersBar = nullptr;
    RecordingSprite* placeholder = nullptr;

private:
    vadu::lib3d::node::NodeTypeRegistration nodeTypes_;
};

} // namespace hud_test
