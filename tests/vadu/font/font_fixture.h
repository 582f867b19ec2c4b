#pragma once

// Shared by the font and text-node tests: a data folder served through the engine's file
// system, the text library, the souls, a quiet log, and a render device whose vertex
// buffers and textures keep what they were given.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "text/TextLibrary.h"
#include "vadu/animate/soul.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/font/font.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/hard/render_fakes.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/xml_writer.h"

namespace font_test {

namespace fs = std::filesystem;
using namespace vadu::lib3d;

inline std::string to_std(const vadu::String& text) { return std::string(text.data(), text.size()); }

// Keeps the positions and texture coordinates of the last update; refuses them on demand.
class KeepingBuffer : public render_fakes::FakeVertexBuffer {
public:
    using FakeVertexBuffer::FakeVertexBuffer;
    using FakeVertexBuffer::update;
    bool update(const hard::FloatArray& p, const hard::FloatArray& n, const hard::FloatArray& c,
                const hard::FloatArray& t) override
    {
        ++updates;
        positions = p;
        texture_coordinates = t;
        return !refuse && n.empty() && c.empty();
    }
};

// Pixels in memory, as large as asked.
class MemoryTexture : public hard::Texture {
public:
    MemoryTexture(int width, int height) : width_(width), height_(height), pixels(size_t(width) * height * 4, 0xAB) {}
    bool is_operational() const override { return true; }
    bool set(uint32_t) override { return true; }
    void* lock(uint32_t, int32_t& pitch) override
    {
        pitch = width_ * 4;
        ++locks;
        return pixels.data();
    }
    void unlock(uint32_t) override {}
    void set_point_sampling(bool) override {}
    void set_wrap(bool) override {}
    vadu::pictureformat::Format get_format() const override { return vadu::pictureformat::format_bgra; }
    uint32_t get_width() const override { return static_cast<uint32_t>(width_); }
    uint32_t get_height() const override { return static_cast<uint32_t>(height_); }

    int width_;
    int height_;
    std::vector<uint8_t> pixels;
    int locks = 0;
};

class TextHardware : public render_fakes::FakeHardware {
public:
    std::unique_ptr<hard::Texture> create_texture(int, vadu::pictureformat::Format format, int width,
                                                  int height) override
    {
        formats.push_back(format);
        // The device's largest texture side.
        if (width > 4096 || height > 4096)
            return nullptr;
        auto texture = std::make_unique<MemoryTexture>(width, height);
        textures.push_back(texture.get());
        return texture;
    }
    std::unique_ptr<hard::VertexBuffer> create_vertex_buffer(bool dynamic) override
    {
        auto buffer = std::make_unique<KeepingBuffer>(buffers, dynamic);
        buffer->refuse = refuse_updates;
        keeping.push_back(buffer.get());
        return buffer;
    }
    // Every texture made, in order; owned by whoever asked.
    std::vector<MemoryTexture*> textures;
    std::vector<KeepingBuffer*> keeping;
    std::vector<vadu::pictureformat::Format> formats;
    bool refuse_updates = false;
};

class FontTest : public ::testing::Test {
protected:
    FontTest()
        : files_([root = temp_.root().string()] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((root + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          })
    {
        fs::create_directories(temp_.root() / "data/fonts");
        fs::copy_file(FONT_TEST_FACE, temp_.root() / "data/fonts/sans.ttf");
        hard::Manager::add_hardware(&hardware_);
        node::register_node_type("Node", &node::create_node_of_type<node::Node>);
        node::register_node_type("Text", &node::create_node_of_type<node::Text>);
    }
    ~FontTest() override
    {
        node::unregister_node_type("Text");
        node::unregister_node_type("Node");
        hard::Manager::notify_remove_hardware(&hardware_);
    }

    void write(const std::string& relative, const std::string& text) const
    {
        const fs::path path = temp_.root() / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    // A "TrueTypeFont" document over the test face with extra attributes.
    void write_true_type(const std::string& relative, const std::string& attributes = "Size=\"20\"") const
    {
        write(relative, "<TrueTypeFont Face=\"data/fonts/sans.ttf\" " + attributes + "/>");
    }

    std::unique_ptr<node::Node> load_scene(const std::string& body)
    {
        write("data/scene.xml", "<Scene>" + body + "</Scene>");
        return std::unique_ptr<node::Node>(
            node::create_from_resource("Loaded", nullptr, vadu::filesystem::String("data/scene.xml", true)));
    }

    static std::string save(node::Node& node)
    {
        struct Sink : vadu::xml::Sink {
            void write(const char* first, const char* last) override { text.append(first, last); }
            void flush() override {}
            std::string text;
        } sink;
        vadu::xml::save_document(sink, "Scene", node);
        return sink.text;
    }

    test_support::TempFolder temp_{"QuilloFont"};
    vadu::filesystem::Creator files_;
    test_support::LogCapture log_;
    vadu::animate::Soul::Creator souls_;
    TrueText::TextLibrary::Creator library_;
    hard::Manager::Creator devices_;
    TextHardware hardware_;
};

// Runs the call and returns the engine error it raised; fails the test when none.
template <class Call>
vadu::Gluck expect_gluck(Call call)
{
    try {
        call();
    } catch (const vadu::Gluck& error) {
        return error;
    }
    ADD_FAILURE() << "no vadu::Gluck raised";
    return vadu::Gluck("none", "none");
}

} // namespace font_test
