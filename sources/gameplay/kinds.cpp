#include "sources/gameplay/kinds.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_set>

#include <box2d/b2_body.h>

#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/link_graph.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shell_services.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/shared_animations.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/lib3d/node/sprite.h"

namespace gameplay {

namespace {

constexpr float DynamicMass = 0.1f;
constexpr float ShapeDepth = 10.0f;
constexpr float StarredDepth = 9.5f;
constexpr float BubbleDepth = 9.5f;

const char* const colour_words[] = {"red", "yellow", "blue", "purple", "orange"};

using SceneNode = vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;

RunningLevel* running_level()
{
    return InstanceRegistry::Get<RunningLevel>();
}

// The same-colour collectable group of a monster, the monster first, in fill order: depth
// first, each link followed to its end before the next link of the monster that reached it
// (the order a tap collects, animates and counts the group in). The path is kept by hand, as
// a group may be long.
std::vector<Monster*> flood_fill(Monster& start)
{
    std::vector<Monster*> group{&start};
    const LinkGraph* graph = LinkGraph::Global();
    if (graph == nullptr)
        return group;
    std::unordered_set<const Shape*> seen{&start};
    // Each monster on the way down, with the index of its next link to follow.
    std::vector<std::pair<Monster*, size_t>> path{{&start, 0}};
    while (!path.empty()) {
        const std::vector<Shape*>* neighbours = graph->Neighbours(path.back().first);
        const size_t link = path.back().second++;
        if (neighbours == nullptr || link >= neighbours->size()) {
            path.pop_back();
            continue;
        }
        auto* monster = dynamic_cast<Monster*>((*neighbours)[link]);
        if (monster == nullptr || !monster->IsKind(ShapeKind::Monster) || monster->GetColour() != start.GetColour())
            continue;
        if (seen.insert(monster).second) {
            group.push_back(monster);
            path.emplace_back(monster, 0);
        }
    }
    return group;
}

} // namespace

Monster::Monster(physics::World* world, const vadu::Atom& name, int colour) : Shape(world, name), colour_(colour)
{
    SetMass(DynamicMass);
}

Monster::~Monster()
{
    DeleteOverlays();
    animation_.reset();
}

bool Monster::CreateSceneNode(SceneNode*)
{
    return LoadCharacter(false);
}

bool Monster::LoadCharacter(bool starStyle)
{
    // Without a colour there is nothing to draw, and no empty sprite is left behind.
    if (colour_ < 0 || colour_ > 4)
        return false;
    SceneNode* root = GetRootNode();
    if (root == nullptr)
        return false;
    const vadu::String colour = colour_words[colour_];
    vadu::String atlas;
    vadu::String animation;
    SceneNode* parent = root;
    if (starStyle) {
        atlas = vadu::String("data/monsters/monster_") + colour + ".atlas";
        animation = "monsters/monster.anim";
    } else {
        atlas = colour_ == 4 ? vadu::String("data/monsters/normal_orange.atlas")
                             : vadu::String("data/monsters/normal_bpry.atlas");
        animation = vadu::String("monsters/normal_") + colour + ".anim";
        if (colour_ != 4)
            parent = FindLayer(root, "CharactersLayer");
    }
    // Loaded before anything is built: a missing file leaves the shape as it was.
    std::unique_ptr<vadu::animate::PrimitiveAnimation> loaded = SharedAnimations::Instance().Load(animation);
    auto* sprite = new Sprite(GetName(), parent);
    sprite->set_atlas_texture(atlas, starStyle ? vadu::Atom("star0") : vadu::Atom(colour + "0"));
    animation_.reset();
    TakeNode(sprite, starStyle ? StarredDepth : ShapeDepth);
    animation_ = std::move(loaded);
    animation_->bind(sprite, false);
    SetHighlighted(false);
    SetMass(DynamicMass);
    return true;
}

void Monster::Update(float dt)
{
    if (animation_)
        animation_->advance_looped(dt);
    Shape::Update(dt);
    KeepOverlaysOnCharacter();
}

void Monster::KeepOverlaysOnCharacter()
{
    SceneNode* character = GetNode();
    if (character == nullptr || overlays_.empty())
        return;
    // The overlays' layers need not share the characters' origin: they follow by the
    // global point, keeping their own depth.
    const vadu::math::Vector3 at = character->get_global_position();
    for (SceneNode* overlay : GetOverlays()) {
        const vadu::math::Vector3 own = overlay->get_global_position();
        if (own.x != at.x || own.y != at.y)
            overlay->set_global_position({at.x, at.y, own.z});
    }
}

std::vector<vadu::lib3d::node::Node*> Monster::GetOverlays() const
{
    std::vector<SceneNode*> live;
    for (const vadu::WeakPtr& overlay : overlays_) {
        if (overlay.get() != nullptr)
            live.push_back(static_cast<SceneNode*>(overlay.get()));
    }
    return live;
}

void Monster::AddOverlays(const char* layer, const char* picture, int count, float first_z)
{
    SceneNode* character = GetNode();
    SceneNode* parent = FindLayer(GetRootNode(), layer);
    if (character == nullptr || parent == nullptr)
        return;
    const vadu::math::Vector3 at = character->get_global_position();
    overlays_.reserve(overlays_.size() + static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto* sprite = new Sprite(GetName(), parent);
        sprite->set_texture(picture, false);
        sprite->set_global_position({at.x, at.y, 0.0f});
        vadu::math::Vector3 local = sprite->get_position();
        local.z = first_z + static_cast<float>(i) * 0.05f;
        sprite->set_position(local);
        const float scale = 1.0f - static_cast<float>(i) * 0.1f;
        sprite->set_scale({scale, scale, 1.0f});
        overlays_.emplace_back();
        overlays_.back().assign(sprite);
    }
}

void Monster::DeleteFirstOverlay()
{
    for (vadu::WeakPtr& overlay : overlays_) {
        if (SceneNode* node = static_cast<SceneNode*>(overlay.get())) {
            overlay.assign(nullptr);
            delete node;
            return;
        }
    }
}

void Monster::DeleteOverlays()
{
    for (vadu::WeakPtr& overlay : overlays_) {
        SceneNode* node = static_cast<SceneNode*>(overlay.get());
        overlay.assign(nullptr);
        delete node;
    }
    overlays_.clear();
}

vadu::String Monster::GetColorName() const
{
    static const char* const names[] = {"Red", "Yellow", "Blue", "Purple", "Orange"};
    return colour_ >= 0 && colour_ < 5 ? vadu::String(names[colour_]) : vadu::String();
}

void Monster::UpdateGroup()
{
    const std::vector<Monster*> group = flood_fill(*this);
    RunningLevel* level = running_level();
    const int threshold = level != nullptr ? level->Settings().minChain : 2;
    const int size = static_cast<int>(group.size());
    for (Monster* member : group) {
        member->groupSize = size;
        member->SetHighlighted(size >= threshold);
    }
}

void Monster::SetHighlighted(bool on)
{
    highlight_speed_ = on ? 1000.0f : 0.0f;
    if (animation_)
        animation_->set_speed(highlight_speed_);
}

void Monster::AppendItem(ShapeChain& chain)
{
    ShapeChain::Item item;
    item.kind = GetKind();
    item.x = GetPosition().x;
    item.y = GetPosition().y;
    if (IsKind(ShapeKind::Monster)) {
        item.colour = colour_;
        item.frozen = IsFrozen();
        item.bubble = IsBubble();
    }
    chain.Current().items.push_back(item);
}

void Monster::Collect(ShapeChain& chain)
{
    AppendItem(chain);
    Die();
}

bool Monster::MonsterRemove()
{
    if (RunningLevel* level = running_level()) {
        const PlayArea& area = level->Settings().playArea;
        if (GetPosition().y > area.y + area.height)
            ShellServices::Get().ShapeLeft(*this);
    }
    if (LinkGraph* graph = LinkGraph::Global())
        graph->RemoveShapeLinks(this);
    return true;
}

bool Monster::RemoveLinks()
{
    return MonsterRemove();
}

void Monster::PlayDying()
{
    // Merging and dying both run once, whoever asks again.
    if (dying_played_)
        return;
    dying_played_ = true;
    ++dying_runs_;
    SceneNode* target = mergeTarget.get();
    if (target == nullptr) {
        Shape::PlayDying();
        return;
    }
    if (GetNode() == nullptr)
        return;
    // The copy flies into the merge target while it shrinks, and goes when both are done.
    auto reborn = std::make_unique<AnimationAction>(nullptr, "monsters/reborn.anim", false);
    SceneNode* clone = CloneForDying();
    reborn->SetTarget(clone);
    const vadu::math::Vector3 offset{mergeOffset.x, mergeOffset.y, mergeOffset.z + 0.5f};
    const auto flight = static_cast<float>(reborn->GetAnimation().get_length());
    auto* follow = new FollowAction(clone, offset, flight, target);
    RunDying(clone, new GroupAction(clone, follow, reborn.release(), true));
}

std::vector<Shape*> ShapeList::Collect(Shape& shape)
{
    auto* monster = dynamic_cast<Monster*>(&shape);
    if (monster == nullptr)
        return {&shape};
    const std::vector<Monster*> group = flood_fill(*monster);
    return {group.begin(), group.end()};
}

Shape* Monster::FindFirstStarred(Shape& shape)
{
    for (Shape* member : ShapeList::Collect(shape)) {
        if (member->GetKind() == ShapeKind::Starred)
            return member;
    }
    return nullptr;
}

StarredMonster::StarredMonster(physics::World* world, const vadu::Atom& name, int colour)
    : Monster(world, name, colour)
{
}

bool StarredMonster::CreateSceneNode(SceneNode*)
{
    if (!LoadCharacter(true))
        return false;
    SceneNode* node = GetNode();
    ActionManager::Global().RunAction(node, new AnimationAction(node, "monsters/monster_born.anim"), "born");
    return true;
}

void StarredMonster::Collect(ShapeChain& chain)
{
    RunningLevel* level = running_level();
    RunningHud* hud = InstanceRegistry::Get<RunningHud>();
    const int goal = level != nullptr ? level->Settings().starCountGoal : 0;
    const bool counting = hud != nullptr && hud->CountsStars();
    const auto below_goal = [&] { return goal == 0 || (hud != nullptr && hud->StarsCollected() < goal); };
    chain.Current().count += 1;
    AppendItem(chain);
    if (below_goal() && counting) {
        if (below_goal())
            hud->ReduceMonster(*this);
        ShellServices::Get().StarCollected(*this);
        collected_ = true;
    }
    Die();
}

bool StarredMonster::RemoveLinks()
{
    if (!collected_) {
        ShellServices::Get().Play(SoundId::MonsterDied);
        RunningLevel* level = running_level();
        if (level != nullptr && level->Settings().backgroundType == 1)
            level->StartGameOver();
        ShellServices::Get().StarLost(*this);
    }
    return MonsterRemove();
}

void StarredMonster::PlayDying()
{
    if (!collected_)
        Monster::PlayDying();
}

FrozenMonster::FrozenMonster(physics::World* world, const vadu::Atom& name, int colour, int layers)
    : Monster(world, name, colour), layers_(layers), cubes_(std::max(layers, 1))
{
    SetMass(0.0f);
}

bool FrozenMonster::CreateSceneNode(SceneNode*)
{
    if (!LoadCharacter(false))
        return false;
    const float z = GetNode()->get_position().z;
    AddOverlays("FrozenLayer", "data/shapes/ice_cube", cubes_, z - 0.2f);
    SetMass(0.0f);
    return true;
}

bool FrozenMonster::CanLinkTo(const Shape& other) const
{
    if (!Shape::CanLinkTo(other))
        return false;
    if (!other.IsKind(ShapeKind::Monster))
        return true;
    const auto* monster = dynamic_cast<const Monster*>(&other);
    return monster == nullptr || !monster->IsFrozen();
}

bool FrozenMonster::RemoveLinks()
{
    MonsterRemove();
    if (meltRequested) {
        cubes_ = 0;
        DeleteOverlays();
    }
    if (cubes_ < 2)
        return true;
    --cubes_;
    DeleteFirstOverlay();
    return false;
}

SoapBubble::SoapBubble(physics::World* world, const vadu::Atom& name, int colour, float bubbleCount)
    : Monster(world, name, colour), bubble_count_(bubbleCount),
      bubbles_(std::max(static_cast<int>(std::trunc(bubbleCount)), 1))
{
    if (GetBody() != nullptr)
        GetBody()->SetGravityScale(-bubbleCount);
}

bool SoapBubble::CreateSceneNode(SceneNode*)
{
    if (!LoadCharacter(false))
        return false;
    AddOverlays("BubblesLayer", "data/shapes/bubble", bubbles_, BubbleDepth);
    return true;
}

Bottle::Bottle(physics::World* world, const vadu::Atom& name) : Monster(world, name, 1) {}

Bottle::~Bottle()
{
    bottle_animation_.reset();
}

SceneNode* Bottle::GetBottleNode() const
{
    return static_cast<SceneNode*>(bottle_node_.get());
}

bool Bottle::CreateSceneNode(SceneNode*)
{
    if (!LoadCharacter(false))
        return false;
    std::unique_ptr<vadu::animate::PrimitiveAnimation> rocking =
        SharedAnimations::Instance().Load("shapes/bottle.anim");
    auto* sprite = new Sprite(vadu::Atom("Bottle"), GetNode());
    sprite->set_texture("data/shapes/bottle", false);
    sprite->set_position({0.0f, 0.0f, -0.2f});
    bottle_node_.assign(sprite);
    bottle_animation_ = std::move(rocking);
    bottle_animation_->bind(sprite, false);
    return true;
}

void Bottle::Update(float dt)
{
    Monster::Update(dt);
    if (bottle_animation_ && GetBottleNode() != nullptr)
        bottle_animation_->advance_looped(dt);
}

void Bottle::Collect(ShapeChain& chain)
{
    RunningHud* hud = InstanceRegistry::Get<RunningHud>();
    if (hud != nullptr && hud->HasBottle())
        hud->FlyBottle(GetSceneNode());
    chain.Current().bottles += 1;
    Die();
}

Indestructible::Indestructible(physics::World* world, const vadu::Atom& name) : Shape(world, name)
{
    SetMass(DynamicMass);
}

bool Indestructible::CreateSceneNode(SceneNode* root)
{
    MakePictureNode(root, "data/shapes/indestructible", ShapeDepth);
    return true;
}

Stone::Stone(physics::World* world, const vadu::Atom& name, int number) : Shape(world, name), number_(number)
{
    SetMass(0.0f);
}

bool Stone::CreateSceneNode(SceneNode* root)
{
    const std::string picture = "data/stones/stone" + std::to_string(number_);
    MakePictureNode(root, picture.c_str(), ShapeDepth);
    return true;
}

bool Stone::CanLinkTo(const Shape& other) const
{
    return Shape::CanLinkTo(other) && other.GetKind() != ShapeKind::Stone;
}

Rock::Rock(physics::World* world, const vadu::Atom& name) : Shape(world, name)
{
    SetMass(DynamicMass);
}

bool Rock::CreateSceneNode(SceneNode* root)
{
    MakePictureNode(root, "data/shapes/gray", ShapeDepth);
    return true;
}

bool Rock::RemoveLinks()
{
    ShellServices::Get().RockLeft(*this);
    if (LinkGraph* graph = LinkGraph::Global())
        graph->RemoveShapeLinks(this);
    return true;
}

} // namespace gameplay
