#include "vadu/lib3d/material/material.h"

#include "vadu/converter.h"
#include "vadu/lib3d/material/texture_sequence.h"

namespace vadu::lib3d::material {

namespace {

const Atom& atom_diffuse()
{
    static const Atom atom("Diffuse");
    return atom;
}

const Atom& atom_bump()
{
    static const Atom atom("Bump");
    return atom;
}

const Atom& atom_emissive()
{
    static const Atom atom("Emissive");
    return atom;
}

const Atom& atom_reflection()
{
    static const Atom atom("Reflection");
    return atom;
}

const Atom& atom_transparency()
{
    static const Atom atom("Transparency");
    return atom;
}

const Atom& atom_randomize()
{
    static const Atom atom("Randomize");
    return atom;
}

const math::Vector3 white{1.0f, 1.0f, 1.0f};

// Three numbers, each read by the float parser after the one before; all must be there.
bool convert_vector(const String& text, math::Vector3* value)
{
    const char* position = text.data();
    const char* const end = text.data() + text.size();
    float parts[3];
    for (float& part : parts) {
        position = converter::parse_float(position, end, &part);
        if (!position)
            return false;
    }
    *value = math::Vector3{parts[0], parts[1], parts[2]};
    return true;
}

String print_vector(const math::Vector3& value)
{
    char buffer[24];
    String text;
    const float parts[3] = {value.x, value.y, value.z};
    for (int i = 0; i < 3; ++i) {
        if (i)
            text += " ";
        converter::print_float(buffer, parts[i]);
        text += buffer;
    }
    return text;
}

String print_double(double value)
{
    char buffer[24];
    converter::print_double(buffer, value);
    return String(buffer);
}

String print_unsigned(uint32_t value)
{
    char buffer[24];
    converter::print_unsigned(buffer, value);
    return String(buffer);
}

// "Name" and "Wrap" of a render-target texture child.
class RenderTargetLoader : public xml::ObjectANSI {
public:
    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        if (name == "Name")
            return converter::convert(value, &target);
        if (name == "Wrap")
            return converter::convert(value, &wrap);
        return false;
    }

    Atom target;
    bool wrap = true;
};

// An "Emissive" child: a picture, or the texture sequence of its "Sequences" child.
class EmissiveLoader : public TextureSimpleLoader {
public:
    bool OnNode(xml::Provider& provider, const String& name) override
    {
        if (name != "Sequences" || sequence)
            return false;
        auto loaded = std::make_unique<TextureSequence>(atom_emissive());
        if (!provider.ParseObject(*loaded))
            return false;
        sequence = std::move(loaded);
        return true;
    }

    std::unique_ptr<TextureSequence> sequence;
};

std::unique_ptr<Texture> clone_of(const std::unique_ptr<Texture>& texture)
{
    return texture ? texture->clone() : nullptr;
}

} // namespace

// --- ColorsLoader ---

bool ColorsLoader::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Diffuse")
        return convert_vector(value, &diffuse);
    if (name == "Emissive")
        return convert_vector(value, &emissive);
    if (name == "Specular")
        return convert_vector(value, &specular);
    if (name == "Reflection")
        return convert_vector(value, &reflection);
    if (name == "SpecularPower")
        return converter::convert(value, &specular_power);
    if (name == "Transparency")
        return converter::convert(value, &transparency);
    // Older files carry an ambient colour; the renderer has no use for it.
    return name == "Ambient";
}

void ColorsLoader::OnSaveAttributes(xml::Saver& saver)
{
    if (specular_power != 0.0)
        saver.write_attribute("SpecularPower", print_double(specular_power));
    if (!(diffuse == white))
        saver.write_attribute("Diffuse", print_vector(diffuse));
    if (!(reflection == white))
        saver.write_attribute("Reflection", print_vector(reflection));
    if (!(emissive == white))
        saver.write_attribute("Emissive", print_vector(emissive));
    if (!(specular == white))
        saver.write_attribute("Specular", print_vector(specular));
    if (transparency != 0.0)
        saver.write_attribute("Transparency", print_double(transparency));
}

// --- Material ---

Material::Material() = default;

Material::Material(const Atom& name) : name_(name) {}

Material::Material(const Material& other)
    : xml::Object(other),
      xml::ObjectANSI(other),
      animate::Animatable(other),
      name_(other.name_),
      colors_(other.colors_),
      diffuse_(clone_of(other.diffuse_)),
      bump_(clone_of(other.bump_)),
      emissive_(clone_of(other.emissive_)),
      reflection_(clone_of(other.reflection_)),
      emissive_alpha_multiply_(other.emissive_alpha_multiply_),
      triangles_count_(other.triangles_count_),
      vertex_count_(other.vertex_count_)
{
}

Material::~Material() = default;

bool Material::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Name")
        return converter::convert(value, &name_);
    if (name == "EmissiveAlphaMultiply")
        return converter::convert(value, &emissive_alpha_multiply_);
    if (name == "TrianglesCount")
        return converter::convert(value, &triangles_count_);
    if (name == "VertexCount")
        return converter::convert(value, &vertex_count_);
    return false;
}

bool Material::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Material")
        return provider.ParseObject(colors_);

    const bool picture = name == "Diffuse" || name == "Bump";
    const bool target = name == "DiffuseRenderTarget" || name == "BumpRenderTarget";
    if (picture || target) {
        const bool diffuse = name == "Diffuse" || name == "DiffuseRenderTarget";
        std::unique_ptr<Texture>& slot = diffuse ? diffuse_ : bump_;
        const Atom& slot_name = diffuse ? atom_diffuse() : atom_bump();
        if (slot)
            return false;
        if (picture) {
            TextureSimpleLoader loader;
            if (!provider.ParseObject(loader))
                return false;
            slot = std::make_unique<TextureSimple>(slot_name, loader);
        } else {
            RenderTargetLoader loader;
            if (!provider.ParseObject(loader))
                return false;
            slot = std::make_unique<TextureRenderTarget>(slot_name, loader.target, loader.wrap);
        }
        return true;
    }

    if (name == "Reflection") {
        if (reflection_)
            return false;
        TextureSimpleLoader loader;
        if (!provider.ParseObject(loader))
            return false;
        reflection_ = std::make_unique<TextureReflection>(atom_reflection(), loader);
        return true;
    }

    if (name == "Emissive") {
        if (emissive_ || emissive_sequence_)
            return false;
        EmissiveLoader loader;
        if (!provider.ParseObject(loader))
            return false;
        if (loader.sequence)
            emissive_sequence_ = std::move(loader.sequence);
        else
            emissive_ = std::make_unique<TextureSimple>(atom_emissive(), loader);
        return true;
    }
    return false;
}

void Material::OnSaveAttributes(xml::Saver& saver)
{
    String name;
    converter::convert(name_, &name);
    saver.write_attribute("Name", name);
    if (triangles_count_ != 0)
        saver.write_attribute("TrianglesCount", print_unsigned(triangles_count_));
    if (vertex_count_ != 0)
        saver.write_attribute("VertexCount", print_unsigned(vertex_count_));
}

void Material::OnSaveNodes(xml::Saver& saver)
{
    saver.save_element(String("Material"), colors_);
}

bool Material::change_attribute(const Atom& name, double value)
{
    if (name != atom_transparency())
        return false;
    colors_.transparency = value;
    return true;
}

bool Material::get_attribute(const Atom& name, double& value)
{
    if (name != atom_transparency())
        return false;
    value = colors_.transparency;
    return true;
}

bool Material::change_attribute(const Atom& name, const math::Vector3& value)
{
    if (name == atom_diffuse())
        colors_.diffuse = value;
    else if (name == atom_reflection())
        colors_.reflection = value;
    else if (name == atom_emissive())
        colors_.emissive = value;
    else
        return false;
    return true;
}

bool Material::get_attribute(const Atom& name, math::Vector3& value)
{
    if (name == atom_diffuse())
        value = colors_.diffuse;
    else if (name == atom_reflection())
        value = colors_.reflection;
    else if (name == atom_emissive())
        value = colors_.emissive;
    else
        return false;
    return true;
}

bool Material::play_sequence(const Atom& name)
{
    if (name != atom_randomize())
        return false;
    math::Vector3& c = colors_.emissive;
    c = math::Vector3{1.0f - c.x, 1.0f - c.y, 1.0f - c.z};
    return true;
}

animate::Animatable* Material::find_texture(const Atom& name, bool deeper)
{
    const auto look = [&](Texture* texture) -> animate::Animatable* {
        if (!texture)
            return nullptr;
        if (texture->get_slot() == name)
            return texture;
        return deeper ? texture->find_object(name, true) : nullptr;
    };
    if (animate::Animatable* found = look(diffuse_.get()))
        return found;
    if (animate::Animatable* found = look(bump_.get()))
        return found;
    if (emissive_sequence_) {
        if (emissive_sequence_->get_owner_name() == name)
            return emissive_sequence_.get();
        if (deeper) {
            if (animate::Animatable* found = emissive_sequence_->find_object(name, true))
                return found;
        }
    }
    if (animate::Animatable* found = look(emissive_.get()))
        return found;
    return look(reflection_.get());
}

void Material::fill_render_material(hard::Hardware& hardware, hard::RenderRecord& record)
{
    record.diffuse = colors_.diffuse;
    record.emissive = colors_.emissive;
    record.specular = colors_.specular;
    record.reflection = colors_.reflection;
    record.specular_power = colors_.specular_power;
    record.transparency = colors_.transparency;
    if (emissive_alpha_multiply_) {
        const auto opacity = static_cast<float>(1.0 - colors_.transparency);
        record.emissive = math::Vector3{record.emissive.x * opacity, record.emissive.y * opacity,
                                        record.emissive.z * opacity};
        record.reflection = math::Vector3{record.reflection.x * opacity, record.reflection.y * opacity,
                                          record.reflection.z * opacity};
    }
    if (diffuse_)
        diffuse_->apply(hardware, record.stages[0]);
    if (emissive_sequence_)
        emissive_sequence_->apply_current_frame(hardware, record.stages[1]);
    else if (emissive_)
        emissive_->apply(hardware, record.stages[1]);
    if (bump_)
        bump_->apply(hardware, record.stages[2]);
    if (reflection_)
        reflection_->apply(hardware, record.stages[3]);
}

// --- ShaderLoader ---

ShaderLoader::ShaderLoader(const ShaderLoader& other)
    : xml::Object(other), xml::ObjectANSI(other), animate::Animatable(other), name(other.name)
{
    materials_.reserve(other.materials_.size());
    for (const auto& material : other.materials_)
        materials_.push_back(std::make_unique<Material>(*material));
}

ShaderLoader::~ShaderLoader() = default;

bool ShaderLoader::OnNode(xml::Provider& provider, const String& element)
{
    if (element != "Shader")
        return false;
    materials_.push_back(std::make_unique<Material>());
    return provider.ParseObject(*materials_.back());
}

animate::Animatable* ShaderLoader::find_object(const Atom& material_name, bool deeper)
{
    for (const auto& material : materials_) {
        if (material->get_name() == material_name)
            return material.get();
    }
    if (deeper) {
        for (const auto& material : materials_) {
            if (animate::Animatable* found = material->find_texture(material_name, true))
                return found;
        }
    }
    return nullptr;
}

} // namespace vadu::lib3d::material
