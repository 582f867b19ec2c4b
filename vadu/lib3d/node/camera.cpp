#include "vadu/lib3d/node/camera.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/xml_writer.h"

namespace vadu::lib3d {

namespace {

node::Camera* current_camera = nullptr;

bool current_camera_is_parallel()
{
    return current_camera != nullptr && current_camera->is_parallel();
}

void make_current(node::Camera* camera)
{
    current_camera = camera;
    // The list's sort measures distances along z alone for a parallel camera.
    hard::RenderList::set_parallel_camera_query(&current_camera_is_parallel);
}

} // namespace

node::Camera* get_current_camera()
{
    return current_camera;
}

} // namespace vadu::lib3d

namespace vadu::lib3d::node {

namespace {

struct Names {
    Atom near_plane{"NearPlane"};
    Atom far_plane{"FarPlane"};
    Atom fog_range{"FogRange"};
    Atom width{"Width"};
    Atom height{"Height"};
    Atom fov{"Fov"};
    Atom aspect{"Aspect"};
};

const Names& names()
{
    static const Names table;
    return table;
}

bool read_double(const String& text, double* value)
{
    return converter::convert(text, value);
}

bool read_colour(const String& text, float* colour)
{
    const char* p = text.data();
    const char* const end = text.data_end();
    float parsed[3];
    for (float& component : parsed) {
        p = converter::parse_float(p, end, &component);
        if (p == nullptr)
            return false;
    }
    std::copy(parsed, parsed + 3, colour);
    return true;
}

void write_double(xml::Saver& saver, const char* name, double value)
{
    char buffer[32];
    converter::print_double(buffer, value);
    saver.write_attribute(name, buffer);
}

// The view depth range always reaches the device's clip range, whatever the numbers.
constexpr double degenerate = 1e-6;

} // namespace

math::Matrix4 ortho_projection(double left, double right, double bottom, double top, double near, double far)
{
    math::Matrix4 m = math::Matrix4::identity();
    if (std::fabs(right - left) < degenerate || std::fabs(top - bottom) < degenerate ||
        std::fabs(far - near) < degenerate)
        return m;
    m[0] = static_cast<float>(2.0 / (right - left));
    m[3] = static_cast<float>((right + left) / (right - left));
    m[5] = static_cast<float>(2.0 / (top - bottom));
    m[7] = static_cast<float>((top + bottom) / (top - bottom));
    m[10] = static_cast<float>(-2.0 / (far - near));
    m[11] = static_cast<float>((near + far) / (far - near));
    return m;
}

math::Matrix4 perspective_projection(double fov, double aspect, double near, double far)
{
    math::Matrix4 m = math::Matrix4::identity();
    if (std::fabs(far - near) < degenerate)
        return m;
    const double s = std::sin(fov / 2.0);
    if (std::fabs(s) < degenerate)
        return m;
    const double c = std::cos(fov / 2.0) / s;
    m[0] = static_cast<float>(aspect * c);
    m[5] = static_cast<float>(c);
    m[10] = static_cast<float>((far + near) / (far - near));
    m[11] = static_cast<float>(-2.0 * far * near / (far - near));
    m[14] = 1.0f;
    m[15] = 0.0f;
    return m;
}

// Camera

Camera::Camera(const Atom& name, Node* parent) : Node(name, parent)
{
    if (!parent)
        return;
    if (auto* root = dynamic_cast<LoadingRoot*>(parent->get_root())) {
        root->get_cameras().push_back(this);
        root_.assign(root);
    }
}

Camera::Camera(const Camera& other)
    : xml::Object(other), animate::Soul(other), Node(other), params_(other.params_)
{
}

Camera::~Camera()
{
    if (auto* root = dynamic_cast<LoadingRoot*>(root_.get())) {
        auto& cameras = root->get_cameras();
        const auto found = std::find(cameras.begin(), cameras.end(), this);
        if (found != cameras.end())
            cameras.erase(found);
    }
    if (get_current_camera() == this)
        make_current(nullptr);
}

bool Camera::change_attribute(const Atom& name, double value)
{
    if (name == names().near_plane)
        params_.near_plane = value;
    else if (name == names().far_plane)
        params_.far_plane = value;
    else if (name == names().fog_range)
        params_.fog_range = value;
    else
        return Node::change_attribute(name, value);
    build_projection();
    return true;
}

bool Camera::get_attribute(const Atom& name, double& value)
{
    if (name == names().near_plane)
        value = params_.near_plane;
    else if (name == names().far_plane)
        value = params_.far_plane;
    else if (name == names().fog_range)
        value = params_.fog_range;
    else
        return Node::get_attribute(name, value);
    return true;
}

Atom Camera::get_type_name() const
{
    static const Atom type("Camera");
    return type;
}

void Camera::accept(NodeVisitor& visitor)
{
    visitor.visit_camera(*this);
}

bool Camera::is_parallel() const
{
    return false;
}

std::array<float, 4> Camera::get_view_rect() const
{
    return {0.0f, 0.0f, 0.0f, 0.0f};
}

bool Camera::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "NearPlane")
        return read_double(value, &params_.near_plane);
    if (name == "FarPlane")
        return read_double(value, &params_.far_plane);
    if (name == "FogRange")
        return read_double(value, &params_.fog_range);
    if (name == "FogColor")
        return read_colour(value, params_.fog_colour);
    if (name == "ViewportLeft")
        return read_double(value, &params_.viewport_left);
    if (name == "ViewportRight")
        return read_double(value, &params_.viewport_right);
    if (name == "ViewportTop")
        return read_double(value, &params_.viewport_top);
    if (name == "ViewportBottom")
        return read_double(value, &params_.viewport_bottom);
    return Node::OnAttribute(provider, name, value);
}

bool Camera::OnEndNode(xml::Provider& provider)
{
    const bool result = Node::OnEndNode(provider);
    build_projection();
    return result;
}

void Camera::OnSaveAttributes(xml::Saver& saver)
{
    save_camera_attributes(saver);
}

void Camera::save_camera_attributes(xml::Saver& saver)
{
    if (params_.near_plane != 0.0)
        write_double(saver, "NearPlane", params_.near_plane);
    if (params_.far_plane != 0.0)
        write_double(saver, "FarPlane", params_.far_plane);
    if (params_.fog_range != 0.0)
        write_double(saver, "FogRange", params_.fog_range);
    const float* fog = params_.fog_colour;
    if (std::fabs(fog[0] - 1.0f) > FLT_EPSILON || std::fabs(fog[1] - 1.0f) > FLT_EPSILON ||
        std::fabs(fog[2] - 1.0f) > FLT_EPSILON) {
        char buffer[24];
        String text;
        for (int i = 0; i < 3; ++i) {
            if (i > 0)
                text += " ";
            converter::print_float(buffer, fog[i]);
            text += buffer;
        }
        saver.write_attribute("FogColor", text);
    }
    if (params_.viewport_left != -1.0)
        write_double(saver, "ViewportLeft", params_.viewport_left);
    if (params_.viewport_right != 1.0)
        write_double(saver, "ViewportRight", params_.viewport_right);
    if (params_.viewport_top != 1.0)
        write_double(saver, "ViewportTop", params_.viewport_top);
    if (params_.viewport_bottom != -1.0)
        write_double(saver, "ViewportBottom", params_.viewport_bottom);
    Node::OnSaveAttributes(saver);
}

const Camera::Params& Camera::setup()
{
    if (!target_name_.empty() && !get_target()) {
        const Atom name(target_name_);
        Node* found = parent_ ? parent_->find_child(name, true) : nullptr;
        if (found)
            set_target(found);
        else
            target_name_ = String();
    }
    if (Node* target = get_target()) {
        const math::Matrix4 placement = target->get_global_matrix(true);
        look_at(math::Vector3{placement[3], placement[7], placement[11]}, top_vector_);
    }
    params_.camera_matrix = get_global_matrix(true);
    return params_;
}

bool Camera::prepare_render(hard::Hardware& hardware, hard::RenderList& list)
{
    const Params block = setup();
    list.projection = block.projection;
    list.camera_matrix = block.camera_matrix;
    list.viewport[0] = block.viewport_left;
    list.viewport[1] = block.viewport_right;
    list.viewport[2] = block.viewport_top;
    list.viewport[3] = block.viewport_bottom;
    list.frustum = block.frustum;
    // A frame of another shape than the layout shows more of the scene instead of
    // stretching it; the pointer's axes reach as far (see view_fit.h).
    const view::Extent extent = view::frame_extent(hardware.get_width(), hardware.get_height());
    if (extent.x != 1.0 || extent.y != 1.0) {
        for (int column = 0; column < 4; ++column) {
            list.projection[column] = static_cast<float>(list.projection[column] / extent.x);
            list.projection[4 + column] = static_cast<float>(list.projection[4 + column] / extent.y);
        }
        list.frustum = get_frustum(extent);
    }
    list.camera_vector = math::Vector3{block.fog_colour[0], block.fog_colour[1], block.fog_colour[2]};
    list.camera_value = block.fog_range;
    const std::array<float, 4> rect = get_view_rect();
    std::copy(rect.begin(), rect.end(), list.view_rect);

    make_current(this);
    if (Node* root = get_root())
        root->render_to_list(hardware, list);
    return true;
}

// CameraParallel

CameraParallel::CameraParallel(const Atom& name, Node* parent) : Camera(name, parent)
{
    element_name_ = get_type_name();
}

bool CameraParallel::change_attribute(const Atom& name, double value)
{
    if (name == names().width)
        width_ = value;
    else if (name == names().height)
        height_ = value;
    else
        return Camera::change_attribute(name, value);
    build_projection();
    return true;
}

bool CameraParallel::get_attribute(const Atom& name, double& value)
{
    if (name == names().width)
        value = width_;
    else if (name == names().height)
        value = height_;
    else
        return Camera::get_attribute(name, value);
    return true;
}

Atom CameraParallel::get_type_name() const
{
    static const Atom type("CameraParallel");
    return type;
}

Node* CameraParallel::clone() const
{
    return new CameraParallel(*this);
}

WorldRay CameraParallel::get_world_ray(double, double)
{
    throw Gluck("vadu::lib3d::node::CameraParallel::get_world_ray", "Not implemented yet");
}

bool CameraParallel::is_parallel() const
{
    return true;
}

std::array<float, 4> CameraParallel::get_view_rect() const
{
    return {0.0f, 0.0f, static_cast<float>(width_), static_cast<float>(height_)};
}

void CameraParallel::build_projection()
{
    const double half_width = width_ / 2.0;
    const double half_height = height_ / 2.0;
    params_.projection =
        ortho_projection(-half_width, half_width, -half_height, half_height, params_.near_plane, params_.far_plane);
    params_.frustum.build_orthographic(static_cast<float>(params_.near_plane), static_cast<float>(params_.far_plane),
                                       static_cast<float>(-half_width), static_cast<float>(half_width),
                                       static_cast<float>(-half_height), static_cast<float>(half_height));
}

view_frustum CameraParallel::get_frustum(const view::Extent& extent) const
{
    const double half_width = width_ / 2.0 * extent.x;
    const double half_height = height_ / 2.0 * extent.y;
    view_frustum frustum;
    frustum.build_orthographic(static_cast<float>(params_.near_plane), static_cast<float>(params_.far_plane),
                               static_cast<float>(-half_width), static_cast<float>(half_width),
                               static_cast<float>(-half_height), static_cast<float>(half_height));
    return frustum;
}

bool CameraParallel::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Width")
        return read_double(value, &width_);
    if (name == "Height")
        return read_double(value, &height_);
    return Camera::OnAttribute(provider, name, value);
}

void CameraParallel::OnSaveAttributes(xml::Saver& saver)
{
    if (height_ != 1.0)
        write_double(saver, "Height", height_);
    if (width_ != 1.0)
        write_double(saver, "Width", width_);
    save_camera_attributes(saver);
}

// CameraPerspective

CameraPerspective::CameraPerspective(const Atom& name, Node* parent) : Camera(name, parent)
{
    element_name_ = get_type_name();
}

bool CameraPerspective::change_attribute(const Atom& name, double value)
{
    if (name == names().fov)
        fov_ = value;
    else if (name == names().aspect)
        aspect_ = value;
    else
        return Camera::change_attribute(name, value);
    build_projection();
    return true;
}

bool CameraPerspective::get_attribute(const Atom& name, double& value)
{
    if (name == names().fov)
        value = fov_;
    else if (name == names().aspect)
        value = aspect_;
    else
        return Camera::get_attribute(name, value);
    return true;
}

Atom CameraPerspective::get_type_name() const
{
    static const Atom type("CameraPerspective");
    return type;
}

Node* CameraPerspective::clone() const
{
    return new CameraPerspective(*this);
}

WorldRay CameraPerspective::get_world_ray(double x, double y)
{
    const double c = std::cos(fov_ / 2.0) / std::sin(fov_ / 2.0);
    const math::Vector3 local{static_cast<float>(x / (aspect_ * c)), static_cast<float>(y / c), 1.0f};
    const math::Matrix4 global = get_global_matrix(false);
    const math::Vector3 p = math::Matrix4::project_point(global, local);
    const math::Vector3 origin{global[3], global[7], global[11]};
    return WorldRay{origin, math::Vector3{p.x - origin.x, p.y - origin.y, p.z - origin.z}};
}

double CameraPerspective::get_horizontal_fov() const
{
    const double c = std::cos(fov_ / 2.0) / std::sin(fov_ / 2.0);
    return 2.0 * std::atan(1.0 / (c * aspect_));
}

void CameraPerspective::build_projection()
{
    params_.projection = perspective_projection(fov_, aspect_, params_.near_plane, params_.far_plane);
    params_.frustum.build_perspective(static_cast<float>(params_.near_plane), static_cast<float>(params_.far_plane),
                                      static_cast<float>(get_horizontal_fov()), static_cast<float>(fov_));
}

view_frustum CameraPerspective::get_frustum(const view::Extent& extent) const
{
    const double c = std::cos(fov_ / 2.0) / std::sin(fov_ / 2.0);
    view_frustum frustum;
    frustum.build_perspective(static_cast<float>(params_.near_plane), static_cast<float>(params_.far_plane),
                              static_cast<float>(2.0 * std::atan(extent.x / (c * aspect_))),
                              static_cast<float>(2.0 * std::atan(extent.y / c)));
    return frustum;
}

bool CameraPerspective::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Aspect")
        return read_double(value, &aspect_);
    if (name == "Fov")
        return read_double(value, &fov_);
    return Camera::OnAttribute(provider, name, value);
}

void CameraPerspective::OnSaveAttributes(xml::Saver& saver)
{
    if (fov_ != 0.9273)
        write_double(saver, "Fov", fov_);
    if (aspect_ != 0.75)
        write_double(saver, "Aspect", aspect_);
    save_camera_attributes(saver);
}

} // namespace vadu::lib3d::node
