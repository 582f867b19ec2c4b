#include "sources/gameplay/shape.h"

#include <cmath>

#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/link_graph.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shell_services.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "vadu/lib3d/node/sprite.h"

namespace gameplay {

namespace {

float shape_radius()
{
    return std::trunc(35.0f * ShellServices::Get().GetScale());
}

} // namespace

Shape::Shape(physics::World* world, const vadu::Atom& name) : physics::Circle(world, shape_radius(), {0.0f, 0.0f})
{
    SetName(name);
    UserPointer = this;
}

Shape::~Shape()
{
    // A shape deleted with links left would leave its neighbours pointing at freed memory.
    if (LinkGraph* graph = LinkGraph::Global())
        graph->RemoveShapeLinks(this);
    if (vadu::lib3d::node::Node* node = GetNode()) {
        // The shakes point into this shape: they end (and say so) before it goes.
        ActionManager::Global().FinishActionsOf(node);
        node_.assign(nullptr);
        SetSceneNode(nullptr, false);
        delete node;
    }
}

vadu::lib3d::node::Node* Shape::GetNode() const
{
    return static_cast<vadu::lib3d::node::Node*>(node_.get());
}

vadu::lib3d::node::Node* Shape::GetDyingClone() const
{
    return static_cast<vadu::lib3d::node::Node*>(dying_clone_.get());
}

vadu::lib3d::node::Node* Shape::FindLayer(vadu::lib3d::node::Node* root, const char* name)
{
    if (root == nullptr)
        return nullptr;
    const vadu::Atom atom(name);
    for (vadu::lib3d::node::Node* child : root->get_children()) {
        if (child->get_name() == atom)
            return child;
    }
    return root;
}

void Shape::TakeNode(vadu::lib3d::node::Node* node, float z)
{
    if (vadu::lib3d::node::Node* previous = GetNode()) {
        if (previous != node) {
            ActionManager::Global().FinishActionsOf(previous);
            delete previous;
        }
    }
    node_.assign(node);
    if (node == nullptr) {
        SetSceneNode(nullptr, false);
        return;
    }
    // In play-area pixels within its parent, as the steps place it: the field's layers
    // hold the play area's origin.
    const vadu::math::Vector2<float>& p = GetPosition();
    node->set_position({std::trunc(p.x), std::trunc(p.y), z});
    SetSceneNode(node, false);
    node->set_cached_global_matrix(node->get_global_matrix(true));
}

void Shape::MakePictureNode(vadu::lib3d::node::Node* parent, const char* picture, float z)
{
    auto* sprite = new vadu::lib3d::node::Sprite(GetName(), parent);
    sprite->set_texture(picture, false);
    TakeNode(sprite, z);
}

void Shape::HintShake(bool strong)
{
    if (hintShaking)
        return;
    hintShaking = true;
    vadu::lib3d::node::Node* node = GetNode();
    if (node == nullptr) {
        // Nothing to move: the hint is over at once.
        hintShaking = false;
        return;
    }
    shakeOffset = base_point_;
    auto* shake = new ShakeAction(node, strong ? StrongHintDuration : MildHintDuration,
                                  strong ? StrongHintMagnitude : MildHintMagnitude, &base_point_, &shakeOffset,
                                  false);
    shake->SetOnFinished([this](BaseAnimation*) { hintShaking = false; });
    ActionManager::Global().RunAction(node, shake, "shake");
}

void Shape::OnDangerChanged(bool in_danger)
{
    vadu::lib3d::node::Node* node = GetNode();
    if (!in_danger) {
        hintShaking = false;
        if (node != nullptr)
            ActionManager::Global().StopAction(node, "shake");
        return;
    }
    hintShaking = true;
    shakeOffset = base_point_;
    if (node == nullptr)
        return;
    auto* shake =
        new ShakeAction(node, DangerShakeDuration, DangerShakeMagnitude, &base_point_, &shakeOffset, false);
    shake->SetLoop(true);
    // A hint shake that runs gives way to it.
    ActionManager::Global().RunAction(node, shake, "shake");
}

vadu::lib3d::node::Node* Shape::CloneForDying()
{
    vadu::lib3d::node::Node* node = GetNode();
    if (node == nullptr)
        return nullptr;
    vadu::lib3d::node::Node* clone = node->duplicate();
    // The shape stays until the level's next update; only the copy is seen from now on.
    node->set_visible(false);
    return clone;
}

void Shape::RunDying(vadu::lib3d::node::Node* clone, BaseAnimation* action)
{
    dying_clone_.assign(clone);
    ActionManager::Global().RunAction(clone, action, "dying");
}

void Shape::PlayDying()
{
    if (GetNode() == nullptr)
        return;
    // Loaded first: a missing animation leaves no stray copy behind.
    auto dying = std::make_unique<AnimationAction>(nullptr, "monsters/dying.anim", true);
    vadu::lib3d::node::Node* clone = CloneForDying();
    dying->SetTarget(clone);
    RunDying(clone, dying.release());
}

vadu::math::Vector3 Shape::GetDisplayPosition() const
{
    vadu::lib3d::node::Node* node = GetNode();
    const float z = node != nullptr ? node->get_position().z : 0.0f;
    if (IsShaking())
        return {shakeOffset.x, shakeOffset.y, z};
    if (node != nullptr)
        return node->get_position();
    return {GetPosition().x, GetPosition().y, 0.0f};
}

void Shape::Update(float dt)
{
    base_point_ = GetPosition();
    UpdateDanger(dt);
    age_ += dt;
    young_ = age_ < YoungAge;
}

bool Shape::CanLinkTo(const Shape& other) const
{
    const LinkGraph* graph = LinkGraph::Global();
    return graph == nullptr || !graph->AreLinked(this, &other);
}

bool Shape::IsInDanger()
{
    if (young_)
        return false;
    RunningLevel* level = InstanceRegistry::Get<RunningLevel>();
    if (level == nullptr)
        return false;
    const LevelSettings& settings = level->Settings();
    const ShellServices& shell = ShellServices::Get();
    const PlayArea& area = settings.playArea;
    const float top_margin = settings.levelEnergy != 0 ? 75.0f * shell.GetScale() : 0.0f;
    const vadu::math::Vector2<float>& p = GetPosition();
    return p.y < settings.GetWaterLevel() || p.y < area.y || p.x < area.x - shell.GetWideMargin() ||
           p.x > area.x + area.width + shell.GetWideExtra() || p.y > area.y + area.height - top_margin;
}

bool Shape::RemoveLinks()
{
    if (LinkGraph* graph = LinkGraph::Global())
        graph->RemoveShapeLinks(this);
    return true;
}

} // namespace gameplay
