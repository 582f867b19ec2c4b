#include "sources/gameplay/link_graph.h"

#include <algorithm>

#include "physics/joint.h"
#include "sources/gameplay/shape.h"
#include "sources/gameplay/shell_services.h"

namespace gameplay {

namespace {

LinkGraph*& global_slot()
{
    static LinkGraph* graph = nullptr;
    return graph;
}

} // namespace

Link::Link(Shape* a, Shape* b) : a_(a), b_(b)
{
    CreateJoint(a, b);
}

Link::~Link() = default;

void Link::CreateJoint(Shape* a, Shape* b)
{
    joint_.reset();
    a_ = a;
    b_ = b;
    const float maximum = MaximumLength * ShellServices::Get().GetScale();
    joint_.reset(physics::DistanceJoint::Initialize(a->GetWorld(), a, b, a->GetPosition(), b->GetPosition(),
                                                    MinimumFactor * maximum, maximum));
    joint_->FrequencyHz = FrequencyHz;
    joint_->DampingRatio = DampingRatio;
    // A joint that cannot attach only leaves the pair unsprung; the link still counts.
    joint_->Attach();
}

void Link::ReleaseJoint()
{
    joint_.reset();
}

LinkGraph::LinkGraph() = default;

LinkGraph::~LinkGraph()
{
    links_.clear();
    adjacency_.clear();
    if (global_slot() == this)
        global_slot() = nullptr;
}

LinkGraph* LinkGraph::Global()
{
    return global_slot();
}

void LinkGraph::SetGlobal(LinkGraph* graph)
{
    global_slot() = graph;
}

void LinkGraph::CreateLink(Shape* a, Shape* b)
{
    links_.push_back(std::make_unique<Link>(a, b));
    if (AddEdge(a, b))
        AddEdge(b, a);
}

void LinkGraph::RemoveLink(Shape* a, Shape* b)
{
    const auto it = std::find_if(links_.begin(), links_.end(), [&](const std::unique_ptr<Link>& link) {
        return (link->GetA() == a && link->GetB() == b) || (link->GetA() == b && link->GetB() == a);
    });
    if (it != links_.end())
        links_.erase(it);
    RemoveEdge(a, b);
    RemoveEdge(b, a);
}

void LinkGraph::RemoveShapeLinks(Shape* shape)
{
    for (auto it = adjacency_.find(shape); it != adjacency_.end(); it = adjacency_.find(shape))
        RemoveLink(shape, it->second.front());
}

void LinkGraph::TransferLinks(Shape* old_shape, Shape* new_shape)
{
    const auto entry = adjacency_.find(old_shape);
    if (entry == adjacency_.end() || old_shape == new_shape)
        return;
    const std::vector<Shape*> neighbours = entry->second;
    for (Shape* neighbour : neighbours) {
        for (const std::unique_ptr<Link>& link : links_) {
            if (link->GetA() == old_shape && link->GetB() == neighbour) {
                link->CreateJoint(new_shape, neighbour);
                break;
            }
            if (link->GetA() == neighbour && link->GetB() == old_shape) {
                link->CreateJoint(neighbour, new_shape);
                break;
            }
        }
        RemoveEdge(old_shape, neighbour);
        RemoveEdge(neighbour, old_shape);
        if (AddEdge(new_shape, neighbour))
            AddEdge(neighbour, new_shape);
    }
}

bool LinkGraph::AreLinked(const Shape* a, const Shape* b) const
{
    const auto contains = [this](const Shape* from, const Shape* to) {
        const std::vector<Shape*>* list = Neighbours(from);
        return list != nullptr && std::find(list->begin(), list->end(), to) != list->end();
    };
    return contains(a, b) || contains(b, a);
}

bool LinkGraph::AddEdge(Shape* a, Shape* b)
{
    std::vector<Shape*>& list = adjacency_[a];
    if (std::find(list.begin(), list.end(), b) != list.end())
        return false;
    list.push_back(b);
    return true;
}

bool LinkGraph::RemoveEdge(Shape* a, Shape* b)
{
    const auto it = adjacency_.find(a);
    if (it == adjacency_.end())
        return false;
    auto& list = it->second;
    const auto found = std::find(list.begin(), list.end(), b);
    if (found == list.end())
        return false;
    list.erase(found);
    if (list.empty())
        adjacency_.erase(it);
    return true;
}

void LinkGraph::ReleaseJoints()
{
    for (const std::unique_ptr<Link>& link : links_)
        link->ReleaseJoint();
}

const std::vector<Shape*>* LinkGraph::Neighbours(const Shape* shape) const
{
    const auto it = adjacency_.find(const_cast<Shape*>(shape));
    return it == adjacency_.end() ? nullptr : &it->second;
}

} // namespace gameplay
