#pragma once

// Shared by the physics tests: world files written into a temporary folder and served
// through the engine's file system, with the souls that scene nodes need.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "physics/factory.h"
#include "physics/joint.h"
#include "physics/node.h"
#include "physics/world.h"
#include "vadu/animate/soul.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/node/node.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace physics_test {

inline std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

class PhysicsTest : public ::testing::Test {
protected:
    PhysicsTest()
        : files_([root = temp_.root().string()] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((root + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          })
    {
    }

    void write(const std::string& relative, const std::string& text) const
    {
        const std::filesystem::path path = temp_.root() / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    // Loads the text as a world file.
    std::unique_ptr<physics::World> load(const std::string& text)
    {
        write("test.world", text);
        return physics::World::CreateFromResource(vadu::filesystem::String("test.world", false));
    }

    test_support::TempFolder temp_{"QuilloPhysics"};
    vadu::filesystem::Creator files_;
    test_support::LogCapture log_;
    vadu::animate::Soul::Creator souls_;
};

// A dynamic circle of the level's kind: radius 35 px, mass 0.1, centred, at a pixel position.
inline physics::Circle* make_ball(physics::World& world, float x, float y, float radius = 35.0f, float mass = 0.1f)
{
    auto* ball = new physics::Circle(&world, radius, {0.0f, 0.0f});
    ball->SetPosition({x, y});
    ball->SetMass(mass);
    return ball;
}

} // namespace physics_test
