#pragma once

// The device resources as the rendering layer sees them: what a hardware's factory
// operations hand out (Hardware::create_vertex_buffer and friends). Each back end
// implements them; the Direct3D 9-shaped one lives in directx8/.

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "vadu/lib3d/hard/hardware.h"
#include "vadu/pictureformat/format.h"

namespace vadu::lib3d::hard {

using FloatArray = std::vector<float>;

class IndexBuffer;

class VertexBuffer {
public:
    // Arrays a mesh may carry beyond positions, normals and one texture pair (tangents,
    // a second pair, skinning weights and joint indices); null stands for an empty one.
    using FurtherArrays = std::array<const FloatArray*, 7>;

    virtual ~VertexBuffer() = default;

    // The device buffer holds the data of the last update.
    virtual bool is_operational() const = 0;

    // Three position floats per vertex, two texture coordinates per vertex; opaque white.
    // False when the sizes do not fit.
    virtual bool update(const FloatArray& positions, const FloatArray& texture_coordinates) = 0;
    // Normals are used when there are three per vertex, colours (red, green, blue, alpha
    // from 0 to 1) when there are four, texture coordinates when there are two; an empty
    // normal array leaves normals out of the vertex format.
    virtual bool update(const FloatArray& positions, const FloatArray& normals, const FloatArray& colours,
                        const FloatArray& texture_coordinates) = 0;
    // The same with a second texture pair. Empty normals, colours or second pair are left
    // out of the vertex format, so that a lit mesh without colours takes its colour from
    // the material; a non-empty array of the wrong size, or a missing first pair, gets
    // the defaults of the form above.
    virtual bool update(const FloatArray& positions, const FloatArray& normals, const FloatArray& colours,
                        const FloatArray& texture_coordinates, const FloatArray& second_texture_coordinates) = 0;
    // Positions, normals and one texture pair; refused when every further array holds
    // one value per vertex, as this format cannot carry them. (With braces for empty
    // arrays, name the type: `FloatArray{}`; `{}` also fits FurtherArrays.)
    virtual bool update(const FloatArray& positions, const FloatArray& normals,
                        const FloatArray& texture_coordinates, const FurtherArrays& further) = 0;

    // Blends this buffer (stream 0) with another of the same vertex count (stream 1),
    // drawn through the index buffer.
    virtual bool render_morph(VertexBuffer& other, IndexBuffer& indices, uint32_t start_index,
                              uint32_t primitive_count, uint32_t first_vertex, uint32_t vertex_count) = 0;
    // The same as a plain triangle list.
    virtual bool draw_morph(VertexBuffer& other, uint32_t first_vertex, uint32_t primitive_count) = 0;
    // Triangles through the index buffer: `primitive_count` triangles from `start_index`,
    // using the vertices [first_vertex, first_vertex + vertex_count).
    virtual bool render(IndexBuffer& indices, uint32_t start_index, uint32_t primitive_count,
                        uint32_t first_vertex, uint32_t vertex_count) = 0;
    // A triangle list of `primitive_count` triangles from `first_vertex`.
    virtual bool draw(uint32_t first_vertex, uint32_t primitive_count) = 0;
};

class IndexBuffer {
public:
    virtual ~IndexBuffer() = default;
    virtual bool is_operational() const = 0;
    // Three indices per triangle. False (nothing changes) for an index the device
    // cannot address.
    virtual bool update(const uint32_t* indices, uint32_t count) = 0;
    // Draws with the vertex buffer bound to stream 0.
    virtual bool draw(uint32_t start_index, uint32_t primitive_count, uint32_t min_vertex_index,
                      uint32_t vertex_count) = 0;
};

class PointBuffer {
public:
    virtual ~PointBuffer() = default;
    virtual bool is_operational() const = 0;
    // Three position floats, four colour floats and one size per point. False when the
    // sizes do not fit.
    virtual bool update(const FloatArray& positions, const FloatArray& colours, const FloatArray& sizes) = 0;
    virtual bool draw(uint32_t first_point, uint32_t count) = 0;
};

// Anything a texture stage can show.
class StageTexture {
public:
    StageTexture() : serial_(next_serial()) {}
    StageTexture(const StageTexture&) = delete;
    StageTexture& operator=(const StageTexture&) = delete;
    virtual ~StageTexture() = default;
    // Unique and increasing in order of creation: ties in the draw order are broken by
    // it, so that frames do not depend on where the textures happen to live in memory.
    uint64_t get_serial() const noexcept { return serial_; }
    // Its pixels are current; when false the owner fills it again.
    virtual bool is_operational() const = 0;
    // Binds it to the stage.
    virtual bool set(uint32_t stage) = 0;

private:
    static uint64_t next_serial()
    {
        static std::atomic<uint64_t> counter{0};
        return ++counter;
    }
    const uint64_t serial_;
};

class Texture : public StageTexture {
public:
    // The pixels of a level, rows `pitch` bytes apart, or null when the level is not
    // stored. Requested sizes are padded to powers of two; write the requested area only.
    virtual void* lock(uint32_t level, int32_t& pitch) = 0;
    // Fills the padding from the edge and rebuilds the smaller levels.
    virtual void unlock(uint32_t level) = 0;

    // Point sampling (off at construction) forces the nearest texel whatever the drawn
    // record asks for; wrapping is on at construction.
    virtual void set_point_sampling(bool on) = 0;
    virtual void set_wrap(bool on) = 0;

    // The picture format the locked pixels are written in; a device may store another
    // layout than the one asked for.
    virtual pictureformat::Format get_format() const = 0;
    // The sizes asked for, before any padding.
    virtual uint32_t get_width() const = 0;
    virtual uint32_t get_height() const = 0;
};

class TextureCubic : public StageTexture {
public:
    // Faces 0..5: +x, -x, +y, -y, +z, -z.
    virtual void* lock(uint32_t level, uint32_t face, int32_t& pitch) = 0;
    virtual void unlock(uint32_t level, uint32_t face) = 0;

    // As the flat texture's: the stored picture format and the requested face sizes.
    virtual pictureformat::Format get_format() const = 0;
    virtual uint32_t get_width() const = 0;
    virtual uint32_t get_height() const = 0;
};

// An off-screen target that a render list can be drawn into and that a texture stage can
// show afterwards. Its width and height are the padded sizes.
class RenderTarget : public RenderTargetBase, public StageTexture {
public:
    using RenderTargetBase::RenderTargetBase;
};

} // namespace vadu::lib3d::hard
