#pragma once

// A mesh skinned on the processor by a tree of joints. Skinning needs per-vertex weights
// and joint indices, which a model file cannot carry: a model without them is drawn as
// it is, like a fixed model.

#include <cstdint>
#include <memory>
#include <vector>

#include "vadu/lib3d/node/model_nodes.h"

namespace vadu::lib3d::node {

class ModelSkeleton;

// A bone of a skeleton: a named transform with a bind orientation ("Orientation", Euler
// angles in radians) and the slot ("Index") of its skinning matrix.
class Joint : public Transformable {
public:
    Joint(const Atom& name, ModelSkeleton* skeleton, Joint* parent);
    // For a copied skeleton: the same values and matrices under new owners.
    Joint(const Joint& other, ModelSkeleton* skeleton, Joint* parent);
    ~Joint() override;

    // "Joint".
    Atom get_type_name() const override;
    // "Index", "Orientation", then the transform's.
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // "Joint": a joint under this one, appended to the skeleton's list.
    bool OnNode(xml::Provider& provider, const String& name) override;
    // This joint or one below it, by name.
    animate::Animatable* find_object(const Atom& name, bool recursive) override;

    // Translation by the position, the inverse of the parent's scale, the orientation,
    // the rotation and the scale, in that order from the left.
    math::Matrix4 joint_local_matrix() const;

    Joint* get_parent() const noexcept { return parent_; }
    int32_t get_index() const noexcept { return index_; }
    const math::Vector3& get_orientation() const noexcept { return orientation_; }

    // Current global (G), bind (B) and skinning (S = G · B⁻¹) matrices.
    math::Matrix4 global;
    math::Matrix4 bind;
    math::Matrix4 skin;

private:
    ModelSkeleton* skeleton_;
    Joint* parent_;
    math::Vector3 orientation_{0.0f, 0.0f, 0.0f};
    int32_t index_ = 0;
};

class ModelSkeleton : public ModelNode {
public:
    ModelSkeleton(const Atom& name, Node* parent);
    // A skeleton again: the joints, their bind matrices and the models come along.
    ModelSkeleton(const ModelSkeleton& other);
    ~ModelSkeleton() override;

    // "ModelSkeleton".
    Atom get_type_name() const override;
    Node* clone() const override;
    // The skinned mesh's records, and the shadow's; the children are not drawn.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;
    // The joints by name first, then as a model node.
    animate::Animatable* find_object(const Atom& name, bool recursive) override;

    // "Source" and "Shadow" (each only while none is held), the node's, then the root
    // joint's ("Index", "Orientation").
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // "Shaders", else "Joint" children of the root joint.
    bool OnNode(xml::Provider& provider, const String& name) override;
    // Binds the joints as read.
    bool OnEndNode(xml::Provider& provider) override;

    // The node's transform goes to the root joint; every joint's bind matrix is set from
    // the current pose, and the joint count becomes the largest index below the root.
    void bind();

    Joint& get_root_joint() const noexcept { return *joints_.front(); }
    const std::vector<std::unique_ptr<Joint>>& get_joints() const noexcept { return joints_; }
    uint32_t get_joint_count() const noexcept { return joint_count_; }
    model::Model* get_source() const noexcept { return source_.get(); }
    model::Model* get_shadow() const noexcept { return shadow_.get(); }
    // The skinning matrices of the last frame, by joint index.
    const std::vector<math::Matrix4>& get_skin_matrices() const noexcept { return skin_matrices_; }

private:
    friend class Joint;

    // Updates the joints' matrices and the array of skinning matrices.
    void pose();
    // The model's vertices through the skinning matrices into the buffer; the model's
    // own positions when it has no skinning arrays (said once in the log) or names a
    // joint the skeleton does not have.
    void fill(model::Model& model, hard::VertexBuffer& buffer, bool timed);

    std::vector<std::unique_ptr<Joint>> joints_;
    VertexBuffers buffers_{false};
    VertexBuffers shadow_buffers_{false};
    model::ModelHandle source_;
    model::ModelHandle shadow_;
    uint32_t joint_count_ = 0;
    std::vector<math::Matrix4> skin_matrices_;
    bool told_unskinned_ = false;
    bool told_counts_ = false;
    bool told_timings_ = false;
    model::FloatArray skinned_;
    model::FloatArray fourth_;
};

} // namespace vadu::lib3d::node
