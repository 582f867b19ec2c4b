#include "vadu/lib3d/node/model_nodes.h"

#include <cstring>

#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/render_list.h"

namespace vadu::lib3d::node {

namespace {

struct Names {
    Atom shaders{"Shaders"};
    Atom shadow_source{"ShadowSource"};
    Atom morph_weight{"MorphWeight"};
    Atom positions{"Positions"};
    Atom normals{"Normals"};
    Atom uv0{"UV0"};
    Atom indices{"Indices"};
};

const Names& names()
{
    static const Names table;
    return table;
}

filesystem::String model_path(const String& value)
{
    return filesystem::String(value, true);
}

} // namespace

// --- ModelNode ---

ModelNode::ModelNode(const Atom& name, Node* parent) : Node(name, parent)
{
    shaders_.name = names().shaders;
}

ModelNode::ModelNode(const ModelNode& other)
    : xml::Object(other), animate::Soul(other), Node(other), shaders_(other.shaders_)
{
}

ModelNode::~ModelNode() = default;

Node* ModelNode::clone() const
{
    return new ModelNode(*this);
}

animate::Animatable* ModelNode::find_object(const Atom& name, bool recursive)
{
    if (name == names().shaders)
        return &shaders_;
    return Node::find_object(name, recursive);
}

bool ModelNode::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Shaders")
        return provider.ParseObject(shaders_);
    return Node::OnNode(provider, name);
}

// --- ModelFixed ---

ModelFixed::ModelFixed(const Atom& name, Node* parent) : ModelNode(name, parent)
{
    element_name_ = get_type_name();
}

ModelFixed::ModelFixed(const ModelFixed& other)
    : xml::Object(other), animate::Soul(other), ModelNode(other), source_(other.source_), shadow_(other.shadow_)
{
}

ModelFixed::~ModelFixed() = default;

Atom ModelFixed::get_type_name() const
{
    static const Atom type("ModelFixed");
    return type;
}

Node* ModelFixed::clone() const
{
    return new ModelFixed(*this);
}

void ModelFixed::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    hard::RenderRecord pattern;
    pattern.world = get_cached_global_matrix();
    if (source_)
        source_->render(shaders_, hardware, list, pattern);
    if (shadow_)
        shadow_->render_shadow(shaders_, hardware, list, pattern);
    Node::render_to_list(hardware, list);
}

bool ModelFixed::change_attribute(const Atom& name, const filesystem::String& value)
{
    if (name != names().shadow_source)
        return false;
    if (shadow_ && shadow_->get_path().get_text() == value.get_text())
        return true;
    shadow_.reset();
    if (!value.empty())
        shadow_.acquire(value);
    return true;
}

bool ModelFixed::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Source") {
        if (!source_)
            source_.acquire(model_path(value));
        return true;
    }
    if (name == "Shadow") {
        if (!shadow_)
            shadow_.acquire(model_path(value));
        return true;
    }
    return ModelNode::OnAttribute(provider, name, value);
}

// --- VertexBuffers ---

VertexBuffers::VertexBuffers(bool dynamic) : dynamic_(dynamic)
{
    if (hard::Manager::exists()) {
        hard::Manager::add_dependent(this);
        registered_ = true;
    }
}

VertexBuffers::~VertexBuffers()
{
    if (registered_)
        hard::Manager::remove_dependent(this);
}

void VertexBuffers::on_add_hardware(hard::Hardware* hardware)
{
    auto object = std::make_unique<MorphObject>();
    if (hardware)
        object->vertex_buffer = hardware->create_vertex_buffer(dynamic_);
    add_data(hardware, std::move(object));
}

hard::VertexBuffer* VertexBuffers::buffer_of(hard::Hardware& hardware) const
{
    MorphObject* object = find_data(&hardware);
    return object ? object->vertex_buffer.get() : nullptr;
}

hard::IndexBuffer* VertexBuffers::indices_of(hard::Hardware& hardware, const model::IntArray& indices,
                                             const char* function)
{
    MorphObject* object = find_data(&hardware);
    if (!object)
        return nullptr;
    if (!object->index_buffer)
        object->index_buffer = hardware.create_index_buffer();
    hard::IndexBuffer* buffer = object->index_buffer.get();
    if (buffer && !buffer->is_operational() && !buffer->update(indices.data(), static_cast<uint32_t>(indices.size())))
        throw Gluck(function, "object->ib->update() failed");
    return buffer;
}

void add_mesh_records(const material::ShaderLoader& shaders, hard::Hardware& hardware, hard::RenderList& list,
                      const hard::RenderRecord& pattern, hard::VertexBuffer* vertices, const model::IntArray& indices,
                      hard::IndexBuffer* index_buffer)
{
    if (!indices.empty() && !index_buffer)
        return;
    uint32_t first_index = 0;
    uint32_t first_vertex = 0;
    for (const auto& shader : shaders.get_materials()) {
        const uint32_t triangles = shader->get_triangles_count();
        hard::RenderRecord record = pattern;
        record.vertex_buffer = vertices;
        record.first_primitive = first_index;
        record.primitive_count = triangles;
        if (!indices.empty()) {
            record.index_buffer = index_buffer;
            record.first_vertex = first_vertex;
            record.vertex_count = shader->get_vertex_count();
        } else {
            // A plain triangle list: the range starts at its first corner.
            record.first_vertex = first_index;
        }
        shader->fill_render_material(hardware, record);
        list.add_record(record);
        first_index += 3 * triangles;
        first_vertex += shader->get_vertex_count();
    }
}

// --- ModelMorph ---

ModelMorph::ModelMorph(const Atom& name, Node* parent) : ModelNode(name, parent)
{
    element_name_ = get_type_name();
}

// The copy blends anew into buffers of its own.
ModelMorph::ModelMorph(const ModelMorph& other)
    : xml::Object(other),
      animate::Soul(other),
      ModelNode(other),
      weight_(other.weight_),
      source_(other.source_),
      source2_(other.source2_)
{
}

ModelMorph::~ModelMorph() = default;

Atom ModelMorph::get_type_name() const
{
    static const Atom type("ModelMorph");
    return type;
}

Node* ModelMorph::clone() const
{
    return new ModelMorph(*this);
}

bool ModelMorph::change_attribute(const Atom& name, double value)
{
    if (name == names().morph_weight) {
        weight_ = value;
        return true;
    }
    return ModelNode::change_attribute(name, value);
}

bool ModelMorph::get_attribute(const Atom& name, double& value)
{
    if (name == names().morph_weight) {
        value = weight_;
        return true;
    }
    return ModelNode::get_attribute(name, value);
}

bool ModelMorph::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Source") {
        if (!source_)
            source_.acquire(model_path(value));
        return true;
    }
    if (name == "Source2") {
        if (!source2_)
            source2_.acquire(model_path(value));
        return true;
    }
    if (name == "Shadow" || name == "Shadow2")
        return true;
    if (name == "MorphWeight")
        return converter::convert(value, &weight_);
    return ModelNode::OnAttribute(provider, name, value);
}

void ModelMorph::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    if (!source_ || !source2_ || !source_->is_loaded() || !source2_->is_loaded())
        return;
    const model::FloatArray* first[3] = {&source_->get_array(names().positions), &source_->get_array(names().normals),
                                         &source_->get_array(names().uv0)};
    const model::FloatArray* second[3] = {&source2_->get_array(names().positions),
                                          &source2_->get_array(names().normals), &source2_->get_array(names().uv0)};
    if (first[0]->size() != second[0]->size())
        throw Gluck("vadu::lib3d::node::ModelMorph::render_to_list", "Morph: models not match");
    if (!compared_) {
        // Only arrays of the same length are blended; a shorter or longer one of the
        // second model is not a shape of the first, which then keeps its own.
        for (int i = 0; i < 3; ++i) {
            const bool differ = first[i]->size() == second[i]->size() && !first[i]->empty() &&
                                std::memcmp(first[i]->data(), second[i]->data(), first[i]->size() * sizeof(float)) != 0;
            blended_[i].assign(differ ? first[i]->size() : 0, 0.0f);
        }
        compared_ = true;
    }
    hard::VertexBuffer* buffer = buffers_.buffer_of(hardware);
    if (!buffer)
        return;
    if (weight_ != uploaded_weight_ || !buffer->is_operational()) {
        uploaded_weight_ = weight_;
        const model::FloatArray* used[3];
        for (int i = 0; i < 3; ++i) {
            if (blended_[i].empty() || blended_[i].size() != first[i]->size() ||
                second[i]->size() != first[i]->size()) {
                used[i] = first[i];
                continue;
            }
            const model::FloatArray& a = *first[i];
            const model::FloatArray& b = *second[i];
            for (size_t k = 0; k < a.size(); ++k)
                blended_[i][k] = static_cast<float>(double{a[k]} + (double{b[k]} - double{a[k]}) * weight_);
            used[i] = &blended_[i];
        }
        if (!buffer->update(*used[0], *used[1], *used[2], hard::VertexBuffer::FurtherArrays{}))
            throw Gluck("vadu::lib3d::node::ModelMorph::render_to_list", "vb->update() failed");
        ++uploads_;
    }
    hard::RenderRecord pattern;
    pattern.world = get_cached_global_matrix();
    const model::IntArray& indices = source_->get_int_array(names().indices);
    hard::IndexBuffer* index_buffer =
        indices.empty() ? nullptr
                        : buffers_.indices_of(hardware, indices, "vadu::lib3d::node::ModelMorph::render_to_list");
    add_mesh_records(shaders_, hardware, list, pattern, buffer, indices, index_buffer);
    Node::render_to_list(hardware, list);
}

} // namespace vadu::lib3d::node
