#include "vadu/lib3d/node/sprite_grouper.h"

#include <cmath>

#include "vadu/exception.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/node/sprite.h"

namespace vadu::lib3d::node {

SpriteGrouper::SpriteGrouper(const Atom& name, Node* parent) : Node(name, parent)
{
    // Written out as a plain node.
    register_once();
}

SpriteGrouper::~SpriteGrouper() = default;

void SpriteGrouper::register_once()
{
    if (registered_ || !hard::Manager::exists())
        return;
    hard::Manager::add_dependent(this);
    registered_ = true;
}

void SpriteGrouper::on_add_hardware(hard::Hardware* hardware)
{
    add_data(hardware, hardware->create_vertex_buffer(false));
}

Atom SpriteGrouper::get_type_name() const
{
    static const Atom type("SpriteGrouper");
    return type;
}

Node* SpriteGrouper::clone() const
{
    return new Node(*this);
}

std::vector<Sprite*> SpriteGrouper::sprite_children() const
{
    static const Atom sprite_type("Sprite");
    std::vector<Sprite*> sprites;
    for (Node* child : children_) {
        if (child->get_type_name() == sprite_type)
            sprites.push_back(static_cast<Sprite*>(child));
    }
    return sprites;
}

void SpriteGrouper::FillVB(hard::VertexBuffer& buffer)
{
    const std::vector<Sprite*> sprites = sprite_children();
    hard::FloatArray positions;
    hard::FloatArray uvs;
    positions.reserve(sprites.size() * 18);
    uvs.reserve(sprites.size() * 12);
    static const int order[6] = {0, 1, 2, 2, 1, 3};
    for (Sprite* sprite : sprites) {
        sprite->update_quad();
        const hard::SpriteItem& item = sprite->get_item();
        for (int corner : order) {
            positions.insert(positions.end(), {item.corners[corner][0], item.corners[corner][1], item.corners[corner][2]});
            uvs.insert(uvs.end(), {item.uv[corner][0], item.uv[corner][1]});
        }
    }
    if (!buffer.update(positions, uvs))
        throw Gluck("vadu::lib3d::node::SpriteGrouper::FillVB", "vb->update() failed");
}

void SpriteGrouper::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    register_once();
    const std::vector<Sprite*> sprites = sprite_children();
    if (sprites.empty())
        return;
    for (Sprite* sprite : sprites) {
        sprite->set_cached_global_matrix(sprite->get_local_matrix());
        sprite->mark_transform_changed();
        if (!sprite->get_children().empty())
            sprite->Node::render_to_list(hardware, list);
    }
    hard::VertexBuffer* buffer = find_data(&hardware);
    if (!buffer)
        throw Gluck(function_name("find_data"), "Data not found");
    Sprite& first = *sprites.front();
    auto ready = [](material::TextureHandle* texture) { return texture != nullptr && texture->is_ready(); };
    if (ready(first.get_texture()))
        FillVB(*buffer);
    if (!ready(first.get_texture()) && !ready(first.get_previous_texture()))
        return;
    const auto count = static_cast<uint32_t>(sprites.size());
    hard::RenderRecord record;
    record.world = math::Matrix4::identity();
    record.world[11] = first.get_item().depth;
    record.specular_power = 0.0;
    record.transparency = 0.0001;
    record.diffuse = first.get_colour();
    record.emissive = first.get_colour();
    record.vertex_buffer = buffer;
    record.first_primitive = 0;
    record.primitive_count = 2 * count;
    record.first_vertex = 0;
    record.vertex_count = 6 * count;
    // The first sprite's filtering, decided as the sprite decides it for itself.
    if (first.is_auto_filter()) {
        const math::Matrix4& m = first.get_cached_global_matrix();
        record.filter = (std::fabs(m[0] - 1.0f) >= 0.01f || std::fabs(m[5] - 1.0f) >= 0.01f ||
                         std::fabs(m[1]) >= 0.01f || std::fabs(m[4]) >= 0.01f)
                            ? 1
                            : 0;
    } else {
        record.filter = first.is_filter_texture() ? 1 : 0;
    }
    material::TextureHandle* shown = first.get_previous_texture() ? first.get_previous_texture() : first.get_texture();
    shown->apply(hardware, record.stages[0]);
    if (record.stages[0].texture)
        list.add_record(record);
}

} // namespace vadu::lib3d::node
