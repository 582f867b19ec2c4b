#pragma once

// Nodes that draw model files: the common base with its shader list, a fixed mesh with
// an optional shadow mesh, and a mesh blended between two models of one topology.

#include <cstdint>
#include <memory>

#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/material/material.h"
#include "vadu/lib3d/model/model.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

// The shader list ("Shaders") colours the mesh's material ranges in order.
class ModelNode : public Node {
public:
    ModelNode(const Atom& name, Node* parent);
    ModelNode(const ModelNode& other);
    ~ModelNode() override;

    Node* clone() const override;
    // "Shaders" is the shader list itself, so that animations and node paths reach the
    // materials; any other name is searched as a node's.
    animate::Animatable* find_object(const Atom& name, bool recursive) override;
    // "Shaders", else the node's children.
    bool OnNode(xml::Provider& provider, const String& name) override;

    material::ShaderLoader& get_shaders() noexcept { return shaders_; }

protected:
    material::ShaderLoader shaders_;
};

// A static mesh ("Source") and a shadow mesh ("Shadow"), both model paths.
class ModelFixed : public ModelNode {
public:
    ModelFixed(const Atom& name, Node* parent);
    // Shares the copies of the models.
    ModelFixed(const ModelFixed& other);
    ~ModelFixed() override;

    // "ModelFixed".
    Atom get_type_name() const override;
    Node* clone() const override;
    // The mesh's records, the shadow's record, then the children.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    using ModelNode::change_attribute;
    // "ShadowSource": another path replaces the shadow mesh; an empty one drops it.
    bool change_attribute(const Atom& name, const filesystem::String& value) override;
    // "Source" and "Shadow", each only while none is held.
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    model::ModelInHardware* get_source() const noexcept { return source_.get(); }
    model::ModelInHardware* get_shadow() const noexcept { return shadow_.get(); }

private:
    model::ModelInHardwareHandle source_;
    model::ModelInHardwareHandle shadow_;
};

// A mesh made on the processor, on one device: its vertices, and its indices when the
// model file has them (made on the first frame that needs them).
struct MorphObject {
    std::unique_ptr<hard::VertexBuffer> vertex_buffer;
    std::unique_ptr<hard::IndexBuffer> index_buffer;
};

} // namespace vadu::lib3d::node

namespace vadu {
template <>
inline constexpr const char* declared_as<lib3d::node::MorphObject> = "struct";
}

namespace vadu::lib3d::node {

// Per-device vertex buffers of a node whose mesh is made on the processor.
class VertexBuffers : public HardwareDependentObject<hard::Manager, MorphObject> {
public:
    // Registers with the hardware manager when there is one; `dynamic` is handed to the
    // device's buffer factory.
    explicit VertexBuffers(bool dynamic);
    ~VertexBuffers() override;
    VertexBuffers(const VertexBuffers&) = delete;
    VertexBuffers& operator=(const VertexBuffers&) = delete;

    void on_add_hardware(hard::Hardware* hardware) override;
    // The device's buffer (null when the device has none). Throws Gluck "Data not found"
    // for a device it does not know.
    hard::VertexBuffer* buffer_of(hard::Hardware& hardware) const;
    // The device's index buffer holding `indices`, filled when it is new or has lost its
    // contents; null when the device gives none. A refused fill throws Gluck
    // "object->ib->update() failed" from `function`.
    hard::IndexBuffer* indices_of(hard::Hardware& hardware, const model::IntArray& indices, const char* function);

private:
    bool dynamic_;
    bool registered_ = false;
};

// The records of a mesh made on the processor, one per shader over its material's range
// (added to the list's main records), through the indices when there are some: the
// shaders' ranges of vertices then run by their "VertexCount". A mesh with indices but no
// index buffer draws nothing.
void add_mesh_records(const material::ShaderLoader& shaders, hard::Hardware& hardware, hard::RenderList& list,
                      const hard::RenderRecord& pattern, hard::VertexBuffer* vertices, const model::IntArray& indices,
                      hard::IndexBuffer* index_buffer);

// A mesh between two models of the same vertex count: "Source" at weight 0, "Source2"
// at weight 1 ("MorphWeight"), blended on the processor and drawn through the first
// model's indices (or as a triangle list when it has none).
class ModelMorph : public ModelNode {
public:
    ModelMorph(const Atom& name, Node* parent);
    ModelMorph(const ModelMorph& other);
    ~ModelMorph() override;

    // "ModelMorph".
    Atom get_type_name() const override;
    Node* clone() const override;
    // Nothing (not even the children) until both models are loaded. Throws Gluck
    // "Morph: models not match" when their vertex counts differ.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    using ModelNode::change_attribute;
    using ModelNode::get_attribute;
    // "MorphWeight".
    bool change_attribute(const Atom& name, double value) override;
    bool get_attribute(const Atom& name, double& value) override;
    // "Source", "Source2" (each only while none is held), "MorphWeight"; "Shadow" and
    // "Shadow2" are accepted and ignored.
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    double get_weight() const noexcept { return weight_; }
    model::Model* get_source() const noexcept { return source_.get(); }
    model::Model* get_source2() const noexcept { return source2_.get(); }
    // How many uploads the buffers have had.
    uint32_t get_upload_count() const noexcept { return uploads_; }
    // Blend room is kept only for the arrays in which the models differ.
    bool blends_positions() const noexcept { return !blended_[0].empty(); }
    bool blends_normals() const noexcept { return !blended_[1].empty(); }
    bool blends_uv() const noexcept { return !blended_[2].empty(); }

private:
    double weight_ = 0.0;
    model::ModelHandle source_;
    model::ModelHandle source2_;
    VertexBuffers buffers_{true};
    // Positions, normals, texture coordinates.
    model::FloatArray blended_[3];
    bool compared_ = false;
    double uploaded_weight_ = -1.0;
    uint32_t uploads_ = 0;
};

} // namespace vadu::lib3d::node
