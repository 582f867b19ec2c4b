#pragma once

// Makes the shape a level item names: the asset name's fourth part ("/", "-" or "\"
// separated) is the kind word, the fifth a number, and a sixth, when there are exactly
// six parts, an obstacle word that decides first.

#include <memory>

#include "sources/gameplay/shape.h"

namespace physics {
class World;
}

namespace gameplay {

class ShapeFactory {
public:
    // Null for a word it does not know or an asset name of fewer than five parts.
    static std::unique_ptr<Shape> Create(physics::World* world, const ShapeItem& item);
};

} // namespace gameplay
