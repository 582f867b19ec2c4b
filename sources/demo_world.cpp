#include "sources/demo_world.h"

#include <algorithm>

#include "physics/node.h"
#include "physics/world.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "vadu/lib3d/node/node.h"

namespace {

constexpr double kStep = 1.0 / 60.0;
// A long stall is not caught up step by step.
constexpr double kMostPending = 0.5;

const vadu::Atom& SwayTag()
{
    static const vadu::Atom tag("DemoSway");
    return tag;
}

} // namespace

DemoWorld::DemoWorld(vadu::lib3d::node::Node* scene_root)
    : world_(physics::World::CreateFromResource(vadu::filesystem::String("data/demo/demo.world", true)))
{
    for (physics::Node* node : world_->GetNodes())
        node->SetRootNode(scene_root);
    swaying_ = scene_root->find_child(vadu::Atom("Pause"), true);
    if (swaying_)
        Sway();
}

DemoWorld::~DemoWorld()
{
    // The sway's callback points here: it must not outlive the demo.
    if (swaying_)
        ActionManager::Global().StopAction(swaying_, SwayTag());
}

void DemoWorld::Sway()
{
    const vadu::math::Vector3 start = swaying_->get_position();
    const float dx = sway_out_ ? 90.0f : -90.0f;
    sway_out_ = !sway_out_;
    auto* move = new MoveAction(swaying_, 1.5f, start, {start.x + dx, start.y, start.z});
    move->SetEasing(new EaseSineInOut);
    move->SetOnFinished([this](BaseAnimation*) { Sway(); });
    ActionManager::Global().RunAction(swaying_, move, SwayTag());
}

void DemoWorld::Update(double seconds)
{
    pending_ = std::min(pending_ + seconds, kMostPending);
    while (pending_ >= kStep) {
        world_->Step(kStep);
        pending_ -= kStep;
    }
    ActionManager::Global().Update(static_cast<float>(seconds));
}
