#include "physics/joint.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <box2d/b2_body.h>
#include <box2d/b2_world.h>

#include "physics/node.h"
#include "physics/value_loader.h"
#include "physics/world.h"

namespace physics {

namespace {

bool IsFiniteVector(const b2Vec2& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y);
}

bool ReadPixels(vadu::xml::Provider& provider, World* world, b2Vec2* metres)
{
    b2Vec2 pixels(0.0f, 0.0f);
    if (!ReadValue(provider, &pixels))
        return false;
    const float pim = world->GetPixelsInMeter();
    *metres = b2Vec2(pixels.x / pim, pixels.y / pim);
    return IsFiniteVector(*metres);
}

bool ReadNonNegative(vadu::xml::Provider& provider, float* value)
{
    return ReadValue(provider, value) && *value >= 0.0f;
}

// A spring's upper limit, so far away that it never holds, yet finite: Box2D turns the
// distance to a limit into a velocity bias (times the inverse step), and FLT_MAX there
// overflows to infinity, which becomes NaN between two bodies without mass. The value is
// the "huge" length that Box2D's later releases bound every joint length with.
constexpr float kSpringLimit = 100000.0f * b2_lengthUnitsPerMeter;

} // namespace

Joint::Joint(World* world) : world_(world)
{
    world_->AddJoint(this);
}

Joint::~Joint()
{
    if (joint_) {
        world_->GetWorld().DestroyJoint(joint_);
        joint_ = nullptr;
    }
    world_->RemoveJoint(this);
}

bool Joint::OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value)
{
    if (name == "Name")
        return ConvertValue(value, &name_);
    return false;
}

bool Joint::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "BodyA")
        return ReadValue(provider, &BodyAName);
    if (name == "BodyB")
        return ReadValue(provider, &BodyBName);
    if (name == "CollideConnected")
        return ReadValue(provider, &CollideConnected);
    return false;
}

bool Joint::Attach()
{
    b2JointDef* definition = GetDefinition();
    if (!definition || joint_)
        return false;
    Node* a = BodyA ? BodyA : world_->FindNode(BodyAName);
    if (!a || !a->GetBody())
        return false;
    Node* b = BodyB ? BodyB : world_->FindNode(BodyBName);
    if (!b || !b->GetBody())
        return false;
    // Box2D cannot join a body to itself.
    if (a == b)
        return false;
    definition->bodyA = a->GetBody();
    definition->bodyB = b->GetBody();
    definition->collideConnected = CollideConnected;
    definition->userData.pointer = reinterpret_cast<uintptr_t>(this);
    Prepare(definition->bodyA, definition->bodyB);
    joint_ = world_->GetWorld().CreateJoint(definition);
    return joint_ != nullptr;
}

// --- Distance ---------------------------------------------------------------------------

DistanceJoint::DistanceJoint(World* world) : Joint(world)
{
    definition_.length = 1.0f;
}

DistanceJoint* DistanceJoint::Initialize(World* world, Node* a, Node* b, const vadu::math::Vector2<float>& anchor_a,
                                         const vadu::math::Vector2<float>& anchor_b, float minimum, float maximum)
{
    auto* joint = new DistanceJoint(world);
    joint->BodyA = a;
    joint->BodyB = b;
    const float pim = world->GetPixelsInMeter();
    const b2Vec2 world_a(anchor_a.x / pim, anchor_a.y / pim);
    const b2Vec2 world_b(anchor_b.x / pim, anchor_b.y / pim);
    b2DistanceJointDef& definition = joint->definition_;
    if (a && b && a->GetBody() && b->GetBody()) {
        definition.Initialize(a->GetBody(), b->GetBody(), world_a, world_b);
    } else {
        definition.length = b2Distance(world_a, world_b);
    }
    if (definition.length < minimum / pim)
        definition.length = minimum / pim;
    if (definition.length > maximum / pim)
        definition.length = maximum / pim;
    return joint;
}

bool DistanceJoint::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "Length") {
        float pixels = 0.0f;
        if (!ReadValue(provider, &pixels))
            return false;
        definition_.length = pixels / world_->GetPixelsInMeter();
        return std::isfinite(definition_.length) && definition_.length >= 0.0f;
    }
    if (name == "FrequencyHz")
        return ReadNonNegative(provider, &FrequencyHz);
    if (name == "DampingRatio")
        return ReadNonNegative(provider, &DampingRatio);
    if (name == "LocalAnchorA")
        return ReadPixels(provider, world_, &definition_.localAnchorA);
    if (name == "LocalAnchorB")
        return ReadPixels(provider, world_, &definition_.localAnchorB);
    return Joint::OnNode(provider, name);
}

void DistanceJoint::Prepare(b2Body* a, b2Body* b)
{
    if (FrequencyHz > 0.0f) {
        // A spring around the length: no hard limits, as the joints of old had none.
        definition_.minLength = 0.0f;
        definition_.maxLength = std::max(kSpringLimit, definition_.length);
        b2LinearStiffness(definition_.stiffness, definition_.damping, FrequencyHz, DampingRatio, a, b);
    } else {
        // A rod: both limits at the length hold it rigidly.
        definition_.minLength = definition_.length;
        definition_.maxLength = definition_.length;
        definition_.stiffness = 0.0f;
        definition_.damping = 0.0f;
    }
}

// --- Revolute ---------------------------------------------------------------------------

RevoluteJoint::RevoluteJoint(World* world) : Joint(world) {}

bool RevoluteJoint::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "LocalAnchorA")
        return ReadPixels(provider, world_, &definition_.localAnchorA);
    if (name == "LocalAnchorB")
        return ReadPixels(provider, world_, &definition_.localAnchorB);
    if (name == "ReferenceAngle")
        return ReadValue(provider, &definition_.referenceAngle);
    if (name == "LowerAngle")
        return ReadValue(provider, &definition_.lowerAngle);
    if (name == "UpperAngle")
        return ReadValue(provider, &definition_.upperAngle);
    if (name == "MaxMotorTorque")
        return ReadValue(provider, &definition_.maxMotorTorque);
    if (name == "MotorSpeed")
        return ReadValue(provider, &definition_.motorSpeed);
    if (name == "EnableLimit")
        return ReadValue(provider, &definition_.enableLimit);
    if (name == "EnableMotor")
        return ReadValue(provider, &definition_.enableMotor);
    return Joint::OnNode(provider, name);
}

// --- Mouse ------------------------------------------------------------------------------

MouseJoint::MouseJoint(World* world) : Joint(world) {}

bool MouseJoint::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "Target")
        return ReadPixels(provider, world_, &definition_.target);
    if (name == "MaxForce")
        return ReadNonNegative(provider, &definition_.maxForce);
    if (name == "Frequency")
        return ReadNonNegative(provider, &FrequencyHz);
    if (name == "Damping")
        return ReadNonNegative(provider, &DampingRatio);
    return Joint::OnNode(provider, name);
}

void MouseJoint::Prepare(b2Body*, b2Body* b)
{
    // The joint drags body B alone, so its spring is made from B's mass; Box2D's helper
    // would take the reduced mass of both bodies (half as stiff for two equal bodies).
    const float mass = b->GetMass();
    const float omega = 2.0f * b2_pi * FrequencyHz;
    definition_.stiffness = mass * omega * omega;
    definition_.damping = 2.0f * mass * DampingRatio * omega;
}

// --- Generic ----------------------------------------------------------------------------

UnknownJoint::UnknownJoint(World* world) : Joint(world) {}

bool UnknownJoint::OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value)
{
    if (created_)
        return created_->OnAttribute(provider, name, value);
    if (name != "Type")
        return Joint::OnAttribute(provider, name, value);

    // The kinds of Box2D's joint table; only three are supported.
    static const char* const kinds[] = {"Revolute", "Prismatic", "Distance", "Pulley", "Mouse",
                                        "Gear",     "Wheel",     "Weld",     "Friction", "Rope"};
    int kind = 0;
    for (int i = 0; i < 10; ++i) {
        if (value.size() == std::strlen(kinds[i]) && std::memcmp(value.data(), kinds[i], value.size()) == 0)
            kind = i + 1;
    }
    switch (kind) {
    case e_revoluteJoint:
        created_ = new RevoluteJoint(world_);
        break;
    case e_distanceJoint:
        created_ = new DistanceJoint(world_);
        break;
    case e_mouseJoint:
        created_ = new MouseJoint(world_);
        break;
    default:
        return false;
    }
    created_->name_ = name_;
    created_->BodyAName = BodyAName;
    created_->BodyBName = BodyBName;
    created_->BodyA = BodyA;
    created_->BodyB = BodyB;
    created_->CollideConnected = CollideConnected;
    return true;
}

bool UnknownJoint::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (created_)
        return created_->OnNode(provider, name);
    return Joint::OnNode(provider, name);
}

} // namespace physics
