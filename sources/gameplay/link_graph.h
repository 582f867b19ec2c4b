#pragma once

// Which shapes are linked, and the links' springy joints. A link between A and B is B in
// A's list and A in B's list; a shape whose list empties leaves the map. Every link owns
// its joint, and the graph deletes the joints itself before the level deletes the world.

#include <map>
#include <memory>
#include <vector>

#include "vadu/math.h"
#include "vadu/weak_ptr.h"

namespace vadu::lib3d::node {
class Node;
class Sprite;
} // namespace vadu::lib3d::node

namespace physics {
class World;
class DistanceJoint;
} // namespace physics

namespace gameplay {

class Shape;

class Link {
public:
    // Longest link L = 85 x layout scale; the joint holds between 0.85 L and L.
    static constexpr float MaximumLength = 85.0f;
    static constexpr float MinimumFactor = 0.85f;
    static constexpr float FrequencyHz = 7.5f;
    static constexpr float DampingRatio = 0.5f;
    // How the band is drawn: depth, the length (x layout scale) its picture spans at scale
    // 1, and its thickness.
    static constexpr float Depth = 11.0f;
    static constexpr float ReferenceLength = 65.0f;
    static constexpr float Thickness = 1.3f;

    // Without a layer the link has no picture (the joint and the graph work the same).
    Link(Shape* a, Shape* b, vadu::lib3d::node::Node* layer = nullptr);
    // Deletes the band's sprite when the scene still has it.
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Replaces the joint with one between these shapes, in A's world.
    void CreateJoint(Shape* a, Shape* b);
    void ReleaseJoint();
    // The joint goes at once; a copy of the band fades out with "shapes/link_death.anim"
    // beside it, owned by its action.
    void PlayDeath();
    // The band between the two shapes' display positions (their shake positions while
    // they shake): midpoint at depth 11, turned along them, stretched over the distance
    // minus both insets.
    void UpdatePlacement();

    // The band's sprite "Link"; null without a layer or once the scene deleted it.
    vadu::lib3d::node::Sprite* GetNode() const;
    // The copy that plays the death; null before and after.
    vadu::lib3d::node::Node* GetDeathClone() const;

    Shape* GetA() const noexcept { return a_; }
    Shape* GetB() const noexcept { return b_; }
    physics::DistanceJoint* GetJoint() const noexcept { return joint_.get(); }

private:
    Shape* a_;
    Shape* b_;
    std::unique_ptr<physics::DistanceJoint> joint_;
    vadu::WeakPtr node_;
    vadu::WeakPtr death_clone_;
};

class LinkGraph {
public:
    using Adjacency = std::map<Shape*, std::vector<Shape*>>;

    LinkGraph();
    // Deletes the links and clears the global graph when it is this one.
    ~LinkGraph();
    LinkGraph(const LinkGraph&) = delete;
    LinkGraph& operator=(const LinkGraph&) = delete;

    // The running level's graph, used by shapes; null when none.
    static LinkGraph* Global();
    static void SetGlobal(LinkGraph* graph);
    static void ResetForTests() { SetGlobal(nullptr); }

    // The world of the joints and the scene whose direct child "LinksLayer" holds the
    // bands; the level calls it when it starts. A root without that layer draws no links.
    void SetScene(physics::World* world, vadu::lib3d::node::Node* root);
    vadu::lib3d::node::Node* GetLinksLayer() const;
    // Places every link; the level calls it once per frame.
    void UpdatePlacements();

    void CreateLink(Shape* a, Shape* b);
    // The pair in either order, with the link's death animation; nothing when they are
    // not linked.
    void RemoveLink(Shape* a, Shape* b);
    void RemoveShapeLinks(Shape* shape);
    // Every link of the old shape goes to the new one, with a new joint.
    void TransferLinks(Shape* old_shape, Shape* new_shape);
    bool AreLinked(const Shape* a, const Shape* b) const;
    // One direction each; true when something changed.
    bool AddEdge(Shape* a, Shape* b);
    bool RemoveEdge(Shape* a, Shape* b);
    // Deletes every link's joint now (before the world goes); the links stay drawn.
    void ReleaseJoints();

    const Adjacency& GetAdjacency() const noexcept { return adjacency_; }
    const std::vector<Shape*>* Neighbours(const Shape* shape) const;
    const std::vector<std::unique_ptr<Link>>& GetLinks() const noexcept { return links_; }

private:
    physics::World* world_ = nullptr;
    vadu::WeakPtr links_layer_;
    Adjacency adjacency_;
    std::vector<std::unique_ptr<Link>> links_;
};

} // namespace gameplay
