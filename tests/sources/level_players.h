#pragma once

// Scripted players for the shipped levels, shared by the shipped-levels test and the data
// check: a greedy one that taps the largest group a tap collects, once a second; an idle one
// that never taps; and a random one that taps a live shape drawn by its seed every half
// second, whatever it is, so that play no plan would choose is tried too. They only step
// whatever runs the level (the game's own screen in the tests) and watch the level: the taps,
// the level time at its end, the lowest mana, whether the score ever fell, and the shapes
// that went in their first seconds without a tap or a lightning to explain it.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "physics/node.h"
#include "physics/world.h"
#include "sources/gameplay/fish.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/level.h"
#include "vadu/lib3d/node/sprite.h"

namespace level_players {

using gameplay::ShapeKind;

// One entry of the level list, read straight from the file (the tests need the list before
// the engine's file system is up, to name their cases).
struct ListedLevel {
    int number = 0;
    int mode = 0; // 0 Standard, 1 Zen
    std::string fileName;
    std::string type;
};

inline void PrintTo(const ListedLevel& level, std::ostream* out)
{
    *out << level.fileName;
}

inline std::string Attribute(const std::string& element, const std::string& name)
{
    const std::regex pattern("\\b" + name + "=\"([^\"]*)\"");
    std::smatch match;
    return std::regex_search(element, match, pattern) ? match[1].str() : std::string();
}

inline std::vector<ListedLevel> ReadList(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    std::vector<ListedLevel> levels;
    const std::regex element("<(Level|ZenLevel)\\s[^>]*>");
    for (auto it = std::sregex_iterator(all.begin(), all.end(), element); it != std::sregex_iterator(); ++it) {
        const std::string whole = (*it)[0].str();
        ListedLevel level;
        level.mode = (*it)[1].str() == "ZenLevel" ? 1 : 0;
        level.number = std::atoi(Attribute(whole, "Number").c_str());
        level.fileName = Attribute(whole, "FileName");
        level.type = Attribute(whole, "Type");
        levels.push_back(level);
    }
    return levels;
}

// The player's target: the live collectable shape whose tap collects the most shapes (the
// first in list order among equals), when that group is large enough to be collected.
inline gameplay::Shape* LargestGroup(gameplay::Level& level)
{
    gameplay::Shape* best = nullptr;
    size_t bestSize = 0;
    for (gameplay::Shape* shape : level.shapes) {
        if (shape->IsDead() || !shape->IsKind(ShapeKind::Monster) || !shape->CanBeCollected())
            continue;
        const size_t size = gameplay::ShapeList::Collect(*shape).size();
        if (size > bestSize) {
            best = shape;
            bestSize = size;
        }
    }
    return static_cast<int>(bestSize) >= level.settings.minChain ? best : nullptr;
}

// A live shape drawn by the generator, or null when none is left.
inline gameplay::Shape* RandomShape(gameplay::Level& level, std::mt19937& generator)
{
    std::vector<gameplay::Shape*> live;
    for (gameplay::Shape* shape : level.shapes) {
        if (!shape->IsDead())
            live.push_back(shape);
    }
    // The remainder rather than a distribution: the same seed draws the same shapes with
    // every standard library.
    return live.empty() ? nullptr : live[generator() % live.size()];
}

enum class Player { Greedy, Idle, Random };

struct Figures {
    bool ended = false;
    bool won = false;
    int taps = 0;
    // Level time at the end, or when the bound ran out.
    double seconds = 0.0;
    float lowestMana = 100.0f;
    bool hasMana = true;
    int score = 0;
    // The score only ever grows.
    bool scoreFell = false;
    int starsMade = 0;
    // Shapes gone before their young age was over, with no tap or lightning that took them.
    int unexplainedEarlyDeaths = 0;
};

constexpr double FrameSeconds = 1.0 / 60.0;
// A fish eats what comes within 80 pixels of its mouth (at the layout scale of 1).
constexpr float FishReach = 100.0f;
// How far a shape moves in a frame, and then some.
constexpr float ShapeReach = 40.0f;

inline bool Near(const vadu::math::Vector2<float>& a, const vadu::math::Vector2<float>& b, float distance)
{
    return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) < distance * distance;
}

// Plays until the level ends or `bound` seconds of level time have passed. `level` gives the
// running level; `step` runs one frame of 1/60 s of whatever holds it; `seed` draws the
// random player's shapes.
inline Figures Play(Player player, const std::function<gameplay::Level*()>& level,
                    const std::function<void()>& step, double bound, unsigned seed = 0)
{
    Figures figures;
    std::mt19937 generator(seed);
    // Shapes that a tap took (collected, or set on fire by a lightning power-up) and the
    // level time until which a lightning may still strike.
    std::set<const gameplay::Shape*> taken;
    double lightningUntil = -1.0;
    const int frames = static_cast<int>(bound / FrameSeconds);
    for (int frame = 1; frame <= frames; ++frame) {
        gameplay::Level* running = level();
        if (running == nullptr)
            break;
        figures.hasMana = running->settings.levelEnergy != 0;
        gameplay::Shape* target = nullptr;
        if (player == Player::Greedy && frame % 60 == 0 && running->IsInputEnabled())
            target = LargestGroup(*running);
        if (player == Player::Random && frame % 30 == 0 && running->IsInputEnabled())
            target = RandomShape(*running, generator);
        if (target != nullptr) {
            // The tap takes the group of the shape the world picks at the point, which may be
            // a neighbour whose box holds it; a refused group stays where it is.
            const vadu::math::Vector2<float> point = target->GetPosition();
            const physics::Node* picked = running->World()->Pick(point);
            auto* tapped = picked != nullptr ? static_cast<gameplay::Shape*>(picked->UserPointer) : nullptr;
            if (tapped != nullptr && tapped->IsKind(ShapeKind::Monster) && !tapped->IsDead()) {
                const std::vector<gameplay::Shape*> group = gameplay::ShapeList::Collect(*tapped);
                if (static_cast<int>(group.size()) >= running->settings.minChain) {
                    for (gameplay::Shape* member : group) {
                        taken.insert(member);
                        if (member->GetKind() == ShapeKind::Bomb)
                            lightningUntil = running->LevelTime() + 3.0;
                    }
                }
            }
            running->Tap(point);
            ++figures.taps;
        }
        // Shapes young enough to be watched, where they are, and whether a fish's mouth is at
        // them: a shape a fish eats goes along at its mouth and dies.
        struct Watched {
            vadu::math::Vector2<float> at;
            bool nearFish;
        };
        std::map<const gameplay::Shape*, Watched> before;
        for (const gameplay::Shape* shape : running->shapes) {
            if (shape->GetAge() >= gameplay::Shape::YoungAge)
                continue;
            bool nearFish = false;
            for (const auto& fish : running->GetFish()) {
                const auto mouth = fish->GetNode()->get_position();
                nearFish = nearFish || Near(shape->GetPosition(), {mouth.x + fish->GetMouth().x, mouth.y + fish->GetMouth().y},
                                            FishReach);
            }
            before[shape] = {shape->GetPosition(), nearFish};
        }
        step();
        running = level();
        if (running == nullptr)
            break;
        std::set<const gameplay::Shape*> after(running->shapes.begin(), running->shapes.end());
        for (const auto& [shape, watched] : before) {
            if (after.count(shape) != 0 || taken.count(shape) != 0 || watched.nearFish ||
                running->LevelTime() <= lightningUntil)
                continue;
            // A lightning power-up that the score brings takes a monster's place.
            bool replaced = false;
            for (const gameplay::Shape* other : running->shapes)
                replaced = replaced || (other->GetKind() == ShapeKind::Bomb && Near(other->GetPosition(), watched.at, ShapeReach));
            if (!replaced)
                ++figures.unexplainedEarlyDeaths;
        }
        for (auto it = taken.begin(); it != taken.end();)
            it = after.count(*it) != 0 ? std::next(it) : taken.erase(it);
        if (figures.hasMana)
            figures.lowestMana = std::min(figures.lowestMana, running->Mana());
        figures.scoreFell = figures.scoreFell || running->Score() < figures.score;
        figures.score = running->Score();
        figures.starsMade = running->Chain().Current().created;
        for (const gameplay::ShapeChain::Record& record : running->Chain().History())
            figures.starsMade += record.created;
        figures.seconds = running->LevelTime();
        if (running->IsEnded()) {
            figures.ended = true;
            figures.won = !running->IsLost();
            break;
        }
    }
    return figures;
}

} // namespace level_players
