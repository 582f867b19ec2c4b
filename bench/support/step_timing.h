#pragma once

// What the physics and level benchmarks share: the summary of step times over replays, and
// Box2D's own pyramid (20 rows, 210 boxes, 60 Hz, 8/3 iterations, sleeping off), the peer
// both print beside their own figures.

#include <box2d/b2_body.h>
#include <box2d/b2_edge_shape.h>
#include <box2d/b2_fixture.h>
#include <box2d/b2_polygon_shape.h>
#include <box2d/b2_world.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace step_timing {

using Clock = std::chrono::steady_clock;

struct Summary {
    double mean = 0.0;
    double p99 = 0.0;
    // The worst step, each step taken at its best over the replays.
    double worst = 0.0;
};

// times[replay][step] in milliseconds; every replay has the same number of steps.
inline Summary summarize(const std::vector<std::vector<double>>& times)
{
    std::vector<double> all;
    for (const auto& replay : times)
        all.insert(all.end(), replay.begin(), replay.end());
    Summary summary;
    for (double t : all)
        summary.mean += t;
    summary.mean /= static_cast<double>(all.size());
    std::sort(all.begin(), all.end());
    summary.p99 = all[std::min(all.size() - 1, static_cast<size_t>(0.99 * static_cast<double>(all.size())))];
    for (size_t step = 0; step < times[0].size(); ++step) {
        double best = times[0][step];
        for (const auto& replay : times)
            best = std::min(best, replay[step]);
        summary.worst = std::max(summary.worst, best);
    }
    return summary;
}

// 500 steps of the pyramid, each timed in milliseconds.
inline std::vector<double> run_pyramid(float step)
{
    b2World world(b2Vec2(0.0f, -10.0f));
    world.SetAllowSleeping(false);
    {
        b2BodyDef definition;
        b2Body* ground = world.CreateBody(&definition);
        b2EdgeShape shape;
        shape.SetTwoSided(b2Vec2(-40.0f, 0.0f), b2Vec2(40.0f, 0.0f));
        ground->CreateFixture(&shape, 0.0f);
    }
    b2PolygonShape box;
    box.SetAsBox(0.5f, 0.5f);
    b2Vec2 x(-7.0f, 0.75f);
    for (int i = 0; i < 20; ++i) {
        b2Vec2 y = x;
        for (int j = i; j < 20; ++j) {
            b2BodyDef definition;
            definition.type = b2_dynamicBody;
            definition.position = y;
            world.CreateBody(&definition)->CreateFixture(&box, 5.0f);
            y += b2Vec2(1.125f, 0.0f);
        }
        x += b2Vec2(0.5625f, 1.25f);
    }
    std::vector<double> times;
    times.reserve(500);
    for (int i = 0; i < 500; ++i) {
        const auto start = Clock::now();
        world.Step(step, 8, 3);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return times;
}

} // namespace step_timing
