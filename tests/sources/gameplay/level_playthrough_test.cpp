// Scripted play of small fixture levels at 1/60 s, seeded: once a second the script may tap a
// group, as a patient player would (a group with a star, else the largest one once it makes a
// star or the field is full). One level is won on stars,
// one is lost on mana; the bodies move the same in every run.

#include "level_test_support.h"
#include "play_script.h"

#include <cstdint>

#include "platform/random.h"
#include "sources/gameplay/level_loader.h"

namespace gameplay_test {
namespace {

using play_script::BodyHash;
using play_script::Choose;

class PlayThrough : public LevelTest {
protected:
    struct Outcome {
        bool ended = false;
        bool won = false;
        int endFrame = -1;
        int taps = 0;
        uint64_t hashAt600 = 0;
        size_t shapesAt600 = 0;
    };

    Outcome Play(const std::string& text, int frames)
    {
        platform::seed_random(2024);
        level.reset();
        hud.stars = 0;
        {
            gameplay::LevelLoader loader(text.data(), text.size());
            level = loader.CreateLevel();
        }
        level->makeHud = false;
        Outcome outcome;
        level->endHandler = [&](int, bool won) {
            outcome.ended = true;
            outcome.won = won;
        };
        level->Start(nullptr, nullptr);
        for (int frame = 1; frame <= frames; ++frame) {
            if (frame % 60 == 0 && level->IsInputEnabled()) {
                if (gameplay::Shape* target = Choose(*level)) {
                    level->Tap(target->GetPosition());
                    ++outcome.taps;
                }
            }
            level->Update(1.0f / 60.0f);
            if (outcome.ended && outcome.endFrame < 0)
                outcome.endFrame = frame;
            if (frame == 600) {
                outcome.hashAt600 = BodyHash(*level);
                outcome.shapesAt600 = level->shapes.size();
            }
        }
        return outcome;
    }
};

TEST_F(PlayThrough, TappingGroupsWinsTheStarLevel)
{
    const Outcome first = Play(play_script::Winnable(), 1200);
    EXPECT_TRUE(first.ended);
    EXPECT_TRUE(first.won);
    EXPECT_EQ(hud.stars, 4);
    EXPECT_GT(first.endFrame, 600);
    EXPECT_GT(first.shapesAt600, 0u);
    EXPECT_GT(level->Score(), 0);

    // The same seed plays the same game, body for body.
    const Outcome second = Play(play_script::Winnable(), 1200);
    EXPECT_EQ(second.hashAt600, first.hashAt600);
    // Recorded from a run; a change here means the physics or the script moved.
    EXPECT_EQ(first.hashAt600, 14518912878078766730ull);
    EXPECT_EQ(second.endFrame, first.endFrame);
}

TEST_F(PlayThrough, TappingWithoutStarsRunsOutOfMana)
{
    const Outcome outcome = Play(play_script::Losing(), 900);
    EXPECT_TRUE(outcome.ended);
    EXPECT_FALSE(outcome.won);
    EXPECT_TRUE(level->IsLost());
    EXPECT_FLOAT_EQ(level->Mana(), 0.0f);
    EXPECT_EQ(outcome.taps, 4);
    const Outcome again = Play(play_script::Losing(), 900);
    EXPECT_EQ(again.hashAt600, outcome.hashAt600);
}

} // namespace
} // namespace gameplay_test
