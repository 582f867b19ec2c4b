#pragma once

// Vertex, index and point buffers on the graphics device.
//
// Updates and draws on a hardware that is not operational (no mode, or the device is
// lost) succeed without touching the device, as callers rely on that. Such an update
// leaves the buffer not operational, so an owner that checks is_operational() knows to
// fill it again, and the next update once the hardware is operational uploads in full.

#include <cstdint>

#include "platform/gfx/device.h"
#include "vadu/lib3d/hard/directx8/resource.h"
#include "vadu/lib3d/hard/resources.h"

namespace vadu::lib3d::hard::directx8 {

// Vertex formats of the buffers, with the bytes of one vertex.
namespace vertex_format {
// Position, normal, one texture pair: what the renderer expects between draws.
constexpr uint32_t normal_texture = 0x112;
constexpr uint32_t normal_texture_stride = 32;
// Position, diffuse colour, one texture pair.
constexpr uint32_t colour_texture = 0x142;
constexpr uint32_t colour_texture_stride = 24;
// Position, normal, diffuse colour, one texture pair.
constexpr uint32_t normal_colour_texture = 0x152;
constexpr uint32_t normal_colour_texture_stride = 36;
// A point: position, size, diffuse colour (x, y, z, size, colour).
constexpr uint32_t point = 0x062;
constexpr uint32_t point_stride = 20;
} // namespace vertex_format

// Dynamic buffers live in the device's own memory and are released when the device is
// lost; static ones are managed and survive.
class VertexBuffer : public hard::VertexBuffer, public ResourceRegistration {
public:
    VertexBuffer(ResourceOwner& owner, bool dynamic);
    ~VertexBuffer() override;

    bool is_operational() const override { return operational_; }
    // A position count that is not a multiple of 3 is refused (false).
    bool update(const FloatArray& positions, const FloatArray& texture_coordinates) override;
    // A normal array of another size than the positions' gives the normal (0, 0, 1);
    // missing colours are opaque white, missing texture coordinates (0, 0).
    bool update(const FloatArray& positions, const FloatArray& normals, const FloatArray& colours,
                const FloatArray& texture_coordinates) override;
    // The format is built from what is given: position, then normal, diffuse colour and
    // the second texture pair only when their arrays are not empty; the first pair always.
    bool update(const FloatArray& positions, const FloatArray& normals, const FloatArray& colours,
                const FloatArray& texture_coordinates, const FloatArray& second_texture_coordinates) override;
    // A normal array of another size than the positions' gives the normal (0, 0, 1).
    bool update(const FloatArray& positions, const FloatArray& normals, const FloatArray& texture_coordinates,
                const FurtherArrays& further) override;
    bool render_morph(hard::VertexBuffer& other, hard::IndexBuffer& indices, uint32_t start_index,
                      uint32_t primitive_count, uint32_t first_vertex, uint32_t vertex_count) override;
    bool draw_morph(hard::VertexBuffer& other, uint32_t first_vertex, uint32_t primitive_count) override;
    bool render(hard::IndexBuffer& indices, uint32_t start_index, uint32_t primitive_count, uint32_t first_vertex,
                uint32_t vertex_count) override;
    // False (and a log line) when the triangles reach past the vertices.
    bool draw(uint32_t first_vertex, uint32_t primitive_count) override;

    void on_device_lost() override;
    void drop() override;

    bool is_dynamic() const noexcept { return dynamic_; }
    uint32_t get_vertex_count() const noexcept { return count_; }
    uint32_t get_vertex_format() const noexcept { return fvf_; }
    uint32_t get_stride() const noexcept { return stride_; }
    // Null while no device buffer exists.
    platform::gfx::VertexBuffer* get_device_buffer() const noexcept { return buffer_; }

private:
    // Makes the device buffer ready for `count` vertices of the format and locks it.
    // Null for 0 vertices (no buffer is kept). `exact`: recreate whenever the count
    // changes, not only when the buffer is too small.
    uint8_t* begin_update(uint32_t count, uint32_t fvf, uint32_t stride, bool exact);
    void end_update();
    // The shared checks of the morph draws; false with a reason in the log.
    bool same_topology(const VertexBuffer& other) const;
    bool overflows(uint32_t first_vertex, uint32_t primitive_count) const;

    bool dynamic_;
    platform::gfx::VertexBuffer* buffer_ = nullptr;
    uint32_t count_ = 0;
    bool operational_ = false;
    uint32_t stride_ = vertex_format::normal_texture_stride;
    uint32_t fvf_ = vertex_format::normal_texture;
};

// 16-bit indices in a managed buffer, recreated when the count changes.
class IndexBuffer : public hard::IndexBuffer, public ResourceRegistration {
public:
    // max_vertex_index: the device's largest vertex index (0: no limit of its own).
    IndexBuffer(ResourceOwner& owner, uint32_t max_vertex_index);
    ~IndexBuffer() override;

    bool is_operational() const override { return operational_; }
    // An index above 65535 or the device's largest vertex index is refused with a log
    // line: it cannot be stored in 16 bits and would draw wrong triangles.
    bool update(const uint32_t* indices, uint32_t count) override;
    bool draw(uint32_t start_index, uint32_t primitive_count, uint32_t min_vertex_index,
              uint32_t vertex_count) override;

    void on_device_lost() override;
    void drop() override;

    uint32_t get_index_count() const noexcept { return count_; }
    // The largest index that update accepts.
    uint32_t get_index_limit() const noexcept;
    platform::gfx::IndexBuffer* get_device_buffer() const noexcept { return buffer_; }

private:
    uint32_t max_vertex_index_;
    platform::gfx::IndexBuffer* buffer_ = nullptr;
    uint32_t count_ = 0;
    bool operational_ = false;
};

// Points in the device's own memory, `vertex_format::point` with a stride of exactly the
// 20 bytes written per point; the draw sets that format and puts the renderer's back.
// Keeps room for 100 more points than it was last grown to.
class PointBuffer : public hard::PointBuffer, public ResourceRegistration {
public:
    explicit PointBuffer(ResourceOwner& owner);
    ~PointBuffer() override;

    bool is_operational() const override { return operational_; }
    // Colours are packed like the renderer's (each channel × 255, truncated, clamped).
    bool update(const FloatArray& positions, const FloatArray& colours, const FloatArray& sizes) override;
    // False (and a log line) when the points reach past the stored ones.
    bool draw(uint32_t first_point, uint32_t count) override;

    void on_device_lost() override;
    void drop() override;

    uint32_t get_point_count() const noexcept { return count_; }
    uint32_t get_capacity() const noexcept { return capacity_; }
    platform::gfx::VertexBuffer* get_device_buffer() const noexcept { return buffer_; }

private:
    platform::gfx::VertexBuffer* buffer_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    bool operational_ = false;
};

} // namespace vadu::lib3d::hard::directx8
