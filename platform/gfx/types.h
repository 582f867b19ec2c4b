#pragma once

// Plain values of the graphics device layer: result codes, formats, pools, usages,
// state numbers and the records that cross the device interface. The numbers are the
// ones the engine's renderer was written with; the names are this layer's own.

#include "platform/window.h"

#include <cstdint>
#include <string>

namespace platform::gfx {

// Result of every device call: 0 for success, a negative code for failure.
using Result = int32_t;
constexpr Result ok = 0;
constexpr bool succeeded(Result result) { return result >= 0; }
constexpr bool failed(Result result) { return result < 0; }

namespace error {
constexpr Result fail = static_cast<Result>(0x80004005u);
constexpr Result out_of_memory = static_cast<Result>(0x8007000Eu);
constexpr Result out_of_video_memory = static_cast<Result>(0x8876017Cu);
constexpr Result not_found = static_cast<Result>(0x88760866u);
constexpr Result device_lost = static_cast<Result>(0x88760868u);
constexpr Result device_not_reset = static_cast<Result>(0x88760869u);
constexpr Result not_available = static_cast<Result>(0x8876086Au);
constexpr Result invalid_call = static_cast<Result>(0x8876086Cu);
} // namespace error

// The SDK version the factory entry point accepts.
constexpr uint32_t sdk_version = 32;

enum class Format : uint32_t {
    unknown = 0,
    r8g8b8 = 20,
    a8r8g8b8 = 21,
    x8r8g8b8 = 22,
    r5g6b5 = 23,
    x1r5g5b5 = 24,
    a1r5g5b5 = 25,
    a4r4g4b4 = 26,
    a2b10g10r10 = 31,
    d16_lockable = 70,
    d32 = 71,
    d15s1 = 73,
    d24s8 = 75,
    d24x8 = 77,
    d24x4s4 = 79,
    d16 = 80,
    index16 = 101,
    index32 = 102,
};

// Bytes of one pixel (or index) in the format's memory layout; 0 for unknown.
uint32_t bytes_per_pixel(Format format);
bool is_depth_format(Format format);
bool has_stencil(Format format);
// A colour format the device stores and converts (the seven texture formats and
// A2B10G10R10).
bool is_color_format(Format format);
// Writes a colour (alpha in bits 24-31, red 16-23, green 8-15, blue 0-7) in the
// format's little-endian layout; channels are narrowed by dropping low bits and
// missing alpha or padding bits are written as ones. Nothing for non-colour formats.
void encode_color(Format format, uint32_t argb, uint8_t* pixel);
// Reads a pixel of the format back as a colour, widening channels by repeating
// their high bits; a format without alpha reads as opaque.
uint32_t decode_color(Format format, const uint8_t* pixel);

enum class DeviceType : uint32_t { hal = 1, reference = 2, software = 3 };

enum class Pool : uint32_t { default_pool = 0, managed = 1, system_memory = 2, scratch = 3 };

enum class ResourceType : uint32_t {
    surface = 1,
    volume = 2,
    texture = 3,
    volume_texture = 4,
    cube_texture = 5,
    vertex_buffer = 6,
    index_buffer = 7,
};

namespace usage {
constexpr uint32_t render_target = 0x1;
constexpr uint32_t depth_stencil = 0x2;
constexpr uint32_t write_only = 0x8;
constexpr uint32_t software_processing = 0x10;
constexpr uint32_t do_not_clip = 0x20;
constexpr uint32_t points = 0x40;
constexpr uint32_t dynamic = 0x200;
constexpr uint32_t auto_gen_mipmap = 0x400;
} // namespace usage

namespace create_flags {
constexpr uint32_t software_vertex_processing = 0x20;
constexpr uint32_t hardware_vertex_processing = 0x40;
constexpr uint32_t mixed_vertex_processing = 0x80;
} // namespace create_flags

namespace lock_flags {
constexpr uint32_t read_only = 0x10;
constexpr uint32_t discard = 0x2000;
constexpr uint32_t no_overwrite = 0x1000;
constexpr uint32_t no_system_lock = 0x800;
} // namespace lock_flags

namespace clear_flags {
constexpr uint32_t target = 0x1;
constexpr uint32_t zbuffer = 0x2;
constexpr uint32_t stencil = 0x4;
} // namespace clear_flags

namespace present_flags {
constexpr uint32_t lockable_back_buffer = 0x1;
} // namespace present_flags

// Refreshes of the display a present waits for: default and one wait for the next,
// immediate shows the frame at once.
namespace present_interval {
constexpr uint32_t default_interval = 0;
constexpr uint32_t one = 0x1;
constexpr uint32_t immediate = 0x80000000u;
} // namespace present_interval

namespace swap_effect {
constexpr uint32_t discard = 1;
constexpr uint32_t flip = 2;
constexpr uint32_t copy = 3;
} // namespace swap_effect

// Multisample types are sample counts (0 none, 2..16); 1 is "non-maskable".
namespace multisample {
constexpr uint32_t none = 0;
constexpr uint32_t samples_2 = 2;
constexpr uint32_t samples_4 = 4;
constexpr uint32_t max_samples = 16;
} // namespace multisample

// Flexible vertex format bits.
namespace fvf {
constexpr uint32_t position_mask = 0x400E;
constexpr uint32_t xyz = 0x002;
constexpr uint32_t xyzrhw = 0x004;
constexpr uint32_t normal = 0x010;
constexpr uint32_t psize = 0x020;
constexpr uint32_t diffuse = 0x040;
constexpr uint32_t specular = 0x080;
constexpr uint32_t tex_count_mask = 0xF00;
constexpr uint32_t tex_count_shift = 8;
constexpr uint32_t tex1 = 0x100;
constexpr uint32_t tex2 = 0x200;
} // namespace fvf
// Bytes of one vertex of the format (texture sets of 2 floats unless their size
// bits say 1, 3 or 4); 0 when the position bits are missing or invalid.
uint32_t fvf_stride(uint32_t vertex_format);

enum class PrimitiveType : uint32_t {
    point_list = 1,
    line_list = 2,
    line_strip = 3,
    triangle_list = 4,
    triangle_strip = 5,
    triangle_fan = 6,
};
// Vertices (or indices) that `count` primitives of the type use; 0 for bad types.
uint32_t primitive_vertex_count(PrimitiveType type, uint32_t count);

// Transform slots: view, projection, texture 0..7, world 0..3.
enum class TransformState : uint32_t {
    view = 2,
    projection = 3,
    texture0 = 16,
    world = 256,
};
constexpr TransformState texture_transform(uint32_t stage)
{
    return static_cast<TransformState>(16 + stage);
}
constexpr TransformState world_transform(uint32_t index)
{
    return static_cast<TransformState>(256 + index);
}

// Render states by number; any number below render_state_count may be set, these are
// the ones the renderer, the device's defaults and the rasterizer name.
enum class RenderState : uint32_t {
    zenable = 7,
    fill_mode = 8,
    shade_mode = 9,
    zwrite_enable = 14,
    alpha_test_enable = 15,
    last_pixel = 16,
    src_blend = 19,
    dest_blend = 20,
    cull_mode = 22,
    zfunc = 23,
    alpha_ref = 24,
    alpha_func = 25,
    dither_enable = 26,
    alpha_blend_enable = 27,
    fog_enable = 28,
    specular_enable = 29,
    fog_end = 37,
    fog_density = 38,
    stencil_enable = 52,
    stencil_fail = 53,
    stencil_zfail = 54,
    stencil_pass = 55,
    stencil_func = 56,
    stencil_mask = 58,
    stencil_write_mask = 59,
    texture_factor = 60,
    clipping = 136,
    lighting = 137,
    ambient = 139,
    color_vertex = 141,
    local_viewer = 142,
    normalize_normals = 143,
    diffuse_material_source = 145,
    specular_material_source = 146,
    ambient_material_source = 147,
    emissive_material_source = 148,
    point_size = 154,
    point_size_min = 155,
    point_sprite_enable = 156,
    point_scale_enable = 157,
    point_scale_a = 158,
    multisample_antialias = 161,
    multisample_mask = 162,
    point_size_max = 166,
    color_write_enable = 168,
    blend_op = 171,
    position_degree = 172,
    normal_degree = 173,
    min_tessellation_level = 178,
    max_tessellation_level = 179,
    adaptive_tessellation_z = 182,
    ccw_stencil_fail = 186,
    ccw_stencil_zfail = 187,
    ccw_stencil_pass = 188,
    ccw_stencil_func = 189,
    color_write_enable1 = 190,
    color_write_enable2 = 191,
    color_write_enable3 = 192,
    blend_factor = 193,
    src_blend_alpha = 207,
    dest_blend_alpha = 208,
    blend_op_alpha = 209,
};
constexpr uint32_t render_state_count = 210;

enum class TextureStageState : uint32_t {
    color_op = 1,
    color_arg1 = 2,
    color_arg2 = 3,
    alpha_op = 4,
    alpha_arg1 = 5,
    alpha_arg2 = 6,
    texcoord_index = 11,
    texture_transform_flags = 24,
    color_arg0 = 26,
    alpha_arg0 = 27,
    result_arg = 28,
    constant = 32,
};
constexpr uint32_t texture_stage_state_count = 33;
constexpr uint32_t max_texture_stages = 8;

enum class SamplerState : uint32_t {
    address_u = 1,
    address_v = 2,
    address_w = 3,
    border_color = 4,
    mag_filter = 5,
    min_filter = 6,
    mip_filter = 7,
    mipmap_lod_bias = 8,
    max_mip_level = 9,
    max_anisotropy = 10,
};
constexpr uint32_t sampler_state_count = 14;
constexpr uint32_t max_samplers = 16;

// Values of the states above.
namespace zbuffer_type {
constexpr uint32_t disabled = 0;
constexpr uint32_t enabled = 1;
} // namespace zbuffer_type
// Blend factors: each colour channel is weighed by what the factor names; "inv" is
// 1 minus it. The two "both" factors set the destination's factor from the source's.
namespace blend {
constexpr uint32_t zero = 1;
constexpr uint32_t one = 2;
constexpr uint32_t src_color = 3;
constexpr uint32_t inv_src_color = 4;
constexpr uint32_t src_alpha = 5;
constexpr uint32_t inv_src_alpha = 6;
constexpr uint32_t dest_alpha = 7;
constexpr uint32_t inv_dest_alpha = 8;
constexpr uint32_t dest_color = 9;
constexpr uint32_t inv_dest_color = 10;
constexpr uint32_t src_alpha_saturated = 11; // min(source alpha, 1 - destination alpha); alpha 1
constexpr uint32_t both_src_alpha = 12;      // source alpha, and 1 - source alpha for the destination
constexpr uint32_t both_inv_src_alpha = 13;  // 1 - source alpha, and source alpha for the destination
} // namespace blend
// How the weighed source and destination combine.
namespace blend_op {
constexpr uint32_t add = 1;
constexpr uint32_t subtract = 2;         // source - destination
constexpr uint32_t reverse_subtract = 3; // destination - source
constexpr uint32_t minimum = 4;          // the smaller, unweighed
constexpr uint32_t maximum = 5;          // the larger, unweighed
} // namespace blend_op
namespace cull {
constexpr uint32_t none = 1;
constexpr uint32_t clockwise = 2;
constexpr uint32_t counter_clockwise = 3;
} // namespace cull
namespace compare {
constexpr uint32_t never = 1;
constexpr uint32_t less = 2;
constexpr uint32_t equal = 3;
constexpr uint32_t less_equal = 4;
constexpr uint32_t greater = 5;
constexpr uint32_t not_equal = 6;
constexpr uint32_t greater_equal = 7;
constexpr uint32_t always = 8;
} // namespace compare
namespace texture_op {
constexpr uint32_t disable = 1;
constexpr uint32_t select_arg1 = 2;
constexpr uint32_t select_arg2 = 3;
constexpr uint32_t modulate = 4;
constexpr uint32_t modulate_2x = 5;
constexpr uint32_t blend_texture_alpha = 13;
constexpr uint32_t multiply_add = 25;
constexpr uint32_t lerp = 26;
} // namespace texture_op
namespace texture_arg {
constexpr uint32_t diffuse = 0;
constexpr uint32_t current = 1;
constexpr uint32_t texture = 2;
constexpr uint32_t texture_factor = 3;
constexpr uint32_t specular = 4;
constexpr uint32_t temp = 5;
constexpr uint32_t constant = 6;
} // namespace texture_arg
namespace texture_transform_flags {
constexpr uint32_t disable = 0;
constexpr uint32_t count2 = 2;
} // namespace texture_transform_flags
namespace texture_filter {
constexpr uint32_t none = 0;
constexpr uint32_t point = 1;
constexpr uint32_t linear = 2;
constexpr uint32_t anisotropic = 3;
} // namespace texture_filter
namespace texture_address {
constexpr uint32_t wrap = 1;
constexpr uint32_t mirror = 2;
constexpr uint32_t clamp = 3;
constexpr uint32_t border = 4;
constexpr uint32_t mirror_once = 5;
} // namespace texture_address
namespace material_source {
constexpr uint32_t material = 0;
constexpr uint32_t color1 = 1;
constexpr uint32_t color2 = 2;
} // namespace material_source

enum class CubeFace : uint32_t {
    positive_x = 0,
    negative_x = 1,
    positive_y = 2,
    negative_y = 3,
    positive_z = 4,
    negative_z = 5,
};

// Capability flag values, by the caps member that carries them.
namespace caps_flags {
namespace dev {
constexpr uint32_t hw_transform_and_light = 0x00010000;
constexpr uint32_t hw_rasterization = 0x00080000;
} // namespace dev
namespace primitive_misc {
constexpr uint32_t mask_z = 0x2;
constexpr uint32_t cull_none = 0x10;
constexpr uint32_t cull_cw = 0x20;
constexpr uint32_t cull_ccw = 0x40;
constexpr uint32_t color_write_enable = 0x80;
constexpr uint32_t blend_op = 0x800;
} // namespace primitive_misc
namespace raster {
constexpr uint32_t z_test = 0x10;
} // namespace raster
namespace compare {
constexpr uint32_t never = 0x1;
constexpr uint32_t less = 0x2;
constexpr uint32_t equal = 0x4;
constexpr uint32_t less_equal = 0x8;
constexpr uint32_t greater = 0x10;
constexpr uint32_t not_equal = 0x20;
constexpr uint32_t greater_equal = 0x40;
constexpr uint32_t always = 0x80;
} // namespace compare
namespace blend {
constexpr uint32_t zero = 0x1;
constexpr uint32_t one = 0x2;
constexpr uint32_t src_alpha = 0x10;
constexpr uint32_t inv_src_alpha = 0x20;
} // namespace blend
namespace texture {
constexpr uint32_t pow2 = 0x2;
constexpr uint32_t alpha = 0x4;
constexpr uint32_t square_only = 0x20;
constexpr uint32_t cube_map = 0x800;
constexpr uint32_t volume_map = 0x2000;
constexpr uint32_t mip_map = 0x4000;
constexpr uint32_t mip_volume_map = 0x8000;
constexpr uint32_t mip_cube_map = 0x10000;
constexpr uint32_t cube_map_pow2 = 0x20000;
constexpr uint32_t volume_map_pow2 = 0x40000;
} // namespace texture
namespace address {
constexpr uint32_t wrap = 0x1;
constexpr uint32_t mirror = 0x2;
constexpr uint32_t clamp = 0x4;
constexpr uint32_t mirror_once = 0x20;
} // namespace address
namespace stencil {
constexpr uint32_t keep = 0x1;
constexpr uint32_t incr_sat = 0x8;
constexpr uint32_t decr_sat = 0x10;
constexpr uint32_t incr = 0x40;
constexpr uint32_t decr = 0x80;
} // namespace stencil
namespace fvf {
constexpr uint32_t psize = 0x00100000;
} // namespace fvf
namespace texture_op {
constexpr uint32_t modulate = 0x8;
constexpr uint32_t modulate_2x = 0x10;
constexpr uint32_t blend_texture_alpha = 0x1000;
constexpr uint32_t multiply_add = 0x01000000;
} // namespace texture_op
namespace caps2 {
constexpr uint32_t can_auto_gen_mipmap = 0x40000000;
} // namespace caps2
} // namespace caps_flags

// What an adapter reports about itself. Shader versions carry the type prefix in
// their high 16 bits (pixel 0xFFFF, vertex 0xFFFE) and major.minor in the low 16.
struct Caps {
    DeviceType device_type = DeviceType::hal;
    uint32_t adapter_ordinal = 0;
    uint32_t caps2 = 0;
    uint32_t dev_caps = 0;
    uint32_t primitive_misc_caps = 0;
    uint32_t raster_caps = 0;
    uint32_t z_cmp_caps = 0;
    uint32_t src_blend_caps = 0;
    uint32_t dest_blend_caps = 0;
    uint32_t alpha_cmp_caps = 0;
    uint32_t texture_caps = 0;
    uint32_t texture_address_caps = 0;
    uint32_t volume_texture_address_caps = 0;
    uint32_t stencil_caps = 0;
    uint32_t fvf_caps = 0;
    uint32_t texture_op_caps = 0;
    uint32_t max_texture_width = 0;
    uint32_t max_texture_height = 0;
    uint32_t max_volume_extent = 0;
    uint32_t max_texture_repeat = 0;
    uint32_t max_texture_aspect_ratio = 0;
    uint32_t max_anisotropy = 0;
    uint32_t max_texture_blend_stages = 0;
    uint32_t max_simultaneous_textures = 0;
    float max_point_size = 0.0f;
    uint32_t max_primitive_count = 0;
    uint32_t max_vertex_index = 0;
    uint32_t vertex_shader_version = 0;
    uint32_t max_vertex_shader_const = 0;
    uint32_t pixel_shader_version = 0;
};

// The software adapter's capabilities: pixel shader 1.4, vertex shader 1.1, 8
// textures, point size 64, textures up to 4096, 16-bit indices, every flag above set.
Caps default_caps();

struct AdapterIdentifier {
    std::string description;
};

struct DisplayMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t refresh_rate = 0;
    Format format = Format::unknown;
};

struct PresentParameters {
    uint32_t back_buffer_width = 0;  // 0: the window's client width
    uint32_t back_buffer_height = 0; // 0: the window's client height
    Format back_buffer_format = Format::unknown;
    uint32_t back_buffer_count = 0;  // 0 counts as 1
    uint32_t multisample_type = multisample::none;
    uint32_t multisample_quality = 0;
    uint32_t swap_effect = swap_effect::discard;
    WindowHandle device_window = nullptr;
    bool windowed = false;
    bool enable_auto_depth_stencil = false;
    Format auto_depth_stencil_format = Format::unknown;
    uint32_t flags = 0;
    uint32_t fullscreen_refresh_rate = 0;
    uint32_t presentation_interval = 0;
};

struct Viewport {
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    float min_z = 0.0f;
    float max_z = 1.0f;
};

// Row-vector convention: a point p transforms as p × m; m[row][column], the
// translation in m[3][0..2].
struct Matrix {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    friend bool operator==(const Matrix&, const Matrix&) = default;
};
Matrix multiply(const Matrix& a, const Matrix& b); // a × b

struct Vector {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    friend bool operator==(const Vector&, const Vector&) = default;
};

struct ColorValue {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
    friend bool operator==(const ColorValue&, const ColorValue&) = default;
};

enum class LightType : uint32_t { point = 1, spot = 2, directional = 3 };

struct Light {
    LightType type = LightType::directional;
    ColorValue diffuse;
    ColorValue specular;
    ColorValue ambient;
    Vector position;
    Vector direction;
    float range = 0.0f;
    float falloff = 0.0f;
    float attenuation0 = 0.0f;
    float attenuation1 = 0.0f;
    float attenuation2 = 0.0f;
    float theta = 0.0f;
    float phi = 0.0f;
    friend bool operator==(const Light&, const Light&) = default;
};

struct Material {
    ColorValue diffuse;
    ColorValue ambient;
    ColorValue specular;
    ColorValue emissive;
    float power = 0.0f;
    friend bool operator==(const Material&, const Material&) = default;
};

struct LockedRect {
    int32_t pitch = 0; // bytes from one row to the next
    void* bits = nullptr;
};

struct SurfaceDesc {
    Format format = Format::unknown;
    ResourceType type = ResourceType::surface;
    uint32_t usage = 0;
    Pool pool = Pool::default_pool;
    uint32_t multisample_type = multisample::none;
    uint32_t multisample_quality = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

struct BufferDesc {
    Format format = Format::unknown; // index format; unknown for vertex buffers
    ResourceType type = ResourceType::vertex_buffer;
    uint32_t usage = 0;
    Pool pool = Pool::default_pool;
    uint32_t size = 0;
    uint32_t fvf = 0;
};

} // namespace platform::gfx
