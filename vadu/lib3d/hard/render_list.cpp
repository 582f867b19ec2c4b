#include "vadu/lib3d/hard/render_list.h"

#include <algorithm>
#include <cmath>

#include "vadu/lib3d/hard/resources.h"
#include "vadu/lib3d/hard/sprite_batch.h"

namespace vadu::lib3d::hard {

namespace {

RenderList::ParallelCameraQuery parallel_camera_query = nullptr;

// From the camera's position (the translation of its matrix).
double camera_distance(const math::Matrix4& camera, float x, float y, float z)
{
    const double dx = static_cast<double>(x) - camera.m[3];
    const double dy = static_cast<double>(y) - camera.m[7];
    const double dz = static_cast<double>(z) - camera.m[11];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Far things get small keys; a distance that is not a number counts as infinitely far so
// that the order stays well defined.
double key_of(double distance)
{
    const double key = 1.0 / (distance + 1.0);
    return std::isnan(key) ? 0.0 : key;
}

const StageTexture* sort_texture(const TextureStage* stages)
{
    return stages[0].texture ? stages[0].texture : stages[1].texture;
}

void set_texture(SortItem& item, const TextureStage* stages)
{
    const StageTexture* texture = sort_texture(stages);
    item.texture = reinterpret_cast<uintptr_t>(texture);
    item.texture_serial = texture ? texture->get_serial() : 0;
}

void prepare_light(LightEntry& light)
{
    switch (light.attenuation) {
    case 1:
        light.coefficients[0] = 0.0f;
        light.coefficients[1] = 1.0f;
        light.coefficients[2] = 0.0f;
        break;
    case 2:
        light.coefficients[0] = 0.0f;
        light.coefficients[1] = 0.0f;
        light.coefficients[2] = 1.0f;
        light.range = std::sqrt(light.range);
        break;
    default:
        light.coefficients[0] = 1.0f;
        light.coefficients[1] = 0.0f;
        light.coefficients[2] = 0.0f;
        light.range = 1.0f;
        break;
    }
}

} // namespace

void RenderList::set_parallel_camera_query(ParallelCameraQuery query)
{
    parallel_camera_query = query;
}

RenderList::RenderList()
{
    lights.reserve(10);
    records.reserve(1000);
    secondary_records.reserve(1000);
    second_lights.reserve(10);
    point_items.reserve(1000);
    clear();
}

RenderList::~RenderList() = default;

void RenderList::clear()
{
    camera_matrix = math::Matrix4::identity();
    projection = math::Matrix4::identity();
    view = math::Matrix4::identity();
    std::fill(std::begin(viewport), std::end(viewport), -1.0);
    ambient = math::Vector3{};
    camera_vector = math::Vector3{};
    camera_value = 0.0;
    flag = 1;
    culling = 1;
    lights.clear();
    second_lights.clear();
    records.clear();
    secondary_records.clear();
    point_items.clear();
    sorted_items.clear();
    opaque_count = 0;
    for (auto& entry : sprite_batches_)
        entry.second->clear();
}

void RenderList::add_sprite(const SpriteItem& item)
{
    auto found = sprite_batches_.find(item.stage.texture);
    if (found != sprite_batches_.end())
        found->second->add(item);
    else
        sprite_batches_.emplace(item.stage.texture, std::make_unique<RenderSpriteBatch>(*this, item));
}

void RenderList::render_sprite_batches(Hardware& hardware)
{
    // A batch with sprites this frame has a live texture; the map's own order is by address.
    batch_order_.clear();
    for (auto& entry : sprite_batches_) {
        if (!entry.second->empty())
            batch_order_.push_back(entry.second.get());
    }
    std::sort(batch_order_.begin(), batch_order_.end(), [](const RenderSpriteBatch* a, const RenderSpriteBatch* b) {
        const uint64_t first = a->get_texture() ? a->get_texture()->get_serial() : 0;
        const uint64_t second = b->get_texture() ? b->get_texture()->get_serial() : 0;
        return first < second;
    });
    for (RenderSpriteBatch* batch : batch_order_)
        batch->render(hardware, *this);
}

Sphere RenderList::compute_view(const Sphere& sphere, const math::Matrix4& m)
{
    Sphere result;
    result.x = m.m[0] * sphere.x + m.m[1] * sphere.y + m.m[2] * sphere.z + m.m[3];
    result.y = m.m[4] * sphere.x + m.m[5] * sphere.y + m.m[6] * sphere.z + m.m[7];
    result.z = m.m[8] * sphere.x + m.m[9] * sphere.y + m.m[10] * sphere.z + m.m[11];
    float longest = 0.0f;
    for (int axis = 0; axis < 3; ++axis) {
        const float x = m.m[axis] * sphere.radius;
        const float y = m.m[4 + axis] * sphere.radius;
        const float z = m.m[8 + axis] * sphere.radius;
        longest = std::max(longest, std::sqrt(x * x + y * y + z * z));
    }
    result.radius = longest;
    return result;
}

void RenderList::render(Hardware& /*hardware*/)
{
    view = math::inverse(camera_matrix);
    for (LightEntry& light : lights)
        prepare_light(light);

    const bool parallel = parallel_camera_query && parallel_camera_query();
    std::vector<SortItem> opaque;
    std::vector<SortItem> blended;
    opaque.reserve(records.size());
    blended.reserve(records.size() + point_items.size());

    for (size_t i = 0; i < records.size(); ++i) {
        RenderRecord& record = records[i];
        if (culling && record.bounding_sphere.radius != 0.0f) {
            math::Matrix4 to_camera = view;
            to_camera *= record.world;
            const Sphere sphere = compute_view(record.bounding_sphere, to_camera);
            if (frustum.test_sphere(sphere.x, sphere.y, sphere.z, sphere.radius) == 2)
                continue;
        }
        SortItem item;
        item.kind = SortItem::RECORD;
        item.index = static_cast<uint32_t>(i);
        item.vertex_buffer = reinterpret_cast<uintptr_t>(record.vertex_buffer);
        set_texture(item, record.stages);
        if (record.transparency == 0.0 && !record.stages[0].alpha && !record.stages[1].alpha) {
            record.sort_key = -1.0;
            item.key = -1.0f;
            opaque.push_back(item);
            continue;
        }
        double distance;
        if (parallel)
            distance = std::fabs(static_cast<double>(record.world.m[11]) - camera_matrix.m[11]);
        else
            distance = camera_distance(camera_matrix, record.world.m[3], record.world.m[7], record.world.m[11]);
        record.sort_key = key_of(distance);
        item.key = static_cast<float>(record.sort_key);
        blended.push_back(item);
    }

    for (size_t i = 0; i < point_items.size(); ++i) {
        const PointItem& point = point_items[i];
        SortItem item;
        item.kind = SortItem::POINT;
        item.index = static_cast<uint32_t>(i);
        item.key = static_cast<float>(
            key_of(camera_distance(camera_matrix, point.position.x, point.position.y, point.position.z)));
        set_texture(item, point.stages);
        blended.push_back(item);
    }

    // Equal keys group by texture (by creation, never by address, so that a frame does
    // not depend on the heap); stable, so that the rest keep the order in which the
    // nodes appended them.
    const auto before = [](const SortItem& a, const SortItem& b) {
        if (a.key != b.key)
            return a.key < b.key;
        return a.texture_serial < b.texture_serial;
    };
    std::stable_sort(opaque.begin(), opaque.end(), before);
    std::stable_sort(blended.begin(), blended.end(), before);

    opaque_count = static_cast<uint32_t>(opaque.size());
    sorted_items.clear();
    sorted_items.reserve(opaque.size() + blended.size());
    sorted_items.insert(sorted_items.end(), opaque.begin(), opaque.end());
    sorted_items.insert(sorted_items.end(), blended.begin(), blended.end());
}

} // namespace vadu::lib3d::hard
