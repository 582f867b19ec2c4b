#include "vadu/lib3d/node/light.h"

#include <cmath>
#include <iterator>

#include "vadu/converter.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/node/coloured_buffers.h"

namespace vadu::lib3d::node {

namespace {

struct Names {
    Atom ambient{"Ambient"};
    Atom diffuse{"Diffuse"};
    Atom specular{"Specular"};
    Atom intensity{"Intensity"};
};

const Names& names()
{
    static const Names table;
    return table;
}

template <size_t N>
bool word_index(const char* const (&words)[N], const String& word, int32_t* value)
{
    for (size_t i = 0; i < N; ++i) {
        if (word == words[i]) {
            *value = static_cast<int32_t>(i);
            return true;
        }
    }
    return false;
}

const char* const type_words[] = {"POINT", "DIRECTIONAL", "AMBIENT", "SPOT"};
const char* const attenuation_words[] = {"CONSTANT", "LINEAR", "QUADRATIC"};

} // namespace

Light::Light(const Atom& name, Node* parent) : Node(name, parent)
{
    element_name_ = get_type_name();
}

Light::Light(const Light& other)
    : xml::Object(other),
      animate::Soul(other),
      Node(other),
      type_(other.type_),
      diffuse_(other.diffuse_),
      specular_(other.specular_),
      ambient_(other.ambient_),
      intensity_(other.intensity_),
      falloff_(other.falloff_),
      theta_(other.theta_),
      phi_(other.phi_),
      shadow_priority_(other.shadow_priority_),
      attenuation_(other.attenuation_)
{
}

Light::~Light() = default;

bool Light::change_attribute(const Atom& name, const math::Vector3& value)
{
    if (name == names().ambient)
        ambient_ = value;
    else if (name == names().diffuse)
        diffuse_ = value;
    else if (name == names().specular)
        specular_ = value;
    else
        return Node::change_attribute(name, value);
    return true;
}

bool Light::get_attribute(const Atom& name, math::Vector3& value)
{
    if (name == names().ambient)
        value = ambient_;
    else if (name == names().diffuse)
        value = diffuse_;
    else if (name == names().specular)
        value = specular_;
    else
        return Node::get_attribute(name, value);
    return true;
}

bool Light::change_attribute(const Atom& name, double value)
{
    if (name != names().intensity)
        return Node::change_attribute(name, value);
    intensity_ = static_cast<float>(value);
    return true;
}

bool Light::get_attribute(const Atom& name, double& value)
{
    if (name != names().intensity)
        return Node::get_attribute(name, value);
    value = intensity_;
    return true;
}

Atom Light::get_type_name() const
{
    static const Atom type("Light");
    return type;
}

Node* Light::clone() const
{
    return new Light(*this);
}

bool Light::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Diffuse")
        return read_vector3(value, &diffuse_);
    if (name == "Ambient")
        return read_vector3(value, &ambient_);
    if (name == "Specular")
        return read_vector3(value, &specular_);
    if (name == "Falloff")
        return converter::convert(value, &falloff_);
    if (name == "Phi")
        return converter::convert(value, &phi_);
    if (name == "Theta")
        return converter::convert(value, &theta_);
    if (name == "Type")
        return word_index(type_words, value, &type_);
    if (name == "Intensity")
        return converter::convert(value, &intensity_);
    if (name == "Attenuation")
        return word_index(attenuation_words, value, &attenuation_);
    if (name == "ShadowPriority")
        return converter::convert(value, &shadow_priority_);
    return Node::OnAttribute(provider, name, value);
}

void Light::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    if (intensity_ > 0.01) {
        const math::Matrix4& global = get_cached_global_matrix();
        if (type_ == AMBIENT) {
            const float k = static_cast<float>(intensity_);
            list.ambient.x += ambient_.x * k;
            list.ambient.y += ambient_.y * k;
            list.ambient.z += ambient_.z * k;
        } else if (type_ == DIRECTIONAL || type_ == POINT) {
            hard::LightEntry entry;
            entry.kind = type_;
            entry.diffuse = diffuse_;
            entry.specular = specular_;
            entry.intensity = intensity_;
            entry.shadow_priority = shadow_priority_;
            if (type_ == DIRECTIONAL) {
                // The node's forward axis is -z; it turns with the node's rotation as every
                // other vector of the node does (column vectors), and scale does not
                // shorten it.
                math::Vector3 direction{-global[2], -global[6], -global[10]};
                const float length =
                    std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
                if (length > 0.0f && std::isfinite(length))
                    direction = math::Vector3{direction.x / length, direction.y / length, direction.z / length};
                entry.direction = direction;
            } else {
                entry.attenuation = attenuation_;
                entry.position = math::Matrix4::project_point(global, math::Vector3{});
            }
            list.lights.push_back(entry);
        }
    }
    Node::render_to_list(hardware, list);
}

} // namespace vadu::lib3d::node
