#include "sources/gameplay/fish.h"

#include <cmath>

#include "platform/random.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shared_animations.h"
#include "sources/gameplay/shell_services.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/lib3d/node/sprite.h"

namespace gameplay {

namespace {

const char* const FishAtlas = "data/shapes/fish.atlas";
const char* const FishAnimation = "shapes/fish.anim";
constexpr float FishDepth = 20.0f;
constexpr float MouthForward = 33.0f;
constexpr float MouthDown = -27.0f;

// A fresh draw scaled to [0, range].
float draw(float range)
{
    return static_cast<float>(platform::random()) / static_cast<float>(platform::random_max) * range;
}

float draw_between(float low, float high)
{
    return low + draw(1.0f) * (high - low);
}

float draw_sign()
{
    return platform::random() % 2 == 0 ? 1.0f : -1.0f;
}

} // namespace

Fish::Fish(RunningLevel& level, vadu::lib3d::node::Node* parent, int kind) : level_(level), kind_(kind)
{
    const ShellServices& shell = ShellServices::Get();
    const float s = shell.GetScale();
    const float width = shell.GetFieldSize().x;
    const float margin = shell.GetWideMargin();
    const float extra = shell.GetWideExtra();

    node_ = new vadu::lib3d::node::Sprite(vadu::Atom("Fish"), parent);
    node_->set_atlas_texture_index(FishAtlas, 0);
    node_->set_filter_texture(true);

    const float y = (draw(300.0f) + 150.0f) * s;
    float x = 0.0f;
    if (kind_ == Arc) {
        const float sign = draw_sign();
        speed_ = (draw(50.0f) + 150.0f) * sign * s;
        arc_x_ = draw_between(-100.0f * s, 100.0f * s);
        arc_y_ = draw_between(-200.0f * s, 20.0f * s);
        x = speed_ <= 0.0f ? s * 1160.0f : s * -200.0f;
    } else {
        const float sign = draw_sign();
        speed_ = (draw(20.0f) + 80.0f) * sign * s;
        x = speed_ <= 0.0f ? s * (width - extra - margin + 1060.0f) : s * (-100.0f - margin);
    }
    node_->set_position({x, y, FishDepth});
    // The picture faces left; swimming right shows it mirrored.
    if (speed_ > 0.0f)
        node_->set_scale({-1.0f, 1.0f, 1.0f});

    animation_ = SharedAnimations::Instance().Load(FishAnimation);
    animation_->bind(node_, true);
}

Fish::~Fish()
{
    // The animation holds targets inside the node: it goes first.
    animation_.reset();
    delete node_;
}

void Fish::Update(float dt)
{
    animation_->advance_looped(dt);
    const float s = ShellServices::Get().GetScale();
    const float a = speed_ > 0.0f ? MouthForward * s : -MouthForward * s;
    const float b = MouthDown * s;

    vadu::math::Vector3 position = node_->get_position();
    float angle = 0.0f;
    if (kind_ == Arc) {
        const float u = position.x / s + dt * speed_;
        const float v = u + arc_x_;
        position = {s * u, s * (2.0f * v - 0.002f * v * v + arc_y_), position.z};
        // The slope of the arc.
        angle = std::atan(2.0f - 0.004f * v);
        mouth_ = {a * std::cos(angle) - b * std::sin(angle), a * std::sin(angle) + b * std::cos(angle)};
    } else {
        position.x += dt * speed_;
        mouth_ = {a, b};
    }
    node_->set_position(position);
    node_->set_rotation({0.0f, 0.0f, angle});

    if (!level_.IsEnded())
        Eat();
}

void Fish::Eat()
{
    ShellServices& shell = ShellServices::Get();
    const float s = shell.GetScale();
    const vadu::math::Vector3& position = node_->get_position();
    const float mouth_x = position.x + mouth_.x;
    const float mouth_y = position.y + mouth_.y;
    // A copy: a shape that dies may change what the level keeps.
    const std::vector<Shape*> shapes(level_.Shapes().begin(), level_.Shapes().end());
    for (Shape* shape : shapes) {
        auto* monster = dynamic_cast<Monster*>(shape);
        if (monster != nullptr && monster->IsFrozen())
            continue;
        // Dead shapes wait for the level to delete them; eating one would count it twice.
        if (shape->IsDead())
            continue;
        const float dx = shape->GetPosition().x - mouth_x;
        const float dy = shape->GetPosition().y - mouth_y;
        const float d = std::sqrt(dx * dx + dy * dy);
        if (d < EatDistance * s) {
            shell.FishReached(*shape);
            if (monster != nullptr) {
                // The dying picture rides in the mouth.
                monster->mergeTarget.reset(node_);
                monster->mergeOffset = {mouth_.x, mouth_.y, -1.5f};
            }
            shape->Die();
        } else if (d < NearDistance) {
            shell.FishNear(*shape);
        }
    }
}

bool Fish::IsOffScreen() const
{
    const ShellServices& shell = ShellServices::Get();
    const float s = shell.GetScale();
    const float x = node_->get_position().x;
    if (speed_ <= 0.0f)
        return x < -100.0f * s - shell.GetWideMargin();
    return x > (shell.GetFieldSize().x - shell.GetWideExtra() - shell.GetWideMargin()) + 1060.0f * s;
}

} // namespace gameplay
