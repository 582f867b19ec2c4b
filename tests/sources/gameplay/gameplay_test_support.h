#pragma once

// Shared by the gameplay tests: scene nodes that note their attribute changes, a recording
// action, and the souls, files and a fresh global action manager every test starts with.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sources/gameplay/action.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/shared_animations.h"
#include "vadu/animate/soul.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/node/node.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace gameplay_test {

using vadu::lib3d::node::Node;

inline std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// A node that keeps the last value of each double attribute written to it.
class RecordingNode : public Node {
public:
    RecordingNode(const char* name, Node* parent) : Node(name, parent) {}

    using Node::change_attribute;
    bool change_attribute(const vadu::Atom& name, double value) override
    {
        const std::string key = to_std(name.get_name());
        if (key == "Transparency")
            transparency = value;
        else if (key == "SpecularLevel")
            specular = value;
        else
            return Node::change_attribute(name, value);
        return true;
    }

    double transparency = -1.0;
    double specular = -1.0;
};

// An action that notes what is done to it, into a journal shared by the test.
class Probe : public BaseAnimation {
public:
    Probe(std::vector<std::string>& journal, std::string name, float duration = 1.0f, const void* target = nullptr)
        : BaseAnimation(duration), journal_(journal), name_(std::move(name)), target_(target)
    {
    }
    ~Probe() override { journal_.push_back(name_ + ":deleted"); }

    void* GetTarget() override { return const_cast<void*>(target_); }
    void Start() override { journal_.push_back(name_ + ":start"); }
    void Apply(float p) override
    {
        journal_.push_back(name_ + ":" + std::to_string(p).substr(0, 4));
        progress.push_back(p);
    }
    void Finish() override
    {
        journal_.push_back(name_ + ":finish");
        BaseAnimation::Finish();
    }

    std::vector<float> progress;

private:
    std::vector<std::string>& journal_;
    std::string name_;
    const void* target_;
};

class GameplayTest : public ::testing::Test {
protected:
    GameplayTest()
        : files_([root = temp_.root().string()] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((root + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          })
    {
        ActionManager::ResetGlobal();
        SharedAnimations::Reset();
    }
    ~GameplayTest() override
    {
        ActionManager::ResetGlobal();
        SharedAnimations::Reset();
    }

    void write(const std::string& relative, const std::string& text) const
    {
        const std::filesystem::path path = temp_.root() / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    void remove(const std::string& relative) const { std::filesystem::remove(temp_.root() / relative); }

    ActionManager& manager() { return ActionManager::Global(); }

    test_support::TempFolder temp_{"QuilloGameplay"};
    vadu::filesystem::Creator files_;
    test_support::LogCapture log_;
    vadu::animate::Soul::Creator souls_;
    std::vector<std::string> journal;
};

} // namespace gameplay_test
