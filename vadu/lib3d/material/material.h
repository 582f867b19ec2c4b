#pragma once

// The surface description of 3D and effect nodes: colours, specular power, transparency
// and up to four textures, read from XML inside node descriptions, animatable by name,
// and copied into a render record every time its node is drawn.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "vadu/animate/animatable.h"
#include "vadu/atom.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/math.h"
#include "vadu/xml_object.h"
#include "vadu/xml_writer.h"

namespace vadu::lib3d::material {

class TextureSequence;

// The colour block of a material (its "Material" child).
class ColorsLoader : public xml::ObjectANSI {
public:
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // Only what differs from the defaults.
    void OnSaveAttributes(xml::Saver& saver) override;

    math::Vector3 diffuse{1.0f, 1.0f, 1.0f};
    math::Vector3 emissive{1.0f, 1.0f, 1.0f};
    math::Vector3 specular{1.0f, 1.0f, 1.0f};
    double specular_power = 0.0;
    double transparency = 0.0;
    math::Vector3 reflection{1.0f, 1.0f, 1.0f};
};

class Material : public xml::ObjectANSI, public animate::Animatable {
public:
    // White, opaque, without textures.
    Material();
    explicit Material(const Atom& name);
    // Clones the four textures; the copy has no emissive sequence.
    Material(const Material& other);
    Material& operator=(const Material&) = delete;
    ~Material() override;

    // "Name", "EmissiveAlphaMultiply", "TrianglesCount", "VertexCount".
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // "Material" (the colours) and the texture children; a texture child for a slot that
    // is filled already is refused, which fails the load.
    bool OnNode(xml::Provider& provider, const String& name) override;
    // "Name", and the counts that are not 0.
    void OnSaveAttributes(xml::Saver& saver) override;
    // The "Material" child with what differs from the defaults; textures are not written.
    void OnSaveNodes(xml::Saver& saver) override;

    using Animatable::change_attribute;
    using Animatable::get_attribute;
    // "Transparency".
    bool change_attribute(const Atom& name, double value) override;
    bool get_attribute(const Atom& name, double& value) override;
    // "Diffuse", "Reflection", "Emissive".
    bool change_attribute(const Atom& name, const math::Vector3& value) override;
    bool get_attribute(const Atom& name, math::Vector3& value) override;
    // "Randomize" turns every emissive component c into 1 − c.
    bool play_sequence(const Atom& name) override;
    Animatable* find_object(const Atom& name, bool deeper) override { return find_texture(name, deeper); }

    // The texture object made for the slot of that name ("Diffuse", "Bump", "Emissive",
    // "Reflection"), searched in the order diffuse, bump, emissive sequence, emissive,
    // reflection; with `deeper`, each present object also searches inside itself.
    Animatable* find_texture(const Atom& name, bool deeper);

    // Colours and textures into the record, the textures for that hardware: diffuse on
    // stage 0, the emissive sequence's frame or the emissive texture on stage 1, bump on
    // stage 2, reflection on stage 3. Empty slots leave their stages alone.
    void fill_render_material(hard::Hardware& hardware, hard::RenderRecord& record);

    const Atom& get_name() const noexcept { return name_; }
    ColorsLoader& get_colors() noexcept { return colors_; }
    const ColorsLoader& get_colors() const noexcept { return colors_; }
    Texture* get_diffuse() const noexcept { return diffuse_.get(); }
    Texture* get_bump() const noexcept { return bump_.get(); }
    Texture* get_emissive() const noexcept { return emissive_.get(); }
    Texture* get_reflection() const noexcept { return reflection_.get(); }
    TextureSequence* get_emissive_sequence() const noexcept { return emissive_sequence_.get(); }
    bool get_emissive_alpha_multiply() const noexcept { return emissive_alpha_multiply_; }
    uint32_t get_triangles_count() const noexcept { return triangles_count_; }
    uint32_t get_vertex_count() const noexcept { return vertex_count_; }

private:
    Atom name_;
    ColorsLoader colors_;
    std::unique_ptr<Texture> diffuse_;
    std::unique_ptr<Texture> bump_;
    std::unique_ptr<Texture> emissive_;
    std::unique_ptr<Texture> reflection_;
    std::unique_ptr<TextureSequence> emissive_sequence_;
    bool emissive_alpha_multiply_ = false;
    uint32_t triangles_count_ = 0;
    uint32_t vertex_count_ = 0;
};

// The materials of a primitive or model node: one per "Shader" child, in order.
class ShaderLoader : public xml::ObjectANSI, public animate::Animatable {
public:
    ShaderLoader() = default;
    // Copies every material.
    ShaderLoader(const ShaderLoader& other);
    ShaderLoader& operator=(const ShaderLoader&) = delete;
    ~ShaderLoader() override;

    bool OnNode(xml::Provider& provider, const String& name) override;

    // The first material of that name; with `deeper`, also the first texture that a
    // material finds by that name.
    Animatable* find_object(const Atom& name, bool deeper) override;

    const std::vector<std::unique_ptr<Material>>& get_materials() const noexcept { return materials_; }
    // Appended after the others, as a "Shader" child would be.
    void add_material(std::unique_ptr<Material> material) { materials_.push_back(std::move(material)); }

    Atom name;

private:
    std::vector<std::unique_ptr<Material>> materials_;
};

} // namespace vadu::lib3d::material
