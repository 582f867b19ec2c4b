#pragma once

// Camera nodes: each frame the current camera fills the render list's camera block and
// has its root draw the scene. A parallel camera is sized in scene units; a perspective
// camera has a field of view and an aspect factor.

#include <array>

#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/view_fit.h"
#include "vadu/weak_ptr.h"

namespace vadu::lib3d::node {

// A ray in world space; the direction is not normalised.
struct WorldRay {
    math::Vector3 origin;
    math::Vector3 direction;
};

// Orthographic projection: depth near maps to +1 and far to −1. Identity when any side
// pair coincides (a camera left at NearPlane = FarPlane would otherwise divide by zero).
math::Matrix4 ortho_projection(double left, double right, double bottom, double top, double near, double far);
// Perspective projection looking along +z: depth near maps to −1 and far to +1. Identity
// for |far − near| < 1e-6 or |sin(fov / 2)| < 1e-6.
math::Matrix4 perspective_projection(double fov, double aspect, double near, double far);

class Camera : public Node {
public:
    using Params = hard::RenderList::CameraParams;

    // Joins the camera list of the LoadingRoot above the parent. Without such a root (or
    // without a parent) there is no list to join, and the camera works all the same.
    Camera(const Atom& name, Node* parent);
    // Copies the parameter block; the copy joins no camera list.
    Camera(const Camera& other);
    // Leaves the camera list it joined and stops being the current camera.
    ~Camera() override;

    using Node::change_attribute;
    using Node::get_attribute;
    // "NearPlane", "FarPlane", "FogRange": stored, then the projection is rebuilt.
    bool change_attribute(const Atom& name, double value) override;
    bool get_attribute(const Atom& name, double& value) override;

    // "Camera".
    Atom get_type_name() const override;
    void accept(NodeVisitor& visitor) override;

    // A ray through a point of the projected view, x and y in −1..1.
    virtual WorldRay get_world_ray(double x, double y) = 0;
    virtual bool is_parallel() const;
    // (0, 0, width, height) for a parallel camera, zeros otherwise.
    virtual std::array<float, 4> get_view_rect() const;
    virtual void build_projection() = 0;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // Binds the animation, then builds the projection once.
    bool OnEndNode(xml::Provider& provider) override;
    void OnSaveAttributes(xml::Saver& saver) override;

    // Binds the look-at target by name on first use (a name that finds nothing is dropped),
    // turns toward it and stores the global matrix as the camera matrix.
    const Params& setup();
    // Fills the list's camera block, becomes the current camera and has the root draw the
    // scene into the list. A camera without a root draws nothing. Returns true.
    bool prepare_render(hard::Hardware& hardware, hard::RenderList& list);

    const Params& get_params() const noexcept { return params_; }

protected:
    // Saves the Camera's own attributes, then the node's.
    void save_camera_attributes(xml::Saver& saver);
    // The culling volume of a view reaching `extent` times the camera's own sides.
    virtual view_frustum get_frustum(const view::Extent& extent) const = 0;

    Params params_;

private:
    // The root whose camera list holds this camera; empty when it joined none.
    WeakPtr root_;
};

class CameraParallel : public Camera {
public:
    CameraParallel(const Atom& name, Node* parent);
    CameraParallel(const CameraParallel& other) = default;

    using Camera::change_attribute;
    using Camera::get_attribute;
    // "Width", "Height", then the Camera's.
    bool change_attribute(const Atom& name, double value) override;
    bool get_attribute(const Atom& name, double& value) override;

    Atom get_type_name() const override;
    Node* clone() const override;

    // Throws vadu::Gluck "Not implemented yet".
    WorldRay get_world_ray(double x, double y) override;
    bool is_parallel() const override;
    std::array<float, 4> get_view_rect() const override;
    void build_projection() override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    void OnSaveAttributes(xml::Saver& saver) override;

    double get_width() const noexcept { return width_; }
    double get_height() const noexcept { return height_; }

protected:
    view_frustum get_frustum(const view::Extent& extent) const override;

private:
    double width_ = 1.0;
    double height_ = 1.0;
};

class CameraPerspective : public Camera {
public:
    CameraPerspective(const Atom& name, Node* parent);
    CameraPerspective(const CameraPerspective& other) = default;

    using Camera::change_attribute;
    using Camera::get_attribute;
    // "Fov", "Aspect", then the Camera's.
    bool change_attribute(const Atom& name, double value) override;
    bool get_attribute(const Atom& name, double& value) override;

    Atom get_type_name() const override;
    Node* clone() const override;

    WorldRay get_world_ray(double x, double y) override;
    void build_projection() override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    void OnSaveAttributes(xml::Saver& saver) override;

    double get_fov() const noexcept { return fov_; }
    double get_aspect() const noexcept { return aspect_; }
    // The horizontal field of view that the vertical one and the aspect factor give.
    double get_horizontal_fov() const;

protected:
    view_frustum get_frustum(const view::Extent& extent) const override;

private:
    double fov_ = 0.9273;
    double aspect_ = 0.75;
};

} // namespace vadu::lib3d::node

namespace vadu::lib3d {

// The camera that last prepared a render; null before the first and after its death.
node::Camera* get_current_camera();

} // namespace vadu::lib3d
