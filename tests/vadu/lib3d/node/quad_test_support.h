#pragma once

// Shared by the sprite and image tests: pictures and atlases in a temporary folder served
// by the engine, a render device whose textures live in memory and whose vertex buffers
// keep what they were given, and the node types registered.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "vadu/lib3d/hard/render_fakes.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/hard/sprite_batch.h"
#include "vadu/lib3d/material/atlas.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/lib3d/node/image.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/time.h"
#include "vadu/xml_writer.h"

namespace quad_test {

namespace hard = vadu::lib3d::hard;
using vadu::Atom;
using vadu::lib3d::node::Image;
using vadu::lib3d::node::LoadingRoot;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
using vadu::math::Matrix4;
using vadu::math::Vector3;

// Memory textures, and vertex buffers that keep their data.
class QuadHardware : public texture_test::MemoryHardware {
public:
    std::unique_ptr<hard::VertexBuffer> create_vertex_buffer(bool dynamic) override
    {
        auto buffer = std::make_unique<render_fakes::FakeVertexBuffer>(buffer_log, dynamic);
        buffers.push_back(buffer.get());
        return buffer;
    }

    render_fakes::BufferLog buffer_log;
    std::vector<render_fakes::FakeVertexBuffer*> buffers;
};

// A 64 x 32 picture "pics/ball", a 32 x 32 one "pics/box", and the atlas "pics/ui.atlas"
// over the 64 x 32 picture "pics/ui" with four frames.
class QuadTest : public ::testing::Test {
protected:
    QuadTest()
    {
        engine_ = std::make_unique<texture_test::Engine>(folder_.string());
        // The engine installs a log of its own; the capture replaces it.
        log_.emplace();
        manager_ = std::make_unique<hard::Manager::Creator>();
        hard::Manager::add_hardware(&hardware);
        vadu::lib3d::node::register_node_type("Node", &vadu::lib3d::node::create_node_of_type<Node>);
        vadu::lib3d::node::register_node_type("Sprite", &vadu::lib3d::node::create_node_of_type<Sprite>);
        vadu::lib3d::node::register_node_type("Image", &vadu::lib3d::node::create_node_of_type<Image>);
        texture_test::write_png(folder_ / "pics/ball.png", texture_test::gradient(64, 32), true);
        texture_test::write_png(folder_ / "pics/box.png", texture_test::gradient(32, 32, 9), false);
        texture_test::write_png(folder_ / "pics/ui.png", texture_test::gradient(64, 32, 11), true);
        texture_test::write_text(folder_ / "pics/ui.atlas", R"(<Atlas TextureSrc="pics/ui">
  <Frame Name="a" Rect="0 0 32 16"/>
  <Frame Name="b" Rect="32 0 16 16"/>
  <Frame Name="c" Rect="48 0 16 8"/>
  <Frame Name="d" Rect="0 16 8 8"/>
</Atlas>)");
        root = std::make_unique<LoadingRoot>("Root");
    }

    ~QuadTest() override
    {
        root.reset();
        keepers_.clear();
        for (const char* type : {"Image", "Sprite", "Node"})
            vadu::lib3d::node::unregister_node_type(type);
        list.reset();
        hard::Manager::notify_remove_hardware(&hardware);
        manager_.reset();
        engine_.reset();
    }

    // The scene text under the root; returns the node of that name.
    Node* load(const std::string& scene, const char* name)
    {
        texture_test::write_text(folder_ / "quad.scene", "<Scene Name=\"World\">" + scene + "</Scene>");
        vadu::lib3d::node::create_from_resource("World", root.get(), vadu::filesystem::String("quad.scene", true));
        return root->find_child(name, true);
    }

    // Runs the atlas and picture passes until nothing waits; false after a few seconds.
    static bool pump()
    {
        int32_t pending = 0;
        return texture_test::pump_until(
            [&] {
                const int64_t start = vadu::time::get_ticks();
                pending = vadu::lib3d::material::load_texture_atlas_reps(start, 10.0);
                pending += vadu::lib3d::material::load_texture_simple_reps(start, 10.0);
            },
            [&] { return pending == 0; });
    }

    // Loads the pictures (and the atlas) once and keeps them, so that nodes made later find
    // them ready: picture reads take a while, and tables of cases would wait for each.
    void preload(std::initializer_list<const char*> pictures, bool atlas = false)
    {
        for (const char* picture : pictures) {
            keepers_.push_back(
                std::make_unique<vadu::lib3d::material::TextureHandle>(vadu::filesystem::String(picture, true), false));
        }
        if (atlas) {
            keepers_.push_back(
                std::make_unique<vadu::lib3d::material::TextureHandle>(vadu::filesystem::String("pics/ui.atlas", true), 0));
        }
        ASSERT_TRUE(pump());
    }

    // A fresh frame: the list cleared and the root walked.
    void render()
    {
        list->clear();
        root->render_to_list(hardware, *list);
    }

    // The sprites the last render handed to the list.
    std::vector<const hard::SpriteItem*> sprites() const
    {
        std::vector<const hard::SpriteItem*> result;
        for (const auto& [texture, batch] : list->get_sprite_batches())
            result.insert(result.end(), batch->get_sprites().begin(), batch->get_sprites().end());
        return result;
    }

    // The device texture of this hardware behind a picture.
    hard::StageTexture* device_texture(const char* picture)
    {
        const auto* cache = vadu::lib3d::material::get_texture_simple_cache();
        if (!cache)
            return nullptr;
        for (const auto& [path, rep] : *cache) {
            if (path.get_text() == picture)
                return rep->find_data(&hardware);
        }
        return nullptr;
    }

    std::string log_text() const { return log_->text(); }

    test_support::TempFolder temp_{"quillo_quads"};
    std::filesystem::path folder_ = temp_.root();
    std::optional<test_support::LogCapture> log_;
    std::unique_ptr<texture_test::Engine> engine_;
    std::unique_ptr<hard::Manager::Creator> manager_;
    QuadHardware hardware;
    // Sprite batches register with the device manager, so the list goes before it.
    std::unique_ptr<hard::RenderList> list = std::make_unique<hard::RenderList>();
    std::unique_ptr<LoadingRoot> root;
    std::vector<std::unique_ptr<vadu::lib3d::material::TextureHandle>> keepers_;
};

inline ::testing::AssertionResult near(float actual, float expected, float tolerance = 1e-4f)
{
    if (std::fabs(actual - expected) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " instead of " << expected;
}

} // namespace quad_test
