// Frame time of a crowded running level, measured against a peer in the same run:
//   (a) Box2D's own pyramid: 20 rows (210 boxes), 60 Hz, 8/3 iterations, sleeping off,
//       500 steps, straight on b2World;
//   (b) a crowded running level: the shipped world file, four cannons filling the field
//       toward 100 shapes, links forming between neighbours, a tap on the first group
//       every ten seconds (chains, stars, lightning bonuses), the idle check held off,
//       2,400 frames of 1/60 s through Level::Update. The level runs without a scene: no
//       HUD, fish or decorations are drawn, so the frame is the gameplay's update alone.
// Each run is replayed 3 times. Mean and p99 are over every frame of every replay; the
// worst frame takes each frame's minimum over the replays (the runs are seeded), which
// filters out preemption by other processes. The physics::World::Step share is the step's
// part of the level's frame.
//
// Usage: level_bench

#include <box2d/b2_body.h>
#include <box2d/b2_edge_shape.h>
#include <box2d/b2_fixture.h>
#include <box2d/b2_polygon_shape.h>
#include <box2d/b2_world.h>

#include "../support/step_timing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/random.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_loader.h"
#include "sources/gameplay/shell_services.h"
#include "vadu/animate/soul.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/input.h"

namespace {

using Clock = std::chrono::steady_clock;
using step_timing::Summary;
using step_timing::summarize;
constexpr int kReplays = 3;
constexpr int kFrames = 2400;
constexpr float kStep = 1.0f / 60.0f;

std::string crowded_level()
{
    std::string cannons;
    for (int i = 0; i < 4; ++i) {
        cannons += "<Item Name=\"Cannon" + std::to_string(i) + "\"><Position><X>" + std::to_string(60 + 230 * i) +
                   "</X><Y>-120</Y></Position><Width>150</Width><Height>40</Height><CustomProperties>"
                   "<Property Name=\"weight\"><string>1</string></Property></CustomProperties></Item>";
    }
    return R"(<Level><Layers><Layer Name="Boundaries"><Items><Item Name="BoundariesRectangle">
        <Position><X>0</X><Y>0</Y></Position><Width>960</Width><Height>640</Height></Item></Items></Layer>
        <Layer Name="Cannons"><Items><Item Name="DefaultDestination"><Position><X>40</X><Y>200</Y></Position>
        <Width>880</Width><Height>420</Height></Item>)" +
           cannons + R"(</Items></Layer></Layers><CustomProperties>
        <Property Name="maxShapeCount"><string>100</string></Property>
        <Property Name="starCountGoal"><string>0</string></Property>
        <Property Name="levelEnergy"><string>0</string></Property>
        <Property Name="probabilityRock"><string>3</string></Property>
        <Property Name="probabilitySoapBubblePowerup"><string>3</string></Property>
        </CustomProperties></Level>)";
}

gameplay::Shape* first_group(gameplay::Level& level)
{
    for (gameplay::Shape* shape : level.shapes) {
        if (!shape->IsDead() && shape->IsKind(0) && gameplay::ShapeList::Collect(*shape).size() >= 2)
            return shape;
    }
    return nullptr;
}

void run_level(std::vector<double>& frames, std::vector<double>& steps, size_t& most_shapes)
{
    platform::seed_random(5);
    const std::string text = crowded_level();
    std::unique_ptr<gameplay::Level> level;
    {
        gameplay::LevelLoader loader(text.data(), text.size());
        level = loader.CreateLevel();
    }
    level->makeHud = false;
    level->Start(nullptr, nullptr);
    for (int frame = 1; frame <= kFrames; ++frame) {
        const auto start = Clock::now();
        if (frame % 600 == 0) {
            if (gameplay::Shape* target = first_group(*level))
                level->Tap(target->GetPosition());
        }
        // The field must stay in play: no stuck-field ending while it fills.
        level->idleTimer = 0.0f;
        level->Update(kStep);
        frames.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        steps.push_back(level->GetLastStepMilliseconds());
        most_shapes = std::max(most_shapes, level->shapes.size());
    }
    level.reset();
    ActionManager::ResetGlobal();
}

} // namespace

int main()
{
    // The source tree's data folder.
    vadu::filesystem::Creator files([] {
        return std::make_unique<vadu::filesystem::PathFileSystem>(
            vadu::filesystem::String((std::string(QUILLO_DATA_SOURCE) + "/../").c_str(), false),
            std::make_unique<vadu::filesystem::NativeFileSystem>());
    });
    vadu::animate::Soul::Creator souls;
    vadu::input::Manager::Creator input;

    std::vector<std::vector<double>> pyramid;
    std::vector<std::vector<double>> frames(kReplays);
    std::vector<std::vector<double>> steps(kReplays);
    size_t most_shapes = 0;
    try {
        for (int replay = 0; replay < kReplays; ++replay) {
            pyramid.push_back(step_timing::run_pyramid(kStep));
            run_level(frames[replay], steps[replay], most_shapes);
        }
    } catch (const vadu::Gluck& gluck) {
        std::fprintf(stderr, "level_bench: %s: %s\n", gluck.get_function().c_str(), gluck.get_description().c_str());
        return 1;
    }
    gameplay::CheatCodes::ResetForTests();

    const Summary peer = summarize(pyramid);
    const Summary frame = summarize(frames);
    const Summary step = summarize(steps);
    std::printf("level_bench: %zu shapes at most, %d frames x %d replays\n", most_shapes, kFrames, kReplays);
    std::printf("  box2d pyramid step  mean %.3f ms  p99 %.3f ms  worst %.3f ms\n", peer.mean, peer.p99, peer.worst);
    std::printf("  level frame         mean %.3f ms  p99 %.3f ms  worst %.3f ms  (target <= 8 ms)\n", frame.mean,
                frame.p99, frame.worst);
    std::printf("  world step          mean %.3f ms  p99 %.3f ms  worst %.3f ms  share %.0f%%\n", step.mean, step.p99,
                step.worst, frame.mean > 0.0 ? 100.0 * step.mean / frame.mean : 0.0);
    std::printf("  targets: worst step <= 1 ms: %s; mean step <= 0.75 x pyramid (%.3f ms): %s; frame <= 8 ms: %s\n",
                step.worst <= 1.0 ? "met" : "MISSED", 0.75 * peer.mean, step.mean <= 0.75 * peer.mean ? "met" : "MISSED",
                frame.worst <= 8.0 ? "met" : "MISSED");
    return 0;
}
