#include "sources/gameplay/monsters_bar.h"

#include <cmath>

#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/gameplay/shell_services.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/emitter.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/log.h"

namespace gameplay {

using vadu::Atom;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
using vadu::math::Matrix4;
using vadu::math::Vector3;

namespace {

// Writes only a real change, so an unmoved slot keeps its cached matrices.
bool Differs(const Vector3& a, const Vector3& b)
{
    constexpr float epsilon = 1.1920929e-7f;
    return std::fabs(a.x - b.x) >= epsilon || std::fabs(a.y - b.y) >= epsilon || std::fabs(a.z - b.z) >= epsilon;
}

} // namespace

MonstersBar::MonstersBar(Node* hudRoot, const LevelSettings* settings)
{
    bar_ = FindSprite(hudRoot, Atom("MonstersBar"));
    const int goal = settings ? settings->starCountGoal : 0;
    if (goal <= 0) {
        if (bar_ && bar_->is_visible())
            bar_->set_visible(false);
        enabled_ = false;
        return;
    }
    Sprite* placeholder = FindSprite(hudRoot, Atom("Placeholder"));
    if (!placeholder) {
        vadu::logs::log() << "MonstersBar: the HUD scene has no sprite \"Placeholder\"; no monster is counted\n";
        enabled_ = false;
        return;
    }
    enabled_ = true;
    placeholder->set_filter_texture(true);
    base_x_ = placeholder->get_position().x;
    base_y_ = placeholder->get_position().y;
    slots_.push_back(placeholder);
    for (int i = 1; i < goal; ++i)
        slots_.push_back(AsSprite(placeholder->duplicate()));
    LayOut();
    LoadTrail();
}

MonstersBar::~MonstersBar() = default;

void MonstersBar::LayOut()
{
    const size_t n = slots_.size();
    const float scale = ShellServices::Get().GetScale();
    const float depth = slots_.front()->get_position().z;
    for (size_t i = 0; i < n; ++i) {
        // A single slot sits where a row of them would start.
        const float t = n > 1 ? static_cast<float>(i) / static_cast<float>(n - 1) : 0.0f;
        const float d = i % 2 == 0 ? 15.0f : -10.0f;
        const auto point = curve_.PointAt(t);
        const auto normal = curve_.NormalAt(t);
        const Vector3 position{(point.x - d * normal.x) * scale + base_x_, -(point.y - d * normal.y) * scale + base_y_,
                               depth};
        Sprite* slot = slots_[i];
        if (Differs(position, slot->get_position()))
            slot->set_position(position);
        const Vector3 rotation{0.0f, 0.0f, static_cast<float>(i)};
        if (Differs(rotation, slot->get_rotation()))
            slot->set_rotation(rotation);
    }
}

void MonstersBar::LoadTrail()
{
    trail_.reset();
    try {
        trail_.reset(vadu::lib3d::node::create_from_resource(Atom("MonsterTrail"), nullptr,
                                                             vadu::filesystem::String(TrailScene, true)));
    } catch (const vadu::Gluck& error) {
        vadu::logs::log() << "MonstersBar: no trail for the flying monsters: " << error.get_description() << "\n";
        return;
    }
    if (auto* emitter = AsEmitter(trail_->find_child(Atom("Monster Trail"), false)))
        emitter->pause();
    else
        vadu::logs::log() << "MonstersBar: " << TrailScene << " has no emitter \"Monster Trail\" under its root\n";
}

void MonstersBar::ReduceMonster(StarredMonster& monster)
{
    ReduceMonster(monster.GetSceneNode(), monster.GetColour(), monster.GetAnimation());
}

void MonstersBar::ReduceMonster(Node* monsterNode, int colour, const vadu::animate::PrimitiveAnimation* animation)
{
    // Past the goal there is no slot left: the level ends at its goal anyway.
    if (!enabled_ || collected_ >= static_cast<int>(slots_.size()) || !monsterNode)
        return;
    Sprite* slot = slots_[static_cast<size_t>(collected_)];

    const Vector3 from = monsterNode->get_global_position();
    Node* flying = monsterNode->clone();
    slot->add_child(flying, true);
    flying->mark_transform_changed();
    flying->set_global_position(Vector3{from.x, from.y, slot->get_global_z() - 0.1f});

    if (trail_) {
        Node* trail = trail_->clone();
        flying->add_child(trail, true);
        const Vector3 at = flying->get_global_position();
        // Behind the monster: its sparks show where it has been, not over its face.
        trail->set_global_position(Vector3{at.x, at.y, at.z + 1.0f});
    }

    // A slot near the screen's edge would let the monster hang out of it: stop short.
    Vector3 destination{0.0f, 0.0f, -0.1f};
    const Vector3 slotAt = slot->get_global_position();
    const auto screen = ShellServices::Get().GetScreenSize();
    float width = 0.0f;
    float height = 0.0f;
    if (Sprite* sprite = AsSprite(flying)) {
        width = static_cast<float>(sprite->get_width());
        height = static_cast<float>(sprite->get_height());
    }
    const float overX = width * 0.4f + slotAt.x - screen.x;
    if (overX > 0.0f)
        destination.x = -overX;
    const float overY = height * 0.4f + slotAt.y - screen.y;
    if (overY > 0.0f)
        destination.y = -overY;
    destination = Matrix4::transform_point(destination, Matrix4::rotation(0.0f, 0.0f, slot->get_rotation().z));

    auto* move = new MoveAction(flying, 1.0f, flying->get_position(), destination);
    move->SetEasing(std::make_unique<EaseQuartInOut>());
    auto* arrive = new GroupAction(flying, move, new AnimationAction(flying, "monsters/monster_reduce.anim"));
    auto* flight = new SequenceAction(arrive, new AnimationAction(flying, "monsters/monster_highlight.anim"));
    ActionManager::Global().RunAction(flying, flight, Atom("move"));

    const vadu::animate::PrimitiveAnimation* own = animation != nullptr ? animation : monsterNode->get_animation();
    if (own != nullptr) {
        auto* play = new AnimationAction(*own);
        play->SetTarget(flying);
        play->SetLoop(true);
        ActionManager::Global().RunAction(flying, play, Atom("atlasAnimation"));
    }

    ++collected_;
    colours_.push_back(colour);
}

} // namespace gameplay
