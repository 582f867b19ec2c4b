#include "sources/gameplay/water_decoration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/shell_services.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"

namespace gameplay {

namespace {

using SceneNode = vadu::lib3d::node::Node;

const vadu::Atom& RootName()
{
    static const vadu::Atom name("WaterNode");
    return name;
}

constexpr float RiseTime = 2.0f;
constexpr float PlaceTolerance = 0.4f;

} // namespace

WaterDecoration::~WaterDecoration()
{
    level_.Release();
}

void WaterDecoration::Load(const BackgroundDescription& background, SceneNode* parent)
{
    level_.Release();
    level_.AddRef(background.waterLevel.get());
    if (level_.get() == nullptr)
        level_.AddRef(new float(0.0f));
    base_level_ = *level_;
    raise_ = 0.0f;
    timer_ = 0.0f;
    root_ = vadu::lib3d::node::create_from_resource(RootName(), parent,
                                                     vadu::filesystem::String("/data/decorations/water.scene", true));
    waves_.clear();
    for (int i = 1; i <= 4; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Water%d", i);
        if (SceneNode* wave = root_->find_child(vadu::Atom(name), true))
            waves_.push_back(wave);
    }
    bubbles_ = root_->find_child(vadu::Atom("Bubbles"), true);
    PlaceWater();
}

void WaterDecoration::LoadUnderwater(SceneNode* parent)
{
    level_.Release();
    waves_.clear();
    bubbles_ = nullptr;
    base_level_ = raise_ = up_time_ = down_time_ = transition_time_ = timer_ = 0.0f;
    root_ = vadu::lib3d::node::create_from_resource(
        RootName(), parent, vadu::filesystem::String("/data/decorations/underwater.scene", true));
}

float WaterDecoration::GetLevel() const
{
    return level_.get() != nullptr ? *level_ : 0.0f;
}

void WaterDecoration::SetLevel(float level)
{
    if (level_.get() != nullptr)
        *level_ = level;
}

void WaterDecoration::SetTimings(float raise, float upTime, float downTime, float transitionTime)
{
    raise_ = raise;
    up_time_ = upTime;
    down_time_ = downTime;
    transition_time_ = transitionTime;
}

void WaterDecoration::PlaceWater()
{
    if (root_ == nullptr)
        return;
    const float s = ShellServices::Get().GetScale();
    const float level = GetLevel();
    root_->set_position({0.0f, std::trunc(level) + 0.5f, 0.0f});
    if (bubbles_ == nullptr)
        return;
    if (level >= BubblesMinimumLevel * s) {
        bubbles_->set_position({0.0f, -std::max(std::trunc(72.0f * s), level), 1.5f});
    } else if (bubbles_->is_visible()) {
        bubbles_->set_visible(false);
        bubbles_->mark_transform_changed();
    }
}

void WaterDecoration::Update(float dt)
{
    const float s = ShellServices::Get().GetScale();
    if (raise_ > 1.0f && level_.get() != nullptr) {
        timer_ += dt;
        float level = GetLevel();
        if (transition_time_ <= 1.0f) {
            const float t = timer_;
            const float d = down_time_;
            const float u = up_time_;
            const float period = d + u + 2.0f * RiseTime;
            if (t < d)
                level = base_level_;
            else if (t < d + RiseTime)
                level = base_level_ + raise_ * (t - d) * 0.5f;
            else if (t < d + RiseTime + u)
                level = base_level_ + raise_;
            else if (t < period)
                level = base_level_ + raise_ * (1.0f - (t - d - RiseTime - u) * 0.5f);
            else
                timer_ -= period;
        } else {
            level = std::min(base_level_ + raise_ * timer_ / transition_time_, SteadyRiseCeiling * s);
        }
        SetLevel(level);
        if (root_ != nullptr && std::fabs(level - root_->get_position().y) > PlaceTolerance)
            PlaceWater();
    }

    for (size_t i = 0; i < waves_.size(); ++i) {
        SceneNode* wave = waves_[i];
        const float speed = std::trunc((static_cast<float>(i) * 22.0f + 30.0f) * s);
        vadu::math::Vector3 position = wave->get_position();
        position.x -= speed * dt;
        // A strip is tiled from its picture, so it repeats every picture width on screen.
        float width = 0.0f;
        if (auto* sprite = dynamic_cast<vadu::lib3d::node::Sprite*>(wave)) {
            vadu::lib3d::material::TextureHandle* texture = sprite->get_texture();
            const int32_t picture = texture != nullptr && texture->is_ready() ? texture->get_width() : sprite->get_width();
            width = std::trunc(static_cast<float>(picture) * wave->get_scale().x);
        }
        if (width > 0.0f && position.x < -width)
            position.x += width;
        wave->set_position(position);
    }
}

} // namespace gameplay
