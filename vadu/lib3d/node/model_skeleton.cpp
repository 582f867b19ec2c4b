#include "vadu/lib3d/node/model_skeleton.h"

#include <algorithm>

#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/log.h"
#include "vadu/time.h"

namespace vadu::lib3d::node {

namespace {

const char* const render_function = "vadu::lib3d::node::ModelSkeleton::render_to_list";

struct Names {
    Atom positions{"Positions"};
    Atom normals{"Normals"};
    Atom face_normals{"FaceNormals"};
    Atom u_tangents{"U-Tangents"};
    Atom v_tangents{"V-Tangents"};
    Atom uv0{"UV0"};
    Atom uv1{"UV1"};
    Atom triangle_indices{"Indices"};
    Atom weights[3] = {Atom("Weights0"), Atom("Weights1"), Atom("Weights2")};
    Atom indices[4] = {Atom("Indices0"), Atom("Indices1"), Atom("Indices2"), Atom("Indices3")};
};

const Names& names()
{
    static const Names table;
    return table;
}

// The log is optional for a node: without one the line is dropped.
template <class... Parts>
void log_line(const Parts&... parts)
{
    try {
        logs::Stream& log = logs::log();
        ((log << parts), ...);
    } catch (const Gluck&) {
    }
}

math::Matrix4 scaling(const math::Vector3& scale)
{
    math::Matrix4 m = math::Matrix4::identity();
    m[0] = scale.x;
    m[5] = scale.y;
    m[10] = scale.z;
    return m;
}

math::Matrix4 product(math::Matrix4 left, const math::Matrix4& right)
{
    left *= right;
    return left;
}

// `array` when it holds `per_vertex` values for each vertex, else an empty one.
const model::FloatArray& if_complete(const model::FloatArray& array, size_t vertices, size_t per_vertex)
{
    static const model::FloatArray empty;
    return array.size() == vertices * per_vertex ? array : empty;
}

String milliseconds_since(int64_t start)
{
    char text[32];
    converter::print_double(text, static_cast<double>(time::get_ticks() - start) * time::get_tick_period() * 1000.0);
    return String(text);
}

} // namespace

// --- Joint ---

Joint::Joint(const Atom& name, ModelSkeleton* skeleton, Joint* parent)
    : Transformable(name), skeleton_(skeleton), parent_(parent)
{
}

Joint::Joint(const Joint& other, ModelSkeleton* skeleton, Joint* parent)
    : xml::Object(other),
      Transformable(other),
      global(other.global),
      bind(other.bind),
      skin(other.skin),
      skeleton_(skeleton),
      parent_(parent),
      orientation_(other.orientation_),
      index_(other.index_)
{
}

Joint::~Joint() = default;

Atom Joint::get_type_name() const
{
    static const Atom type("Joint");
    return type;
}

bool Joint::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Index")
        return converter::convert(value, &index_);
    if (name == "Orientation")
        return read_vector3(value, &orientation_);
    return Transformable::OnAttribute(provider, name, value);
}

bool Joint::OnNode(xml::Provider& provider, const String& name)
{
    if (name != "Joint")
        return false;
    skeleton_->joints_.push_back(std::make_unique<Joint>(Atom(), skeleton_, this));
    return provider.ParseObject(*skeleton_->joints_.back());
}

animate::Animatable* Joint::find_object(const Atom& name, bool /*recursive*/)
{
    for (const auto& joint : skeleton_->joints_) {
        if (joint->get_name() != name)
            continue;
        for (const Joint* up = joint.get(); up; up = up->parent_) {
            if (up == this)
                return joint.get();
        }
    }
    return nullptr;
}

math::Matrix4 Joint::joint_local_matrix() const
{
    math::Matrix4 m = math::Matrix4::identity();
    m[3] = position_.x;
    m[7] = position_.y;
    m[11] = position_.z;
    if (parent_)
        m *= math::inverse(scaling(parent_->get_scale()));
    m *= math::Matrix4::rotation(orientation_.x, orientation_.y, orientation_.z);
    m *= math::Matrix4::rotation(rotation_.x, rotation_.y, rotation_.z);
    m *= scaling(scale_);
    return m;
}

// --- ModelSkeleton ---

ModelSkeleton::ModelSkeleton(const Atom& name, Node* parent) : ModelNode(name, parent)
{
    element_name_ = get_type_name();
    joints_.push_back(std::make_unique<Joint>(name, this, nullptr));
}

ModelSkeleton::ModelSkeleton(const ModelSkeleton& other)
    : xml::Object(other),
      animate::Soul(other),
      ModelNode(other),
      source_(other.source_),
      shadow_(other.shadow_),
      joint_count_(other.joint_count_)
{
    // Parents come before their children in the list, so each maps to a copy made already.
    for (const auto& joint : other.joints_) {
        Joint* parent = nullptr;
        for (size_t i = 0; i < joints_.size(); ++i) {
            if (other.joints_[i].get() == joint->get_parent())
                parent = joints_[i].get();
        }
        joints_.push_back(std::make_unique<Joint>(*joint, this, parent));
    }
}

ModelSkeleton::~ModelSkeleton() = default;

Atom ModelSkeleton::get_type_name() const
{
    static const Atom type("ModelSkeleton");
    return type;
}

Node* ModelSkeleton::clone() const
{
    return new ModelSkeleton(*this);
}

animate::Animatable* ModelSkeleton::find_object(const Atom& name, bool recursive)
{
    if (animate::Animatable* joint = get_root_joint().find_object(name, recursive))
        return joint;
    return ModelNode::find_object(name, recursive);
}

bool ModelSkeleton::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Source") {
        if (!source_)
            source_.acquire(filesystem::String(value, true));
        return true;
    }
    if (name == "Shadow") {
        if (!shadow_)
            shadow_.acquire(filesystem::String(value, true));
        return true;
    }
    if (ModelNode::OnAttribute(provider, name, value))
        return true;
    return get_root_joint().OnAttribute(provider, name, value);
}

bool ModelSkeleton::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Shaders")
        return provider.ParseObject(shaders_);
    return get_root_joint().OnNode(provider, name);
}

bool ModelSkeleton::OnEndNode(xml::Provider& provider)
{
    bind();
    return ModelNode::OnEndNode(provider);
}

void ModelSkeleton::bind()
{
    Joint& root = get_root_joint();
    root.set_position(position_);
    root.set_rotation(rotation_);
    root.set_scale(scale_);
    root.bind = root.joint_local_matrix();
    joint_count_ = 0;
    for (size_t i = 1; i < joints_.size(); ++i) {
        Joint& joint = *joints_[i];
        joint.bind = product(joint.get_parent()->bind, joint.joint_local_matrix());
        if (joint.get_index() > 0)
            joint_count_ = std::max(joint_count_, static_cast<uint32_t>(joint.get_index()));
    }
}

void ModelSkeleton::pose()
{
    skin_matrices_.assign(size_t{joint_count_} + 1, math::Matrix4::identity());
    Joint& root = get_root_joint();
    root.set_position(position_);
    root.set_rotation(rotation_);
    root.set_scale(scale_);
    for (const auto& joint : joints_) {
        const math::Matrix4 local = joint->joint_local_matrix();
        joint->global = joint->get_parent() ? product(joint->get_parent()->global, local) : local;
        joint->skin = product(joint->global, math::inverse(joint->bind));
        const int32_t index = joint->get_index();
        if (index >= 0 && static_cast<size_t>(index) < skin_matrices_.size())
            skin_matrices_[static_cast<size_t>(index)] = joint->skin;
    }
}

void ModelSkeleton::fill(model::Model& model, hard::VertexBuffer& buffer, bool timed)
{
    const Names& n = names();
    int64_t start = time::get_ticks();
    const model::FloatArray& positions = model.get_array(n.positions);
    const size_t vertices = positions.size() / 3;
    const model::FloatArray* weights[3];
    const model::IntArray* indices[4];
    bool skinned = true;
    for (int k = 0; k < 3; ++k) {
        weights[k] = &model.get_array(n.weights[k]);
        skinned = skinned && weights[k]->size() == vertices;
    }
    for (int k = 0; k < 4; ++k) {
        indices[k] = &model.get_int_array(n.indices[k]);
        skinned = skinned && indices[k]->size() == vertices;
    }
    if (skinned) {
        for (int k = 0; k < 4 && skinned; ++k) {
            skinned = std::all_of(indices[k]->begin(), indices[k]->end(),
                                  [this](uint32_t index) { return index < skin_matrices_.size(); });
        }
        if (!skinned && !told_unskinned_) {
            log_line("Skeleton: \"", model.get_path().get_text(), "\" names a joint index beyond ", joint_count_,
                     "; drawn unskinned\n");
            told_unskinned_ = true;
        }
    } else if (!told_unskinned_) {
        log_line("Skeleton: \"", model.get_path().get_text(),
                 "\" has no skinning weights and joint indices; drawn unskinned\n");
        told_unskinned_ = true;
    }
    const model::FloatArray& face_normals = if_complete(model.get_array(n.face_normals), vertices, 3);
    const model::FloatArray& normals = face_normals.empty() ? model.get_array(n.normals) : face_normals;
    const hard::VertexBuffer::FurtherArrays further = {
        &if_complete(model.get_array(n.u_tangents), vertices, 3),
        &if_complete(model.get_array(n.v_tangents), vertices, 3),
        &if_complete(model.get_array(n.uv1), vertices, 2),
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    // The shadow's timings are said on its first frame only.
    const bool tell = timed && !told_timings_;
    told_timings_ = told_timings_ || timed;
    if (tell)
        log_line("Skeleton: find_values ", milliseconds_since(start), " msec\n");
    if (!skinned) {
        if (!buffer.update(positions, normals, model.get_array(n.uv0), further))
            throw Gluck(render_function, "object->vb->update() failed");
        return;
    }
    start = time::get_ticks();
    // The fourth weight makes the four sum to one.
    fourth_.resize(vertices);
    for (size_t v = 0; v < vertices; ++v)
        fourth_[v] = 1.0f - (*weights[0])[v] - (*weights[1])[v] - (*weights[2])[v];
    if (tell)
        log_line("Skeleton: calc 4th weight ", milliseconds_since(start), " msec\n");
    start = time::get_ticks();
    skinned_.assign(positions.size(), 0.0f);
    for (size_t v = 0; v < vertices; ++v) {
        const math::Vector3 p{positions[v * 3], positions[v * 3 + 1], positions[v * 3 + 2]};
        const float w[4] = {(*weights[0])[v], (*weights[1])[v], (*weights[2])[v], fourth_[v]};
        math::Vector3 sum{0.0f, 0.0f, 0.0f};
        for (int k = 0; k < 4; ++k) {
            if (w[k] == 0.0f)
                continue;
            const math::Vector3 q = math::Matrix4::project_point(skin_matrices_[(*indices[k])[v]], p);
            sum.x += w[k] * q.x;
            sum.y += w[k] * q.y;
            sum.z += w[k] * q.z;
        }
        skinned_[v * 3] = sum.x;
        skinned_[v * 3 + 1] = sum.y;
        skinned_[v * 3 + 2] = sum.z;
    }
    if (tell)
        log_line("Skeleton: calc positions ", milliseconds_since(start), " msec\n");
    start = time::get_ticks();
    if (!buffer.update(skinned_, normals, model.get_array(n.uv0), further))
        throw Gluck(render_function, "object->vb->update() failed");
    if (tell)
        log_line("Skeleton: object->vb->update ", milliseconds_since(start), " msec\n");
}

void ModelSkeleton::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    hard::RenderRecord pattern;
    pattern.world = get_cached_global_matrix();
    pose();
    if (source_ && source_->is_loaded()) {
        hard::VertexBuffer* buffer = buffers_.buffer_of(hardware);
        if (buffer) {
            fill(*source_, *buffer, false);
            if (!told_counts_) {
                for (const auto& shader : shaders_.get_materials())
                    log_line("Primitive Count for Normal: ", shader->get_triangles_count(), "\n");
                told_counts_ = true;
            }
            const model::IntArray& indices = source_->get_int_array(names().triangle_indices);
            hard::IndexBuffer* index_buffer =
                indices.empty() ? nullptr : buffers_.indices_of(hardware, indices, render_function);
            add_mesh_records(shaders_, hardware, list, pattern, buffer, indices, index_buffer);
        }
    }
    if (shadow_ && shadow_->is_loaded()) {
        hard::VertexBuffer* buffer = shadow_buffers_.buffer_of(hardware);
        if (buffer) {
            fill(*shadow_, *buffer, true);
            const model::IntArray& indices = shadow_->get_int_array(names().triangle_indices);
            const size_t vertices = shadow_->get_array(names().positions).size() / 3;
            hard::RenderRecord record = pattern;
            record.vertex_buffer = buffer;
            record.primitive_count = static_cast<uint32_t>(indices.empty() ? vertices / 3 : indices.size() / 3);
            record.vertex_count = static_cast<uint32_t>(vertices);
            if (!indices.empty())
                record.index_buffer = shadow_buffers_.indices_of(hardware, indices, render_function);
            if (!shaders_.get_materials().empty())
                shaders_.get_materials().front()->fill_render_material(hardware, record);
            if (indices.empty() || record.index_buffer)
                list.secondary_records.push_back(record);
        }
    }
}

} // namespace vadu::lib3d::node
