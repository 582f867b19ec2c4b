#pragma once

// The simulated playing field: one Box2D world with the body and joint wrappers made for
// it, converting between the game's pixels and the library's metres.

#include <memory>
#include <vector>

#include <box2d/b2_math.h>
#include <box2d/b2_world_callbacks.h>

#include "vadu/atom.h"
#include "vadu/math.h"
#include "vadu/path.h"
#include "vadu/xml_object.h"

class b2World;

namespace physics {

class Node;
class Joint;

class World : public vadu::xml::ObjectANSI {
public:
    World();
    // Joints first, then bodies (each leaving the lists), then the Box2D world.
    ~World() override;
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Loads a world file (root "World"). Any failure raises vadu::GluckBadResource
    // "Failed to load physics world from resource" with the path.
    static std::unique_ptr<World> CreateFromResource(const vadu::filesystem::String& path);

    // Pre-step, update, attraction, the Box2D step, post-step.
    void Step(double dt);
    // The body whose broad-phase box holds the point (pixels); the last one reported wins.
    Node* Pick(const vadu::math::Vector2<float>& point);
    // The first body in creation order with that name; null when none.
    Node* FindNode(const vadu::Atom& name) const;

    // Called by the wrappers' constructors and destructors only.
    void AddNode(Node* node);
    void AddJoint(Joint* joint);
    void RemoveNode(Node* node);
    void RemoveJoint(Joint* joint);

    const std::vector<Node*>& GetNodes() const noexcept { return nodes_; }
    const std::vector<Joint*>& GetJoints() const noexcept { return joints_; }
    b2World& GetWorld() noexcept { return *world_; }
    float GetPixelsInMeter() const noexcept { return PixelsInMeter; }
    int GetVelocityIterations() const noexcept { return VelocityIterations; }
    int GetPositionIterations() const noexcept { return PositionIterations; }

    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    // Attaches every joint in list order, now that every body was read.
    bool OnEndNode(vadu::xml::Provider& provider) override;

    // Written by the level from its file.
    bool AttractionEnabled = false;
    vadu::math::Vector2<float> AttractionPoint{};
    float AttractionStrength = 0.0f;

private:
    // Box2D destroys the joints of a body it destroys; the wrappers must hear of it.
    class JointListener : public b2DestructionListener {
    public:
        void SayGoodbye(b2Joint* joint) override;
        void SayGoodbye(b2Fixture*) override {}
    };

    std::unique_ptr<b2World> world_;
    JointListener listener_;
    std::vector<Node*> nodes_;
    std::vector<Joint*> joints_;
    int VelocityIterations = 8;
    int PositionIterations = 3;
    float PixelsInMeter = 30.0f;
};

} // namespace physics
