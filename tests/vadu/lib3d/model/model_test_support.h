#pragma once

// Shared by the model tests: a render device whose buffers keep what they were given and
// can lose it, the engine services over a temporary folder (with the background loader),
// model files written there, and the load passes pumped until nothing waits.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model_writer.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "vadu/lib3d/hard/render_fakes.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/lib3d/model/model.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/time.h"

namespace model_test {

namespace hard = vadu::lib3d::hard;
namespace model = vadu::lib3d::model;

// Not operational until filled; `lose` drops the contents as a lost device does.
class MeshBuffer : public render_fakes::FakeVertexBuffer {
public:
    using FakeVertexBuffer::FakeVertexBuffer;
    using FakeVertexBuffer::update;
    bool is_operational() const override { return filled; }
    bool update(const hard::FloatArray& p, const hard::FloatArray& n, const hard::FloatArray& t,
                const FurtherArrays&) override
    {
        ++updates;
        if (refuse)
            return false;
        positions = p;
        normals = n;
        texture_coordinates = t;
        filled = true;
        return true;
    }
    void lose() { filled = false; }

    bool filled = false;
    hard::FloatArray normals;
};

class MeshIndexBuffer : public hard::IndexBuffer {
public:
    bool is_operational() const override { return filled; }
    bool update(const uint32_t* data, uint32_t count) override
    {
        if (refuse)
            return false;
        indices.assign(data, data + count);
        filled = true;
        return true;
    }
    bool draw(uint32_t, uint32_t, uint32_t, uint32_t) override { return true; }

    bool filled = false;
    bool refuse = false;
    std::vector<uint32_t> indices;
};

class MeshHardware : public render_fakes::FakeHardware {
public:
    std::unique_ptr<hard::VertexBuffer> create_vertex_buffer(bool dynamic) override
    {
        auto buffer = std::make_unique<MeshBuffer>(buffers, dynamic);
        buffer->refuse = refuse_vertices;
        meshes.push_back(buffer.get());
        return buffer;
    }
    std::unique_ptr<hard::IndexBuffer> create_index_buffer() override
    {
        auto buffer = std::make_unique<MeshIndexBuffer>();
        buffer->refuse = refuse_indices;
        index_buffers.push_back(buffer.get());
        return buffer;
    }

    bool refuse_vertices = false;
    bool refuse_indices = false;
    // Every buffer made, in order; they belong to whoever asked for them.
    std::vector<MeshBuffer*> meshes;
    std::vector<MeshIndexBuffer*> index_buffers;
};

inline void write_bytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// The engine over a temporary folder, a captured log, one device, and the model node
// types registered.
class ModelFixture : public ::testing::Test {
protected:
    ModelFixture()
    {
        hard::Manager::add_hardware(&hardware);
    }
    ~ModelFixture() override
    {
        hard::Manager::notify_remove_hardware(&hardware);
    }

    void write_model(const std::string& name, const model_writer::Mesh& mesh) const
    {
        write_bytes(temp_.root() / name, model_writer::encode(mesh));
    }
    void write_text(const std::string& name, const std::string& text) const
    {
        std::ofstream(temp_.root() / name, std::ios::binary) << text;
    }

    static vadu::filesystem::String path(const char* text) { return vadu::filesystem::String(text, true); }

    // Both load passes until nothing waits; false after a few seconds.
    static bool load_all()
    {
        int32_t pending = 0;
        return texture_test::pump_until(
            [&] {
                const int64_t now = vadu::time::get_ticks();
                pending = model::load_models(now, 10.0);
                pending += model::load_models_in_hardware(now, 10.0);
            },
            [&] { return pending == 0; });
    }

    test_support::TempFolder temp_{"QuilloModels"};
    texture_test::Engine engine_{temp_.root().string()};
    test_support::LogCapture log_;
    hard::Manager::Creator manager_;
    MeshHardware hardware;
    vadu::lib3d::node::NodeTypeRegistration node_types_;
};

} // namespace model_test
