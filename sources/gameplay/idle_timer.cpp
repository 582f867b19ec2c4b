#include "sources/gameplay/idle_timer.h"

#include <vector>

#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shape.h"

namespace gameplay {

namespace {

bool GroupHoldsStarred(Shape& shape)
{
    for (Shape* member : ShapeList::Collect(shape)) {
        if (member->GetKind() == ShapeKind::Starred)
            return true;
    }
    return false;
}

} // namespace

std::vector<Shape*> UpdateIdleHint(float& timer, RunningLevel& level, float dt)
{
    timer += dt;
    ShapeList& shapes = level.Shapes();
    const LevelSettings& settings = level.Settings();
    if (timer > IdleStuckTime) {
        for (Shape* shape : shapes)
            shape->UpdateGroup();
        bool movesLeft = false;
        for (Shape* shape : shapes) {
            if (shape->GetGroupSize() >= settings.minChain) {
                movesLeft = true;
                break;
            }
        }
        if (!movesLeft) {
            timer = 0.0f;
            level.StartGameOver();
            return {};
        }
    }
    std::vector<Shape*> hinted;
    if (timer > IdleHintTime && !shapes.empty()) {
        for (Shape* shape : shapes) {
            const int size = shape->GetGroupSize();
            const bool starredGroup = shape->GetKind() == ShapeKind::Monster && size >= settings.minChain && GroupHoldsStarred(*shape);
            if (starredGroup || size >= settings.starChain)
                hinted.push_back(shape);
        }
        for (Shape* shape : hinted)
            shape->HintShake(false);
        timer = 0.0f;
    }
    return hinted;
}

} // namespace gameplay
