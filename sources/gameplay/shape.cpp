#include "sources/gameplay/shape.h"

#include <cmath>
#include <unordered_set>

#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/link_graph.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shell_services.h"

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

std::vector<Shape*> ShapeList::Collect(Shape& shape)
{
    std::vector<Shape*> group{&shape};
    const LinkGraph* graph = LinkGraph::Global();
    if (graph == nullptr)
        return group;
    std::unordered_set<const Shape*> seen{&shape};
    for (size_t i = 0; i < group.size(); ++i) {
        const std::vector<Shape*>* neighbours = graph->Neighbours(group[i]);
        if (neighbours == nullptr)
            continue;
        for (Shape* next : *neighbours) {
            if (seen.insert(next).second)
                group.push_back(next);
        }
    }
    return group;
}

} // namespace gameplay
