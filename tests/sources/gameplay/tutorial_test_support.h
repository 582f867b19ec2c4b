#pragma once

// Shared by the tutorial tests: the gameplay fixture with the engine's node types and the
// tutorial ones registered, a bubble skin written into the test folder (corners 10 x 10,
// an arrow frame 30 x 40), a fake shell and level, and a framework screen whose pointer
// input the tests drive with scene coordinates.

#include <memory>
#include <string>

#include "game/screen.h"
#include "gameplay_test_support.h"
#include "sources/gameplay/tutorial_nodes.h"
#include "support/fake_gameplay.h"
#include "vadu/input.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/resource_loader.h"

namespace gameplay_test {

inline const char* const TestFrameAtlas = R"(<Atlas TextureSrc="data/tutorials/frame">
  <Frame Name="fill" X="10" Y="10" Width="10" Height="10"/>
  <Frame Name="cornerLB" X="0" Y="20" Width="10" Height="10"/>
  <Frame Name="cornerLT" X="0" Y="0" Width="10" Height="10"/>
  <Frame Name="cornerRB" X="20" Y="20" Width="10" Height="10"/>
  <Frame Name="cornerRT" X="20" Y="0" Width="10" Height="10"/>
  <Frame Name="sideB" X="10" Y="20" Width="10" Height="10"/>
  <Frame Name="sideT" X="10" Y="0" Width="10" Height="10"/>
  <Frame Name="sideL" X="0" Y="10" Width="10" Height="10"/>
  <Frame Name="sideR" X="20" Y="10" Width="10" Height="10"/>
  <Frame Name="arrow" X="32" Y="0" Width="30" Height="40"/>
</Atlas>)";

// The background loader that sprites queue their pictures at, over the test folder.
struct PictureLoading : vadu::resource::ActiveMultithreaded::Creator {
    explicit PictureLoading(const std::string& folder)
        : vadu::filesystem::Creator([folder] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((folder + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          })
    {
    }
};

class TutorialFixture : public GameplayTest {
protected:
    TutorialFixture() : loading_(std::make_unique<PictureLoading>(temp_.root().string()))
    {
        gameplay::RegisterTutorialNodes();
        gameplay::TutorialFrameSkin::Reset();
        write("data/tutorials/frame.atlas", TestFrameAtlas);
    }
    ~TutorialFixture() override
    {
        gameplay::TutorialFrameSkin::Reset();
        gameplay::UnregisterTutorialNodes();
    }

    vadu::input::Manager::Creator input_;
    std::unique_ptr<PictureLoading> loading_;
    // The loader brings a log of its own; this capture comes after it.
    test_support::LogCapture logged_;
    vadu::lib3d::node::NodeTypeRegistration nodeTypes_;
};

} // namespace gameplay_test
