#pragma once

// The level of an underwater background (also the zen levels): new shapes sink in at a
// quarter of the cannon's speed, and a long chain counts for its own achievement.

#include "sources/gameplay/level.h"

namespace gameplay {

class UnderwaterLevel : public Level {
public:
    static constexpr float LaunchFactor = 0.25f;

    void SpawnShapes() override;
    void CollectChain(std::vector<Shape*>& chain, Shape* tapped) override;
};

} // namespace gameplay
