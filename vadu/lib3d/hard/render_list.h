#pragma once

// The per-frame queue between the scene graph and a render device: the camera block, the
// lights, the render records (one draw call each) and the sprite quads, which the list
// collects into one batch per texture. The list issues no device calls of its own.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "vadu/lib3d/view_frustum.h"
#include "vadu/math.h"

namespace vadu::lib3d::hard {

class Hardware;
class StageTexture;
class VertexBuffer;
class IndexBuffer;
class PointBuffer;
class RenderSpriteBatch;

// How a record is blended over what is drawn already.
enum BlendMode : uint32_t {
    BM_ALPHA = 0,     // source alpha over inverse source alpha
    BM_ADD = 1,       // one plus one
    BM_ADD_ALPHA = 2, // source alpha plus one
};

// One texture stage of a draw: the device texture and the flags its texture object gives it.
struct TextureStage {
    StageTexture* texture = nullptr;
    uint8_t wrap = 1;
    uint8_t alpha = 0; // the picture has an alpha channel

    friend bool operator==(const TextureStage&, const TextureStage&) = default;
};

struct Sphere {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float radius = 0.0f;
};

// One draw call. Nodes build one on the stack, let their material fill the colours and
// stages, set the geometry and append it to the list.
struct RenderRecord {
    math::Vector3 diffuse{1.0f, 1.0f, 1.0f};
    // With alpha 1 − transparency, the device's texture factor.
    math::Vector3 emissive{1.0f, 1.0f, 1.0f};
    math::Vector3 specular{1.0f, 1.0f, 1.0f};
    math::Vector3 reflection{1.0f, 1.0f, 1.0f};
    double specular_power = 0.0;
    double transparency = 0.0; // 0 opaque .. 1 invisible
    // Reserved for the device.
    uint8_t flag = 0;
    float factor = 1.0f;
    TextureStage stages[4];
    // The node's global matrix; its translation column is the record's position.
    math::Matrix4 world;
    // In object space; a radius of 0 is never culled.
    Sphere bounding_sphere;
    VertexBuffer* vertex_buffer = nullptr;
    VertexBuffer* second_buffer = nullptr;
    uint32_t device_words[2] = {0, 0};
    uint32_t first_primitive = 0;
    uint32_t primitive_count = 0;
    // Null: drawn without indices.
    IndexBuffer* index_buffer = nullptr;
    uint32_t first_vertex = 0;
    uint32_t vertex_count = 0;
    uint8_t filter = 1;
    uint32_t blend_mode = BM_ALPHA;
    // Written by the sort: −1 for opaque records, 1 / (distance + 1) for the others.
    double sort_key = 0.0;
    // Vertex data the record owns, for the device.
    std::vector<float> arrays[2];
};

// A sprite quad handed to the list. The list keeps a pointer: the item must stay alive and
// unchanged until the list has been rendered.
struct SpriteItem {
    float corners[4][3] = {}; // A, B, C, D in screen units
    float uv[4][2] = {};
    double transparency = 0.0;
    double specular_level = 0.0;
    float depth = 0.0f; // the z the batch's record is sorted by
    math::Vector3 colour{1.0f, 1.0f, 1.0f};
    uint32_t filter = 1;
    // Its texture keys the batch.
    TextureStage stage;
};

// A light of the frame. The light node fills the first fields; the sort fills the
// coefficients and turns the stored range into the one the device uses.
struct LightEntry {
    int32_t kind = 0; // 0 point, 1 directional
    math::Vector3 diffuse;
    math::Vector3 specular;
    math::Vector3 position;
    math::Vector3 direction;
    double intensity = 0.0;
    int32_t attenuation = 0; // 0 constant, 1 linear, 2 quadratic
    double shadow_priority = 0.0;
    float range = 0.0f;
    float coefficients[3] = {0.0f, 0.0f, 0.0f}; // constant, linear, quadratic
};

// Points drawn from a point buffer, sorted with the blended records.
struct PointItem {
    math::Vector3 position;
    math::Matrix4 world;
    math::Vector3 diffuse{1.0f, 1.0f, 1.0f};
    math::Vector3 emissive{1.0f, 1.0f, 1.0f};
    double transparency = 0.0;
    TextureStage stages[2];
    PointBuffer* point_buffer = nullptr;
    uint32_t first_point = 0;
    uint32_t point_count = 0;
};

// An entry of the draw order.
struct SortItem {
    enum Kind : uint8_t { RECORD = 0, POINT = 1 };
    uint8_t kind = RECORD;
    uint32_t index = 0; // into the records or the point items
    float key = 0.0f;
    uintptr_t vertex_buffer = 0;
    uintptr_t texture = 0; // stage 0's texture, else stage 1's
    uint64_t texture_serial = 0; // of that texture; 0 without one
};

class RenderList {
public:
    // A camera's parameter block; the camera copies its parts into the list.
    struct CameraParams {
        math::Matrix4 projection;
        math::Matrix4 camera_matrix;
        double near_plane = 0.0;
        double far_plane = 0.0;
        double viewport_left = -1.0;
        double viewport_right = 1.0;
        double viewport_top = 1.0;
        double viewport_bottom = -1.0;
        view_frustum frustum;
        float fog_colour[3] = {1.0f, 1.0f, 1.0f};
        double fog_range = 0.0;
        math::Matrix4 further;
    };

    // Whether the current camera is a parallel one; the camera layer answers it.
    using ParallelCameraQuery = bool (*)();
    // Null (the start): no current camera, distances are measured in full.
    static void set_parallel_camera_query(ParallelCameraQuery query);

    RenderList();
    ~RenderList();
    RenderList(const RenderList&) = delete;
    RenderList& operator=(const RenderList&) = delete;

    // The start of a frame: identity matrices, an unset viewport, no lights, records or
    // items; the batches stay but lose their sprites.
    void clear();

    void add_record(const RenderRecord& record) { records.push_back(record); }
    // Into the batch of the item's texture, made on the texture's first sprite.
    void add_sprite(const SpriteItem& item);
    // Every batch that holds sprites fills its vertex buffer for the hardware and appends
    // a record per group of alike sprites. Throws Gluck when a buffer refuses the data.
    void render_sprite_batches(Hardware& hardware);
    // The sort: culls, splits opaque from blended records and fills the sorted items, the
    // opaque ones first.
    void render(Hardware& hardware);

    // The sphere in the space the matrix leads to: the centre as a point, the radius as
    // the longest of the matrix's scaled axes.
    static Sphere compute_view(const Sphere& sphere, const math::Matrix4& matrix);
    void reset_frustum() { frustum.reset(); }

    const std::map<const StageTexture*, std::unique_ptr<RenderSpriteBatch>>& get_sprite_batches() const noexcept
    {
        return sprite_batches_;
    }

    // --- the camera block, written by the camera ---
    math::Matrix4 projection;
    // Its translation column is the camera position used for distances.
    math::Matrix4 camera_matrix;
    // In −1..1 units.
    double viewport[4] = {0.0, 1.0, 0.0, 1.0};
    math::Matrix4 view;
    math::Vector3 ambient;
    uint32_t flag = 0;
    view_frustum frustum;
    math::Vector3 camera_vector;
    double camera_value = 0.0;
    uint8_t culling = 1;
    float view_rect[4] = {0.0f, 0.0f, 0.0f, 0.0f};

    // --- filled by the nodes ---
    std::vector<LightEntry> lights;
    std::vector<RenderRecord> records;
    // The first `opaque_count` sorted items are opaque records.
    uint32_t opaque_count = 0;
    // Kept for model nodes; not sorted.
    std::vector<RenderRecord> secondary_records;
    std::vector<LightEntry> second_lights;
    std::vector<PointItem> point_items;
    std::vector<SortItem> sorted_items;

private:
    std::map<const StageTexture*, std::unique_ptr<RenderSpriteBatch>> sprite_batches_;
    // This frame's batches in the order of their textures' creation (kept to reuse its room).
    std::vector<RenderSpriteBatch*> batch_order_;
};

} // namespace vadu::lib3d::hard
