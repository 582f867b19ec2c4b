// The demo's playing field over the program's data folder: the balls fall onto the floor
// and stay there, the linked pair keeps near its link's length, the pause button sways.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "physics/node.h"
#include "physics/world.h"
#include "fixtures/demo_world.h"
#include "sources/gameplay/action_manager.h"
#include "support/log_capture.h"
#include "vadu/animate/soul.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/node/node.h"

namespace {

using vadu::lib3d::node::Node;

class DemoWorldTest : public ::testing::Test {
protected:
    DemoWorldTest()
        : files_([] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((std::string(QUILLO_PROGRAM_FOLDER) + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          }),
          root_(std::make_unique<Node>("root", nullptr))
    {
        ActionManager::ResetGlobal();
        for (const char* name : {"BallA", "BallB", "BallC"})
            new Node(name, root_.get());
        pause_ = new Node("Pause", root_.get());
        pause_->set_position({-210.0f, -210.0f, -60.0f});
    }
    ~DemoWorldTest() override { ActionManager::ResetGlobal(); }

    Node& child(const char* name) { return *root_->find_child(vadu::Atom(name), true); }

    vadu::filesystem::Creator files_;
    test_support::LogCapture log_;
    vadu::animate::Soul::Creator souls_;
    std::unique_ptr<Node> root_;
    Node* pause_;
};

TEST_F(DemoWorldTest, BallsFallOntoTheFloorAndTheLinkHolds)
{
    DemoWorld demo(root_.get());
    ASSERT_EQ(demo.GetWorld().GetJoints().size(), 1u);
    for (int frame = 0; frame < 180; ++frame)
        demo.Update(1.0 / 30.0);
    for (const char* name : {"BallA", "BallB", "BallC"}) {
        const float y = child(name).get_position().y;
        // Resting on the floor (its top at -230, radius 24), or on another ball.
        EXPECT_GT(y, -230.0f) << name;
        EXPECT_LT(y, -100.0f) << name;
        EXPECT_LT(std::fabs(child(name).get_position().x), 360.0f) << name;
    }
    const auto& a = child("BallA").get_position();
    const auto& b = child("BallB").get_position();
    EXPECT_NEAR(std::hypot(a.x - b.x, a.y - b.y), 85.0f, 15.0f);
    EXPECT_NE(pause_->get_position().x, -210.0f);
    EXPECT_EQ(pause_->get_position().y, -210.0f);
}

TEST_F(DemoWorldTest, AMissingSpriteIsAnError)
{
    delete &child("BallB");
    EXPECT_THROW(DemoWorld demo(root_.get()), vadu::Gluck);
}

} // namespace
