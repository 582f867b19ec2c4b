#pragma once

namespace gameplay {

// What a shape is. The monster-like kinds (starred, bomb, bottle) also answer to
// `Monster` in `IsKind`: they join groups and are collected as monsters are.
enum class ShapeKind {
    Monster = 0, // a plain monster, a frozen one or one in soap bubbles
    Starred = 1,
    Stone = 2,
    Indestructible = 3,
    Rock = 4,
    Bomb = 5, // the lightning power-up
    Bottle = 6,
};

} // namespace gameplay
