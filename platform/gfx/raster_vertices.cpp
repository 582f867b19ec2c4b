// The rasterizer's vertex stage: vertex layouts, and the transform and lighting of the
// vertices a draw reads (fixed function), with the texture coordinates its stages use.

#include "platform/gfx/raster_draw.h"

#include <algorithm>
#include <cmath>

namespace platform::gfx::raster::detail {

Layout parse_layout(uint32_t fvf)
{
    Layout layout;
    if ((fvf & fvf::position_mask) != fvf::xyz)
        return layout;
    uint32_t offset = 12;
    if (fvf & fvf::normal) {
        layout.normal = static_cast<int>(offset);
        offset += 12;
    }
    if (fvf & fvf::psize) {
        layout.psize = static_cast<int>(offset);
        offset += 4;
    }
    if (fvf & fvf::diffuse) {
        layout.diffuse = static_cast<int>(offset);
        offset += 4;
    }
    if (fvf & fvf::specular) {
        layout.specular = static_cast<int>(offset);
        offset += 4;
    }
    layout.sets = (fvf & fvf::tex_count_mask) >> fvf::tex_count_shift;
    if (layout.sets > 8)
        return layout;
    for (uint32_t i = 0; i < layout.sets; ++i) {
        static constexpr uint32_t kFloats[4] = {2, 3, 4, 1};
        layout.set_offset[i] = offset;
        layout.set_floats[i] = kFloats[(fvf >> (16 + 2 * i)) & 3u];
        offset += 4 * layout.set_floats[i];
    }
    layout.size = offset;
    layout.ok = true;
    return layout;
}

namespace {

class VertexProcessor {
public:
    VertexProcessor(const DrawSetup& setup, const RasterState& state, const Layout& layout)
        : setup_(setup), state_(state), layout_(layout), pixel_(setup.pixel)
    {
    }

    Color4 vertex_color(const uint8_t* v, int offset, const Color4& fallback) const
    {
        return offset >= 0 ? from_word(read_word(v + offset)) : fallback;
    }

    Color4 material_color(uint32_t source, const uint8_t* v, const ColorValue& material) const
    {
        if (state_.render_states[rs::color_vertex] != 0) {
            if (source == material_source::color1 && layout_.diffuse >= 0)
                return from_word(read_word(v + layout_.diffuse));
            if (source == material_source::color2 && layout_.specular >= 0)
                return from_word(read_word(v + layout_.specular));
        }
        return from_value(material);
    }

    Color4 light_vertex(const uint8_t* v, const Vec3& position) const
    {
        const RasterState& s = state_;
        const Color4 md = material_color(s.render_states[rs::diffuse_source], v, s.material.diffuse);
        const Color4 ma = material_color(s.render_states[rs::ambient_source], v, s.material.ambient);
        const Color4 me = material_color(s.render_states[rs::emissive_source], v, s.material.emissive);
        const Color4 ga = from_word(s.render_states[rs::ambient]);

        Vec3 normal;
        if (layout_.normal >= 0) {
            const Vec3 n{read_float(v + layout_.normal), read_float(v + layout_.normal + 4),
                         read_float(v + layout_.normal + 8)};
            const auto& m = setup_.normal_matrix;
            normal = {n.x * m[0][0] + n.y * m[1][0] + n.z * m[2][0], n.x * m[0][1] + n.y * m[1][1] + n.z * m[2][1],
                      n.x * m[0][2] + n.y * m[1][2] + n.z * m[2][2]};
            if (s.render_states[rs::normalize_normals] != 0) {
                const double len = length(normal);
                if (len > 0.0)
                    normal = {normal.x / len, normal.y / len, normal.z / len};
            }
        }

        Color4 c{me.r + ga.r * ma.r, me.g + ga.g * ma.g, me.b + ga.b * ma.b, md.a};
        for (uint32_t i = 0; i < std::min(s.light_count, max_active_lights); ++i) {
            const Light& light = s.lights[i];
            double attenuation = 1.0;
            Vec3 to_light;
            if (light.type == LightType::directional) {
                const Vec3 d{light.direction.x, light.direction.y, light.direction.z};
                const double len = length(d);
                if (len > 0.0)
                    to_light = {-d.x / len, -d.y / len, -d.z / len};
            } else {
                // Point lights (spot lights are lit as point lights).
                const Vec3 offset = Vec3{light.position.x, light.position.y, light.position.z} - position;
                const double distance = length(offset);
                if (distance > light.range)
                    continue;
                if (distance > 0.0)
                    to_light = {offset.x / distance, offset.y / distance, offset.z / distance};
                const double denominator = light.attenuation0 + light.attenuation1 * distance
                                           + light.attenuation2 * distance * distance;
                attenuation = denominator > 0.0 ? 1.0 / denominator : 1.0;
            }
            const double lambert = std::max(0.0, dot(normal, to_light));
            c.r += attenuation * (ma.r * light.ambient.r + md.r * light.diffuse.r * lambert);
            c.g += attenuation * (ma.g * light.ambient.g + md.g * light.diffuse.g * lambert);
            c.b += attenuation * (ma.b * light.ambient.b + md.b * light.diffuse.b * lambert);
        }
        return c;
    }

    void process_vertex(const uint8_t* v, ClipVertex& out) const
    {
        const double px = read_float(v), py = read_float(v + 4), pz = read_float(v + 8);
        const auto& m = setup_.wvp;
        out.x = px * m[0][0] + py * m[1][0] + pz * m[2][0] + m[3][0];
        out.y = px * m[0][1] + py * m[1][1] + pz * m[2][1] + m[3][1];
        out.z = px * m[0][2] + py * m[1][2] + pz * m[2][2] + m[3][2];
        out.w = px * m[0][3] + py * m[1][3] + pz * m[2][3] + m[3][3];
        out.size = layout_.psize >= 0 ? read_float(v + layout_.psize) : word_float(state_.render_states[rs::point_size]);

        Color4 c;
        if (setup_.lighting) {
            const auto& w = setup_.world;
            const Vec3 position{px * w[0][0] + py * w[1][0] + pz * w[2][0] + w[3][0],
                                px * w[0][1] + py * w[1][1] + pz * w[2][1] + w[3][1],
                                px * w[0][2] + py * w[1][2] + pz * w[2][2] + w[3][2]};
            c = light_vertex(v, position);
        } else {
            c = vertex_color(v, layout_.diffuse, Color4{1, 1, 1, 1});
        }
        const double channels[4] = {c.r, c.g, c.b, c.a};
        for (int i = 0; i < 4; ++i)
            out.attributes[i] = static_cast<float>(std::clamp(channels[i], 0.0, 1.0) * 255.0);

        for (uint32_t i = 0; i < pixel_.stage_count; ++i) {
            const Stage& stage = pixel_.stages[i];
            if (!stage.varying)
                continue;
            const uint32_t set = stage_state(state_, i, TextureStageState::texcoord_index) & 7u;
            double t[4] = {0, 0, 0, 0};
            if (set < layout_.sets) {
                const uint32_t floats = layout_.set_floats[set];
                for (uint32_t k = 0; k < floats; ++k)
                    t[k] = read_float(v + layout_.set_offset[set] + 4 * k);
                // The first missing component is 1.
                if (floats < 4)
                    t[floats] = 1.0;
            }
            const uint32_t flags = stage_state(state_, i, TextureStageState::texture_transform_flags) & 0xFFu;
            double u = t[0], w = t[1];
            if (flags >= 1 && flags <= 4) {
                const Matrix& tm = state_.texture_transforms[i];
                u = t[0] * tm.m[0][0] + t[1] * tm.m[1][0] + t[2] * tm.m[2][0] + t[3] * tm.m[3][0];
                w = t[0] * tm.m[0][1] + t[1] * tm.m[1][1] + t[2] * tm.m[2][1] + t[3] * tm.m[3][1];
            }
            out.attributes[stage.slot] = static_cast<float>(u);
            out.attributes[stage.slot + 1] = static_cast<float>(w);
        }
    }
private:
    const DrawSetup& setup_;
    const RasterState& state_;
    const Layout& layout_;
    const PixelState& pixel_;
};

} // namespace

void process_vertices(const DrawSetup& setup, const RasterState& state, const Layout& layout,
                      const VertexData& vertices, uint32_t first, uint32_t count, std::vector<ClipVertex>& processed)
{
    const VertexProcessor processor(setup, state, layout);
    if (processed.size() < count)
        processed.resize(count);
    for (uint32_t i = 0; i < count; ++i)
        processor.process_vertex(vertices.bytes + static_cast<size_t>(first + i) * vertices.stride, processed[i]);
}

} // namespace platform::gfx::raster::detail
