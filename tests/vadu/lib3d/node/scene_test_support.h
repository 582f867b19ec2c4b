#pragma once

// Shared by the node tests: a recording node type, scene files in a temporary folder
// served through the engine's file system, and the souls and log the nodes need.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "vadu/animate/soul.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/hard/render_fakes.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/log.h"
#include "vadu/xml_writer.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace scene_test {

namespace fs = std::filesystem;
using vadu::Atom;
using vadu::lib3d::node::LoadingRoot;
using vadu::lib3d::node::Node;
using vadu::math::Matrix4;
using vadu::math::Vector3;

inline std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

inline std::string name_of(const Node& node)
{
    return to_std(node.get_name().get_name());
}

// A node type of the tests ("Recorder"): notes every render walk that reaches it and adds
// one render record carrying its global matrix; reads and writes a "Tag" of its own.
class RecordingNode : public Node {
public:
    RecordingNode(const Atom& name, Node* parent) : Node(name, parent) { element_name_ = Atom("Recorder"); }
    RecordingNode(const RecordingNode&) = default;

    Atom get_type_name() const override
    {
        static const Atom type("Recorder");
        return type;
    }
    Node* clone() const override { return new RecordingNode(*this); }

    void render_to_list(vadu::lib3d::hard::Hardware& hardware, vadu::lib3d::hard::RenderList& list) override
    {
        if (journal)
            journal->push_back(name_of(*this));
        vadu::lib3d::hard::RenderRecord record;
        record.world = get_cached_global_matrix();
        list.add_record(record);
        Node::render_to_list(hardware, list);
    }

    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override
    {
        if (name == "Tag") {
            tag = to_std(value);
            return true;
        }
        return Node::OnAttribute(provider, name, value);
    }
    void OnSaveAttributes(vadu::xml::Saver& saver) override
    {
        Node::OnSaveAttributes(saver);
        if (!tag.empty())
            saver.write_attribute("Tag", tag.c_str());
    }

    std::string tag;
    // Where render walks are noted; null notes nothing.
    static inline std::vector<std::string>* journal = nullptr;
};

using test_support::LogCapture;
using test_support::TempFolder;

// A sink that keeps the written XML.
class TextSink : public vadu::xml::Sink {
public:
    void write(const char* first, const char* last) override { text.append(first, last); }
    void flush() override {}
    std::string text;
};

// Everything a scene needs: souls, a file system over a temporary folder, a quiet log
// and the registered types "Node" and "Recorder".
class SceneTest : public ::testing::Test {
protected:
    SceneTest()
        : files_([root = temp_.root().string()] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((root + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          })
    {
        vadu::lib3d::node::register_node_type("Node", &vadu::lib3d::node::create_node_of_type<Node>);
        vadu::lib3d::node::register_node_type("Recorder", &vadu::lib3d::node::create_node_of_type<RecordingNode>);
        RecordingNode::journal = &journal;
    }
    ~SceneTest() override
    {
        RecordingNode::journal = nullptr;
        vadu::lib3d::node::unregister_node_type("Recorder");
        vadu::lib3d::node::unregister_node_type("Node");
    }

    void write(const std::string& relative, const std::string& text) const
    {
        const fs::path path = temp_.root() / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    static vadu::filesystem::String path(const char* text) { return vadu::filesystem::String(text, true); }

    std::unique_ptr<Node> load(const char* file, const char* name = "Loaded", Node* parent = nullptr)
    {
        return std::unique_ptr<Node>(vadu::lib3d::node::create_from_resource(name, parent, path(file)));
    }

    // The node saved as the root element "Scene".
    static std::string save(Node& node)
    {
        TextSink sink;
        vadu::xml::save_document(sink, "Scene", node);
        return sink.text;
    }

    TempFolder temp_{"QuilloScene"};
    vadu::filesystem::Creator files_;
    LogCapture log_;
    vadu::animate::Soul::Creator souls_;
    std::vector<std::string> journal;
};

// Element-wise comparison with a tolerance.
inline ::testing::AssertionResult matrices_near(const Matrix4& actual, const Matrix4& expected, float tolerance = 1e-4f)
{
    for (int i = 0; i < 16; ++i) {
        if (!(std::fabs(actual[i] - expected[i]) <= tolerance)) {
            return ::testing::AssertionFailure()
                   << "element " << i << ": " << actual[i] << " instead of " << expected[i];
        }
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult vectors_near(const Vector3& actual, const Vector3& expected, float tolerance = 1e-4f)
{
    if (std::fabs(actual.x - expected.x) <= tolerance && std::fabs(actual.y - expected.y) <= tolerance &&
        std::fabs(actual.z - expected.z) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << actual.x << ", " << actual.y << ", " << actual.z << ") instead of ("
                                         << expected.x << ", " << expected.y << ", " << expected.z << ")";
}

// A translation, Euler rotation and scale as one matrix, built independently of the node.
inline Matrix4 compose(const Vector3& position, const Vector3& rotation, const Vector3& scale)
{
    Matrix4 m = Matrix4::rotation(rotation.x, rotation.y, rotation.z);
    for (int row = 0; row < 3; ++row) {
        m[row * 4 + 0] *= scale.x;
        m[row * 4 + 1] *= scale.y;
        m[row * 4 + 2] *= scale.z;
    }
    m[3] = position.x;
    m[7] = position.y;
    m[11] = position.z;
    return m;
}

} // namespace scene_test
