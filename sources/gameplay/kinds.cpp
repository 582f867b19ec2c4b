#include "sources/gameplay/kinds.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include <box2d/b2_body.h>

#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/link_graph.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shell_services.h"

namespace gameplay {

namespace {

constexpr float DynamicMass = 0.1f;

RunningLevel* running_level()
{
    return InstanceRegistry::Get<RunningLevel>();
}

// The same-colour collectable group of a monster, the monster first, in fill order.
std::vector<Monster*> flood_fill(Monster& start)
{
    std::vector<Monster*> group{&start};
    const LinkGraph* graph = LinkGraph::Global();
    if (graph == nullptr)
        return group;
    std::unordered_set<const Shape*> seen{&start};
    for (size_t i = 0; i < group.size(); ++i) {
        const std::vector<Shape*>* neighbours = graph->Neighbours(group[i]);
        if (neighbours == nullptr)
            continue;
        for (Shape* next : *neighbours) {
            auto* monster = dynamic_cast<Monster*>(next);
            if (monster == nullptr || !monster->IsKind(0) || monster->GetColour() != start.GetColour())
                continue;
            if (seen.insert(monster).second)
                group.push_back(monster);
        }
    }
    return group;
}

} // namespace

Monster::Monster(physics::World* world, const vadu::Atom& name, int colour) : Shape(world, name), colour_(colour)
{
    SetMass(DynamicMass);
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
}

void Monster::AppendItem(ShapeChain& chain)
{
    ShapeChain::Item item;
    item.kind = GetKind();
    item.x = GetPosition().x;
    item.y = GetPosition().y;
    if (IsKind(0)) {
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
}

Shape* Monster::FindFirstStarred(Shape& shape)
{
    for (Shape* member : ShapeList::Collect(shape)) {
        if (member->GetKind() == 1)
            return member;
    }
    return nullptr;
}

StarredMonster::StarredMonster(physics::World* world, const vadu::Atom& name, int colour)
    : Monster(world, name, colour)
{
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

bool FrozenMonster::CanLinkTo(const Shape& other) const
{
    if (!Shape::CanLinkTo(other))
        return false;
    if (!other.IsKind(0))
        return true;
    const auto* monster = dynamic_cast<const Monster*>(&other);
    return monster == nullptr || !monster->IsFrozen();
}

bool FrozenMonster::RemoveLinks()
{
    MonsterRemove();
    if (meltRequested)
        cubes_ = 0;
    if (cubes_ < 2)
        return true;
    --cubes_;
    return false;
}

SoapBubble::SoapBubble(physics::World* world, const vadu::Atom& name, int colour, float bubbleCount)
    : Monster(world, name, colour), bubble_count_(bubbleCount),
      bubbles_(std::max(static_cast<int>(std::trunc(bubbleCount)), 1))
{
    if (GetBody() != nullptr)
        GetBody()->SetGravityScale(-bubbleCount);
}

Bottle::Bottle(physics::World* world, const vadu::Atom& name) : Monster(world, name, 1) {}

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

Stone::Stone(physics::World* world, const vadu::Atom& name, int number) : Shape(world, name), number_(number)
{
    SetMass(0.0f);
}

bool Stone::CanLinkTo(const Shape& other) const
{
    return Shape::CanLinkTo(other) && other.GetKind() != 2;
}

Rock::Rock(physics::World* world, const vadu::Atom& name) : Shape(world, name)
{
    SetMass(DynamicMass);
}

bool Rock::RemoveLinks()
{
    ShellServices::Get().RockLeft(*this);
    if (LinkGraph* graph = LinkGraph::Global())
        graph->RemoveShapeLinks(this);
    return true;
}

} // namespace gameplay
