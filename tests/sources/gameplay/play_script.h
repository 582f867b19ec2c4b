#pragma once

// The scripted play of the in-level screen's play-through: two small fixture levels (one
// won on stars, one lost on mana), the script's choice of what to tap, and a hash of where
// the bodies are.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "level_files.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/level.h"

namespace play_script {

using gameplay::ShapeKind;
using level_files::Shape;

// An empty field the cannons fill, in three colours, and four stars to make: starred
// monsters come only from long chains, so the level is still in play at frame 600.
inline std::string Winnable()
{
    return level_files::Fixture("", R"(<Property Name="maxShapeCount"><string>20</string></Property>
        <Property Name="starCountGoal"><string>4</string></Property>
        <Property Name="threeColors"><string>1</string></Property>)");
}

// Little mana, pairs only and no cannon fire: every tap costs, nothing pays back.
inline std::string Losing()
{
    return level_files::Fixture(
        Shape("A1", "Normal", 0, 100, 40) + Shape("A2", "Normal", 0, 165, 40) + Shape("B1", "Normal", 1, 330, 40) +
            Shape("B2", "Normal", 1, 395, 40) + Shape("C1", "Normal", 2, 560, 40) + Shape("C2", "Normal", 2, 625, 40) +
            Shape("D1", "Normal", 3, 790, 40) + Shape("D2", "Normal", 3, 855, 40),
        R"(<Property Name="maxShapeCount"><string>0</string></Property>
        <Property Name="starCountGoal"><string>5</string></Property>
        <Property Name="levelEnergy"><string>4</string></Property>)");
}

// The script's target, as a patient player chooses: the first live collectable shape, in list
// order, whose group holds a starred monster; else the one with the largest group, once that
// group makes a starred monster or the field is full. Only groups of minChain shapes or more
// count; null when the script waits.
inline gameplay::Shape* Choose(gameplay::Level& level)
{
    gameplay::Shape* best = nullptr;
    int bestSize = 0;
    for (gameplay::Shape* shape : level.shapes) {
        if (shape->IsDead() || !shape->IsKind(ShapeKind::Monster))
            continue;
        const int size = static_cast<int>(gameplay::ShapeList::Collect(*shape).size());
        if (size < level.settings.minChain)
            continue;
        if (gameplay::Monster::FindFirstStarred(*shape) != nullptr)
            return shape;
        if (size > bestSize) {
            best = shape;
            bestSize = size;
        }
    }
    const bool full = static_cast<int>(level.shapes.size()) >= level.settings.maxShapeCount;
    return bestSize >= level.settings.starChain || full ? best : nullptr;
}

// FNV-1a over the bit patterns of every shape's position, in list order.
inline uint64_t BodyHash(gameplay::Level& level)
{
    uint64_t hash = 1469598103934665603ull;
    for (gameplay::Shape* shape : level.shapes) {
        for (float value : {shape->GetPosition().x, shape->GetPosition().y}) {
            uint32_t bits = 0;
            std::memcpy(&bits, &value, sizeof bits);
            for (int i = 0; i < 4; ++i) {
                hash ^= (bits >> (8 * i)) & 0xFFu;
                hash *= 1099511628211ull;
            }
        }
    }
    return hash;
}

} // namespace play_script
