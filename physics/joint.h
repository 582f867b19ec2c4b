#pragma once

// Joints between two bodies of one world. A joint first collects its settings (from a
// world file or from the caller), then Attach resolves the bodies and creates the Box2D
// joint. Springs are given as frequency and damping ratio and become Box2D's stiffness
// and damping at Attach, from the masses the bodies have then.

#include <memory>

#include <box2d/b2_distance_joint.h>
#include <box2d/b2_joint.h>
#include <box2d/b2_mouse_joint.h>
#include <box2d/b2_revolute_joint.h>

#include "vadu/atom.h"
#include "vadu/math.h"
#include "vadu/xml_object.h"

namespace physics {

class World;
class Node;

class Joint : public vadu::xml::ObjectANSI {
public:
    // Appends the joint to the world's joint list.
    explicit Joint(World* world);
    // Destroys the Box2D joint (unless Box2D already did, with a body) and leaves the list.
    ~Joint() override;
    Joint(const Joint&) = delete;
    Joint& operator=(const Joint&) = delete;

    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;

    // Creates the Box2D joint; false when a body cannot be found (or both are one body).
    virtual bool Attach();
    // The kind's Box2D definition; null for the generic joint.
    virtual b2JointDef* GetDefinition() { return nullptr; }

    b2Joint* GetJoint() const noexcept { return joint_; }
    World* GetWorld() const noexcept { return world_; }
    const vadu::Atom& GetName() const noexcept { return name_; }

    // Told by the world when Box2D destroyed the joint together with one of its bodies.
    void OnJointDestroyed() noexcept { joint_ = nullptr; }

    vadu::Atom BodyAName;
    vadu::Atom BodyBName;
    // When set, used instead of the names.
    Node* BodyA = nullptr;
    Node* BodyB = nullptr;
    bool CollideConnected = true;

protected:
    friend class UnknownJoint;
    // Last touches on the definition once the bodies are known.
    virtual void Prepare(b2Body*, b2Body*) {}

    World* world_;
    b2Joint* joint_ = nullptr;
    vadu::Atom name_;
};

class DistanceJoint : public Joint {
public:
    explicit DistanceJoint(World* world);

    // A link between two built bodies: anchors in world pixels, the length between them
    // clamped to [minimum, maximum] pixels. Not attached yet.
    static DistanceJoint* Initialize(World* world, Node* a, Node* b, const vadu::math::Vector2<float>& anchor_a,
                                     const vadu::math::Vector2<float>& anchor_b, float minimum, float maximum);

    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    b2JointDef* GetDefinition() override { return &definition_; }
    b2DistanceJointDef& GetDistanceDef() noexcept { return definition_; }

    // 0 holds the length rigidly; above 0 the joint is a spring around it.
    float FrequencyHz = 0.0f;
    float DampingRatio = 0.0f;

protected:
    void Prepare(b2Body* a, b2Body* b) override;

private:
    b2DistanceJointDef definition_;
};

class RevoluteJoint : public Joint {
public:
    explicit RevoluteJoint(World* world);

    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    b2JointDef* GetDefinition() override { return &definition_; }
    b2RevoluteJointDef& GetRevoluteDef() noexcept { return definition_; }

private:
    b2RevoluteJointDef definition_;
};

class MouseJoint : public Joint {
public:
    explicit MouseJoint(World* world);

    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    b2JointDef* GetDefinition() override { return &definition_; }
    b2MouseJointDef& GetMouseDef() noexcept { return definition_; }

    float FrequencyHz = 5.0f;
    float DampingRatio = 0.7f;

protected:
    void Prepare(b2Body* a, b2Body* b) override;

private:
    b2MouseJointDef definition_;
};

// The "Joint" element: its "Type" makes the concrete joint, which then reads the rest.
class UnknownJoint : public Joint {
public:
    explicit UnknownJoint(World* world);

    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;

    // The joint "Type" made; owned by the world.
    Joint* GetCreated() const noexcept { return created_; }

private:
    Joint* created_ = nullptr;
};

} // namespace physics
