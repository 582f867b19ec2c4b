#include "vadu/lib3d/node/node.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <vector>

#include "vadu/animate/primitive_animation.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/log.h"
#include "vadu/xml_reader.h"
#include "vadu/xml_writer.h"

namespace vadu::lib3d::node {

namespace {

struct Names {
    Atom position{"Position"};
    Atom rotation{"Rotation"};
    Atom scale{"Scale"};
    Atom visibility{"Visibility"};
    Atom opacity{"Opacity"};
    Atom any_node{"#AnyNode#"};
};

const Names& names()
{
    static const Names table;
    return table;
}

String format_vector(const math::Vector3& value)
{
    char buffer[24];
    String text;
    converter::print_float(buffer, value.x);
    text += buffer;
    text += " ";
    converter::print_float(buffer, value.y);
    text += buffer;
    text += " ";
    converter::print_float(buffer, value.z);
    text += buffer;
    return text;
}

void log_line(const String& line)
{
    try {
        logs::log() << line;
    } catch (const Gluck&) {
        // No log: the failed load is reported by its caller all the same.
    }
}

// Node matrices are affine, so points go through without the projective division (a
// zero matrix, such as an unset root's cached global, gives the origin, not NaN).
math::Vector3 apply(const math::Matrix4& m, const math::Vector3& v)
{
    return math::Vector3{m[0] * v.x + m[1] * v.y + m[2] * v.z + m[3], m[4] * v.x + m[5] * v.y + m[6] * v.z + m[7],
                         m[8] * v.x + m[9] * v.y + m[10] * v.z + m[11]};
}

math::Vector3 normalized(const math::Vector3& v)
{
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length == 0.0f)
        return v;
    return math::Vector3{v.x / length, v.y / length, v.z / length};
}

math::Vector3 cross(const math::Vector3& a, const math::Vector3& b)
{
    return math::Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Scene files being read through "Children", innermost last: a file that names itself,
// directly or further down, would otherwise recurse until the stack runs out.
std::vector<String>& children_files_open()
{
    static std::vector<String> files;
    return files;
}

class ChildrenFileScope {
public:
    explicit ChildrenFileScope(const String& path) { children_files_open().push_back(path); }
    ~ChildrenFileScope() { children_files_open().pop_back(); }
    ChildrenFileScope(const ChildrenFileScope&) = delete;
    ChildrenFileScope& operator=(const ChildrenFileScope&) = delete;
};

} // namespace

// The separator between the numbers is any single character after optional blanks.
bool read_vector3(const String& text, math::Vector3* value)
{
    const char* p = text.data();
    const char* const end = text.data_end();
    float parsed[3];
    for (float& component : parsed) {
        p = converter::parse_float(p, end, &component);
        if (p == nullptr)
            return false;
    }
    *value = math::Vector3{parsed[0], parsed[1], parsed[2]};
    return true;
}

NodeVisitor::~NodeVisitor() = default;

math::Vector3 extract_euler(const math::Matrix4& m)
{
    // Rounding can push the sine a hair past 1, where asin has no value.
    const double sine = std::clamp(static_cast<double>(m[8]), -1.0, 1.0);
    const double y = std::asin(sine);
    double x = std::atan2(static_cast<double>(m[9]), static_cast<double>(m[10]));
    double z = std::atan2(static_cast<double>(m[4]), static_cast<double>(m[0]));
    if (!(y > -1.5707963 && y < 1.5707963)) {
        x += 3.141592654;
        z += 3.141592654;
    }
    return math::Vector3{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

// Transformable

Transformable::Transformable(const Atom& name) : name_(name) {}

Transformable::Transformable(const Transformable& other)
    : xml::Object(other),
      Animatable(other),
      ObjectANSI(other),
      name_(other.name_),
      position_(other.position_),
      rotation_(other.rotation_),
      scale_(other.scale_),
      absolute_(other.absolute_)
{
}

Transformable::~Transformable() = default;

bool Transformable::change_attribute(const Atom& name, const math::Vector3& value)
{
    if (name == names().position)
        set_position(value);
    else if (name == names().rotation)
        set_rotation(value);
    else if (name == names().scale)
        set_scale(value);
    else
        return Animatable::change_attribute(name, value);
    return true;
}

bool Transformable::get_attribute(const Atom& name, math::Vector3& value)
{
    if (name == names().position)
        value = position_;
    else if (name == names().rotation)
        value = rotation_;
    else if (name == names().scale)
        value = scale_;
    else
        return Animatable::get_attribute(name, value);
    return true;
}

bool Transformable::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    math::Vector3* target = nullptr;
    if (name == "Name") {
        name_ = Atom(value);
        return true;
    }
    if (name == "Position")
        target = &position_;
    else if (name == "Rotation")
        target = &rotation_;
    else if (name == "Scale")
        target = &scale_;
    else
        return ObjectANSI::OnAttribute(provider, name, value);
    if (!read_vector3(value, target))
        return false;
    mark_transform_changed();
    return true;
}

void Transformable::set_position(const math::Vector3& position)
{
    if (position == position_)
        return;
    position_ = position;
    mark_transform_changed();
}

void Transformable::set_rotation(const math::Vector3& rotation)
{
    if (rotation == rotation_)
        return;
    rotation_ = rotation;
    mark_transform_changed();
}

void Transformable::set_scale(const math::Vector3& scale)
{
    if (scale == scale_)
        return;
    scale_ = scale;
    mark_transform_changed();
}

void Transformable::set_absolute(bool absolute)
{
    const uint8_t value = absolute ? 1 : 0;
    if (value == absolute_)
        return;
    absolute_ = value;
    global_changed_ = 1;
}

void Transformable::set_transform_from_matrix(const math::Matrix4& m)
{
    math::Matrix4 rotation = m;
    float scale[3];
    for (int column = 0; column < 3; ++column) {
        const float length = std::sqrt(m[column] * m[column] + m[4 + column] * m[4 + column] +
                                       m[8 + column] * m[8 + column]);
        scale[column] = length;
        if (length != 0.0f) {
            rotation[column] /= length;
            rotation[4 + column] /= length;
            rotation[8 + column] /= length;
        }
    }
    scale_ = math::Vector3{scale[0], scale[1], scale[2]};
    position_ = math::Vector3{m[3], m[7], m[11]};
    rotation_ = extract_euler(rotation);
    mark_transform_changed();
}

const math::Matrix4& Transformable::get_local_matrix()
{
    if (local_dirty_) {
        math::Matrix4 local = math::Matrix4::rotation(rotation_.x, rotation_.y, rotation_.z);
        math::Matrix4 scale = math::Matrix4::identity();
        scale[0] = scale_.x;
        scale[5] = scale_.y;
        scale[10] = scale_.z;
        local *= scale;
        local[3] = position_.x;
        local[7] = position_.y;
        local[11] = position_.z;
        local_matrix_ = local;
        local_dirty_ = 0;
    }
    return local_matrix_;
}

void Transformable::mark_transform_changed() noexcept
{
    local_dirty_ = 1;
    global_changed_ = 1;
}

// Node

Node::Node(const Atom& name, Node* parent) : Transformable(name), element_name_("Node")
{
    if (parent)
        link_to(parent);
}

Node::Node(const Node& other)
    : xml::Object(other),
      animate::Soul(other),
      Transformable(other),
      Trackable(other),
      visible_(other.visible_),
      top_vector_(other.top_vector_),
      looped_(other.looped_),
      element_name_(other.element_name_)
{
    try {
        for (Node* child : other.children_)
            add_child(child->clone(), true);
        if (other.animation_) {
            animation_ = std::make_unique<animate::PrimitiveAnimation>(*other.animation_);
            animation_->bind(this, false);
        }
    } catch (...) {
        // The destructor does not run for a constructor that throws.
        delete_children();
        throw;
    }
}

Node::~Node()
{
    delete_children();
    unlink();
    animation_.reset();
}

bool Node::change_attribute(const Atom& name, double value)
{
    if (name == names().visibility) {
        set_visible(value > 0.5);
        return true;
    }
    if (name == names().opacity) {
        set_visible(value > 0.5);
        return false;
    }
    return Transformable::change_attribute(name, value);
}

bool Node::get_attribute(const Atom& name, double& value)
{
    if (name == names().visibility) {
        value = visible_ ? 1.0 : 0.0;
        return true;
    }
    return Transformable::get_attribute(name, value);
}

animate::Animatable* Node::find_object(const Atom& name, bool recursive)
{
    if (name == names().any_node)
        return this;
    for (Node* child : children_) {
        if (child->name_ == name)
            return child;
        if (recursive) {
            if (animate::Animatable* found = child->find_object(name, true))
                return found;
        }
    }
    return nullptr;
}

Atom Node::get_type_name() const
{
    static const Atom type("Node");
    return type;
}

Node* Node::clone() const
{
    return new Node(*this);
}

void Node::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    for (Node* child : children_) {
        if (!child->visible_)
            continue;
        if (global_changed_ || child->global_changed_) {
            if (child->absolute_) {
                child->global_matrix_ = child->get_local_matrix();
            } else {
                math::Matrix4 global = global_matrix_;
                global *= child->get_local_matrix();
                child->global_matrix_ = global;
            }
            child->global_changed_ = 1;
        }
        child->render_to_list(hardware, list);
    }
    global_changed_ = 0;
}

Node* Node::get_root()
{
    return parent_ ? parent_->get_root() : nullptr;
}

void Node::accept(NodeVisitor& visitor)
{
    visitor.visit_node(*this);
}

bool Node::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Scene")
        return provider.ParseObject(*this);
    Node* child = create_node(this, Atom(name), Atom());
    if (!child)
        return false;
    return provider.ParseObject(*child);
}

bool Node::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Opacity") {
        double opacity = 0.0;
        if (!converter::convert(value, &opacity))
            return false;
        set_visible(opacity > 0.5);
        return true;
    }
    if (name == "Visibility" || name == "AnimationLooped") {
        bool flag = false;
        if (!converter::convert(value, &flag))
            return false;
        if (name == "Visibility")
            set_visible(flag);
        else
            looped_ = flag ? 1 : 0;
        return true;
    }
    if (name == "Children")
        return load_children(value);
    if (name == "Animation")
        return load_animation(value);
    if (name == "Target") {
        target_name_ = value;
        return true;
    }
    if (name == "TopVector")
        return read_vector3(value, &top_vector_);
    return Transformable::OnAttribute(provider, name, value);
}

bool Node::OnEndNode(xml::Provider&)
{
    if (animation_)
        animation_->bind(this, false);
    return true;
}

void Node::OnSaveAttributes(xml::Saver& saver)
{
    if (!visible_)
        saver.write_attribute("Visibility", "false");
    if (!target_name_.empty())
        saver.write_attribute("Target", target_name_);
    if (!(top_vector_ == math::Vector3{0.0f, 0.0f, 1.0f}))
        saver.write_attribute("TopVector", format_vector(top_vector_));
    if (!children_path_.empty())
        saver.write_attribute("Children", children_path_);
    saver.write_attribute("Name", name_.get_name());
    if (!(position_ == math::Vector3{0.0f, 0.0f, 0.0f}))
        saver.write_attribute("Position", format_vector(position_));
    if (!(rotation_ == math::Vector3{0.0f, 0.0f, 0.0f}))
        saver.write_attribute("Rotation", format_vector(rotation_));
    if (!(scale_ == math::Vector3{1.0f, 1.0f, 1.0f}))
        saver.write_attribute("Scale", format_vector(scale_));
}

void Node::OnSaveNodes(xml::Saver& saver)
{
    if (!children_path_.empty())
        return;
    for (Node* child : children_)
        saver.save_element(child->element_name_.get_name(), *child);
}

void Node::update(double dt)
{
    if (!animation_ || !visible_)
        return;
    if (looped_)
        animation_->advance_looped(dt);
    else
        animation_->advance(dt);
}

Node* Node::find_child(const Atom& name, bool recursive)
{
    if (name_ == name)
        return this;
    for (Node* child : children_) {
        if (child->name_ == name)
            return child;
        if (recursive) {
            if (Node* found = child->find_child(name, true))
                return found;
        }
    }
    return nullptr;
}

void Node::add_child(Node* child, bool keep_local)
{
    if (!child || child->parent_ == this)
        return;
    for (const Node* node = this; node; node = node->parent_) {
        if (node == child)
            throw Gluck("vadu::lib3d::node::Node::add_child", "a node cannot become a child of itself or of its descendants");
    }
    math::Matrix4 global;
    if (keep_local)
        child->mark_transform_changed();
    else
        global = child->get_global_matrix(false);
    child->unlink();
    child->link_to(this);
    if (!keep_local)
        child->set_global_matrix(global);
}

void Node::detach(bool keep_local)
{
    if (!parent_)
        return;
    math::Matrix4 global;
    if (keep_local)
        mark_transform_changed();
    else
        global = get_global_matrix(false);
    unlink();
    if (!keep_local)
        set_transform_from_matrix(global);
}

Node* Node::duplicate()
{
    Node* copy = clone();
    // The copy takes this node's local values under the same parent, so it lands where
    // this node is. (Keeping its "global" placement would read a parentless clone's local
    // values as global ones.)
    if (parent_)
        parent_->add_child(copy, true);
    return copy;
}

void Node::delete_children()
{
    while (!children_.empty())
        delete children_.front();
}

math::Matrix4 Node::get_global_matrix(bool force)
{
    if (!global_changed_ && !force)
        return global_matrix_;
    math::Matrix4 result = get_local_matrix();
    for (Node* node = this; !node->absolute_ && node->parent_;) {
        node = node->parent_;
        math::Matrix4 product = node->get_local_matrix();
        product *= result;
        result = product;
    }
    return result;
}

math::Matrix4 Node::placement_matrix()
{
    if (!parent_ || absolute_)
        return math::Matrix4::identity();
    return parent_->get_global_matrix(false);
}

void Node::set_global_matrix(const math::Matrix4& m)
{
    math::Matrix4 local = math::inverse(placement_matrix());
    local *= m;
    set_transform_from_matrix(local);
}

math::Vector3 Node::get_global_position()
{
    if (!parent_ || absolute_)
        return position_;
    return apply(parent_->get_global_matrix(false), position_);
}

void Node::set_global_position(const math::Vector3& position)
{
    const math::Vector3 target = (!parent_ || absolute_) ? position : apply(math::inverse(placement_matrix()), position);
    if (target == position_)
        return;
    position_ = target;
    local_matrix_[3] = target.x;
    local_matrix_[7] = target.y;
    local_matrix_[11] = target.z;
    global_changed_ = 1;
}

float Node::get_global_z()
{
    return get_global_position().z;
}

void Node::set_global_z(float z)
{
    math::Vector3 position = get_global_position();
    position.z = z;
    set_global_position(position);
}

math::Matrix4 Node::get_global_rotation_matrix()
{
    math::Matrix4 result = math::Matrix4::rotation(rotation_.x, rotation_.y, rotation_.z);
    for (Node* node = this; !node->absolute_ && node->parent_;) {
        node = node->parent_;
        math::Matrix4 product = math::Matrix4::rotation(node->rotation_.x, node->rotation_.y, node->rotation_.z);
        product *= result;
        result = product;
    }
    return result;
}

math::Vector3 Node::get_global_rotation()
{
    if (!parent_ || absolute_)
        return rotation_;
    return extract_euler(get_global_rotation_matrix());
}

void Node::set_global_rotation(const math::Vector3& rotation)
{
    math::Vector3 target = rotation;
    if (parent_ && !absolute_) {
        math::Matrix4 local = math::inverse(parent_->get_global_rotation_matrix());
        local *= math::Matrix4::rotation(rotation.x, rotation.y, rotation.z);
        target = extract_euler(local);
    }
    if (target == rotation_)
        return;
    rotation_ = target;
    mark_transform_changed();
}

void Node::look_at(const math::Vector3& target, const math::Vector3& up)
{
    rotation_ = math::Vector3{0.0f, 0.0f, 0.0f};
    const math::Matrix4 q = math::inverse(placement_matrix());
    const math::Vector3 point = apply(q, target);
    const math::Vector3 d = normalized(math::Vector3{point.x - position_.x, point.y - position_.y, point.z - position_.z});
    const math::Vector3 u = normalized(math::Matrix4::transform_point(up, q));
    const math::Vector3 s = normalized(cross(d, u));
    const math::Vector3 u2 = cross(s, d);

    math::Matrix4 m = math::Matrix4::identity();
    m[0] = s.x;
    m[4] = s.y;
    m[8] = s.z;
    m[1] = u2.x;
    m[5] = u2.y;
    m[9] = u2.z;
    m[2] = d.x;
    m[6] = d.y;
    m[10] = d.z;
    rotation_ = extract_euler(m);
    mark_transform_changed();
    rotation_.x = 3.1415925f - rotation_.x;
}

void Node::set_visible(bool visible)
{
    const uint8_t value = visible ? 1 : 0;
    if (value == visible_)
        return;
    visible_ = value;
    global_changed_ = 1;
}

Node* Node::get_target() const
{
    return dynamic_cast<Node*>(target_.get());
}

void Node::set_target(Node* target)
{
    target_.assign(target);
}

void Node::link_to(Node* parent)
{
    parent->children_.push_back(this);
    position_in_parent_ = std::prev(parent->children_.end());
    parent_ = parent;
}

void Node::unlink()
{
    if (!parent_)
        return;
    parent_->children_.erase(position_in_parent_);
    parent_ = nullptr;
}

bool Node::load_children(const String& path_text)
{
    children_path_ = path_text;
    const filesystem::String path(path_text, true);
    for (const String& open : children_files_open()) {
        if (open == path.get_text()) {
            log_line("Scene file \"" + path.get_text() + "\" includes itself through \"Children\"\n");
            return false;
        }
    }
    std::unique_ptr<Stream> stream = filesystem::open(path);
    if (!stream) {
        log_line("Scene file \"" + path.get_text() + "\" not found\n");
        return false;
    }
    ChildrenFileScope scope(path.get_text());
    xml::StreamResource resource(stream.get(), path);
    xml::Root root(*this, "Scene");
    return resource.load(root);
}

bool Node::load_animation(const String& path_text)
{
    const filesystem::String path(path_text, true);
    // The previous animation goes whatever happens; only a complete one is attached.
    animation_.reset();
    std::unique_ptr<Stream> stream = filesystem::open(path);
    if (!stream) {
        log_line("Animation file \"" + path.get_text() + "\" not found\n");
        return false;
    }
    auto animation = std::make_unique<animate::PrimitiveAnimation>();
    xml::StreamResource resource(stream.get(), path);
    xml::Root root(*animation, "Animation");
    if (!resource.load(root))
        return false;
    animation_ = std::move(animation);
    return true;
}

} // namespace vadu::lib3d::node
