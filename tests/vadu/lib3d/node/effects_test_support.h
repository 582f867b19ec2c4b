#pragma once

// Shared by the tests of the effect node types: a render device whose vertex buffers keep
// positions and colours, the effect types registered, and helpers to read the buffers.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vadu/lib3d/hard/render_fakes.h"
#include "vadu/lib3d/node/billboard.h"
#include "vadu/lib3d/node/gradient.h"
#include "vadu/lib3d/node/light.h"
#include "vadu/lib3d/node/plume2d.h"
#include "scene_test_support.h"

namespace effects_test {

namespace hard = vadu::lib3d::hard;
using scene_test::Node;
using vadu::math::Vector3;

// Keeps what a coloured update gave it.
class ColourBuffer : public render_fakes::FakeVertexBuffer {
public:
    using FakeVertexBuffer::FakeVertexBuffer;
    using FakeVertexBuffer::update;
    bool update(const hard::FloatArray& p, const hard::FloatArray& normals, const hard::FloatArray& c,
                const hard::FloatArray& t) override
    {
        ++updates;
        positions = p;
        colours = c;
        texture_coordinates = t;
        normal_count = normals.size();
        return !refuse;
    }
    hard::FloatArray colours;
    size_t normal_count = 0;
};

class ColourHardware : public render_fakes::FakeHardware {
public:
    std::unique_ptr<hard::VertexBuffer> create_vertex_buffer(bool dynamic) override
    {
        auto buffer = std::make_unique<ColourBuffer>(buffers, dynamic);
        made.push_back(buffer.get());
        return buffer;
    }
    std::vector<ColourBuffer*> made;
};

struct ColouredVertex {
    float x, y, z;
    float r, g, b, a;
};

inline std::vector<ColouredVertex> vertices_of(const ColourBuffer& buffer)
{
    std::vector<ColouredVertex> result;
    for (size_t i = 0; i * 3 < buffer.positions.size(); ++i) {
        const float* p = &buffer.positions[i * 3];
        const float* c = &buffer.colours[i * 4];
        result.push_back({p[0], p[1], p[2], c[0], c[1], c[2], c[3]});
    }
    return result;
}

class EffectsTest : public scene_test::SceneTest {
protected:
    EffectsTest()
    {
        hard::Manager::add_hardware(&hardware);
        // The scene tests' own fixture registers "Node".
        node_types_.emplace(vadu::lib3d::node::get_engine_node_types(),
                            [](std::string_view type) { return type != "Node"; });
    }
    ~EffectsTest() override
    {
        scene.reset();
        node_types_.reset();
        hard::Manager::notify_remove_hardware(&hardware);
    }

    // The scene text (children of the root "Scene") loaded; the node of that name.
    template <class T>
    T* load_scene(const std::string& children, const char* name)
    {
        write("effects.scene", "<Scene>" + children + "</Scene>");
        scene = load("effects.scene");
        scene->set_cached_global_matrix(vadu::math::Matrix4::identity());
        return dynamic_cast<T*>(scene->find_child(name, true));
    }

    // A fresh frame: the list cleared and the scene walked.
    void render()
    {
        list.clear();
        scene->render_to_list(hardware, list);
    }

    hard::Manager::Creator manager_;
    ColourHardware hardware;
    hard::RenderList list;
    std::unique_ptr<Node> scene;
    std::optional<vadu::lib3d::node::NodeTypeRegistration> node_types_;
};

} // namespace effects_test
