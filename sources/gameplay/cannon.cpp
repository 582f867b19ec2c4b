#include "sources/gameplay/cannon.h"

#include <cmath>

#include <box2d/b2_body.h>

#include "physics/world.h"
#include "platform/random.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/shell_services.h"

namespace gameplay {

namespace {

float Draw()
{
    return static_cast<float>(platform::random()) / static_cast<float>(platform::random_max);
}

constexpr int BonusColour = 4;

} // namespace

Cannon::Cannon(const CannonItem& item, physics::World* world, const LevelSettings* settings)
    : item_(item), world_(world), settings_(settings)
{
}

vadu::math::Vector2<float> Cannon::RandomPoint(const PlayArea& rectangle)
{
    const float r1 = Draw();
    const float r2 = Draw();
    return {rectangle.x + rectangle.width * r2, rectangle.y + rectangle.height * r1};
}

Cannon::Kind Cannon::ChooseKind(const LevelSettings& settings, float roll)
{
    if (roll < settings.probabilitySoapBubblePowerup)
        return Kind::SoapBubble;
    if (roll < settings.probabilitySoapBubblePowerup + settings.probabilityRock)
        return Kind::Rock;
    return Kind::Monster;
}

vadu::math::Vector2<float> Cannon::LaunchVelocity(const vadu::math::Vector2<float>& from,
                                                  const vadu::math::Vector2<float>& to, float speed)
{
    const float dx = to.x - from.x;
    const float dy = to.y - from.y;
    const float length = std::sqrt(dx * dx + dy * dy);
    // Coinciding points have no direction; the shape then just drops.
    if (!(length > 0.0f) || !std::isfinite(length))
        return {0.0f, 0.0f};
    return {speed * dx / length, speed * dy / length};
}

std::unique_ptr<Shape> Cannon::Fire(vadu::lib3d::node::Node* sceneRoot)
{
    const vadu::math::Vector2<float> start = RandomPoint(item_.rectangle);
    const vadu::math::Vector2<float> target = RandomPoint(item_.destination);
    const float roll = Draw();
    int colour = settings_->threeColors ? platform::random() % 3 : platform::random() % 4;
    if (Draw() < settings_->probabilityBonusColor)
        colour = BonusColour;

    std::unique_ptr<Shape> shape;
    switch (ChooseKind(*settings_, roll)) {
    case Kind::SoapBubble:
        shape = std::make_unique<SoapBubble>(world_, vadu::Atom(), colour, 1.0f);
        break;
    case Kind::Rock:
        shape = std::make_unique<Rock>(world_, vadu::Atom());
        break;
    case Kind::Monster:
        shape = std::make_unique<Monster>(world_, vadu::Atom(), colour);
        break;
    }
    shape->SetPosition(start);
    if (sceneRoot != nullptr)
        shape->SetRootNode(sceneRoot);

    const float speed = LaunchSpeed * ShellServices::Get().GetScale();
    const vadu::math::Vector2<float> velocity = LaunchVelocity(start, target, speed);
    if (b2Body* body = shape->GetBody()) {
        const float metre = world_->GetPixelsInMeter();
        body->SetLinearVelocity(b2Vec2(velocity.x / metre, velocity.y / metre));
    }
    return shape;
}

CannonSet::CannonSet(const LevelSettings* settings, std::vector<std::unique_ptr<Cannon>> cannons)
    : settings_(settings), cannons_(std::move(cannons))
{
    for (const auto& cannon : cannons_)
        total_weight_ += cannon->Item().weight;
}

size_t CannonSet::Choose(float r) const
{
    float sum = 0.0f;
    for (size_t i = 0; i < cannons_.size(); ++i) {
        sum += cannons_[i]->Item().weight;
        if (sum >= r)
            return i;
    }
    return cannons_.empty() ? 0 : cannons_.size() - 1;
}

void CannonSet::Cool(float dt)
{
    cooldown_ -= dt;
    if (cooldown_ < 0.0f)
        cooldown_ = 0.0f;
}

std::unique_ptr<Shape> CannonSet::Fire(vadu::lib3d::node::Node* sceneRoot)
{
    if (cooldown_ > 0.0f || cannons_.empty())
        return nullptr;
    const float r = total_weight_ * Draw();
    const size_t chosen = Choose(r);
    cooldown_ = Cooldown;
    if (stepCounter == 0 && settings_->levelEnergy != 0 && settings_->starCountGoal != 0)
        stepCounter = platform::random() % 7 + 12;
    return cannons_[chosen]->Fire(sceneRoot);
}

} // namespace gameplay
