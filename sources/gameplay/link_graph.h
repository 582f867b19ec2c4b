#pragma once

// Which shapes are linked, and the links' springy joints. A link between A and B is B in
// A's list and A in B's list; a shape whose list empties leaves the map. Every link owns
// its joint, and the graph deletes the joints itself before the level deletes the world.

#include <map>
#include <memory>
#include <vector>

#include "vadu/math.h"

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

    Link(Shape* a, Shape* b);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Replaces the joint with one between these shapes, in A's world.
    void CreateJoint(Shape* a, Shape* b);
    void ReleaseJoint();

    Shape* GetA() const noexcept { return a_; }
    Shape* GetB() const noexcept { return b_; }
    physics::DistanceJoint* GetJoint() const noexcept { return joint_.get(); }

private:
    Shape* a_;
    Shape* b_;
    std::unique_ptr<physics::DistanceJoint> joint_;
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

    void CreateLink(Shape* a, Shape* b);
    // The pair in either order; nothing when they are not linked.
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
    Adjacency adjacency_;
    std::vector<std::unique_ptr<Link>> links_;
};

} // namespace gameplay
