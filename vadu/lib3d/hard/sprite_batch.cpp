#include "vadu/lib3d/hard/sprite_batch.h"

#include <cmath>

#include "vadu/exception.h"

namespace vadu::lib3d::hard {

namespace {

bool alike(const SpriteItem& a, const SpriteItem& b)
{
    return a.depth == b.depth && a.transparency == b.transparency && a.colour.x == b.colour.x &&
           a.colour.y == b.colour.y && a.colour.z == b.colour.z && a.specular_level == b.specular_level &&
           a.filter == b.filter && a.stage.wrap == b.stage.wrap && a.stage.alpha == b.stage.alpha;
}

// Pixel centres: truncation toward zero, so negative coordinates snap the other way.
float snap_x(float x)
{
    return std::trunc(x + 0.5f) - 0.5f;
}

float snap_y(float y)
{
    return std::trunc(y + 0.5f) + 0.5f;
}

} // namespace

RenderSpriteBatch::RenderSpriteBatch(RenderList& list, const SpriteItem& first)
    : list_(list), texture_(first.stage.texture)
{
    sprites_.push_back(&first);
    groups_.push_back(Group{sprites_.begin(), 1});
    Manager::add_dependent(this);
}

RenderSpriteBatch::~RenderSpriteBatch()
{
    Manager::remove_dependent(this);
}

void RenderSpriteBatch::on_add_hardware(Hardware* hardware)
{
    add_data(hardware, hardware->create_vertex_buffer(true));
}

void RenderSpriteBatch::add(const SpriteItem& item)
{
    for (Group& group : groups_) {
        if (alike(**group.first, item)) {
            group.first = sprites_.insert(group.first, &item);
            ++group.count;
            return;
        }
    }
    sprites_.push_back(&item);
    groups_.push_back(Group{std::prev(sprites_.end()), 1});
}

void RenderSpriteBatch::clear()
{
    groups_.clear();
    sprites_.clear();
}

void RenderSpriteBatch::PrepareVB(VertexBuffer& buffer)
{
    size_t count = 0;
    for (const Group& group : groups_)
        count += group.count;

    FloatArray positions(18 * count);
    FloatArray uvs(12 * count);
    float* position = positions.data();
    float* uv = uvs.data();
    // Triangles (A, B, C) and (C, B, D).
    static const int corner_order[6] = {0, 1, 2, 2, 1, 3};
    for (const Group& group : groups_) {
        auto sprite = group.first;
        for (size_t i = 0; i < group.count; ++i, ++sprite) {
            const SpriteItem& item = **sprite;
            for (int corner : corner_order) {
                *position++ = snap_x(item.corners[corner][0]);
                *position++ = snap_y(item.corners[corner][1]);
                *position++ = item.corners[corner][2];
                *uv++ = item.uv[corner][0];
                *uv++ = item.uv[corner][1];
            }
        }
    }
    if (!buffer.update(positions, uvs))
        throw Gluck("vadu::lib3d::hard::RenderSpriteBatch::PrepareVB", "vb->update() failed");
}

void RenderSpriteBatch::render(Hardware& hardware, RenderList& list)
{
    if (sprites_.empty())
        return;
    VertexBuffer* buffer = find_data(&hardware);
    if (!buffer)
        throw Gluck(function_name("find_data"), "Data not found");
    PrepareVB(*buffer);

    uint32_t start = 0;
    for (const Group& group : groups_) {
        const SpriteItem& item = **group.first;
        const auto count = static_cast<uint32_t>(group.count);
        RenderRecord record;
        record.world = math::Matrix4::identity();
        record.world.m[11] = item.depth;
        record.vertex_buffer = buffer;
        record.first_primitive = 2 * start;
        record.primitive_count = 2 * count;
        record.first_vertex = 6 * start;
        record.vertex_count = 6 * count;
        record.diffuse = item.colour;
        record.emissive = item.colour;
        record.transparency = item.transparency;
        record.specular_power = item.specular_level;
        record.filter = item.filter != 0 ? 1 : 0;
        record.stages[1] = item.stage;
        list.add_record(record);
        start += count;
    }
}

} // namespace vadu::lib3d::hard
