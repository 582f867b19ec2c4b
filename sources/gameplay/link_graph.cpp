#include "sources/gameplay/link_graph.h"

#include <algorithm>
#include <cmath>

#include "physics/joint.h"
#include "sources/gameplay/shape.h"
#include "sources/gameplay/shell_services.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/sprite.h"

namespace gameplay {

namespace {

LinkGraph*& global_slot()
{
    static LinkGraph* graph = nullptr;
    return graph;
}

} // namespace

Link::Link(Shape* a, Shape* b, vadu::lib3d::node::Node* layer) : a_(a), b_(b)
{
    CreateJoint(a, b);
    if (layer == nullptr)
        return;
    // Loaded first: a missing animation leaves no stray band behind.
    auto appear = std::make_unique<AnimationAction>(nullptr, "shapes/link.anim", false);
    auto* sprite = new vadu::lib3d::node::Sprite(vadu::Atom("Link"), layer);
    node_.assign(sprite);
    sprite->set_atlas_texture("data/shapes/links.atlas", vadu::Atom(a->GetColorName()));
    sprite->set_filter_texture(true);
    appear->SetTarget(sprite);
    ActionManager::Global().RunAction(sprite, appear.release(), "link");
    UpdatePlacement();
}

Link::~Link()
{
    if (vadu::lib3d::node::Sprite* sprite = GetNode()) {
        node_.assign(nullptr);
        delete sprite;
    }
}

vadu::lib3d::node::Sprite* Link::GetNode() const
{
    return static_cast<vadu::lib3d::node::Sprite*>(static_cast<vadu::lib3d::node::Node*>(node_.get()));
}

vadu::lib3d::node::Node* Link::GetDeathClone() const
{
    return static_cast<vadu::lib3d::node::Node*>(death_clone_.get());
}

void Link::PlayDeath()
{
    ReleaseJoint();
    vadu::lib3d::node::Sprite* sprite = GetNode();
    if (sprite == nullptr)
        return;
    // Links also die while shapes are deleted, where nothing may throw: without its
    // animation the band simply goes.
    std::unique_ptr<AnimationAction> death;
    try {
        death = std::make_unique<AnimationAction>(nullptr, "shapes/link_death.anim", true);
    } catch (const vadu::Gluck&) {
        return;
    }
    vadu::lib3d::node::Node* clone = sprite->duplicate();
    const vadu::math::Vector3 at = clone->get_position();
    clone->set_position({at.x, at.y, Depth});
    death->SetTarget(clone);
    death_clone_.assign(clone);
    ActionManager::Global().RunAction(clone, death.release(), "dying");
}

void Link::UpdatePlacement()
{
    vadu::lib3d::node::Sprite* sprite = GetNode();
    if (sprite == nullptr || a_ == nullptr || b_ == nullptr)
        return;
    const vadu::math::Vector3 a = a_->GetDisplayPosition();
    const vadu::math::Vector3 b = b_->GetDisplayPosition();
    sprite->set_position({(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, Depth});
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    const float dz = a.z - b.z;
    const float planar = std::sqrt(dx * dx + dy * dy);
    float angle = 0.0f;
    // Two shapes on one spot have no direction: the band keeps lying flat.
    if (planar > 1e-6f) {
        angle = std::acos(std::clamp(dx / planar, -1.0f, 1.0f));
        if (dy <= 0.0f)
            angle = -angle;
    }
    sprite->set_rotation({0.0f, 0.0f, angle});
    const float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    const float reference = ReferenceLength * ShellServices::Get().GetScale();
    const float length = distance - a_->GetLinkInset() - b_->GetLinkInset();
    sprite->set_scale({reference > 0.0f ? length / reference : 0.0f, Thickness, 1.0f});
}

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

void LinkGraph::SetScene(physics::World* world, vadu::lib3d::node::Node* root)
{
    world_ = world;
    links_layer_.assign(nullptr);
    if (root == nullptr)
        return;
    const vadu::Atom name("LinksLayer");
    for (vadu::lib3d::node::Node* child : root->get_children()) {
        if (child->get_name() == name) {
            links_layer_.assign(child);
            return;
        }
    }
}

vadu::lib3d::node::Node* LinkGraph::GetLinksLayer() const
{
    return static_cast<vadu::lib3d::node::Node*>(links_layer_.get());
}

void LinkGraph::UpdatePlacements()
{
    for (const std::unique_ptr<Link>& link : links_)
        link->UpdatePlacement();
}

void LinkGraph::CreateLink(Shape* a, Shape* b)
{
    links_.push_back(std::make_unique<Link>(a, b, GetLinksLayer()));
    if (AddEdge(a, b))
        AddEdge(b, a);
}

void LinkGraph::RemoveLink(Shape* a, Shape* b)
{
    const auto it = std::find_if(links_.begin(), links_.end(), [&](const std::unique_ptr<Link>& link) {
        return (link->GetA() == a && link->GetB() == b) || (link->GetA() == b && link->GetB() == a);
    });
    if (it != links_.end()) {
        (*it)->PlayDeath();
        links_.erase(it);
    }
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
