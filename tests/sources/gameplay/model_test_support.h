#pragma once

// A plain test shape for the gameplay model's tests, living in a FakeLevel's world.

#include <memory>

#include "sources/gameplay/shape.h"
#include "support/fake_gameplay.h"

namespace gameplay_test {

class TestShape : public gameplay::Shape {
public:
    TestShape(physics::World* world, const vadu::math::Vector2<float>& position,
              gameplay::ShapeKind kind = gameplay::ShapeKind::Monster)
        : Shape(world, vadu::Atom()), kind_(kind)
    {
        SetMass(0.1f);
        SetPosition(position);
    }

    gameplay::ShapeKind GetKind() const override { return kind_; }
    vadu::String GetColorName() const override { return "Red"; }
    float GetLinkInset() const override { return 10.0f; }

private:
    gameplay::ShapeKind kind_;
};

inline TestShape* AddShape(gameplay_fakes::FakeLevel& level, float x, float y,
                           gameplay::ShapeKind kind = gameplay::ShapeKind::Monster)
{
    return level.Add(std::make_unique<TestShape>(level.World(), vadu::math::Vector2<float>{x, y}, kind));
}

} // namespace gameplay_test
