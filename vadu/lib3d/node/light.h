#pragma once

// A light of the scene: an ambient light adds to the frame's ambient colour, a point or
// directional light adds an entry to the frame's light list, placed by the node's global
// matrix. Spot lights are read and kept but light nothing.

#include <cstdint>

#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

class Light : public Node {
public:
    enum Type : int32_t { POINT = 0, DIRECTIONAL = 1, AMBIENT = 2, SPOT = 3 };
    enum Attenuation : int32_t { CONSTANT = 0, LINEAR = 1, QUADRATIC = 2 };

    Light(const Atom& name, Node* parent);
    Light(const Light& other);
    ~Light() override;

    using Node::change_attribute;
    using Node::get_attribute;
    // "Ambient", "Diffuse", "Specular"; others as the node.
    bool change_attribute(const Atom& name, const math::Vector3& value) override;
    bool get_attribute(const Atom& name, math::Vector3& value) override;
    // "Intensity", stored in single precision; others as the node.
    bool change_attribute(const Atom& name, double value) override;
    bool get_attribute(const Atom& name, double& value) override;

    // "Light".
    Atom get_type_name() const override;
    Node* clone() const override;
    // The light's contribution when its intensity is above 0.01, then the children.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    // "Type" and "Attenuation" take the exact words of their tables.
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    int32_t get_type() const noexcept { return type_; }
    void set_type(int32_t type) { type_ = type; }
    int32_t get_attenuation() const noexcept { return attenuation_; }
    double get_intensity() const noexcept { return intensity_; }
    void set_intensity(double intensity) { intensity_ = static_cast<float>(intensity); }
    double get_falloff() const noexcept { return falloff_; }
    double get_theta() const noexcept { return theta_; }
    double get_phi() const noexcept { return phi_; }
    double get_shadow_priority() const noexcept { return shadow_priority_; }

private:
    int32_t type_ = AMBIENT;
    math::Vector3 diffuse_;
    math::Vector3 specular_;
    math::Vector3 ambient_;
    double intensity_ = 0.0;
    double falloff_ = 0.0;
    double theta_ = 0.0;
    double phi_ = 0.0;
    double shadow_priority_ = 1.0;
    int32_t attenuation_ = CONSTANT;
};

} // namespace vadu::lib3d::node
