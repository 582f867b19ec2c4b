#include "vadu/lib3d/hard/directx8/buffers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "test_owner.h"

namespace directx8_test {
namespace {

using vadu::lib3d::hard::FloatArray;

float float_at(const uint8_t* data, size_t offset)
{
    float value;
    std::memcpy(&value, data + offset, sizeof(value));
    return value;
}

std::vector<float> floats_at(const uint8_t* data, size_t offset, size_t count)
{
    std::vector<float> values;
    for (size_t i = 0; i < count; ++i)
        values.push_back(float_at(data, offset + i * 4));
    return values;
}

std::array<uint8_t, 4> bytes_at(const uint8_t* data, size_t offset)
{
    return {data[offset], data[offset + 1], data[offset + 2], data[offset + 3]};
}

uint32_t render_state(gfx::Device& device, gfx::RenderState state)
{
    uint32_t value = 0;
    device.get_render_state(state, &value);
    return value;
}

const FloatArray triangle = {0, 0, 0, 1, 0, 0, 0, 1, 0};
const FloatArray triangle_uv = {0, 0, 1, 0, 0, 1};

// The update with normals and colours, whose empty arrays can be left out.
bool colour_update(VertexBuffer& buffer, const FloatArray& positions, const FloatArray& normals = {},
                   const FloatArray& colours = {}, const FloatArray& uv = {})
{
    return buffer.update(positions, normals, colours, uv);
}

// The mesh update; `further` fills the first further array, `others` the other six.
bool mesh_update(VertexBuffer& buffer, const FloatArray& positions, const FloatArray& normals, const FloatArray& uv,
                 const FloatArray& further = {}, const FloatArray& others = {})
{
    VertexBuffer::FurtherArrays arrays;
    arrays.fill(&others);
    arrays[0] = &further;
    return buffer.update(positions, normals, uv, arrays);
}

// Distinct floats, three per vertex.
FloatArray positions_of(size_t vertices)
{
    FloatArray positions;
    for (size_t i = 0; i < vertices * 3; ++i)
        positions.push_back(static_cast<float>(i));
    return positions;
}

// --- vertex buffers ----------------------------------------------------------------------

using VertexBufferTest = ResourceTest;

TEST_F(VertexBufferTest, PositionsAndTextureCoordinatesAreWrittenWithOpaqueWhite)
{
    VertexBuffer buffer(*owner, false);
    EXPECT_FALSE(buffer.is_operational());
    EXPECT_EQ(buffer.get_vertex_format(), 0x112u);
    ASSERT_TRUE(buffer.update({1, 2, 3, 4, 5, 6}, {0.25f, 0.5f, 0.75f, 1}));

    EXPECT_TRUE(buffer.is_operational());
    EXPECT_EQ(buffer.get_vertex_count(), 2u);
    EXPECT_EQ(buffer.get_vertex_format(), 0x142u);
    EXPECT_EQ(buffer.get_stride(), 24u);
    const gfx::BufferDesc desc = buffer.get_device_buffer()->desc();
    EXPECT_EQ(desc.fvf, 0x142u);
    EXPECT_EQ(desc.pool, gfx::Pool::managed);
    EXPECT_EQ(desc.usage, gfx::usage::write_only);
    const uint8_t* data = buffer.get_device_buffer()->data();
    EXPECT_EQ(floats_at(data, 0, 3), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(bytes_at(data, 12), (std::array<uint8_t, 4>{255, 255, 255, 255}));
    EXPECT_EQ(floats_at(data, 16, 2), (std::vector<float>{0.25f, 0.5f}));
    EXPECT_EQ(floats_at(data, 24, 3), (std::vector<float>{4, 5, 6}));
    EXPECT_EQ(floats_at(data, 40, 2), (std::vector<float>{0.75f, 1}));
}

TEST_F(VertexBufferTest, ColoursAreRoundedClampedAndStoredBlueGreenRedAlpha)
{
    VertexBuffer buffer(*owner, false);
    ASSERT_TRUE(buffer.update({1, 2, 3}, {0, 0, -1}, {1.2f, 0.5f, -0.1f, 0.25f}, {0.5f, 0.5f}));

    EXPECT_EQ(buffer.get_vertex_format(), 0x152u);
    EXPECT_EQ(buffer.get_stride(), 36u);
    const uint8_t* data = buffer.get_device_buffer()->data();
    EXPECT_EQ(floats_at(data, 0, 6), (std::vector<float>{1, 2, 3, 0, 0, -1}));
    // red 1.2 → 255, green 127.5 → 128, blue → 0, alpha 63.75 → 64
    EXPECT_EQ(bytes_at(data, 24), (std::array<uint8_t, 4>{0, 128, 255, 64}));
    EXPECT_EQ(floats_at(data, 28, 2), (std::vector<float>{0.5f, 0.5f}));
}

TEST_F(VertexBufferTest, MissingOrMisfitArraysGetTheirDefaults)
{
    struct Case {
        const char* name;
        FloatArray normals, colours, uv;
        uint32_t fvf, stride;
        std::vector<float> normal;      // expected normal of vertex 1, when the format has one
        std::array<uint8_t, 4> colour;  // of vertex 1
        std::vector<float> coordinates; // of vertex 1
    };
    const std::vector<Case> cases = {
        {"nothing but positions", {}, {}, {}, 0x142, 24, {}, {255, 255, 255, 255}, {0, 0}},
        {"colours of the wrong count", {}, {0, 0, 0, 0}, {}, 0x142, 24, {}, {255, 255, 255, 255}, {0, 0}},
        {"normals of the wrong count", {1, 0, 0}, {}, {1, 2, 3, 4}, 0x152, 36, {0, 0, 1}, {255, 255, 255, 255}, {3, 4}},
        {"all given", {1, 0, 0, 0, 1, 0}, {0, 0, 0, 0, 1, 0, 0, 1}, {1, 2, 3, 4}, 0x152, 36, {0, 1, 0},
         {0, 0, 255, 255}, {3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VertexBuffer buffer(*owner, false);
        ASSERT_TRUE(buffer.update({0, 0, 0, 7, 8, 9}, c.normals, c.colours, c.uv));
        EXPECT_EQ(buffer.get_vertex_format(), c.fvf);
        ASSERT_EQ(buffer.get_stride(), c.stride);
        const uint8_t* vertex = buffer.get_device_buffer()->data() + c.stride;
        EXPECT_EQ(floats_at(vertex, 0, 3), (std::vector<float>{7, 8, 9}));
        const size_t colour_at = c.normal.empty() ? 12 : 24;
        if (!c.normal.empty()) {
            EXPECT_EQ(floats_at(vertex, 12, 3), c.normal);
        }
        EXPECT_EQ(bytes_at(vertex, colour_at), c.colour);
        EXPECT_EQ(floats_at(vertex, colour_at + 4, 2), c.coordinates);
    }
}

TEST_F(VertexBufferTest, TwoPairUpdateBuildsItsFormatFromTheArraysGiven)
{
    // Vertex 1 of two; `fields` is what its bytes read as after the position, a colour as
    // its four bytes (blue, green, red, alpha) widened to floats.
    struct Case {
        const char* name;
        FloatArray normals, colours, first, second;
        uint32_t fvf, stride;
        std::vector<float> fields;
    };
    const FloatArray uv = {0.5f, 0.25f, 0.75f, 1};
    const FloatArray uv2 = {0, 0.125f, 0.375f, 0.625f};
    const FloatArray up = {0, 1, 0, 1, 0, 0};
    const FloatArray colours = {0, 0, 0, 0, 1, 0.5f, 0, 1};
    const std::vector<Case> cases = {
        {"everything", up, colours, uv, uv2, 0x252, 44, {1, 0, 0, 0, 128, 255, 255, 0.75f, 1, 0.375f, 0.625f}},
        {"a lit mesh: normals and two pairs, no colours", up, {}, uv, uv2, 0x212, 40,
         {1, 0, 0, 0.75f, 1, 0.375f, 0.625f}},
        {"positions and normals only", up, {}, {}, {}, 0x112, 32, {1, 0, 0, 0, 0}},
        {"nothing but positions", {}, {}, {}, {}, 0x102, 20, {0, 0}},
        {"colours without normals", {}, colours, uv, {}, 0x142, 24, {0, 128, 255, 255, 0.75f, 1}},
        {"arrays of the wrong sizes get defaults", {1, 0, 0}, {1, 1, 1}, {1, 2}, {3, 4, 5}, 0x252, 44,
         {0, 0, 1, 255, 255, 255, 255, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VertexBuffer buffer(*owner, false);
        ASSERT_TRUE(buffer.update({0, 0, 0, 7, 8, 9}, c.normals, c.colours, c.first, c.second));
        EXPECT_TRUE(buffer.is_operational());
        EXPECT_EQ(buffer.get_vertex_count(), 2u);
        EXPECT_EQ(buffer.get_vertex_format(), c.fvf);
        ASSERT_EQ(buffer.get_stride(), c.stride);
        ASSERT_EQ(gfx::fvf_stride(c.fvf), c.stride) << "the device reads the vertices as written";
        const uint8_t* vertex = buffer.get_device_buffer()->data() + c.stride;
        EXPECT_EQ(floats_at(vertex, 0, 3), (std::vector<float>{7, 8, 9}));
        std::vector<float> fields;
        size_t at = 12;
        const bool has_colour = (c.fvf & gfx::fvf::diffuse) != 0;
        const size_t colour_at = 12 + ((c.fvf & gfx::fvf::normal) ? 12 : 0);
        while (at < c.stride) {
            if (has_colour && at == colour_at) {
                for (uint8_t byte : bytes_at(vertex, at))
                    fields.push_back(byte);
                at += 4;
            } else {
                fields.push_back(float_at(vertex, at));
                at += 4;
            }
        }
        EXPECT_EQ(fields, c.fields);
    }

    EXPECT_FALSE(VertexBuffer(*owner, false).update({1, 2}, {}, {}, {}, {})) << "positions not in threes";
    VertexBuffer stale(*owner, false);
    owner->operational = false;
    EXPECT_TRUE(stale.update(triangle, {}, {}, triangle_uv, triangle_uv));
    EXPECT_FALSE(stale.is_operational());
    EXPECT_EQ(stale.get_device_buffer(), nullptr);
}

TEST_F(VertexBufferTest, TwoPairBufferDrawsInItsOwnFormatThroughAnIndexBuffer)
{
    VertexBuffer buffer(*owner, false);
    IndexBuffer indices(*owner, 0xFFFF);
    ASSERT_TRUE(buffer.update(positions_of(4), positions_of(4), {}, FloatArray(8, 0.5f), FloatArray(8, 0.25f)));
    const uint32_t quad[] = {0, 1, 2, 2, 3, 0};
    ASSERT_TRUE(indices.update(quad, 6));
    device().begin_scene();

    EXPECT_TRUE(buffer.render(indices, 0, 2, 0, 4));
    ASSERT_EQ(device().draw_calls().size(), 1u);
    const gfx::DrawCall& call = device().draw_calls().back();
    EXPECT_EQ(call.kind, gfx::DrawKind::indexed_primitive);
    EXPECT_EQ(call.fvf, 0x212u);
    EXPECT_EQ(call.stride, 40u);
    EXPECT_EQ(call.primitive_count, 2u);
    EXPECT_EQ(device().state().fvf, 0x112u) << "the renderer's format is put back";

    // A smaller update of the same format reuses the buffer; another format replaces it.
    const gfx::VertexBuffer* held = buffer.get_device_buffer();
    ASSERT_TRUE(buffer.update(positions_of(3), positions_of(3), {}, FloatArray(6, 0.5f), FloatArray(6, 0.5f)));
    EXPECT_EQ(buffer.get_device_buffer(), held);
    ASSERT_TRUE(buffer.update(positions_of(3), positions_of(3), {}, {}, {}));
    EXPECT_EQ(buffer.get_device_buffer()->fvf(), 0x112u);
}

TEST_F(VertexBufferTest, MeshUpdateStoresPositionNormalAndOnePair)
{
    VertexBuffer buffer(*owner, false);
    // Not every further array full: accepted.
    ASSERT_TRUE(mesh_update(buffer, {1, 2, 3, 4, 5, 6}, {0, 1, 0}, {0.5f, 0.25f, 1, 1}, {1, 2}));
    EXPECT_EQ(buffer.get_vertex_format(), 0x112u);
    EXPECT_EQ(buffer.get_stride(), 32u);
    EXPECT_EQ(buffer.get_device_buffer()->size(), 64u);
    const uint8_t* data = buffer.get_device_buffer()->data();
    // Normals of the wrong count give (0, 0, 1).
    EXPECT_EQ(floats_at(data, 0, 8), (std::vector<float>{1, 2, 3, 0, 0, 1, 0.5f, 0.25f}));
    EXPECT_EQ(floats_at(data, 32, 8), (std::vector<float>{4, 5, 6, 0, 0, 1, 1, 1}));
}

TEST_F(VertexBufferTest, BadSizesAreRefusedAndChangeNothing)
{
    const std::vector<std::pair<const char*, std::function<bool(VertexBuffer&)>>> cases = {
        {"positions not in threes", [](VertexBuffer& b) { return b.update({1, 2, 3, 4}, {0, 0}); }},
        {"two coordinates per vertex missing", [](VertexBuffer& b) { return b.update(triangle, {0, 0, 1}); }},
        {"colour update, positions not in threes",
         [](VertexBuffer& b) { return colour_update(b, {1, 2}); }},
        {"mesh update, positions not in threes", [](VertexBuffer& b) { return mesh_update(b, {1}, {}, {}); }},
        {"mesh update with every further array full",
         [](VertexBuffer& b) { return mesh_update(b, {0, 0, 0, 1, 1, 1}, {}, {}, {1, 2}, {3, 4}); }},
    };
    for (const auto& [name, refused_update] : cases) {
        SCOPED_TRACE(name);
        VertexBuffer buffer(*owner, false);
        ASSERT_TRUE(buffer.update(triangle, triangle_uv));
        const gfx::VertexBuffer* before = buffer.get_device_buffer();
        const std::vector<uint8_t> bytes(before->data(), before->data() + before->size());

        EXPECT_FALSE(refused_update(buffer));
        EXPECT_EQ(buffer.get_device_buffer(), before);
        EXPECT_EQ(std::vector<uint8_t>(before->data(), before->data() + before->size()), bytes);
        EXPECT_EQ(buffer.get_vertex_count(), 3u);
        EXPECT_EQ(buffer.get_vertex_format(), 0x142u);
    }
}

TEST_F(VertexBufferTest, BuffersGrowOnlyWhenTheyMustAndNeverOverrunAnotherFormat)
{
    VertexBuffer buffer(*owner, true);
    ASSERT_TRUE(buffer.update(positions_of(10), FloatArray(20, 0.0f)));
    const gfx::VertexBuffer* first = buffer.get_device_buffer();
    EXPECT_EQ(first->desc().pool, gfx::Pool::default_pool);

    ASSERT_TRUE(buffer.update(positions_of(4), FloatArray(8, 0.0f)));
    EXPECT_EQ(buffer.get_device_buffer(), first) << "a smaller update reuses the buffer";
    EXPECT_EQ(buffer.get_vertex_count(), 4u);

    // 8 vertices with normals need 288 bytes, more than the 240 held, in another format.
    ASSERT_TRUE(colour_update(buffer, positions_of(8), FloatArray(24, 0.0f)));
    EXPECT_GE(buffer.get_device_buffer()->size(), 8u * 36u);
    EXPECT_EQ(buffer.get_device_buffer()->fvf(), 0x152u);

    // The mesh update recreates on every change of count, smaller too.
    ASSERT_TRUE(mesh_update(buffer, positions_of(6), {}, {}));
    EXPECT_EQ(buffer.get_device_buffer()->size(), 6u * 32u);
    ASSERT_TRUE(mesh_update(buffer, positions_of(3), {}, {}));
    EXPECT_EQ(buffer.get_device_buffer()->size(), 3u * 32u);
}

TEST_F(VertexBufferTest, AnEmptyUpdateKeepsNoBufferAndDrawsNothing)
{
    VertexBuffer buffer(*owner, false);
    ASSERT_TRUE(buffer.update(triangle, triangle_uv));
    ASSERT_TRUE(buffer.update({}, {}));
    EXPECT_TRUE(buffer.is_operational());
    EXPECT_EQ(buffer.get_device_buffer(), nullptr);
    EXPECT_EQ(buffer.get_vertex_count(), 0u);
    device().begin_scene();
    EXPECT_TRUE(buffer.draw(0, 5));
    EXPECT_TRUE(device().draw_calls().empty());
}

TEST_F(VertexBufferTest, NonOperationalHardwareSucceedsAndUploadsOnTheNextUpdate)
{
    VertexBuffer buffer(*owner, false);
    ASSERT_TRUE(buffer.update(triangle, triangle_uv));

    owner->operational = false;
    EXPECT_TRUE(buffer.update(positions_of(6), FloatArray(12, 0.5f)));
    EXPECT_FALSE(buffer.is_operational()) << "the held data is stale: the owner must fill it again";
    EXPECT_EQ(buffer.get_vertex_count(), 3u);
    EXPECT_TRUE(buffer.draw(0, 1));

    owner->operational = true;
    ASSERT_TRUE(buffer.update(positions_of(6), FloatArray(12, 0.5f)));
    EXPECT_TRUE(buffer.is_operational());
    EXPECT_EQ(buffer.get_vertex_count(), 6u);
    EXPECT_EQ(float_at(buffer.get_device_buffer()->data(), 5 * 24), 15.0f);

    VertexBuffer never_filled(*owner, true);
    owner->operational = false;
    EXPECT_TRUE(never_filled.update(triangle, triangle_uv));
    EXPECT_EQ(never_filled.get_device_buffer(), nullptr);
}

TEST_F(VertexBufferTest, DeviceFailuresRaiseGlucks)
{
    const char* function = "vadu::lib3d::hard::directx8::VertexBuffer::update";
    VertexBuffer buffer(*owner, false);
    gfx::script_failure(gfx::Call::create_vertex_buffer);
    EXPECT_GLUCK(buffer.update(triangle, triangle_uv), function, "create_internal_vertex_buffer() failed");
    EXPECT_FALSE(buffer.is_operational());
    EXPECT_EQ(buffer.get_device_buffer(), nullptr);

    gfx::script_failure(gfx::Call::lock);
    EXPECT_GLUCK(colour_update(buffer, triangle), function, "vertex_buffer->Lock() failed");
    EXPECT_FALSE(buffer.is_operational());

    ASSERT_TRUE(buffer.update(triangle, triangle_uv)) << "the next update recovers";
    EXPECT_TRUE(buffer.is_operational());
}

TEST_F(VertexBufferTest, DeviceLossReleasesDynamicBuffersAndKeepsStaticOnes)
{
    VertexBuffer dynamic(*owner, true);
    VertexBuffer fixed(*owner, false);
    ASSERT_TRUE(dynamic.update(triangle, triangle_uv));
    ASSERT_TRUE(fixed.update(triangle, triangle_uv));
    const gfx::VertexBuffer* kept = fixed.get_device_buffer();

    device().simulate_lost();
    owner->lose_resources();
    EXPECT_EQ(dynamic.get_device_buffer(), nullptr);
    EXPECT_FALSE(dynamic.is_operational());
    EXPECT_EQ(fixed.get_device_buffer(), kept);
    EXPECT_TRUE(fixed.is_operational());

    device().simulate_resettable();
    ASSERT_EQ(owner->reset(), gfx::ok) << "a default-pool buffer is still held";
    device().begin_scene();
    EXPECT_TRUE(fixed.draw(0, 1));
    EXPECT_EQ(device().draw_calls().size(), 1u);
    EXPECT_TRUE(dynamic.draw(0, 1)) << "nothing to draw until it is filled again";
    EXPECT_EQ(device().draw_calls().size(), 1u);
    ASSERT_TRUE(dynamic.update(triangle, triangle_uv));
    EXPECT_TRUE(dynamic.is_operational());

    fixed.drop();
    EXPECT_EQ(fixed.get_device_buffer(), nullptr);
    EXPECT_FALSE(fixed.is_operational());
}

TEST_F(VertexBufferTest, DrawSwitchesFormatAndLightingOnlyForItsOwnDraw)
{
    struct Case {
        const char* name;
        bool normals;
        bool lights;
        uint32_t lighting_before;
        uint32_t fvf;
    };
    const std::vector<Case> cases = {
        {"no normals, lights", false, true, 1, 0x142},
        {"no normals, no lights: stays unlit", false, false, 0, 0x142},
        {"normals, no lights", true, false, 0, 0x152},
        {"normals and lights", true, true, 1, 0x152},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        owner->lights = c.lights;
        VertexBuffer buffer(*owner, true);
        ASSERT_TRUE(colour_update(buffer, positions_of(6), c.normals ? positions_of(6) : FloatArray{}));
        device().set_fvf(0x112);
        device().set_render_state(gfx::RenderState::lighting, c.lighting_before);
        device().begin_scene();

        EXPECT_TRUE(buffer.draw(3, 1));
        ASSERT_EQ(device().draw_calls().size(), 1u);
        const gfx::DrawCall& call = device().draw_calls().back();
        EXPECT_EQ(call.type, gfx::PrimitiveType::triangle_list);
        EXPECT_EQ(call.start_vertex, 3u);
        EXPECT_EQ(call.primitive_count, 1u);
        EXPECT_EQ(call.fvf, c.fvf);
        EXPECT_EQ(call.stride, buffer.get_stride());
        EXPECT_EQ(device().state().fvf, 0x112u);
        EXPECT_EQ(render_state(device(), gfx::RenderState::lighting), c.lighting_before);

        device().end_scene();
        device().present();
    }
}

TEST_F(VertexBufferTest, DrawPastTheVerticesIsRefusedWithALogLine)
{
    VertexBuffer buffer(*owner, false);
    ASSERT_TRUE(buffer.update(positions_of(6), FloatArray(12, 0.0f)));
    device().begin_scene();
    EXPECT_FALSE(buffer.draw(4, 1));
    EXPECT_NE(log.text().find("Vertex buffer overflow - 1 primitives at position 4 while the total number of "
                              "vertices is 6\n"),
              std::string::npos);
    EXPECT_TRUE(buffer.draw(3, 1));
    EXPECT_EQ(device().draw_calls().size(), 1u);

    owner->operational = false;
    EXPECT_TRUE(buffer.draw(100, 100)) << "a non-operational hardware draws nothing, successfully";
}

TEST_F(VertexBufferTest, IndexedAndMorphDrawsUseBothBuffers)
{
    VertexBuffer first(*owner, false);
    VertexBuffer second(*owner, false);
    VertexBuffer other_topology(*owner, false);
    IndexBuffer indices(*owner, 0xFFFF);
    ASSERT_TRUE(colour_update(first, positions_of(6)));
    ASSERT_TRUE(colour_update(second, positions_of(6)));
    ASSERT_TRUE(colour_update(other_topology, positions_of(3)));
    const uint32_t index_data[] = {0, 1, 2, 3, 4, 5};
    ASSERT_TRUE(indices.update(index_data, 6));
    device().begin_scene();

    EXPECT_TRUE(first.render(indices, 3, 1, 3, 3));
    ASSERT_EQ(device().draw_calls().size(), 1u);
    gfx::DrawCall call = device().draw_calls().back();
    EXPECT_EQ(call.kind, gfx::DrawKind::indexed_primitive);
    EXPECT_EQ(call.start_index, 3u);
    EXPECT_EQ(call.min_index, 3u);
    EXPECT_EQ(call.vertex_count, 3u);
    EXPECT_EQ(call.fvf, 0x142u);
    EXPECT_EQ(device().state().fvf, 0x112u);

    EXPECT_TRUE(first.draw_morph(second, 0, 2));
    EXPECT_EQ(device().state().streams[1].buffer, second.get_device_buffer());
    EXPECT_EQ(device().state().streams[1].stride, 24u);
    EXPECT_TRUE(first.render_morph(second, indices, 0, 2, 0, 6));
    EXPECT_EQ(device().draw_calls().size(), 3u);

    EXPECT_FALSE(first.draw_morph(other_topology, 0, 1));
    EXPECT_FALSE(first.render_morph(other_topology, indices, 0, 1, 0, 3));
    EXPECT_EQ(log.count("Topology of the morph buffers differ:  6 : 3 vertices\n"), 2u);
    EXPECT_FALSE(first.draw_morph(second, 2, 2));
    EXPECT_EQ(log.count("Vertex buffer overflow - 2 primitives at position 2"), 1u);
    EXPECT_EQ(device().draw_calls().size(), 3u);
}

// --- index buffers ------------------------------------------------------------------------

using IndexBufferTest = ResourceTest;

std::vector<uint16_t> stored_indices(const IndexBuffer& buffer)
{
    const gfx::IndexBuffer* device_buffer = buffer.get_device_buffer();
    std::vector<uint16_t> values(device_buffer->size() / 2);
    std::memcpy(values.data(), device_buffer->data(), values.size() * 2);
    return values;
}

TEST_F(IndexBufferTest, IndicesAreStoredIn16BitsAndTheBufferFollowsTheCount)
{
    IndexBuffer buffer(*owner, 0xFFFF);
    const uint32_t first[] = {0, 65535, 7};
    ASSERT_TRUE(buffer.update(first, 3));
    EXPECT_TRUE(buffer.is_operational());
    const gfx::BufferDesc desc = buffer.get_device_buffer()->desc();
    EXPECT_EQ(desc.format, gfx::Format::index16);
    EXPECT_EQ(desc.pool, gfx::Pool::managed);
    EXPECT_EQ(desc.usage, gfx::usage::write_only);
    EXPECT_EQ(stored_indices(buffer), (std::vector<uint16_t>{0, 65535, 7}));

    const gfx::IndexBuffer* before = buffer.get_device_buffer();
    const uint32_t same_count[] = {1, 2, 3};
    ASSERT_TRUE(buffer.update(same_count, 3));
    EXPECT_EQ(buffer.get_device_buffer(), before);
    EXPECT_EQ(stored_indices(buffer), (std::vector<uint16_t>{1, 2, 3}));

    const uint32_t fewer[] = {4, 5};
    ASSERT_TRUE(buffer.update(fewer, 2));
    EXPECT_EQ(buffer.get_device_buffer()->size(), 4u) << "recreated for the new count";
    EXPECT_EQ(stored_indices(buffer), (std::vector<uint16_t>{4, 5}));
}

TEST_F(IndexBufferTest, IndicesTheDeviceCannotAddressAreRefused)
{
    struct Case {
        uint32_t max_vertex_index;
        uint32_t index;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {0xFFFF, 65535, true},  {0xFFFF, 65536, false}, {0xFFFF, 70000, false},
        {0xFFFFFF, 70000, false}, {1000, 1000, true},    {1000, 1001, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "limit " << c.max_vertex_index << ", index " << c.index);
        IndexBuffer buffer(*owner, c.max_vertex_index);
        const uint32_t good[] = {1, 2, 3};
        ASSERT_TRUE(buffer.update(good, 3));
        const uint32_t tried[] = {0, c.index, 2};
        EXPECT_EQ(buffer.update(tried, 3), c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(stored_indices(buffer), (std::vector<uint16_t>{1, 2, 3})) << "nothing changes";
            EXPECT_NE(log.text().find("index " + std::to_string(c.index) + " at position 1"), std::string::npos);
        }
    }
}

TEST_F(IndexBufferTest, DrawSetsTheIndicesAndSurvivesDeviceLoss)
{
    VertexBuffer vertices(*owner, false);
    IndexBuffer buffer(*owner, 0xFFFF);
    ASSERT_TRUE(colour_update(vertices, positions_of(4)));
    const uint32_t quad[] = {0, 1, 2, 2, 3, 0};
    ASSERT_TRUE(buffer.update(quad, 6));
    const gfx::IndexBuffer* kept = buffer.get_device_buffer();

    device().simulate_lost();
    owner->lose_resources();
    device().simulate_resettable();
    ASSERT_EQ(owner->reset(), gfx::ok);
    EXPECT_EQ(buffer.get_device_buffer(), kept);
    EXPECT_TRUE(buffer.is_operational());

    device().begin_scene();
    EXPECT_TRUE(vertices.render(buffer, 0, 2, 0, 4));
    EXPECT_EQ(device().state().indices, kept);
    ASSERT_EQ(device().draw_calls().size(), 1u);
    EXPECT_EQ(device().draw_calls()[0].primitive_count, 2u);
    EXPECT_EQ(device().draw_calls()[0].base_vertex, 0);
}

TEST_F(IndexBufferTest, DeviceFailuresRaiseGlucksAndNonOperationalHardwareSkips)
{
    const char* function = "vadu::lib3d::hard::directx8::IndexBuffer::update";
    const uint32_t data[] = {0, 1, 2};
    IndexBuffer buffer(*owner, 0xFFFF);
    gfx::script_failure(gfx::Call::create_index_buffer);
    EXPECT_GLUCK(buffer.update(data, 3), function, "hardware->get_device()->CreateIndexBuffer() failed");
    gfx::script_failure(gfx::Call::lock);
    EXPECT_GLUCK(buffer.update(data, 3), function, "index_buffer->Lock() failed");
    EXPECT_FALSE(buffer.is_operational());

    owner->operational = false;
    EXPECT_TRUE(buffer.update(data, 3));
    EXPECT_FALSE(buffer.is_operational());
    owner->operational = true;
    EXPECT_TRUE(buffer.update(data, 3));
    EXPECT_TRUE(buffer.is_operational());
}

// --- point buffers ------------------------------------------------------------------------

using PointBufferTest = ResourceTest;

TEST_F(PointBufferTest, PointsAreTwentyBytesInTheStrideTheyAreDrawnWith)
{
    PointBuffer buffer(*owner);
    ASSERT_TRUE(buffer.update({1, 2, 3, 4, 5, 6}, {0.5f, 1, 0, 2, 0, 0, 1, -1}, {8, 16}));
    EXPECT_EQ(buffer.get_point_count(), 2u);
    EXPECT_EQ(buffer.get_capacity(), 102u);
    const gfx::BufferDesc desc = buffer.get_device_buffer()->desc();
    EXPECT_EQ(desc.pool, gfx::Pool::default_pool);
    EXPECT_EQ(desc.usage, gfx::usage::write_only | gfx::usage::points);
    EXPECT_EQ(desc.size, 102u * 20u);

    const uint8_t* data = buffer.get_device_buffer()->data();
    EXPECT_EQ(floats_at(data, 0, 4), (std::vector<float>{1, 2, 3, 8}));
    // alpha 2 → 255, red 127.5 → 127 (truncated), green 255, blue 0
    EXPECT_EQ(bytes_at(data, 16), (std::array<uint8_t, 4>{0, 255, 127, 255}));
    EXPECT_EQ(floats_at(data, 20, 4), (std::vector<float>{4, 5, 6, 16}));
    EXPECT_EQ(bytes_at(data, 36), (std::array<uint8_t, 4>{255, 0, 0, 0}));

    device().begin_scene();
    EXPECT_TRUE(buffer.draw(1, 1));
    ASSERT_EQ(device().draw_calls().size(), 1u);
    const gfx::DrawCall& call = device().draw_calls()[0];
    EXPECT_EQ(call.type, gfx::PrimitiveType::point_list);
    EXPECT_EQ(call.start_vertex, 1u);
    EXPECT_EQ(call.stride, 20u);
    EXPECT_EQ(gfx::fvf_stride(call.fvf), 20u) << "the format describes exactly the bytes written";
    EXPECT_EQ(device().state().fvf, 0x112u);

    EXPECT_FALSE(buffer.draw(1, 2));
    EXPECT_NE(log.text().find("Point buffer overflow - 2 points at position 1"), std::string::npos);
}

TEST_F(PointBufferTest, CapacityGrowsWithSpareRoomAndSkipsClippingWithoutVertexShaders)
{
    owner->hardware_vertex_shaders = false;
    PointBuffer buffer(*owner);
    ASSERT_TRUE(buffer.update(positions_of(150), FloatArray(600, 1.0f), FloatArray(150, 1.0f)));
    EXPECT_EQ(buffer.get_capacity(), 250u);
    EXPECT_EQ(buffer.get_device_buffer()->desc().usage,
              gfx::usage::write_only | gfx::usage::points | gfx::usage::do_not_clip);
    const gfx::VertexBuffer* grown = buffer.get_device_buffer();
    ASSERT_TRUE(buffer.update(positions_of(240), FloatArray(960, 1.0f), FloatArray(240, 1.0f)));
    EXPECT_EQ(buffer.get_device_buffer(), grown);
    ASSERT_TRUE(buffer.update(positions_of(251), FloatArray(1004, 1.0f), FloatArray(251, 1.0f)));
    EXPECT_EQ(buffer.get_capacity(), 351u);
}

TEST_F(PointBufferTest, BadSizesAreRefusedAndLossReleasesTheBuffer)
{
    PointBuffer buffer(*owner);
    EXPECT_FALSE(buffer.update({1, 2}, {}, {}));
    EXPECT_FALSE(buffer.update({1, 2, 3}, {1, 1, 1}, {1}));
    EXPECT_FALSE(buffer.update({1, 2, 3}, {1, 1, 1, 1}, {}));
    ASSERT_TRUE(buffer.update({1, 2, 3}, {1, 1, 1, 1}, {1}));

    device().simulate_lost();
    owner->lose_resources();
    EXPECT_EQ(buffer.get_device_buffer(), nullptr);
    EXPECT_EQ(buffer.get_point_count(), 0u);
    EXPECT_FALSE(buffer.is_operational());
    device().simulate_resettable();
    ASSERT_EQ(owner->reset(), gfx::ok);
    ASSERT_TRUE(buffer.update({1, 2, 3}, {1, 1, 1, 1}, {1}));
    EXPECT_TRUE(buffer.is_operational());

    gfx::script_failure(gfx::Call::create_vertex_buffer);
    buffer.drop();
    EXPECT_GLUCK(buffer.update({1, 2, 3}, {1, 1, 1, 1}, {1}), "vadu::lib3d::hard::directx8::PointBuffer::update",
                 "create_internal_vertex_buffer() failed");
}

} // namespace
} // namespace directx8_test
