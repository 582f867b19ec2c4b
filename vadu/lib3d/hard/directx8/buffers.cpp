#include "vadu/lib3d/hard/directx8/buffers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "vadu/exception.h"
#include "vadu/lib3d/hard/directx8/hardware_detail.h"
#include "vadu/log.h"

namespace vadu::lib3d::hard::directx8 {

namespace gfx = platform::gfx;

namespace {

constexpr const char* vertex_update_function = "vadu::lib3d::hard::directx8::VertexBuffer::update";
constexpr const char* index_update_function = "vadu::lib3d::hard::directx8::IndexBuffer::update";
constexpr const char* point_update_function = "vadu::lib3d::hard::directx8::PointBuffer::update";

// Writes vertex fields one after the other into locked buffer memory.
class VertexWriter {
public:
    explicit VertexWriter(uint8_t* at) : at_(at) {}

    void put(float value)
    {
        std::memcpy(at_, &value, sizeof(value));
        at_ += sizeof(value);
    }
    void put(const FloatArray& values, size_t first, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            put(values[first + i]);
    }
    void put_bytes(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3)
    {
        *at_++ = b0;
        *at_++ = b1;
        *at_++ = b2;
        *at_++ = b3;
    }
    void put_word(uint32_t word)
    {
        put_bytes(static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word >> 16),
                  static_cast<uint8_t>(word >> 24));
    }

private:
    uint8_t* at_;
};

// A colour channel from 0..1 to 0..255, rounded; out-of-range values (and NaN) clamp.
uint8_t rounded_channel(float value)
{
    const float scaled = value * 255.0f;
    if (!(scaled > 0.0f))
        return 0;
    if (scaled >= 255.0f)
        return 255;
    return static_cast<uint8_t>(std::lround(scaled));
}

// The whole buffer locked for writing; a failed lock leaves the owner not operational.
template <class Buffer>
uint8_t* lock_all(Buffer& buffer, bool& operational, const char* function, const char* failure)
{
    void* data = nullptr;
    if (gfx::failed(buffer.lock(0, 0, &data, 0))) {
        operational = false;
        throw Gluck(function, failure);
    }
    return static_cast<uint8_t*>(data);
}

// Vertex i's normal when the normals are given, else one facing +z.
void write_normal(VertexWriter& writer, const FloatArray& normals, size_t i, bool given)
{
    if (given) {
        writer.put(normals, i * 3, 3);
        return;
    }
    writer.put(0.0f);
    writer.put(0.0f);
    writer.put(1.0f);
}

// Vertex i's colour (four floats) when the colours are given, else opaque white; stored
// blue, green, red, alpha.
void write_colour(VertexWriter& writer, const FloatArray& colours, size_t i, bool given)
{
    if (!given) {
        writer.put_bytes(255, 255, 255, 255);
        return;
    }
    const float* colour = &colours[i * 4];
    writer.put_bytes(rounded_channel(colour[2]), rounded_channel(colour[1]), rounded_channel(colour[0]),
                     rounded_channel(colour[3]));
}

// Vertex i's texture coordinates when they are given, else 0, 0.
void write_coordinates(VertexWriter& writer, const FloatArray& coordinates, size_t i, bool given)
{
    if (given) {
        writer.put(coordinates, i * 2, 2);
        return;
    }
    writer.put(0.0f);
    writer.put(0.0f);
}

// Sets the buffer's vertex format for one draw when it is not the renderer's, and puts
// the renderer's back afterwards.
class FormatSwitch {
public:
    FormatSwitch(gfx::Device& device, uint32_t fvf) : device_(device), changed_(fvf != vertex_format::normal_texture)
    {
        if (changed_)
            device_.set_fvf(fvf);
    }
    ~FormatSwitch()
    {
        if (changed_)
            device_.set_fvf(vertex_format::normal_texture);
    }
    FormatSwitch(const FormatSwitch&) = delete;
    FormatSwitch& operator=(const FormatSwitch&) = delete;

    bool changed() const noexcept { return changed_; }

private:
    gfx::Device& device_;
    bool changed_;
};

} // namespace

// --- vertex buffer ----------------------------------------------------------------------

VertexBuffer::VertexBuffer(ResourceOwner& owner, bool dynamic) : ResourceRegistration(owner), dynamic_(dynamic) {}

VertexBuffer::~VertexBuffer()
{
    release_object(buffer_);
}

uint8_t* VertexBuffer::begin_update(uint32_t count, uint32_t fvf, uint32_t stride, bool exact)
{
    if (count == 0) {
        release_object(buffer_);
        count_ = 0;
        fvf_ = fvf;
        stride_ = stride;
        operational_ = true;
        return nullptr;
    }
    const uint64_t bytes = uint64_t{count} * stride;
    const bool fits = buffer_ && buffer_->fvf() == fvf && buffer_->size() >= bytes
        && (!exact || (count == count_ && buffer_->size() == bytes));
    if (!operational_ || !fits) {
        operational_ = false;
        count_ = 0;
        release_object(buffer_);
        gfx::Device* target = device();
        const gfx::Pool pool = dynamic_ ? gfx::Pool::default_pool : gfx::Pool::managed;
        if (!target || bytes > UINT32_MAX
            || gfx::failed(target->create_vertex_buffer(static_cast<uint32_t>(bytes), gfx::usage::write_only, fvf,
                                                        pool, &buffer_, nullptr))) {
            buffer_ = nullptr;
            throw Gluck(vertex_update_function, "create_internal_vertex_buffer() failed");
        }
    }
    uint8_t* data = lock_all(*buffer_, operational_, vertex_update_function, "vertex_buffer->Lock() failed");
    count_ = count;
    fvf_ = fvf;
    stride_ = stride;
    return data;
}

void VertexBuffer::end_update()
{
    buffer_->unlock();
    operational_ = true;
}

bool VertexBuffer::update(const FloatArray& positions, const FloatArray& texture_coordinates)
{
    if (!hardware_operational()) {
        operational_ = false;
        return true;
    }
    if (positions.size() % 3 != 0)
        return false;
    const size_t count = positions.size() / 3;
    if (texture_coordinates.size() != count * 2 || count > UINT32_MAX)
        return false;
    uint8_t* data = begin_update(static_cast<uint32_t>(count), vertex_format::colour_texture,
                                 vertex_format::colour_texture_stride, false);
    if (!data)
        return true;
    VertexWriter writer(data);
    for (size_t i = 0; i < count; ++i) {
        writer.put(positions, i * 3, 3);
        writer.put_bytes(255, 255, 255, 255);
        writer.put(texture_coordinates, i * 2, 2);
    }
    end_update();
    return true;
}

bool VertexBuffer::update(const FloatArray& positions, const FloatArray& normals, const FloatArray& colours,
                          const FloatArray& texture_coordinates)
{
    if (!hardware_operational()) {
        operational_ = false;
        return true;
    }
    if (positions.size() % 3 != 0 || positions.size() / 3 > UINT32_MAX)
        return false;
    const size_t count = positions.size() / 3;
    const bool with_normals = !normals.empty();
    const bool copy_normals = normals.size() == positions.size();
    const bool copy_colours = colours.size() == count * 4;
    const bool copy_coordinates = texture_coordinates.size() == count * 2;
    uint8_t* data = with_normals
        ? begin_update(static_cast<uint32_t>(count), vertex_format::normal_colour_texture,
                       vertex_format::normal_colour_texture_stride, false)
        : begin_update(static_cast<uint32_t>(count), vertex_format::colour_texture,
                       vertex_format::colour_texture_stride, false);
    if (!data)
        return true;
    VertexWriter writer(data);
    for (size_t i = 0; i < count; ++i) {
        writer.put(positions, i * 3, 3);
        if (with_normals)
            write_normal(writer, normals, i, copy_normals);
        write_colour(writer, colours, i, copy_colours);
        write_coordinates(writer, texture_coordinates, i, copy_coordinates);
    }
    end_update();
    return true;
}

bool VertexBuffer::update(const FloatArray& positions, const FloatArray& normals, const FloatArray& colours,
                          const FloatArray& texture_coordinates, const FloatArray& second_texture_coordinates)
{
    if (!hardware_operational()) {
        operational_ = false;
        return true;
    }
    if (positions.size() % 3 != 0 || positions.size() / 3 > UINT32_MAX)
        return false;
    const size_t count = positions.size() / 3;
    const bool with_normals = !normals.empty();
    const bool with_colours = !colours.empty();
    const bool with_second = !second_texture_coordinates.empty();
    uint32_t fvf = gfx::fvf::xyz | (with_second ? gfx::fvf::tex2 : gfx::fvf::tex1);
    uint32_t stride = 12 + (with_second ? 16 : 8);
    if (with_normals) {
        fvf |= gfx::fvf::normal;
        stride += 12;
    }
    if (with_colours) {
        fvf |= gfx::fvf::diffuse;
        stride += 4;
    }
    const bool copy_normals = normals.size() == positions.size();
    const bool copy_colours = colours.size() == count * 4;
    const bool copy_first = texture_coordinates.size() == count * 2;
    const bool copy_second = second_texture_coordinates.size() == count * 2;
    uint8_t* data = begin_update(static_cast<uint32_t>(count), fvf, stride, false);
    if (!data)
        return true;
    VertexWriter writer(data);
    for (size_t i = 0; i < count; ++i) {
        writer.put(positions, i * 3, 3);
        if (with_normals)
            write_normal(writer, normals, i, copy_normals);
        if (with_colours)
            write_colour(writer, colours, i, copy_colours);
        write_coordinates(writer, texture_coordinates, i, copy_first);
        if (with_second)
            write_coordinates(writer, second_texture_coordinates, i, copy_second);
    }
    end_update();
    return true;
}

bool VertexBuffer::update(const FloatArray& positions, const FloatArray& normals,
                          const FloatArray& texture_coordinates, const FurtherArrays& further)
{
    if (!hardware_operational()) {
        operational_ = false;
        return true;
    }
    if (positions.size() % 3 != 0 || positions.size() / 3 > UINT32_MAX)
        return false;
    const size_t count = positions.size() / 3;
    const bool all_further = std::all_of(further.begin(), further.end(), [count](const FloatArray* array) {
        return array && array->size() == count;
    });
    if (count != 0 && all_further)
        return false;
    const bool copy_normals = normals.size() == positions.size();
    const bool copy_coordinates = texture_coordinates.size() == count * 2;
    uint8_t* data = begin_update(static_cast<uint32_t>(count), vertex_format::normal_texture,
                                 vertex_format::normal_texture_stride, true);
    if (!data)
        return true;
    VertexWriter writer(data);
    for (size_t i = 0; i < count; ++i) {
        writer.put(positions, i * 3, 3);
        write_normal(writer, normals, i, copy_normals);
        write_coordinates(writer, texture_coordinates, i, copy_coordinates);
    }
    end_update();
    return true;
}

bool VertexBuffer::overflows(uint32_t first_vertex, uint32_t primitive_count) const
{
    if (uint64_t{first_vertex} + uint64_t{primitive_count} * 3 <= count_)
        return false;
    logs::log() << "Vertex buffer overflow - " << primitive_count << " primitives at position " << first_vertex
                << " while the total number of vertices is " << count_ << "\n";
    return true;
}

bool VertexBuffer::same_topology(const VertexBuffer& other) const
{
    if (count_ == other.count_)
        return true;
    logs::log() << "Topology of the morph buffers differ:  " << count_ << " : " << other.count_ << " vertices\n";
    return false;
}

bool VertexBuffer::draw(uint32_t first_vertex, uint32_t primitive_count)
{
    if (count_ == 0 || !hardware_operational())
        return true;
    if (overflows(first_vertex, primitive_count))
        return false;
    if (!buffer_ || primitive_count == 0)
        return true;
    gfx::Device& target = *device();
    const FormatSwitch format(target, fvf_);
    // Vertices without normals, or a scene without lights, are drawn unlit; the
    // renderer's lighting state is given back afterwards.
    const bool unlit = format.changed() && (!(fvf_ & gfx::fvf::normal) || !get_owner()->has_lights());
    uint32_t lighting = 1;
    if (unlit) {
        target.get_render_state(gfx::RenderState::lighting, &lighting);
        target.set_render_state(gfx::RenderState::lighting, 0);
    }
    target.set_stream_source(0, buffer_, 0, stride_);
    const gfx::Result result = target.draw_primitive(gfx::PrimitiveType::triangle_list, first_vertex, primitive_count);
    if (unlit)
        target.set_render_state(gfx::RenderState::lighting, lighting);
    return gfx::succeeded(result);
}

bool VertexBuffer::render(hard::IndexBuffer& indices, uint32_t start_index, uint32_t primitive_count,
                          uint32_t first_vertex, uint32_t vertex_count)
{
    if (count_ == 0 || !hardware_operational() || !buffer_)
        return true;
    gfx::Device& target = *device();
    const FormatSwitch format(target, fvf_);
    target.set_stream_source(0, buffer_, 0, stride_);
    return indices.draw(start_index, primitive_count, first_vertex, vertex_count);
}

bool VertexBuffer::draw_morph(hard::VertexBuffer& other, uint32_t first_vertex, uint32_t primitive_count)
{
    if (!hardware_operational())
        return true;
    auto* second = dynamic_cast<VertexBuffer*>(&other);
    if (!second || !same_topology(*second))
        return false;
    if (count_ == 0)
        return true;
    if (overflows(first_vertex, primitive_count))
        return false;
    if (!buffer_ || !second->buffer_ || primitive_count == 0)
        return true;
    gfx::Device& target = *device();
    target.set_stream_source(0, buffer_, 0, stride_);
    target.set_stream_source(1, second->buffer_, 0, second->stride_);
    return gfx::succeeded(target.draw_primitive(gfx::PrimitiveType::triangle_list, first_vertex, primitive_count));
}

bool VertexBuffer::render_morph(hard::VertexBuffer& other, hard::IndexBuffer& indices, uint32_t start_index,
                                uint32_t primitive_count, uint32_t first_vertex, uint32_t vertex_count)
{
    if (!hardware_operational())
        return true;
    auto* second = dynamic_cast<VertexBuffer*>(&other);
    if (!second || !same_topology(*second))
        return false;
    if (count_ == 0 || !buffer_ || !second->buffer_)
        return true;
    gfx::Device& target = *device();
    target.set_stream_source(0, buffer_, 0, stride_);
    target.set_stream_source(1, second->buffer_, 0, second->stride_);
    return indices.draw(start_index, primitive_count, first_vertex, vertex_count);
}

void VertexBuffer::on_device_lost()
{
    if (dynamic_) {
        release_object(buffer_);
        operational_ = false;
    }
}

void VertexBuffer::drop()
{
    release_object(buffer_);
    operational_ = false;
}

// --- index buffer -----------------------------------------------------------------------

IndexBuffer::IndexBuffer(ResourceOwner& owner, uint32_t max_vertex_index)
    : ResourceRegistration(owner), max_vertex_index_(max_vertex_index)
{
}

IndexBuffer::~IndexBuffer()
{
    release_object(buffer_);
}

uint32_t IndexBuffer::get_index_limit() const noexcept
{
    constexpr uint32_t largest_16_bit = 0xFFFF;
    return max_vertex_index_ == 0 ? largest_16_bit : std::min(max_vertex_index_, largest_16_bit);
}

bool IndexBuffer::update(const uint32_t* indices, uint32_t count)
{
    if (!hardware_operational()) {
        operational_ = false;
        return true;
    }
    if (count != 0 && !indices)
        return false;
    const uint32_t limit = get_index_limit();
    for (uint32_t i = 0; i < count; ++i) {
        if (indices[i] > limit) {
            logs::log() << "Index buffer: index " << indices[i] << " at position " << i
                        << " is above the largest vertex index " << limit << "\n";
            return false;
        }
    }
    if (count == 0) {
        release_object(buffer_);
        count_ = 0;
        operational_ = true;
        return true;
    }
    if (!operational_ || !buffer_ || count != count_) {
        operational_ = false;
        count_ = 0;
        release_object(buffer_);
        gfx::Device* target = device();
        if (!target || count > UINT32_MAX / 2
            || gfx::failed(target->create_index_buffer(count * 2, gfx::usage::write_only, gfx::Format::index16,
                                                       gfx::Pool::managed, &buffer_, nullptr))) {
            buffer_ = nullptr;
            throw Gluck(index_update_function, "hardware->get_device()->CreateIndexBuffer() failed");
        }
        count_ = count;
    }
    uint8_t* data = lock_all(*buffer_, operational_, index_update_function, "index_buffer->Lock() failed");
    for (uint32_t i = 0; i < count; ++i) {
        const auto index = static_cast<uint16_t>(indices[i]);
        std::memcpy(data + size_t{i} * 2, &index, sizeof(index));
    }
    buffer_->unlock();
    operational_ = true;
    return true;
}

bool IndexBuffer::draw(uint32_t start_index, uint32_t primitive_count, uint32_t min_vertex_index,
                       uint32_t vertex_count)
{
    if (!hardware_operational() || !buffer_ || primitive_count == 0)
        return true;
    gfx::Device& target = *device();
    target.set_indices(buffer_);
    return gfx::succeeded(target.draw_indexed_primitive(gfx::PrimitiveType::triangle_list, 0, min_vertex_index,
                                                        vertex_count, start_index, primitive_count));
}

void IndexBuffer::on_device_lost() {}

void IndexBuffer::drop()
{
    release_object(buffer_);
    operational_ = false;
}

// --- point buffer -----------------------------------------------------------------------

PointBuffer::PointBuffer(ResourceOwner& owner) : ResourceRegistration(owner) {}

PointBuffer::~PointBuffer()
{
    release_object(buffer_);
}

bool PointBuffer::update(const FloatArray& positions, const FloatArray& colours, const FloatArray& sizes)
{
    if (!hardware_operational()) {
        operational_ = false;
        return true;
    }
    constexpr uint32_t spare = 100;
    if (positions.size() % 3 != 0 || positions.size() / 3 > UINT32_MAX / vertex_format::point_stride - spare)
        return false;
    const size_t count = positions.size() / 3;
    if (colours.size() != count * 4 || sizes.size() != count)
        return false;
    if (count == 0) {
        count_ = 0;
        operational_ = true;
        return true;
    }
    if (!operational_ || !buffer_ || capacity_ < count) {
        operational_ = false;
        count_ = 0;
        capacity_ = 0;
        release_object(buffer_);
        gfx::Device* target = device();
        const uint32_t capacity = static_cast<uint32_t>(count) + spare;
        uint32_t usage = gfx::usage::write_only | gfx::usage::points;
        if (!get_owner()->has_hardware_vertex_shaders())
            usage |= gfx::usage::do_not_clip;
        if (!target
            || gfx::failed(target->create_vertex_buffer(capacity * vertex_format::point_stride, usage,
                                                        vertex_format::point, gfx::Pool::default_pool, &buffer_,
                                                        nullptr))) {
            buffer_ = nullptr;
            throw Gluck(point_update_function, "create_internal_vertex_buffer() failed");
        }
        capacity_ = capacity;
    }
    uint8_t* data = lock_all(*buffer_, operational_, point_update_function, "vertex_buffer->Lock() failed");
    VertexWriter writer(data);
    for (size_t i = 0; i < count; ++i) {
        writer.put(positions, i * 3, 3);
        writer.put(sizes[i]);
        const float* colour = &colours[i * 4];
        writer.put_word(detail::pack_colour(colour[0], colour[1], colour[2], colour[3]));
    }
    buffer_->unlock();
    count_ = static_cast<uint32_t>(count);
    operational_ = true;
    return true;
}

bool PointBuffer::draw(uint32_t first_point, uint32_t count)
{
    if (count_ == 0 || !hardware_operational() || !buffer_ || count == 0)
        return true;
    if (uint64_t{first_point} + count > count_) {
        logs::log() << "Point buffer overflow - " << count << " points at position " << first_point
                    << " while the total number of points is " << count_ << "\n";
        return false;
    }
    gfx::Device& target = *device();
    const FormatSwitch format(target, vertex_format::point);
    target.set_stream_source(0, buffer_, 0, vertex_format::point_stride);
    return gfx::succeeded(target.draw_primitive(gfx::PrimitiveType::point_list, first_point, count));
}

void PointBuffer::on_device_lost()
{
    release_object(buffer_);
    operational_ = false;
    count_ = 0;
    capacity_ = 0;
}

void PointBuffer::drop()
{
    release_object(buffer_);
    operational_ = false;
    capacity_ = 0;
}

} // namespace vadu::lib3d::hard::directx8
