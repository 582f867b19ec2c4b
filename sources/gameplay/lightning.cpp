#include "sources/gameplay/lightning.h"

#include <algorithm>
#include <cmath>

#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/link_graph.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shared_animations.h"
#include "sources/gameplay/shell_services.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/lib3d/node/sprite.h"

namespace gameplay {

namespace {

using SceneNode = vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
using vadu::math::Vector2;
using vadu::math::Vector3;

const char* const BoltAtlas = "data/shapes/lightning.atlas";
const char* const BoltAnimation = "shapes/lightning.anim";
const char* const BombAtlas = "data/shapes/bomb.atlas";
const char* const BombAnimation = "shapes/bomb.anim";
constexpr float BoltDepth = 9.0f;
constexpr float BoltThickness = 0.7f;
constexpr float BoltGrowth = 0.1f;
constexpr float BoltReferenceLength = 115.0f;

const vadu::Atom& BoltName()
{
    static const vadu::Atom name("Lightning Element");
    return name;
}

// The picture's length in pixels at the current layout, taken once.
float reference_length()
{
    static const float length = BoltReferenceLength * ShellServices::Get().GetScale();
    return length;
}

Shape* shape_of(const vadu::WeakPtr& pointer)
{
    return dynamic_cast<Shape*>(pointer.get());
}

int colour_of(const Shape& shape)
{
    const auto* monster = dynamic_cast<const Monster*>(&shape);
    return monster != nullptr ? monster->GetColour() : -1;
}

} // namespace

// --- Bomb -------------------------------------------------------------------------------

Bomb::Bomb(physics::World* world, const vadu::Atom& name, int colour) : Monster(world, name, colour) {}

Bomb::Bomb(Shape& replaced) : Monster(replaced.GetWorld(), replaced.GetName(), colour_of(replaced))
{
    SetPosition(replaced.GetPosition());
    base_point_ = replaced.GetPosition();
    if (LinkGraph* graph = LinkGraph::Global())
        graph->TransferLinks(&replaced, this);
    replaced.Die();
    UpdateGroup();
}

Bomb::~Bomb()
{
    // The shake writes into this bomb; it must not outlive it.
    if (SceneNode* node = GetNode()) {
        static const vadu::Atom shake("BombShake");
        ActionManager::Global().StopAction(node, shake);
    }
}

bool Bomb::CreateSceneNode(SceneNode* root)
{
    const bool built = Monster::CreateSceneNode(root);
    SceneNode* node = GetNode();
    if (node == nullptr)
        return built;
    auto* sprite = new Sprite(vadu::Atom("Bomb"), node);
    sprite->set_atlas_texture_index(BombAtlas, 0);
    sprite->set_position({0.0f, 0.0f, -0.5f});
    sprite->set_filter_texture(true);

    auto* animation = new AnimationAction(sprite, BombAnimation);
    animation->SetLoop(true);
    ActionManager::Global().RunAction(sprite, animation, vadu::Atom("Bomb Animation"));

    shake_position_ = base_point_;
    auto* shake = new ShakeAction(node, 1.0f, 5.0f, &base_point_, &shake_position_, false);
    shake->SetLoop(true);
    ActionManager::Global().RunAction(node, shake, vadu::Atom("BombShake"));
    return built;
}

void Bomb::CollectBlast(ShapeChain& chain, std::set<Shape*>& strike)
{
    const std::vector<Shape*> group = ShapeList::Collect(*this);
    exploded_ = true;
    chain.Current().bombs += 1;
    const LinkGraph* graph = LinkGraph::Global();
    if (graph == nullptr)
        return;
    std::vector<Shape*> fresh;
    for (Shape* member : group) {
        const std::vector<Shape*>* neighbours = graph->Neighbours(member);
        if (neighbours == nullptr)
            continue;
        for (Shape* neighbour : *neighbours) {
            if (strike.count(neighbour) != 0)
                continue;
            const ShapeKind kind = neighbour->GetKind();
            if (kind == ShapeKind::Monster) {
                for (Shape* joined : ShapeList::Collect(*neighbour)) {
                    if (strike.insert(joined).second)
                        fresh.push_back(joined);
                }
            } else if (!neighbour->IsDead() && kind != ShapeKind::Stone && kind != ShapeKind::Indestructible) {
                strike.insert(neighbour);
            }
        }
    }
    for (Shape* shape : fresh) {
        auto* bomb = dynamic_cast<Bomb*>(shape);
        if (bomb != nullptr && !bomb->IsExploded())
            bomb->CollectBlast(chain, strike);
    }
}

void StartLightning(RunningLevel& level, ShapeChain& chain, Bomb& bomb)
{
    std::set<Shape*> strike;
    bomb.CollectBlast(chain, strike);
    SceneNode* root = bomb.GetRootNode() != nullptr ? bomb.GetRootNode() : level.SceneRoot();
    auto* action = new LightningChainAction(root, chain, bomb, strike);
    // Kept under the scene it draws in, so whoever clears that scene's actions ends it too.
    const void* target = root != nullptr ? static_cast<const void*>(root) : action;
    ActionManager::Global().RunAction(target, action, vadu::Atom("Lightning"));
}

// --- Chain ------------------------------------------------------------------------------

LightningChainAction::LightningChainAction(SceneNode* sceneRoot, ShapeChain& chain, Bomb& bomb, std::set<Shape*>& strike)
    : chain_(chain)
{
    scene_root_.assign(sceneRoot);
    if (RunningLevel* level = InstanceRegistry::Get<RunningLevel>())
        level->SetInputEnabled(false);
    Propagate(bomb, strike);
    Add(new DelayAction(FinalPause));
}

void LightningChainAction::Propagate(Shape& from, std::set<Shape*>& strike)
{
    const LinkGraph* graph = LinkGraph::Global();
    const std::vector<Shape*>* neighbours = graph != nullptr ? graph->Neighbours(&from) : nullptr;
    if (neighbours == nullptr)
        return;
    std::vector<Shape*> targets;
    for (Shape* neighbour : *neighbours) {
        if (strike.erase(neighbour) != 0)
            targets.push_back(neighbour);
    }
    if (targets.empty())
        return;
    auto* node = static_cast<SceneNode*>(scene_root_.get());
    Add(new LightningStepAction(&from, targets, node, *this, chain_));
    ++steps_;
    for (Shape* target : targets)
        Propagate(*target, strike);
}

void LightningChainAction::Update(float dt)
{
    if (pending_ > 0)
        SequenceAction::Update(dt);
}

bool LightningChainAction::IsFinished() const
{
    return pending_ <= 0;
}

void LightningChainAction::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    chain_.Append();
    if (RunningLevel* level = InstanceRegistry::Get<RunningLevel>())
        level->SetInputEnabled(!level->IsEnded());
    BaseAnimation::Finish();
}

// --- Step -------------------------------------------------------------------------------

LightningStepAction::LightningStepAction(Shape* source, const std::vector<Shape*>& targets, SceneNode* sceneRoot,
                                         LightningChainAction& chainAction, ShapeChain& chain)
    : BaseAnimation(Duration), chain_action_(chainAction), chain_(chain)
{
    source_.assign(source);
    if (source != nullptr)
        source_position_ = source->GetPosition();
    for (Shape* target : targets) {
        Target entry;
        entry.shape.assign(target);
        entry.position = target->GetPosition();
        targets_.push_back(entry);
    }
    scene_root_.assign(sceneRoot);
    chainAction.AddPending(static_cast<int>(targets_.size()));
}

void LightningStepAction::Start()
{
    // The bolts run between shapes in play-area pixels: they go where the shapes are.
    SceneNode* layer = Shape::FindLayer(static_cast<SceneNode*>(scene_root_.get()), "CharactersLayer");
    for (const Target& target : targets_) {
        auto* bolt = new Sprite(BoltName(), layer);
        bolt->set_atlas_texture_index(BoltAtlas, 0);
        auto* element = new LightningElement(bolt, shape_of(source_), source_position_, shape_of(target.shape),
                                             target.position, &chain_action_, chain_);
        ActionManager::Global().RunAction(bolt, element, BoltName());
    }
}

// --- Bolt -------------------------------------------------------------------------------

LightningElement::LightningElement(SceneNode* bolt, Shape* source, const Vector2<float>& sourcePosition, Shape* target,
                                   const Vector2<float>& targetPosition, LightningChainAction* chainAction,
                                   ShapeChain& chain)
    : NodeAction(bolt, 0.0f, true), target_position_(targetPosition), source_position_(sourcePosition), chain_(chain)
{
    target_.assign(target);
    source_.assign(source);
    chain_action_.assign(chainAction);
    if (source != nullptr)
        source_position_ = source->GetPosition();
    if (target != nullptr)
        target_position_ = target->GetPosition();
    const float dx = target_position_.x - source_position_.x;
    const float dy = target_position_.y - source_position_.y;
    length_factor_ = std::sqrt(dx * dx + dy * dy) / reference_length();

    animation_ = SharedAnimations::Instance().Load(BoltAnimation);
    if (bolt != nullptr)
        animation_->bind(bolt, true);
    const double length = animation_->get_length() / animation_->get_speed();
    // A bolt that cannot be timed (no length or speed) strikes at its first update rather
    // than never, which would leave the level's input off for good.
    duration_ = std::isfinite(length) && length > 0.0 ? static_cast<float>(length) : 0.0f;
    Apply(0.0f);
}

LightningElement::~LightningElement()
{
    // A bolt stopped before its strike still counts as done, or its chain would hold the
    // level's input for good.
    if (!struck_) {
        if (auto* chain = dynamic_cast<LightningChainAction*>(chain_action_.get()))
            chain->Struck();
    }
}

Shape* LightningElement::GetTargetShape() const
{
    return shape_of(target_);
}

void LightningElement::Update(float dt)
{
    if (GetNode() == nullptr) {
        // The bolt went with its scene: the strike still has to happen.
        if (!struck_)
            Strike();
        return;
    }
    NodeAction::Update(dt);
}

void LightningElement::Apply(float p)
{
    const float delta = (p - last_progress_) * duration_;
    last_progress_ = p;
    if (delta != 0.0f)
        animation_->advance(delta);

    if (auto* bolt = dynamic_cast<Sprite*>(GetNode())) {
        const float growth = std::min(p / BoltGrowth, 1.0f);
        if (bolt->get_anchor().x != 0.0f || bolt->get_anchor().y != 0.5f)
            bolt->set_anchor(0.0f, 0.5f);
        if (Shape* source = shape_of(source_))
            source_position_ = source->GetPosition();
        if (Shape* target = shape_of(target_))
            target_position_ = target->GetPosition();

        const Vector3 position{source_position_.x, source_position_.y, BoltDepth};
        if (!(bolt->get_position() == position))
            bolt->set_position(position);

        // The bolt leaves the source toward the target: the picture runs along +x from its
        // anchor, so it turns by the angle of (target - source).
        float angle = 0.0f;
        const float dx = target_position_.x - source_position_.x;
        const float dy = target_position_.y - source_position_.y;
        const float distance = std::sqrt(dx * dx + dy * dy);
        if (distance > 0.0f) {
            angle = std::acos(std::clamp(dx / distance, -1.0f, 1.0f));
            if (!(dy / distance > 0.0f))
                angle = -angle;
        }
        const Vector3 rotation{0.0f, 0.0f, angle};
        if (!(bolt->get_rotation() == rotation))
            bolt->set_rotation(rotation);

        const Vector3 scale{length_factor_ * growth, BoltThickness, 1.0f};
        if (!(bolt->get_scale() == scale))
            bolt->set_scale(scale);
    }

    if (!struck_ && p > StrikePoint)
        Strike();
}

void LightningElement::Strike()
{
    struck_ = true;
    Shape* target = shape_of(target_);
    // A shape already dead is gone from the level's point of view: the level deletes it in
    // its next update, and collecting it again would count it twice.
    if (target != nullptr && !target->IsDead()) {
        if (target->GetKind() == ShapeKind::Monster) {
            if (RunningLevel* level = InstanceRegistry::Get<RunningLevel>()) {
                std::vector<Shape*> group = ShapeList::Collect(*target);
                level->CollectChain(group, nullptr);
            }
        } else {
            target->Die();
        }
    }
    if (auto* chain = dynamic_cast<LightningChainAction*>(chain_action_.get()))
        chain->Struck();
}

} // namespace gameplay
