#include "platform/gfx/format.h"

#include "platform/gfx/types.h"

namespace platform::gfx {
namespace {

// Pixel layouts as bit fields of a little-endian word; pad bits read as ones.
constexpr PixelLayout kLayouts[] = {
    {Format::a8r8g8b8, 4, {24, 8}, {16, 8}, {8, 8}, {0, 8}, 0},
    {Format::x8r8g8b8, 4, {0, 0}, {16, 8}, {8, 8}, {0, 8}, 0xFF000000u},
    {Format::r8g8b8, 3, {0, 0}, {16, 8}, {8, 8}, {0, 8}, 0},
    {Format::r5g6b5, 2, {0, 0}, {11, 5}, {5, 6}, {0, 5}, 0},
    {Format::x1r5g5b5, 2, {0, 0}, {10, 5}, {5, 5}, {0, 5}, 0x8000u},
    {Format::a1r5g5b5, 2, {15, 1}, {10, 5}, {5, 5}, {0, 5}, 0},
    {Format::a4r4g4b4, 2, {12, 4}, {8, 4}, {4, 4}, {0, 4}, 0},
    {Format::a2b10g10r10, 4, {30, 2}, {0, 10}, {10, 10}, {20, 10}, 0},
};

uint32_t rescale(uint32_t value, uint32_t from_bits, uint32_t to_bits)
{
    if (from_bits == 0)
        return 0;
    if (to_bits <= from_bits)
        return value >> (from_bits - to_bits);
    // Widen by repeating the pattern so that all ones stays all ones.
    uint32_t result = 0;
    uint32_t filled = 0;
    while (filled < to_bits) {
        result = (result << from_bits) | value;
        filled += from_bits;
    }
    return result >> (filled - to_bits);
}

uint32_t field_mask(BitField field)
{
    return field.bits == 0 ? 0u : (((1u << field.bits) - 1u) << field.shift);
}

} // namespace

const PixelLayout* pixel_layout(Format format)
{
    for (const PixelLayout& layout : kLayouts) {
        if (layout.format == format)
            return &layout;
    }
    return nullptr;
}

uint32_t read_pixel_word(const uint8_t* pixel, uint32_t bytes)
{
    uint32_t word = 0;
    for (uint32_t i = 0; i < bytes; ++i)
        word |= static_cast<uint32_t>(pixel[i]) << (8 * i);
    return word;
}

void write_pixel_word(uint8_t* pixel, uint32_t bytes, uint32_t word)
{
    for (uint32_t i = 0; i < bytes; ++i)
        pixel[i] = static_cast<uint8_t>(word >> (8 * i));
}

uint32_t bytes_per_pixel(Format format)
{
    if (const PixelLayout* layout = pixel_layout(format))
        return layout->bytes;
    switch (format) {
    case Format::d16_lockable:
    case Format::d15s1:
    case Format::d16:
    case Format::index16:
        return 2;
    case Format::d32:
    case Format::d24s8:
    case Format::d24x8:
    case Format::d24x4s4:
    case Format::index32:
        return 4;
    default:
        return 0;
    }
}

bool is_depth_format(Format format)
{
    switch (format) {
    case Format::d16_lockable:
    case Format::d32:
    case Format::d15s1:
    case Format::d24s8:
    case Format::d24x8:
    case Format::d24x4s4:
    case Format::d16:
        return true;
    default:
        return false;
    }
}

bool has_stencil(Format format)
{
    return format == Format::d15s1 || format == Format::d24s8 || format == Format::d24x4s4;
}

bool is_color_format(Format format)
{
    return pixel_layout(format) != nullptr;
}

void encode_color(Format format, uint32_t argb, uint8_t* pixel)
{
    const PixelLayout* layout = pixel_layout(format);
    if (layout == nullptr || pixel == nullptr)
        return;
    const BitField fields[4] = {layout->a, layout->r, layout->g, layout->b};
    uint32_t word = layout->pad;
    for (int i = 0; i < 4; ++i) {
        const uint32_t channel = (argb >> (24 - 8 * i)) & 0xFFu;
        word |= rescale(channel, 8, fields[i].bits) << fields[i].shift;
    }
    write_pixel_word(pixel, layout->bytes, word);
}

uint32_t decode_color(Format format, const uint8_t* pixel)
{
    const PixelLayout* layout = pixel_layout(format);
    if (layout == nullptr || pixel == nullptr)
        return 0;
    const uint32_t word = read_pixel_word(pixel, layout->bytes);
    const BitField fields[4] = {layout->a, layout->r, layout->g, layout->b};
    uint32_t argb = 0;
    for (int i = 0; i < 4; ++i) {
        uint32_t channel = 0xFF;
        if (fields[i].bits != 0)
            channel = rescale((word & field_mask(fields[i])) >> fields[i].shift, fields[i].bits, 8);
        argb |= channel << (24 - 8 * i);
    }
    return argb;
}

uint32_t box_average(const PixelLayout& layout, const uint32_t words[4])
{
    const BitField fields[4] = {layout.a, layout.r, layout.g, layout.b};
    uint32_t result = layout.pad;
    for (const BitField& field : fields) {
        if (field.bits == 0)
            continue;
        const uint32_t mask = field_mask(field);
        uint32_t sum = 0;
        for (int i = 0; i < 4; ++i)
            sum += (words[i] & mask) >> field.shift;
        result |= ((sum + 2) / 4) << field.shift;
    }
    return result;
}

uint32_t fvf_stride(uint32_t vertex_format)
{
    uint32_t stride = 0;
    switch (vertex_format & fvf::position_mask) {
    case 0x002: stride = 12; break; // xyz
    case 0x004: stride = 16; break; // xyzrhw
    case 0x006: stride = 16; break; // xyz + 1 blend weight
    case 0x008: stride = 20; break;
    case 0x00A: stride = 24; break;
    case 0x00C: stride = 28; break;
    case 0x00E: stride = 32; break;
    case 0x4002: stride = 16; break; // xyzw
    default: return 0;
    }
    if (vertex_format & fvf::normal)
        stride += 12;
    if (vertex_format & fvf::psize)
        stride += 4;
    if (vertex_format & fvf::diffuse)
        stride += 4;
    if (vertex_format & fvf::specular)
        stride += 4;
    const uint32_t sets = (vertex_format & fvf::tex_count_mask) >> fvf::tex_count_shift;
    if (sets > 8)
        return 0;
    for (uint32_t i = 0; i < sets; ++i) {
        static constexpr uint32_t kFloats[4] = {2, 3, 4, 1};
        stride += 4 * kFloats[(vertex_format >> (16 + 2 * i)) & 3u];
    }
    return stride;
}

uint32_t primitive_vertex_count(PrimitiveType type, uint32_t count)
{
    if (count == 0)
        return 0;
    switch (type) {
    case PrimitiveType::point_list: return count;
    case PrimitiveType::line_list: return 2 * count;
    case PrimitiveType::line_strip: return count + 1;
    case PrimitiveType::triangle_list: return 3 * count;
    case PrimitiveType::triangle_strip:
    case PrimitiveType::triangle_fan: return count + 2;
    }
    return 0;
}

Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix product;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += a.m[row][k] * b.m[k][column];
            product.m[row][column] = sum;
        }
    }
    return product;
}

Caps default_caps()
{
    namespace f = caps_flags;
    Caps caps;
    caps.dev_caps = f::dev::hw_rasterization | f::dev::hw_transform_and_light;
    caps.primitive_misc_caps = f::primitive_misc::mask_z | f::primitive_misc::cull_none | f::primitive_misc::cull_cw
        | f::primitive_misc::cull_ccw | f::primitive_misc::color_write_enable | f::primitive_misc::blend_op;
    caps.raster_caps = f::raster::z_test;
    const uint32_t all_compares = 0xFF;
    caps.z_cmp_caps = all_compares;
    caps.alpha_cmp_caps = all_compares;
    const uint32_t blends = f::blend::zero | f::blend::one | f::blend::src_alpha | f::blend::inv_src_alpha;
    caps.src_blend_caps = blends;
    caps.dest_blend_caps = blends;
    caps.texture_caps = f::texture::pow2 | f::texture::alpha | f::texture::square_only | f::texture::cube_map
        | f::texture::volume_map | f::texture::mip_map | f::texture::mip_volume_map | f::texture::mip_cube_map
        | f::texture::cube_map_pow2 | f::texture::volume_map_pow2;
    const uint32_t addresses = f::address::wrap | f::address::mirror | f::address::clamp | f::address::mirror_once;
    caps.texture_address_caps = addresses;
    caps.volume_texture_address_caps = addresses;
    caps.stencil_caps = f::stencil::keep | f::stencil::incr_sat | f::stencil::decr_sat | f::stencil::incr
        | f::stencil::decr;
    caps.fvf_caps = f::fvf::psize | 8; // 8 texture coordinate sets
    caps.texture_op_caps = f::texture_op::modulate | f::texture_op::modulate_2x | f::texture_op::blend_texture_alpha
        | f::texture_op::multiply_add;
    caps.max_texture_width = 4096;
    caps.max_texture_height = 4096;
    caps.max_volume_extent = 256;
    caps.max_texture_repeat = 8192;
    caps.max_texture_aspect_ratio = 4096;
    caps.max_anisotropy = 16;
    caps.max_texture_blend_stages = 8;
    caps.max_simultaneous_textures = 8;
    caps.max_point_size = 64.0f;
    caps.max_primitive_count = 0xFFFFF;
    caps.max_vertex_index = 0xFFFF;
    caps.vertex_shader_version = 0xFFFE0101u;
    caps.max_vertex_shader_const = 96;
    caps.pixel_shader_version = 0xFFFF0104u;
    return caps;
}

} // namespace platform::gfx
