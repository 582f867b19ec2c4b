#pragma once

#include <vector>

#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

// A root node: the top of the application's scenes and of the cursor scene. Every node
// below it finds it through get_root, and it places its children in world space directly.
class LoadingRoot : public Node {
public:
    explicit LoadingRoot(const Atom& name);
    LoadingRoot(const LoadingRoot&) = delete;
    LoadingRoot& operator=(const LoadingRoot&) = delete;
    // Deletes the children while the camera list still exists (cameras leave it as they go).
    ~LoadingRoot() override;

    // "LoadingRoot".
    Atom get_type_name() const override;
    // Sets its own cached global matrix to the identity, then walks the children.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;
    Node* get_root() override;
    void accept(NodeVisitor& visitor) override;

    // The cameras below this root; each camera adds itself when built and removes its
    // entry when destroyed.
    std::vector<Camera*>& get_cameras() noexcept { return cameras_; }

private:
    std::vector<Camera*> cameras_;
};

} // namespace vadu::lib3d::node
