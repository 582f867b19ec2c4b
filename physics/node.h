#pragma once

// Rigid bodies bound to scene nodes: either the scene node drives the body ("Attached")
// or the body drives the scene node. Circles and boxes are the shaped kinds; the game's
// shapes derive from Circle.

#include <memory>
#include <vector>

#include <box2d/b2_body.h>
#include <box2d/b2_fixture.h>
#include <box2d/b2_shape.h>

#include "vadu/atom.h"
#include "vadu/math.h"
#include "vadu/xml_object.h"

namespace vadu::lib3d::node {
class Node;
}

namespace physics {

class World;
class NodeLoader;

// The pending parts of a body's one fixture, consumed when the body is built.
class Fixture {
public:
    Fixture() = default;
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;
    virtual ~Fixture();

    void SetPendingFixtureDef(std::unique_ptr<b2FixtureDef> definition) { fixture_def_ = std::move(definition); }
    void SetPendingShape(std::unique_ptr<b2Shape> shape) { shape_ = std::move(shape); }
    bool HasPendingFixtureDef() const noexcept { return fixture_def_ != nullptr; }

protected:
    std::unique_ptr<b2FixtureDef> fixture_def_;
    std::unique_ptr<b2Shape> shape_;
};

// One contact point of a body, in pixels and world coordinates.
struct Contact {
    vadu::math::Vector2<float> point{};
    vadu::math::Vector2<float> normal{};
    bool touching = false;
    class Node* other = nullptr;
};

class Node : public Fixture {
public:
    // An unbuilt node, appended to the world's node list.
    explicit Node(World* world);
    // Leaves the world's list, then destroys the body (Box2D destroys its joints too).
    ~Node() override;

    // Lets a kind build its own scene node below the root; true when it did.
    virtual bool CreateSceneNode(vadu::lib3d::node::Node* root);
    virtual std::unique_ptr<NodeLoader> CreateLoader();
    // Binds the scene node named by "SceneNode" below the root. Throws vadu::Gluck
    // `Node "X" cannot be found` when it is missing.
    virtual void SetRootNode(vadu::lib3d::node::Node* root);
    virtual void SetSceneNode(vadu::lib3d::node::Node* node, bool attached);
    virtual vadu::lib3d::node::Node* GetSceneNode() const { return scene_node_; }
    // An attached node moves its body to its scene node.
    virtual void PreStep();
    // The scene node follows the body (whole pixels); the stored position keeps fractions.
    virtual void PostStep();
    virtual void Update(float dt);
    virtual void SetCenter(const vadu::math::Vector2<float>& center);
    virtual vadu::math::Vector2<float> GetCenter() const;
    virtual vadu::math::Vector2<float> GetSize() const;

    // Moves the body (pixels), keeping its angle; the scene node follows at once.
    void SetPosition(const vadu::math::Vector2<float>& position);
    // Dynamic with that mass when above 0 (and no rotational inertia about a centred
    // mass), static otherwise.
    void SetMass(float mass);

    b2Body* GetBody() const noexcept { return body_; }
    World* GetWorld() const noexcept { return world_; }
    const vadu::math::Vector2<float>& GetPosition() const noexcept { return position_; }
    const std::vector<Contact>& GetContacts() const noexcept { return contacts_; }
    const vadu::Atom& GetName() const noexcept { return name_; }
    void SetName(const vadu::Atom& name) { name_ = name; }
    const vadu::Atom& GetSceneNodeName() const noexcept { return scene_node_name_; }
    void SetSceneNodeName(const vadu::Atom& name) { scene_node_name_ = name; }
    bool IsAttached() const noexcept { return attached_; }
    void SetAttached(bool attached) { attached_ = attached; }
    bool UsesGlobalCoordinates() const noexcept { return global_coordinates_; }
    void SetGlobalCoordinates(bool global) { global_coordinates_ = global; }
    vadu::lib3d::node::Node* GetRootNode() const noexcept { return scene_root_; }

    // Free for the game (a shape stores itself here).
    void* UserPointer = nullptr;

    // Builds the body from a definition whose position and velocity are in pixels, with
    // the pending fixture parts or the given defaults; no fixture when there is no shape.
    void Build(b2BodyDef definition, std::unique_ptr<b2FixtureDef> default_fixture,
               std::unique_ptr<b2Shape> default_shape);

protected:
    void RefreshContacts();

    b2Body* body_ = nullptr;
    World* world_;
    bool attached_ = false;
    bool global_coordinates_ = true;
    std::vector<Contact> contacts_;
    vadu::math::Vector2<float> position_{};
    vadu::Atom name_;
    vadu::Atom scene_node_name_;
    vadu::lib3d::node::Node* scene_node_ = nullptr;
    vadu::lib3d::node::Node* scene_root_ = nullptr;
};

class Circle : public Node {
public:
    // An unbuilt circle, for the world file's loader.
    explicit Circle(World* world);
    // Built at once: a static body at the origin with one circle fixture (density 1).
    Circle(World* world, float radius, const vadu::math::Vector2<float>& center);

    std::unique_ptr<NodeLoader> CreateLoader() override;
    vadu::math::Vector2<float> GetSize() const override { return {2.0f * radius_, 2.0f * radius_}; }

    float GetRadius() const noexcept { return radius_; }
    void SetRadius(float radius) { radius_ = radius; }

private:
    float radius_ = 0.0f;
};

class Box : public Node {
public:
    explicit Box(World* world);

    std::unique_ptr<NodeLoader> CreateLoader() override;
    // Rebuilds the fixture as a box of the stored size centred at the point (pixels).
    void SetCenter(const vadu::math::Vector2<float>& center) override;
    vadu::math::Vector2<float> GetCenter() const override;
    vadu::math::Vector2<float> GetSize() const override { return {width_, height_}; }

    void SetWidth(float width) { width_ = width; }
    void SetHeight(float height) { height_ = height; }

private:
    float width_ = 0.0f;
    float height_ = 0.0f;
};

// Reads a body element into its node and builds the body when the element ends.
class NodeLoader : public vadu::xml::ObjectANSI {
public:
    explicit NodeLoader(Node* node);

    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    bool OnEndNode(vadu::xml::Provider& provider) override;

    // Without a "Fixture" element: density 1, friction 0.
    virtual std::unique_ptr<b2FixtureDef> CreateFixtureDef();
    // The loader's shape (pixels already converted); null for a plain node.
    virtual std::unique_ptr<b2Shape> CreateShape();

protected:
    b2BodyDef definition_;
    float mass_ = 0.0f;
    Node* node_;
};

class CircleLoader : public NodeLoader {
public:
    explicit CircleLoader(Circle* circle);

    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    // A circle without a positive "Radius" fails.
    bool OnEndNode(vadu::xml::Provider& provider) override;
    std::unique_ptr<b2Shape> CreateShape() override;

private:
    Circle* circle_;
    float radius_ = 0.0f;
    bool has_radius_ = false;
    vadu::math::Vector2<float> center_{};
};

class BoxLoader : public NodeLoader {
public:
    explicit BoxLoader(Box* box);

    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    // A box without a positive width and height fails.
    bool OnEndNode(vadu::xml::Provider& provider) override;
    std::unique_ptr<b2Shape> CreateShape() override;

private:
    Box* box_;
    float width_ = 0.0f;
    float height_ = 0.0f;
    vadu::math::Vector2<float> center_{};
};

// The "Fixture" element: Box2D's defaults (density 0, friction 0.2).
class FixtureDefLoader : public vadu::xml::ObjectANSI {
public:
    FixtureDefLoader();

    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;

    std::unique_ptr<b2FixtureDef> Take() { return std::move(definition_); }

private:
    std::unique_ptr<b2FixtureDef> definition_;
};

} // namespace physics
