// Step time of the physics layer, measured against a peer in the same run:
//   (a) Box2D's own pyramid: 20 rows (210 boxes), 60 Hz, 8/3 iterations, sleeping off,
//       500 steps, straight on b2World;
//   (b) a level-sized world through physics::World: walls from a world file, 100 circles
//       (radius 35 px, mass 0.1) dropped in over time and linked by 85 px springs
//       (7.5 Hz, damping 0.5) to their neighbours within reach, 1,200 steps.
// Each run is replayed 5 times. Mean and p99 are over every step of every replay; the
// worst step takes each step's minimum over the replays (both runs are deterministic),
// which filters out preemption by other processes.
//
// Usage: physics_bench

#include "../support/figures.h"

#include <box2d/b2_body.h>
#include <box2d/b2_edge_shape.h>
#include <box2d/b2_fixture.h>
#include <box2d/b2_polygon_shape.h>
#include <box2d/b2_world.h>

#include "../support/step_timing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "physics/joint.h"
#include "physics/node.h"
#include "physics/world.h"
#include "platform/random.h"
#include "vadu/filesystem.h"

namespace {

using Clock = std::chrono::steady_clock;
using step_timing::Summary;
using step_timing::summarize;
constexpr int kReplays = 5;
constexpr float kStep = 1.0f / 60.0f;

template <class Step>
double timed(Step&& step)
{
    const auto start = Clock::now();
    step();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Serves the walls' world file from memory.
class WallsFileSystem : public vadu::filesystem::FileSystem {
public:
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String&) override
    {
        static const char text[] = R"(<World Gravity="0 -10" PixelsInMeter="30">
            <Box Name="floor" Size="1000 40"><Position Value="480 0"/></Box>
            <Box Name="left" Size="40 1400"><Position Value="0 700"/></Box>
            <Box Name="right" Size="40 1400"><Position Value="960 700"/></Box>
            </World>)";
        return std::make_unique<vadu::filesystem::MemoryStream>(std::vector<uint8_t>(text, text + sizeof text - 1));
    }
};

std::vector<double> run_level()
{
    auto world = physics::World::CreateFromResource(vadu::filesystem::String("walls.world", false));
    platform::seed_random(1);
    std::vector<physics::Node*> balls;
    std::set<std::pair<size_t, size_t>> linked;
    std::vector<double> times;
    times.reserve(1200);
    for (int step = 0; step < 1200; ++step) {
        // A ball every 8 steps from a cannon sweeping the top, like a level filling up.
        if (step % 8 == 0 && balls.size() < 100) {
            auto* ball = new physics::Circle(world.get(), 35.0f, {0.0f, 0.0f});
            ball->SetPosition({80.0f + static_cast<float>(platform::random() % 800), 1300.0f});
            ball->SetMass(0.1f);
            ball->GetBody()->SetLinearVelocity(b2Vec2(0.0f, -8.0f));
            balls.push_back(ball);
        }
        // Links to the neighbours within reach, as the level makes them.
        if (step % 30 == 29) {
            for (size_t i = 0; i < balls.size(); ++i) {
                for (size_t j = i + 1; j < balls.size(); ++j) {
                    const auto& p = balls[i]->GetPosition();
                    const auto& q = balls[j]->GetPosition();
                    if (std::hypot(p.x - q.x, p.y - q.y) > 85.0f || !linked.insert({i, j}).second)
                        continue;
                    auto* link = physics::DistanceJoint::Initialize(world.get(), balls[i], balls[j], p, q, 72.25f, 85.0f);
                    link->FrequencyHz = 7.5f;
                    link->DampingRatio = 0.5f;
                    link->Attach();
                }
            }
        }
        times.push_back(timed([&] { world->Step(kStep); }));
    }
    std::printf("  (%zu circles, %zu links, %d bodies awake at the end)\n", balls.size(), linked.size(),
                static_cast<int>(std::count_if(balls.begin(), balls.end(),
                                               [](physics::Node* n) { return n->GetBody()->IsAwake(); })));
    return times;
}

void print(const char* name, const Summary& summary)
{
    std::printf("%-34s mean %.4f ms   p99 %.4f ms   worst %.4f ms\n", name, summary.mean, summary.p99, summary.worst);
}

} // namespace

int main()
{
    vadu::filesystem::Creator files([] { return std::make_unique<WallsFileSystem>(); });
    std::vector<std::vector<double>> pyramid, level;
    for (int i = 0; i < kReplays; ++i)
        pyramid.push_back(step_timing::run_pyramid(kStep));
    for (int i = 0; i < kReplays; ++i)
        level.push_back(run_level());
    const Summary peer = summarize(pyramid);
    const Summary ours = summarize(level);
    print("Box2D pyramid (210 boxes, 500)", peer);
    print("level world via physics (1200)", ours);
    std::printf("level mean / pyramid mean: %.2f (target <= 0.75); level worst %.3f ms (target <= 1 ms)\n",
                ours.mean / peer.mean, ours.worst);
    bench_support::print_figure("physics level world step mean / box2d pyramid", ours.mean / peer.mean, "x",
                                "<= 0.75 x", ours.mean <= 0.75 * peer.mean);
    bench_support::print_figure("physics level world step worst", ours.worst, "ms", "<= 1 ms", ours.worst <= 1.0);
    return 0;
}
