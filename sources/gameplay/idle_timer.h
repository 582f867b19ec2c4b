#pragma once

// While the player does nothing the level checks whether any move is left (after 3.5 s) and,
// after a longer pause (5.0 s), shakes the groups worth taking.

#include <vector>

namespace gameplay {

class RunningLevel;
class Shape;

constexpr float IdleStuckTime = 3.5f;
constexpr float IdleHintTime = 5.0f;

// Once per frame with the level's idle timer; returns the shapes it gave the hint shake.
std::vector<Shape*> UpdateIdleHint(float& timer, RunningLevel& level, float dt);

} // namespace gameplay
