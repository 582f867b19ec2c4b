#pragma once

// Shared by the framework tests: files in a temporary folder served through the engine's
// file system, the engine creators a screen needs, the engine node types, and a record of
// the diagnostic checks that fired.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "game/diagnostics.h"
#include "vadu/animate/soul.h"
#include "vadu/dictionary.h"
#include "vadu/filesystem.h"
#include "vadu/input.h"
#include "vadu/lib3d/node/registry.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace framework_test {

inline std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

class FrameworkTest : public ::testing::Test {
protected:
    FrameworkTest()
        : files_([root = temp_.root().string()] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((root + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          })
    {
        game::set_diagnostic_observer(
            [this](const char* message, const char*, int) { diagnostics.push_back(message); });
    }
    ~FrameworkTest() override
    {
        game::set_diagnostic_observer(nullptr);
    }

    void write(const std::string& relative, const std::string& text) const
    {
        const std::filesystem::path path = temp_.root() / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    static vadu::filesystem::String path(const char* text) { return vadu::filesystem::String(text, true); }
    bool fired(const std::string& message) const
    {
        for (const auto& seen : diagnostics)
            if (seen == message)
                return true;
        return false;
    }

    test_support::TempFolder temp_{"QuilloFramework"};
    vadu::filesystem::Creator files_;
    test_support::LogCapture log_;
    vadu::animate::Soul::Creator souls_;
    vadu::DictionaryHolder::Creator dictionary_;
    vadu::input::Manager::Creator input_;
    vadu::lib3d::node::NodeTypeRegistration node_types_;
    std::vector<std::string> diagnostics;
};

} // namespace framework_test
