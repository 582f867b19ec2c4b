#include "vadu/lib3d/node/animation2d.h"

#include <algorithm>

#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/node/image.h"
#include "vadu/log.h"

namespace vadu::lib3d::node {

namespace {

struct Names {
    Atom transparency{"Transparency"};
    Atom color{"Color"};
    Atom percent{"Percent"};
    Atom frame{"Frame"};
};

const Names& names()
{
    static const Names table;
    return table;
}

} // namespace

Animation2D::Animation2D(const Atom& name, Node* parent) : Node(name, parent), sequence_(name)
{
    element_name_ = get_type_name();
    register_once();
}

Animation2D::Animation2D(const Animation2D& other)
    : xml::Object(other),
      animate::Soul(other),
      Node(other),
      HardwareDependentObject(),
      align_x(other.align_x),
      align_y(other.align_y),
      sequence_(other.sequence_),
      transparency_(other.transparency_),
      colour_(other.colour_)
{
    register_once();
}

Animation2D::~Animation2D() = default;

void Animation2D::register_once()
{
    if (registered_ || !hard::Manager::exists())
        return;
    hard::Manager::add_dependent(this);
    registered_ = true;
}

void Animation2D::on_add_hardware(hard::Hardware* hardware)
{
    add_data(hardware, hardware->create_vertex_buffer(false));
    geometry_dirty_ = 1;
}

bool Animation2D::change_attribute(const Atom& name, double value)
{
    if (name == names().transparency) {
        transparency_ = value;
        return true;
    }
    if (name == names().percent || name == names().frame)
        return sequence_.change_attribute(name, value);
    return Node::change_attribute(name, value);
}

bool Animation2D::change_attribute(const Atom& name, const math::Vector3& value)
{
    if (name != names().color)
        return Node::change_attribute(name, value);
    colour_ = value;
    return true;
}

bool Animation2D::get_attribute(const Atom& name, double& value)
{
    if (name != names().transparency)
        return Node::get_attribute(name, value);
    value = transparency_;
    return true;
}

bool Animation2D::get_attribute(const Atom& name, math::Vector3& value)
{
    if (name != names().color)
        return Node::get_attribute(name, value);
    value = colour_;
    return true;
}

bool Animation2D::play_sequence(const Atom& name)
{
    return play_sequence(name, false);
}

bool Animation2D::play_sequence(const Atom& name, bool keep_running)
{
    if (keep_running && sequence_.get_current() && sequence_.get_current()->name == name)
        return true;
    float old_width = 0.0f, old_height = 0.0f;
    const bool had_frame = current_frame_size(old_width, old_height);
    if (!sequence_.play(name))
        return false;
    float width = 0.0f, height = 0.0f;
    const bool has_frame = current_frame_size(width, height);
    if (had_frame != has_frame || width != old_width || height != old_height)
        geometry_dirty_ = 1;
    return true;
}

Atom Animation2D::get_current_sequence_name() const
{
    const material::SequenceDefinition* current = sequence_.get_current();
    return current ? current->name : Atom();
}

Atom Animation2D::get_type_name() const
{
    static const Atom type("Animation2D");
    return type;
}

Node* Animation2D::clone() const
{
    return new Animation2D(*this);
}

void Animation2D::accept(NodeVisitor& visitor)
{
    visitor.visit_animation_2d(*this);
}

bool Animation2D::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Transparency")
        return converter::convert(value, &transparency_);
    if (name == "Color")
        return read_vector3(value, &colour_);
    if (name == "AlignX")
        return alignment_from_word(value, &align_x);
    if (name == "AlignY")
        return alignment_from_word(value, &align_y);
    if (name == "Start")
        return sequence_.OnAttribute(provider, name, value);
    return Node::OnAttribute(provider, name, value);
}

bool Animation2D::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Sequence" || name == "SpanSequence")
        return sequence_.OnNode(provider, name);
    if (name == "Pause") {
        try {
            logs::log() << "Animation2D \"" << get_name().get_name()
                        << "\": \"Pause\" is not a frame sequence; hold a frame with a \"Frame\" time instead\n";
        } catch (const Gluck&) {
        }
        return false;
    }
    return Node::OnNode(provider, name);
}

bool Animation2D::OnEndNode(xml::Provider& provider)
{
    if (!sequence_.OnEndNode(provider))
        return false;
    fill_vb();
    return true;
}

bool Animation2D::current_frame_size(float& width, float& height) const
{
    const material::SequenceDefinition* current = sequence_.get_current();
    if (!current || current->get_frame_count() <= 0)
        return false;
    const int32_t frame = current->find_frame(sequence_.get_time());
    if (frame < 0 || frame >= current->get_frame_count())
        return false;
    if (current->width > 0.0 && current->height > 0.0) {
        width = static_cast<float>(current->width);
        height = static_cast<float>(current->height);
        return true;
    }
    if (const auto* span = dynamic_cast<const material::SpanSequenceDefinition*>(current)) {
        const material::TextureSequenceFrames* frames = span->get_frames();
        if (!frames || !frames->is_loaded() || frame >= frames->get_frame_count())
            return false;
        const material::TextureSequenceFrameRep* rep = frames->get_frames()[static_cast<size_t>(frame)];
        if (!rep || !rep->is_loaded())
            return false;
        width = static_cast<float>(rep->get_width());
        height = static_cast<float>(rep->get_height());
        return width > 0.0f && height > 0.0f;
    }
    if (const auto* files = dynamic_cast<const material::FileSequenceDefinition*>(current)) {
        const material::TextureSimple* texture = files->get_textures()[static_cast<size_t>(frame)].get();
        material::TextureSimpleRep* rep = texture ? texture->get_rep() : nullptr;
        if (!rep || !rep->is_loaded() || !rep->has_picture())
            return false;
        width = static_cast<float>(material::texture_width(*rep, false));
        height = static_cast<float>(material::texture_height(*rep, false));
        return width > 0.0f && height > 0.0f;
    }
    return false;
}

void Animation2D::fill_vb()
{
    float w = 0.0f, h = 0.0f;
    if (!current_frame_size(w, h))
        return;
    const math::Vector2<float> offset = alignment_offset(align_x, align_y, w, h);
    const float x0 = offset.x;
    const float y0 = offset.y;
    struct Corner {
        float x, y, u, v;
    };
    const Corner corners[4] = {{x0, y0, 0.0f, 0.0f}, {x0, y0 + h, 0.0f, 1.0f}, {x0 + w, y0, 1.0f, 0.0f},
                               {x0 + w, y0 + h, 1.0f, 1.0f}};
    // Front faces, then the same triangles wound the other way for the back.
    static const int order[12] = {0, 1, 2, 2, 1, 3, 0, 2, 1, 2, 3, 1};
    hard::FloatArray positions, normals, colours, uvs;
    for (int i = 0; i < 12; ++i) {
        const Corner& corner = corners[order[i]];
        positions.insert(positions.end(), {corner.x, corner.y, 0.0f});
        normals.insert(normals.end(), {0.0f, 0.0f, i < 6 ? 1.0f : -1.0f});
        uvs.insert(uvs.end(), {corner.u, corner.v});
    }
    for (const auto& pair : get_pairs()) {
        if (pair.second && !pair.second->update(positions, normals, colours, uvs))
            throw Gluck("vadu::lib3d::node::Animation2D::fill_vb", "it->second->update() failed");
    }
    rect_[0] = x0;
    rect_[1] = y0;
    rect_[2] = w;
    rect_[3] = h;
    geometry_dirty_ = 0;
}

void Animation2D::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    register_once();
    float w = 0.0f, h = 0.0f;
    if (!current_frame_size(w, h))
        return;
    hard::VertexBuffer* buffer = find_data(&hardware);
    if (!buffer)
        return;
    // A frame of another size than the quad built (a new sequence, a frame that loaded
    // late) rebuilds it, as does a new device.
    if (geometry_dirty_ || w != rect_[2] || h != rect_[3])
        fill_vb();
    transparency_ = std::clamp(transparency_, 0.0001, 0.9999);
    if (transparency_ < 0.998) {
        hard::RenderRecord record;
        record.world = get_cached_global_matrix();
        record.transparency = transparency_;
        record.specular_power = 0.0;
        record.diffuse = colour_;
        record.emissive = colour_;
        record.vertex_buffer = buffer;
        record.first_primitive = 0;
        record.primitive_count = 4;
        record.first_vertex = 0;
        record.vertex_count = 12;
        record.filter = 1;
        sequence_.apply_current_frame(hardware, record.stages[0]);
        if (record.stages[0].texture)
            list.add_record(record);
    }
    Node::render_to_list(hardware, list);
}

} // namespace vadu::lib3d::node
