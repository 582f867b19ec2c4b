#include "physics/world.h"

#include <algorithm>

#include <box2d/b2_body.h>
#include <box2d/b2_fixture.h>
#include <box2d/b2_joint.h>
#include <box2d/b2_world.h>

#include "physics/factory.h"
#include "physics/joint.h"
#include "physics/node.h"
#include "physics/value_loader.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/xml_reader.h"

namespace physics {

namespace {

constexpr int kMostIterations = 500;

// Keeps every fixture the broad phase reports; the last one is the answer.
class PickCallback : public b2QueryCallback {
public:
    bool ReportFixture(b2Fixture* fixture) override
    {
        found = fixture;
        return true;
    }
    b2Fixture* found = nullptr;
};

} // namespace

void World::JointListener::SayGoodbye(b2Joint* joint)
{
    if (auto* wrapper = reinterpret_cast<Joint*>(joint->GetUserData().pointer))
        wrapper->OnJointDestroyed();
}

World::World() : world_(std::make_unique<b2World>(b2Vec2(0.0f, -1.0f)))
{
    world_->SetDestructionListener(&listener_);
}

World::~World()
{
    // Joints before bodies: Box2D would destroy a body's joints behind their wrappers' backs.
    while (!joints_.empty())
        delete joints_.front();
    while (!nodes_.empty())
        delete nodes_.front();
}

std::unique_ptr<World> World::CreateFromResource(const vadu::filesystem::String& path)
{
    auto world = std::make_unique<World>();
    bool loaded = false;
    try {
        std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
        if (stream) {
            vadu::xml::StreamResource resource(stream.get(), path);
            vadu::xml::Root root(*world, "World");
            loaded = resource.load(root);
        }
    } catch (const vadu::Gluck&) {
        // A document that is not well-formed: reported below like every other failure.
        loaded = false;
    }
    if (!loaded) {
        world.reset();
        throw vadu::GluckBadResource("physics::World::CreateFromResource", "Failed to load physics world from resource",
                                     path);
    }
    return world;
}

bool World::OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value)
{
    if (name == "Gravity") {
        b2Vec2 gravity;
        if (!ConvertValue(value, &gravity))
            return false;
        world_->SetGravity(gravity);
        return true;
    }
    if (name == "PixelsInMeter") {
        float pim = 0.0f;
        if (!ConvertValue(value, &pim) || !(pim > 0.0f))
            return false;
        PixelsInMeter = pim;
        return true;
    }
    // Each iteration walks every contact and joint: beyond a few hundred a step would
    // stall the frame, so such a count is a broken file.
    if (name == "VelocityIterations")
        return ConvertValue(value, &VelocityIterations) && VelocityIterations >= 0 && VelocityIterations <= kMostIterations;
    if (name == "PositionIterations")
        return ConvertValue(value, &PositionIterations) && PositionIterations >= 0 && PositionIterations <= kMostIterations;
    return false;
}

bool World::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    const vadu::Atom type(name);
    if (Node* node = CreateNode(type, this)) {
        std::unique_ptr<vadu::xml::ObjectANSI> loader = node->CreateLoader();
        return provider.ParseObject(*loader);
    }
    if (name == "Joint") {
        auto* generic = new UnknownJoint(this);
        // Without a "Type" the element made no joint: the file is broken.
        if (!provider.ParseObject(*generic) || !generic->GetCreated())
            return false;
        // The joint "Type" made stays; the generic one only carried the element.
        delete generic;
        return true;
    }
    if (Joint* joint = CreateJoint(type, this))
        return provider.ParseObject(*joint);
    return false;
}

bool World::OnEndNode(vadu::xml::Provider&)
{
    // The list may not change while attaching; a copy keeps the walk simple anyway.
    const std::vector<Joint*> joints = joints_;
    for (Joint* joint : joints) {
        if (!joint->Attach())
            return false;
    }
    return true;
}

void World::AddNode(Node* node)
{
    nodes_.push_back(node);
}

void World::AddJoint(Joint* joint)
{
    joints_.push_back(joint);
}

void World::RemoveNode(Node* node)
{
    const auto found = std::find(nodes_.begin(), nodes_.end(), node);
    if (found != nodes_.end())
        nodes_.erase(found);
}

void World::RemoveJoint(Joint* joint)
{
    const auto found = std::find(joints_.begin(), joints_.end(), joint);
    if (found != joints_.end())
        joints_.erase(found);
}

void World::Step(double dt)
{
    for (size_t i = 0; i < nodes_.size(); ++i)
        nodes_[i]->PreStep();
    // A node appended during an update is updated in the same pass.
    for (size_t i = 0; i < nodes_.size(); ++i)
        nodes_[i]->Update(static_cast<float>(dt));
    if (AttractionEnabled) {
        for (Node* node : nodes_) {
            b2Body* body = node->GetBody();
            if (!body || body->GetType() != b2_dynamicBody)
                continue;
            const float mass = body->GetMass();
            if (!(mass > 0.0f))
                continue;
            const vadu::math::Vector2<float>& position = node->GetPosition();
            const float fx = AttractionStrength * ((static_cast<float>(dt) * (AttractionPoint.x - position.x)) / 20.0f) /
                             mass / PixelsInMeter;
            const float fy = AttractionStrength * ((static_cast<float>(dt) * (AttractionPoint.y - position.y)) / 20.0f) /
                             mass / PixelsInMeter;
            body->SetAwake(true);
            body->ApplyForceToCenter(b2Vec2(fx, fy), true);
        }
    }
    world_->Step(static_cast<float>(dt), VelocityIterations, PositionIterations);
    for (size_t i = 0; i < nodes_.size(); ++i)
        nodes_[i]->PostStep();
}

Node* World::Pick(const vadu::math::Vector2<float>& point)
{
    const b2Vec2 q(point.x / PixelsInMeter, point.y / PixelsInMeter);
    b2AABB box;
    box.lowerBound = b2Vec2(q.x - 0.001f, q.y - 0.001f);
    box.upperBound = b2Vec2(q.x + 0.001f, q.y + 0.001f);
    PickCallback callback;
    world_->QueryAABB(&callback, box);
    if (!callback.found)
        return nullptr;
    return reinterpret_cast<Node*>(callback.found->GetBody()->GetUserData().pointer);
}

Node* World::FindNode(const vadu::Atom& name) const
{
    for (Node* node : nodes_) {
        if (node->GetName() == name)
            return node;
    }
    return nullptr;
}

} // namespace physics
