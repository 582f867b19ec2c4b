#include "physics/node.h"

#include <cmath>

#include <box2d/b2_circle_shape.h>
#include <box2d/b2_contact.h>
#include <box2d/b2_polygon_shape.h>
#include <box2d/b2_world.h>

#include "physics/value_loader.h"
#include "physics/world.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/node.h"

namespace physics {

namespace {

// Bodies farther out than this (in metres) or shapes larger than it are a broken file:
// Box2D's tolerances are tuned for objects of 0.1 to 10 m in a world of a few km.
constexpr float kLargestLength = 1.0e6f;

bool IsReasonable(float metres)
{
    return std::isfinite(metres) && std::fabs(metres) <= kLargestLength;
}

bool IsReasonable(const b2Vec2& metres)
{
    return IsReasonable(metres.x) && IsReasonable(metres.y);
}

std::unique_ptr<b2FixtureDef> DefaultFixtureDef()
{
    auto definition = std::make_unique<b2FixtureDef>();
    definition->density = 1.0f;
    definition->friction = 0.0f;
    definition->restitution = 0.0f;
    definition->isSensor = false;
    definition->filter.categoryBits = 0x0001;
    definition->filter.maskBits = 0xFFFF;
    definition->filter.groupIndex = 0;
    return definition;
}

std::unique_ptr<b2PolygonShape> MakeBox(float width, float height, const vadu::math::Vector2<float>& center, float pim)
{
    auto shape = std::make_unique<b2PolygonShape>();
    shape->SetAsBox(0.5f * width / pim, 0.5f * height / pim, b2Vec2(center.x / pim, center.y / pim), 0.0f);
    return shape;
}

} // namespace

Fixture::~Fixture() = default;

// --- Node -------------------------------------------------------------------------------

Node::Node(World* world) : world_(world)
{
    world_->AddNode(this);
}

Node::~Node()
{
    world_->RemoveNode(this);
    if (body_) {
        world_->GetWorld().DestroyBody(body_);
        body_ = nullptr;
    }
}

bool Node::CreateSceneNode(vadu::lib3d::node::Node*)
{
    return false;
}

std::unique_ptr<NodeLoader> Node::CreateLoader()
{
    return std::make_unique<NodeLoader>(this);
}

void Node::SetRootNode(vadu::lib3d::node::Node* root)
{
    scene_root_ = root;
    if (CreateSceneNode(root))
        return;
    if (scene_node_name_ == vadu::Atom())
        return;
    vadu::lib3d::node::Node* found = root ? root->find_child(scene_node_name_, true) : nullptr;
    if (!found) {
        throw vadu::Gluck("physics::Node::SetRootNode",
                          vadu::String("Node \"") + scene_node_name_.get_name() + vadu::String("\" cannot be found"));
    }
    scene_node_ = found;
}

void Node::SetSceneNode(vadu::lib3d::node::Node* node, bool attached)
{
    scene_node_ = node;
    attached_ = attached;
}

void Node::PreStep()
{
    if (!attached_ || !scene_node_ || !body_)
        return;
    const float pim = world_->GetPixelsInMeter();
    const vadu::math::Vector3 position = scene_node_->get_global_position();
    const vadu::math::Vector3 rotation = scene_node_->get_global_rotation();
    body_->SetTransform(b2Vec2(position.x / pim, position.y / pim), rotation.z);
    RefreshContacts();
}

void Node::PostStep()
{
    if (attached_ && scene_node_)
        return;
    if (!body_)
        return;
    const b2Transform& transform = body_->GetTransform();
    const float pim = world_->GetPixelsInMeter();
    // Kept for bodies without a scene node too: the attraction and the game read it.
    position_ = {pim * transform.p.x, pim * transform.p.y};
    if (!scene_node_) {
        RefreshContacts();
        return;
    }
    const float angle = std::atan2(transform.q.s, transform.q.c);
    if (global_coordinates_) {
        const vadu::math::Vector3 current = scene_node_->get_global_position();
        scene_node_->set_global_position({std::trunc(position_.x), std::trunc(position_.y), current.z});
        const vadu::math::Vector3 rotation = scene_node_->get_global_rotation();
        scene_node_->set_global_rotation({rotation.x, rotation.y, angle});
    } else {
        const vadu::math::Vector3 current = scene_node_->get_position();
        scene_node_->set_position({std::trunc(position_.x), std::trunc(position_.y), current.z});
        const vadu::math::Vector3 rotation = scene_node_->get_rotation();
        // set_rotation only marks the transform changed when the angle moved.
        scene_node_->set_rotation({rotation.x, rotation.y, angle});
    }
    RefreshContacts();
}

void Node::Update(float) {}

void Node::SetCenter(const vadu::math::Vector2<float>&) {}

vadu::math::Vector2<float> Node::GetCenter() const
{
    return {0.0f, 0.0f};
}

vadu::math::Vector2<float> Node::GetSize() const
{
    return {0.0f, 0.0f};
}

void Node::SetPosition(const vadu::math::Vector2<float>& position)
{
    position_ = position;
    if (!body_)
        return;
    const float pim = world_->GetPixelsInMeter();
    body_->SetTransform(b2Vec2(position.x / pim, position.y / pim), body_->GetAngle());
    PostStep();
}

void Node::SetMass(float mass)
{
    if (!body_)
        return;
    body_->SetType(mass > 0.0f ? b2_dynamicBody : b2_staticBody);
    if (mass > 0.0f) {
        b2MassData data;
        data.mass = mass;
        data.center = body_->GetLocalCenter();
        // Box2D subtracts m·|c|² again: a centred mass gets no rotational inertia.
        data.I = 2.0f * mass * (data.center.x * data.center.x + data.center.y * data.center.y);
        body_->SetMassData(&data);
    }
}

void Node::Build(b2BodyDef definition, std::unique_ptr<b2FixtureDef> default_fixture,
                 std::unique_ptr<b2Shape> default_shape)
{
    const float pim = world_->GetPixelsInMeter();
    definition.position = b2Vec2(definition.position.x / pim, definition.position.y / pim);
    definition.linearVelocity = b2Vec2(definition.linearVelocity.x / pim, definition.linearVelocity.y / pim);
    definition.userData.pointer = reinterpret_cast<uintptr_t>(this);
    body_ = world_->GetWorld().CreateBody(&definition);
    position_ = {definition.position.x * pim, definition.position.y * pim};

    std::unique_ptr<b2FixtureDef> fixture = fixture_def_ ? std::move(fixture_def_) : std::move(default_fixture);
    std::unique_ptr<b2Shape> shape = shape_ ? std::move(shape_) : std::move(default_shape);
    // A plain "Node" has no shape: its body has no fixture.
    if (fixture && shape) {
        fixture->shape = shape.get();
        body_->CreateFixture(fixture.get());
    }
}

void Node::RefreshContacts()
{
    contacts_.clear();
    if (!body_)
        return;
    const float pim = world_->GetPixelsInMeter();
    for (b2ContactEdge* edge = body_->GetContactList(); edge; edge = edge->next) {
        b2Contact* contact = edge->contact;
        Node* other = edge->other ? reinterpret_cast<Node*>(edge->other->GetUserData().pointer) : nullptr;
        const int count = contact->GetManifold()->pointCount;
        if (count == 0) {
            if (contact->IsTouching())
                contacts_.push_back(Contact{{0.0f, 0.0f}, {0.0f, 0.0f}, true, other});
            continue;
        }
        b2WorldManifold manifold;
        contact->GetWorldManifold(&manifold);
        for (int i = 0; i < count; ++i) {
            contacts_.push_back(Contact{{manifold.points[i].x * pim, manifold.points[i].y * pim},
                                        {manifold.normal.x, manifold.normal.y},
                                        contact->IsTouching(),
                                        other});
        }
    }
}

// --- Circle and Box ---------------------------------------------------------------------

Circle::Circle(World* world) : Node(world) {}

Circle::Circle(World* world, float radius, const vadu::math::Vector2<float>& center) : Node(world), radius_(radius)
{
    const float pim = world_->GetPixelsInMeter();
    b2BodyDef definition;
    definition.type = b2_staticBody;
    auto shape = std::make_unique<b2CircleShape>();
    shape->m_radius = radius / pim;
    shape->m_p = b2Vec2(center.x / pim, center.y / pim);
    Build(definition, DefaultFixtureDef(), std::move(shape));
}

std::unique_ptr<NodeLoader> Circle::CreateLoader()
{
    return std::make_unique<CircleLoader>(this);
}

Box::Box(World* world) : Node(world) {}

std::unique_ptr<NodeLoader> Box::CreateLoader()
{
    return std::make_unique<BoxLoader>(this);
}

void Box::SetCenter(const vadu::math::Vector2<float>& center)
{
    if (!body_)
        return;
    // Box2D keeps a fixture's broad-phase proxy for its shape as created: a moved polygon
    // needs a fixture of its own. A new fixture makes Box2D compute the mass again from
    // the density; moving the box must not change what the body weighs (SetMass).
    b2MassData mass;
    body_->GetMassData(&mass);
    const bool dynamic = body_->GetType() == b2_dynamicBody;
    b2FixtureDef definition;
    if (b2Fixture* old = body_->GetFixtureList()) {
        definition.density = old->GetDensity();
        definition.friction = old->GetFriction();
        definition.restitution = old->GetRestitution();
        definition.restitutionThreshold = old->GetRestitutionThreshold();
        definition.isSensor = old->IsSensor();
        definition.filter = old->GetFilterData();
        definition.userData = old->GetUserData();
        body_->DestroyFixture(old);
    } else {
        definition = *DefaultFixtureDef();
    }
    auto shape = MakeBox(width_, height_, center, world_->GetPixelsInMeter());
    definition.shape = shape.get();
    body_->CreateFixture(&definition);
    if (dynamic)
        body_->SetMassData(&mass);
}

vadu::math::Vector2<float> Box::GetCenter() const
{
    if (!body_ || !body_->GetFixtureList())
        return {0.0f, 0.0f};
    const b2Shape* shape = body_->GetFixtureList()->GetShape();
    if (shape->GetType() != b2Shape::e_polygon)
        return {0.0f, 0.0f};
    const b2Vec2 centroid = static_cast<const b2PolygonShape*>(shape)->m_centroid;
    const float pim = world_->GetPixelsInMeter();
    return {centroid.x * pim, centroid.y * pim};
}

// --- Loaders ----------------------------------------------------------------------------

NodeLoader::NodeLoader(Node* node) : node_(node) {}

bool NodeLoader::OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value)
{
    if (name == "Name") {
        vadu::Atom atom;
        if (!ConvertValue(value, &atom))
            return false;
        node_->SetName(atom);
        return true;
    }
    if (name == "SceneNode") {
        vadu::Atom atom;
        if (!ConvertValue(value, &atom))
            return false;
        node_->SetSceneNodeName(atom);
        return true;
    }
    if (name == "Attached") {
        bool attached = false;
        if (!ConvertValue(value, &attached))
            return false;
        node_->SetAttached(attached);
        return true;
    }
    return false;
}

bool NodeLoader::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "BodyType")
        return ReadValue(provider, &definition_.type);
    if (name == "Position")
        return ReadValue(provider, &definition_.position);
    if (name == "Rotation")
        return ReadValue(provider, &definition_.angle);
    if (name == "LinearVelocity")
        return ReadValue(provider, &definition_.linearVelocity);
    if (name == "AngularVelocity")
        return ReadValue(provider, &definition_.angularVelocity);
    if (name == "LinearDamping")
        return ReadValue(provider, &definition_.linearDamping);
    if (name == "AngularDamping")
        return ReadValue(provider, &definition_.angularDamping);
    if (name == "AllowSleep")
        return ReadValue(provider, &definition_.allowSleep);
    if (name == "Awake")
        return ReadValue(provider, &definition_.awake);
    if (name == "FixedRotation")
        return ReadValue(provider, &definition_.fixedRotation);
    if (name == "Bullet")
        return ReadValue(provider, &definition_.bullet);
    if (name == "Active")
        return ReadValue(provider, &definition_.enabled);
    if (name == "GravityScale")
        return ReadValue(provider, &definition_.gravityScale);
    if (name == "Mass")
        return ReadValue(provider, &mass_);
    if (name == "Fixture") {
        FixtureDefLoader loader;
        if (!provider.ParseObject(loader))
            return false;
        node_->SetPendingFixtureDef(loader.Take());
        return true;
    }
    return false;
}

bool NodeLoader::OnEndNode(vadu::xml::Provider&)
{
    const float pim = node_->GetWorld()->GetPixelsInMeter();
    const b2Vec2 position(definition_.position.x / pim, definition_.position.y / pim);
    const b2Vec2 velocity(definition_.linearVelocity.x / pim, definition_.linearVelocity.y / pim);
    if (!IsReasonable(position) || !IsReasonable(velocity) || !IsReasonable(definition_.angle) ||
        !IsReasonable(definition_.angularVelocity))
        return false;
    // Negative damping feeds energy in without bound.
    if (definition_.linearDamping < 0.0f || definition_.angularDamping < 0.0f)
        return false;
    if (node_->GetBody())
        return false;
    node_->Build(definition_, CreateFixtureDef(), CreateShape());
    if (mass_ > 0.0f)
        node_->SetMass(mass_);
    return true;
}

std::unique_ptr<b2FixtureDef> NodeLoader::CreateFixtureDef()
{
    return DefaultFixtureDef();
}

std::unique_ptr<b2Shape> NodeLoader::CreateShape()
{
    return nullptr;
}

CircleLoader::CircleLoader(Circle* circle) : NodeLoader(circle), circle_(circle) {}

bool CircleLoader::OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value)
{
    if (name == "Radius") {
        if (!ConvertValue(value, &radius_))
            return false;
        has_radius_ = true;
        circle_->SetRadius(radius_);
        return true;
    }
    if (name == "Center")
        return ConvertValue(value, &center_);
    return NodeLoader::OnAttribute(provider, name, value);
}

bool CircleLoader::OnEndNode(vadu::xml::Provider& provider)
{
    const float pim = node_->GetWorld()->GetPixelsInMeter();
    if (!has_radius_ || !(radius_ > 0.0f) || !IsReasonable(radius_ / pim) ||
        !IsReasonable(b2Vec2(center_.x / pim, center_.y / pim)))
        return false;
    return NodeLoader::OnEndNode(provider);
}

std::unique_ptr<b2Shape> CircleLoader::CreateShape()
{
    const float pim = node_->GetWorld()->GetPixelsInMeter();
    auto shape = std::make_unique<b2CircleShape>();
    shape->m_radius = radius_ / pim;
    shape->m_p = b2Vec2(center_.x / pim, center_.y / pim);
    return shape;
}

BoxLoader::BoxLoader(Box* box) : NodeLoader(box), box_(box) {}

bool BoxLoader::OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value)
{
    if (name == "Width") {
        if (!ConvertValue(value, &width_))
            return false;
        box_->SetWidth(width_);
        return true;
    }
    if (name == "Height") {
        if (!ConvertValue(value, &height_))
            return false;
        box_->SetHeight(height_);
        return true;
    }
    if (name == "Size") {
        vadu::math::Vector2<float> size;
        if (!ConvertValue(value, &size))
            return false;
        width_ = size.x;
        height_ = size.y;
        box_->SetWidth(width_);
        box_->SetHeight(height_);
        return true;
    }
    if (name == "Center")
        return ConvertValue(value, &center_);
    return NodeLoader::OnAttribute(provider, name, value);
}

bool BoxLoader::OnEndNode(vadu::xml::Provider& provider)
{
    const float pim = node_->GetWorld()->GetPixelsInMeter();
    // Box2D needs a polygon with area; below its linear slop the solver cannot hold it.
    if (!(width_ / pim > 2.0f * b2_linearSlop) || !(height_ / pim > 2.0f * b2_linearSlop) ||
        !IsReasonable(width_ / pim) || !IsReasonable(height_ / pim) ||
        !IsReasonable(b2Vec2(center_.x / pim, center_.y / pim)))
        return false;
    return NodeLoader::OnEndNode(provider);
}

std::unique_ptr<b2Shape> BoxLoader::CreateShape()
{
    return MakeBox(width_, height_, center_, node_->GetWorld()->GetPixelsInMeter());
}

FixtureDefLoader::FixtureDefLoader() : definition_(std::make_unique<b2FixtureDef>())
{
    definition_->filter.categoryBits = 0x0001;
    definition_->filter.maskBits = 0xFFFF;
    definition_->filter.groupIndex = 0;
}

bool FixtureDefLoader::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "Density")
        return ReadValue(provider, &definition_->density) && definition_->density >= 0.0f;
    if (name == "Friction")
        return ReadValue(provider, &definition_->friction) && definition_->friction >= 0.0f;
    if (name == "Restitution")
        return ReadValue(provider, &definition_->restitution) && definition_->restitution >= 0.0f;
    if (name == "IsSensor")
        return ReadValue(provider, &definition_->isSensor);
    if (name == "Group")
        return ReadValue(provider, &definition_->filter.groupIndex);
    return false;
}

} // namespace physics
