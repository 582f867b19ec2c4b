#pragma once

// The scene-graph node: a named transform with owned children, visibility, an optional
// look-at target and an optional attached animation, loaded from and saved to XML.

#include <cstdint>
#include <list>
#include <memory>

#include "vadu/animate/animatable.h"
#include "vadu/animate/soul.h"
#include "vadu/atom.h"
#include "vadu/math.h"
#include "vadu/path.h"
#include "vadu/string.h"
#include "vadu/weak_ptr.h"
#include "vadu/xml_object.h"

namespace vadu::animate {
class PrimitiveAnimation;
}

namespace vadu::lib3d::hard {
class Hardware;
class RenderList;
} // namespace vadu::lib3d::hard

namespace vadu::lib3d::node {

class Node;

// Three numbers, as the vector and colour attributes of scene files give them; false
// leaves *value as it was.
bool read_vector3(const String& text, math::Vector3* value);
class LoadingRoot;
class Camera;
class Animation2D;
class Image;
class Text;

// Written by the game. A node class without an operation of its own is visited as a Node.
class NodeVisitor {
public:
    NodeVisitor() = default;
    NodeVisitor(const NodeVisitor&) = default;
    NodeVisitor& operator=(const NodeVisitor&) = default;
    virtual ~NodeVisitor();

    virtual void visit_node(Node& node) = 0;
    virtual void visit_loading_root(LoadingRoot& root) = 0;
    virtual void visit_camera(Camera& camera) = 0;
    virtual void visit_animation_2d(Animation2D& animation) = 0;
    virtual void visit_image(Image& image) = 0;
    virtual void visit_text(Text& text) = 0;
};

// The Euler angles (x, y, z) of the rotation part of a matrix, the inverse of
// math::Matrix4::rotation away from y = ±π/2. At the singularity x and z are offset by π.
math::Vector3 extract_euler(const math::Matrix4& m);

// A named local transform with cached matrices.
class Transformable : public animate::Animatable, public xml::ObjectANSI {
public:
    explicit Transformable(const Atom& name);
    // Copies the name, the transform values and the absolute byte; the caches start over.
    Transformable(const Transformable& other);
    Transformable& operator=(const Transformable&) = delete;
    ~Transformable() override;

    using Animatable::change_attribute;
    using Animatable::get_attribute;
    // "Position", "Rotation" and "Scale".
    bool change_attribute(const Atom& name, const math::Vector3& value) override;
    bool get_attribute(const Atom& name, math::Vector3& value) override;

    // The type-name atom of the node's class, which is also its element name in scenes.
    virtual Atom get_type_name() const = 0;

    // "Name", "Position", "Rotation", "Scale"; false for anything else.
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    const Atom& get_name() const noexcept { return name_; }
    void set_name(const Atom& name) { name_ = name; }

    const math::Vector3& get_position() const noexcept { return position_; }
    const math::Vector3& get_rotation() const noexcept { return rotation_; }
    const math::Vector3& get_scale() const noexcept { return scale_; }
    // Each stores the value and marks the transform changed only when the value differs.
    void set_position(const math::Vector3& position);
    void set_rotation(const math::Vector3& rotation);
    void set_scale(const math::Vector3& scale);

    // An absolute node's global matrix is its local matrix; its parent's is ignored.
    bool is_absolute() const noexcept { return absolute_ != 0; }
    void set_absolute(bool absolute);

    // Scale from the lengths of the first three columns, position from the translation,
    // rotation from the normalised columns. A zero column gives scale 0 on that axis.
    void set_transform_from_matrix(const math::Matrix4& m);

    // Rotation times scale, with the position as translation; rebuilt when dirty.
    const math::Matrix4& get_local_matrix();
    // What the last render walk (or the owner of a root) stored.
    const math::Matrix4& get_cached_global_matrix() const noexcept { return global_matrix_; }
    void set_cached_global_matrix(const math::Matrix4& m) { global_matrix_ = m; }

    bool is_global_changed() const noexcept { return global_changed_ != 0; }
    // Sets both the local-matrix-dirty and the global-changed byte.
    void mark_transform_changed() noexcept;

protected:
    Atom name_;
    uint8_t local_dirty_ = 1;
    uint8_t global_changed_ = 1;
    math::Matrix4 local_matrix_;
    math::Matrix4 global_matrix_;
    math::Vector3 position_{0.0f, 0.0f, 0.0f};
    math::Vector3 rotation_{0.0f, 0.0f, 0.0f};
    math::Vector3 scale_{1.0f, 1.0f, 1.0f};
    uint8_t absolute_ = 0;
};

// The scene node. Nodes live on the heap; a parent owns and deletes its children.
// Weak pointers may point at a node (look-at targets, animation tracks).
class Node : public Transformable, public Trackable, public virtual animate::Soul {
public:
    using ChildList = std::list<Node*>;

    // Appended as the parent's last child when a parent is given. Throws vadu::Gluck
    // when no Soul::Creator exists.
    Node(const Atom& name, Node* parent);
    // A parentless copy with clones of all children and a copy of the animation bound to
    // the copy; the target name and the children scene path start empty.
    Node(const Node& other);
    Node& operator=(const Node&) = delete;
    // Deletes the children, leaves the parent, then deletes the animation.
    ~Node() override;

    using Transformable::change_attribute;
    using Transformable::get_attribute;
    // "Visibility" (true) and "Opacity" (false, though it changes visibility the same way):
    // visible when the value is above 0.5.
    bool change_attribute(const Atom& name, double value) override;
    // "Visibility": 1 or 0.
    bool get_attribute(const Atom& name, double& value) override;
    // "#AnyNode#" is this node; otherwise the children in order, depth first when
    // recursive. The node's own name is not compared.
    animate::Animatable* find_object(const Atom& name, bool recursive) override;
    Atom get_type_name() const override;

    virtual Node* clone() const;
    // Brings the visible children's global matrices up to date and walks into them; hidden
    // subtrees are skipped. Derived types add their own geometry first.
    virtual void render_to_list(hard::Hardware& hardware, hard::RenderList& list);
    // The root type at the top of the tree, or null when the top is not a root type.
    virtual Node* get_root();
    virtual void accept(NodeVisitor& visitor);

    // Reading: Node's attributes, then Transformable's; child "Scene" is this node, any
    // other child element is a node of that registered type.
    bool OnNode(xml::Provider& provider, const String& name) override;
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // Binds the attached animation to this node.
    bool OnEndNode(xml::Provider& provider) override;
    // Writing: only what differs from the defaults, and the children unless they come
    // from a scene file.
    void OnSaveAttributes(xml::Saver& saver) override;
    void OnSaveNodes(xml::Saver& saver) override;

    // Advances the attached animation while the node is visible.
    void update(double dt) override;

    // This node when its own name matches, else the first matching child (depth first into
    // each child when recursive); null when none matches.
    Node* find_child(const Atom& name, bool recursive);
    // Moves the child under this node (appended last). keep_local false keeps its global
    // placement; true keeps its local values. Throws vadu::Gluck when the child is this
    // node or one of its ancestors.
    void add_child(Node* child, bool keep_local);
    // Leaves the parent; keep_local false keeps the global placement.
    void detach(bool keep_local);
    // A clone placed beside this node, where this node is.
    Node* duplicate();
    void delete_children();

    // The local matrices from the top (or the nearest absolute node) down to this one,
    // multiplied; the cached global matrix when nothing changed and force is false.
    math::Matrix4 get_global_matrix(bool force);
    // Sets the local transform so that the global matrix becomes m.
    void set_global_matrix(const math::Matrix4& m);
    math::Vector3 get_global_position();
    // Only the position changes; the cached local matrix gets the new translation.
    void set_global_position(const math::Vector3& position);
    float get_global_z();
    void set_global_z(float z);
    math::Matrix4 get_global_rotation_matrix();
    math::Vector3 get_global_rotation();
    void set_global_rotation(const math::Vector3& rotation);
    // Turns the node toward a point given in global coordinates, with up as the up vector.
    void look_at(const math::Vector3& target, const math::Vector3& up);

    bool is_visible() const noexcept { return visible_ != 0; }
    // A change also marks the global matrix changed.
    void set_visible(bool visible);

    const math::Vector3& get_top_vector() const noexcept { return top_vector_; }
    void set_top_vector(const math::Vector3& top) { top_vector_ = top; }
    const String& get_target_name() const noexcept { return target_name_; }
    void set_target_name(const String& name) { target_name_ = name; }
    // The resolved look-at target; null when unresolved or destroyed.
    Node* get_target() const;
    void set_target(Node* target);

    Node* get_parent() const noexcept { return parent_; }
    const ChildList& get_children() const noexcept { return children_; }
    size_t get_child_count() const noexcept { return children_.size(); }
    const String& get_children_path() const noexcept { return children_path_; }

    animate::PrimitiveAnimation* get_animation() const noexcept { return animation_.get(); }
    bool is_animation_looped() const noexcept { return looped_ != 0; }
    const Atom& get_element_name() const noexcept { return element_name_; }

protected:
    uint8_t visible_ = 1;
    math::Vector3 top_vector_{0.0f, 0.0f, 1.0f};
    String target_name_;
    WeakPtr target_;
    Node* parent_ = nullptr;
    ChildList children_;
    ChildList::iterator position_in_parent_;
    String children_path_;
    // Owned; a node reading a second "Animation" deletes the first.
    std::unique_ptr<animate::PrimitiveAnimation> animation_;
    uint8_t looped_ = 1;
    Atom element_name_;

private:
    // The parent's global matrix as placement reference: identity without a parent and
    // for an absolute node.
    math::Matrix4 placement_matrix();
    void link_to(Node* parent);
    void unlink();
    bool load_children(const String& path);
    bool load_animation(const String& path);
};

} // namespace vadu::lib3d::node
