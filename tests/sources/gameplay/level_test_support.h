#pragma once

// A running level over the real world file, against the fake shell and HUD: no scene, no
// HUD of its own. Shapes are placed by hand and linked through the level's graph.

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "gameplay_test_support.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_profile.h"
#include "support/fake_gameplay.h"
#include "vadu/input.h"

namespace gameplay_test {

// Notes every recorded result besides what the fake shell notes.
class RecordingShell : public gameplay_fakes::FakeShell {
public:
    void RecordResult(gameplay::LevelProfile& level, int score, bool won) override
    {
        results.push_back({score, won});
        DefaultShellServices::RecordResult(level, score, won);
    }
    void UnderwaterChainCollected(int size) override
    {
        events.push_back("UnderwaterChainCollected " + std::to_string(size));
    }
    struct Result {
        int score;
        bool won;
    };
    std::vector<Result> results;
};

inline std::string ReadDataFile(const std::string& relative)
{
    std::ifstream in(std::string(QUILLO_DATA_SOURCE) + "/" + relative, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class LevelTest : public GameplayTest {
protected:
    LevelTest()
    {
        write("data/main.world", ReadDataFile("main.world"));
        level = std::make_unique<gameplay::Level>();
        level->makeHud = false;
        level->settings.maxShapeCount = 0;
        level->SetInputEnabled(true);
        level->ManaValue().Set(50.0f);
    }
    ~LevelTest() override
    {
        level.reset();
        gameplay::CheatCodes::ResetForTests();
    }

    gameplay::Monster* AddMonster(float x, float y, int colour = 0)
    {
        auto* monster = new gameplay::Monster(Target()->World(), vadu::Atom(), colour);
        monster->SetPosition({x, y});
        Target()->shapes.push_back(monster);
        return monster;
    }
    gameplay::StarredMonster* AddStarred(float x, float y, int colour = 0)
    {
        auto* monster = new gameplay::StarredMonster(Target()->World(), vadu::Atom(), colour);
        monster->SetPosition({x, y});
        Target()->shapes.push_back(monster);
        return monster;
    }
    // Links each shape to the next.
    void Link(const std::vector<gameplay::Shape*>& chain)
    {
        for (size_t i = 1; i < chain.size(); ++i) {
            Target()->Links().CreateLink(chain[i - 1], chain[i]);
            chain[i - 1]->UpdateGroup();
        }
    }
    std::vector<gameplay::Shape*> Row(int count, float y, int colour = 0)
    {
        std::vector<gameplay::Shape*> row;
        for (int i = 0; i < count; ++i)
            row.push_back(AddMonster(100.0f + 70.0f * static_cast<float>(i), y, colour));
        return row;
    }
    // The level the helpers work on: the test's own, or one a screen took over.
    gameplay::Level* Target() const { return level ? level.get() : adopted; }

    void Run(float seconds, float dt = 1.0f / 60.0f)
    {
        for (float t = 0.0f; t < seconds; t += dt)
            level->Update(dt);
    }

    vadu::input::Manager::Creator input_;
    RecordingShell shell;
    gameplay_fakes::FakeHud hud;
    std::unique_ptr<gameplay::Level> level;
    gameplay::Level* adopted = nullptr;
};

} // namespace gameplay_test
