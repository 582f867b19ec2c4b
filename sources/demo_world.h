#pragma once

// The demo's playing field: balls bound to sprites of the demo scene fall, bounce and
// spring on a link, and a tween sways the pause button to and fro. Stands in for the
// level until the game's screens exist.

#include <memory>

namespace vadu::lib3d::node {
class Node;
}
namespace physics {
class World;
}

class DemoWorld {
public:
    // Loads "data/demo/demo.world" and binds its bodies to the sprites below the scene
    // root. Throws vadu::GluckBadResource for a missing or broken world file and
    // vadu::Gluck for a sprite the file names but the scene lacks.
    explicit DemoWorld(vadu::lib3d::node::Node* scene_root);
    ~DemoWorld();
    DemoWorld(const DemoWorld&) = delete;
    DemoWorld& operator=(const DemoWorld&) = delete;

    // Steps the world at a fixed 60 Hz over the time given (so a replay with the same
    // frame times gives the same picture), then the running actions.
    void Update(double seconds);

    physics::World& GetWorld() const { return *world_; }

private:
    // Sends the pause button to the other end of its path, and back when it arrives.
    void Sway();

    std::unique_ptr<physics::World> world_;
    vadu::lib3d::node::Node* swaying_ = nullptr;
    bool sway_out_ = true;
    double pending_ = 0.0;
};
