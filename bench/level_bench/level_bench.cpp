// Frame time of a player's frame: a level played in the real in-level screen
// (data/screens/game.screen with its GameScreen backend, scene, HUD and windows) over the
// program's data, drawn by the graphics device and shown in a window of a virtual display
// of the bench's own (Xvfb), the windowed present included. Two levels:
//   - stress: four cannons fill the field toward 100 shapes (star goal 1000), a thin water
//     strip rises and falls along the floor;
//   - shipped-like: what the shipped levels reach at most, three cannons toward 30 shapes
//     (star goal 30), water rising and falling over the lower part of the field;
// in both, links form between neighbours, fish jump after taps, a tap on the first group
// every ten seconds (chains, stars, lightning bonuses), the idle check held off. Each level
// is drawn at 1024 x 768 and 1920 x 1080, on one drawing thread and on all the process may
// use (its CPU affinity), the shipped-like level at 1920 x 1080 also on two. Each frame of
// 1/60 s is what the program's main loop does: the window's messages, the souls, the
// screen's update (controls, then the level), the pictures' loading pass, then
// start_frame, Screen::Render (Hardware::render) and finish_frame (the present, which
// does not wait for the display's refresh here: QUILLO_VSYNC=0).
// Without Xvfb the frames are drawn headless, and the figures that include the windowed
// present say they are skipped.
//
// Beside them, as before, Box2D's own pyramid (20 rows, 210 boxes, 60 Hz, 8/3 iterations,
// sleeping off, 500 steps, straight on b2World) is the peer of the physics step.
//
// Each run is replayed; mean and p99 are over every frame of every replay; the worst frame
// takes each frame's minimum over the replays (the runs are seeded), which filters out
// preemption by other processes. The world step's share is its part of the whole frame.
//
// Usage: level_bench [frames] [replays]      (defaults 1200 and 2)

#include "../support/figures.h"
#include "../support/virtual_display.h"
#include "../support/step_timing.h"
#include "level_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <SDL2/SDL.h>

#include "game/screen.h"
#include "game/scheduler.h"
#include "game/screen_definition.h"
#include "game/screen_manager.h"
#include "game/service_provider.h"
#include "game/text_service.h"
#include "platform/gfx/device.h"
#include "platform/gfx/raster.h"
#include "platform/random.h"
#include "platform/window.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/game_screen.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/shared_animations.h"
#include "sources/gameplay/shell_services.h"
#include "sources/gameplay/tutorial_nodes.h"
#include "text/TextLibrary.h"
#include "vadu/animate/soul.h"
#include "vadu/dictionary.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/input.h"
#include "vadu/log.h"
#include "vadu/lib3d/app/application.h"
#include "vadu/lib3d/hard/directx8/creator.h"
#include "vadu/lib3d/hard/directx8/hardware.h"
#include "vadu/lib3d/material/atlas.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/resource_loader.h"
#include "vadu/time.h"
#include "vadu/xml_reader.h"

namespace {

namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;

using Clock = std::chrono::steady_clock;
using step_timing::Summary;
using step_timing::summarize;
constexpr int kTapEvery = 600;
constexpr float kStep = 1.0f / 60.0f;
constexpr const char* kLevelPath = "levels/bench_crowded.xml";

struct LevelKind {
    const char* name;
    int cannons;
    int shapes;
    int goal;
    // The water's rectangle and how far it rises.
    int water_top;
    int water_height;
    int water_raise;
};
constexpr LevelKind kStress{"stress", 4, 100, 1000, 637, 3, 4};
constexpr LevelKind kShippedLike{"shipped-like", 3, 30, 30, 560, 80, 120};
const LevelKind* current_level = &kStress;

double since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string level_xml(const LevelKind& kind)
{
    using level_writer::Item;
    using level_writer::Rect;
    level_writer::LevelText level;
    level.Layer("Boundaries", Item("BoundariesRectangle", Rect(0, 0, 960, 640)));
    std::string cannons = Item("DefaultDestination", Rect(40, 200, 880, 340));
    const int spacing = 920 / kind.cannons;
    for (int i = 0; i < kind.cannons; ++i) {
        cannons += Item("Cannon" + std::to_string(i),
                        Rect(60 + spacing * i, -120, spacing * 2 / 3, 40) +
                            "<CustomProperties><Property Name=\"weight\"><string>1</string></Property></CustomProperties>");
    }
    level.Layer("Cannons", cannons);
    level.Layer("Water", Item("WaterRectangle", Rect(0, kind.water_top, 960, kind.water_height)));
    level.Layer("LandDecorations",
                Item("Island1", "<Position><X>180</X><Y>560</Y></Position>"
                                "<asset_name>decorations/symbols/IslandSymbol1</asset_name>") +
                    Item("Tree1", "<Position><X>820</X><Y>520</Y></Position>"
                                  "<asset_name>decorations/symbols/TreeSymbol2</asset_name>"));
    level.Property("maxShapeCount", kind.shapes);
    level.Property("starCountGoal", kind.goal);
    level.Property("levelEnergy", 0);
    level.Property("probabilityRock", 3);
    level.Property("probabilitySoapBubblePowerup", 3);
    level.Property("probabilityFishSpawn", 1);
    level.Property("waterLevelRaise", kind.water_raise);
    level.Property("waterUpTime", 4);
    level.Property("waterDownTime", 4);
    level.Property("waterUpTransitionTime", 0.5);
    level.Property("backgroundType", "BackgroundDay");
    return level.Text();
}

// The level being measured as a file of the levels folder; every other name goes on.
class BenchLevelFile : public vadu::filesystem::FileSystem {
public:
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String& path) override
    {
        const std::string name = path.c_str();
        const std::string wanted = kLevelPath;
        if (name.size() < wanted.size() || name.compare(name.size() - wanted.size(), wanted.size(), wanted) != 0)
            return nullptr;
        const std::string text = level_xml(*current_level);
        return std::make_unique<vadu::filesystem::MemoryStream>(std::vector<uint8_t>(text.begin(), text.end()));
    }
};

// The default services with the crowded level as the current one.
class BenchShell : public gameplay::DefaultShellServices {
public:
    BenchShell()
    {
        level_.number = 1;
        level_.fileName = "bench_crowded";
        level_.locked = 0;
        level_.type = "Day";
    }
    gameplay::LevelProfile* CurrentLevel() override { return &level_; }

private:
    gameplay::LevelProfile level_;
};

// The program's data folder (as the build assembles it) behind the level file, with the
// picture loader, the souls, fonts, phrases and input.
struct Services : vadu::resource::ActiveMultithreaded::Creator, vadu::animate::Soul::Creator {
    Services()
        : vadu::filesystem::Creator([] {
              auto files = std::make_unique<vadu::filesystem::CompositeFileSystem>();
              files->add(std::make_unique<BenchLevelFile>());
              files->add(std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((std::string(QUILLO_PROGRAM_DATA_PARENT) + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>()));
              return files;
          })
    {
    }
    TrueText::TextLibrary::Creator fonts;
    vadu::DictionaryHolder::Creator dictionary;
    vadu::input::Manager::Creator input;
};

// A window of the given client size with the graphics device's hardware; shown, without a
// frame, on a display, else headless.
class Display {
public:
    Display(int width, int height)
    {
        platform::register_window_class("level bench", platform::default_window_procedure);
        window_ = platform::create_window("level bench", "level bench", platform::ws::POPUP, 0, 0, width, height);
        factory_ = gfx::create_factory(gfx::sdk_version);
        if (!window_ || !factory_)
            throw vadu::Gluck("level_bench", "no window or graphics device");
        platform::show_window(window_, platform::sw::SHOW);
        gfx::Caps caps;
        factory_->get_device_caps(0, gfx::DeviceType::hal, &caps);
        hardware_ = std::make_unique<hard::directx8::Hardware>(factory_, 0, hard::directx8::read_capability_rows(caps));
        if (!hardware_->set_mode_internal(window_, {"No (Window mode)", "0", "0", "None"}))
            throw vadu::Gluck("level_bench", "the window mode did not open");
        if (hardware_->get_width() != width || hardware_->get_height() != height)
            throw vadu::Gluck("level_bench", "the window did not get the size asked for (the display is too small?)");
        hard::Manager::add_hardware(hardware_.get());
    }
    ~Display()
    {
        hard::Manager::notify_remove_hardware(hardware_.get());
        hardware_.reset();
        factory_->release();
        platform::destroy_window(window_);
    }
    hard::Hardware& hardware() { return *hardware_; }

private:
    hard::Manager::Creator devices_;
    platform::WindowHandle window_ = nullptr;
    gfx::Factory* factory_ = nullptr;
    std::unique_ptr<hard::directx8::Hardware> hardware_;
};

std::unique_ptr<game::Screen> build_screen(game::ServiceProvider& provider)
{
    game::ScreenBackendFactory backends;
    backends.RegisterBackendCreator("GameScreen", &gameplay::GameScreen_Create);
    game::ScreenDefinition definition(backends);
    const vadu::filesystem::String path("data/screens/game.screen", true);
    std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
    if (!stream)
        throw vadu::Gluck("level_bench", "data/screens/game.screen not found");
    vadu::xml::StreamResource resource(stream.get(), path);
    vadu::xml::Root root(definition, "Screen");
    if (!resource.load(root))
        throw vadu::Gluck("level_bench", "data/screens/game.screen did not load");
    return definition.CreateScreen(&provider);
}

gameplay::Shape* first_group(gameplay::Level& level)
{
    for (gameplay::Shape* shape : level.shapes) {
        if (!shape->IsDead() && shape->IsKind(gameplay::ShapeKind::Monster) &&
            static_cast<int>(gameplay::ShapeList::Collect(*shape).size()) >= level.settings.minChain)
            return shape;
    }
    return nullptr;
}

struct Peaks {
    size_t shapes = 0;
    size_t fish = 0;
    size_t links = 0;
};

// One replay's times in milliseconds: whole frames, their presents, the world's steps.
struct Times {
    std::vector<double> frames;
    std::vector<double> presents;
    std::vector<double> steps;
};

void run_level(hard::Hardware& hardware, int frame_count, Times& times, Peaks& peaks)
{
    platform::seed_random(5);
    // The services a screen of the game finds: the scheduler that initialises it, phrases,
    // the screen manager (asked for only by buttons the bench never clicks).
    game::ServiceProvider provider;
    auto scheduler = std::make_unique<game::SchedulerService>();
    game::SchedulerService& posted = *scheduler;
    provider.Register<game::SchedulerService>(std::move(scheduler));
    auto phrases = std::make_unique<game::TextServiceImpl>();
    auto strings = vadu::filesystem::open(vadu::filesystem::String("data/strings.xml", true));
    if (!strings || !phrases->Load(*strings))
        throw vadu::Gluck("level_bench", "data/strings.xml did not load");
    provider.Register<game::TextService>(std::move(phrases));
    provider.Register<game::ScreenManager>(std::make_unique<game::ScreenManager>());

    std::unique_ptr<game::Screen> screen = build_screen(provider);
    auto* backend = dynamic_cast<gameplay::GameScreen*>(screen->GetBackend());
    if (backend == nullptr)
        throw vadu::Gluck("level_bench", "the screen has no GameScreen backend");
    posted.Advance(0.0);
    if (backend->GetLevel() == nullptr)
        throw vadu::Gluck("level_bench", "the screen started no level");
    gameplay::Level& level = *backend->GetLevel();
    for (int frame = 1; frame <= frame_count; ++frame) {
        const auto start = Clock::now();
        platform::Message message;
        while (platform::peek_message(&message, nullptr, 0, 0, true))
            platform::dispatch_message(message);
        if (frame % kTapEvery == 0) {
            if (gameplay::Shape* target = first_group(level))
                level.Tap(target->GetPosition());
        }
        // The field must stay in play: no stuck-field ending while it fills.
        level.idleTimer = 0.0f;
        vadu::animate::Soul::update_all(kStep);
        posted.Advance(kStep);
        screen->Update(kStep);
        const int64_t now = vadu::time::get_ticks();
        vadu::lib3d::material::load_texture_simple_reps(now, 1.0);
        vadu::lib3d::material::load_texture_atlas_reps(now, 1.0);
        double present = 0.0;
        if (hardware.start_frame()) {
            screen->Render(hardware, nullptr);
            const auto shown = Clock::now();
            hardware.finish_frame();
            present = since(shown);
        }
        times.frames.push_back(since(start));
        times.presents.push_back(present);
        times.steps.push_back(level.GetLastStepMilliseconds());
        peaks.shapes = std::max(peaks.shapes, level.shapes.size());
        peaks.fish = std::max(peaks.fish, level.GetFish().size());
        peaks.links = std::max(peaks.links, level.Links().GetLinks().size());
    }
    screen.reset();
    ActionManager::ResetGlobal();
    SharedAnimations::Reset();
}

struct Run {
    const LevelKind* level;
    int width;
    int height;
    uint32_t threads;
    Summary frame;
    Summary present;
    Summary step;
    Peaks peaks;
};

void print_run(const Run& run, bool windowed)
{
    std::printf("%-12s %4d x %-4d %2u thread%s  frame mean %7.3f  p99 %7.3f  worst %7.3f  | present %s mean %6.3f  p99 "
                "%6.3f | step mean %.3f worst %.3f ms | %zu shapes %zu links %zu fish\n",
                run.level->name, run.width, run.height, run.threads, run.threads == 1 ? " " : "s", run.frame.mean,
                run.frame.p99, run.frame.worst, windowed ? "(window)" : "(headless)", run.present.mean, run.present.p99,
                run.step.mean, run.step.worst, run.peaks.shapes, run.peaks.links, run.peaks.fish);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const int frame_count = argc > 1 ? std::max(kTapEvery, std::atoi(argv[1])) : 1200;
    const int replays = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    // Room for both window sizes, without the desktop's margins.
    bench_support::VirtualDisplay display("2560x1600x24");
    if (!display.running()) {
        std::printf("level_bench: %s: drawing headless\n", display.why().c_str());
        setenv("QUILLO_HEADLESS", "1", 1);
    }
    const bool windowed = display.running();
    if (windowed)
        unsetenv("QUILLO_HEADLESS");
    // Frames are timed as drawn, not held for the display's refresh.
    setenv("QUILLO_VSYNC", "0", 1);
    Services services;
    // The engine's log (a line a frame in a window: the device reports its memory) would
    // bury the figures.
    if (std::FILE* nowhere = std::fopen("/dev/null", "w"))
        vadu::logs::set_log(std::make_unique<vadu::logs::Stream>(nowhere));
    const vadu::lib3d::node::NodeTypeRegistration node_types(vadu::lib3d::Application::get_engine_node_types());
    gameplay::RegisterTutorialNodes();
    gameplay::ShellServices::Install(nullptr);
    BenchShell shell;
    gameplay::ShellServices::Install(&shell);

    const uint32_t all = bench_support::usable_processors();
    std::vector<Run> runs;
    for (const auto& [width, height] : {std::pair{1024, 768}, std::pair{1920, 1080}}) {
        for (const LevelKind* level : {&kStress, &kShippedLike}) {
            std::vector<uint32_t> counts{1, all};
            if (level == &kShippedLike && width == 1920 && all > 2)
                counts.push_back(2);
            for (uint32_t threads : counts)
                runs.push_back(Run{level, width, height, threads, {}, {}, {}, {}});
        }
    }
    std::printf("level_bench: %s, %d frames x %d replays per run, all = %u threads (the process's CPUs)\n",
                windowed ? "shown in a window of Xvfb" : "headless", frame_count, replays, all);
    std::vector<std::vector<double>> pyramid;
    try {
        for (int i = 0; i < 3; ++i)
            pyramid.push_back(step_timing::run_pyramid(kStep));
        std::unique_ptr<Display> window;
        for (Run& run : runs) {
            if (!window || window->hardware().get_width() != run.width) {
                window.reset();
                window = std::make_unique<Display>(run.width, run.height);
            }
            platform::gfx::raster::set_thread_count(run.threads);
            current_level = run.level;
            std::vector<std::vector<double>> frames, presents, steps;
            for (int replay = 0; replay < replays; ++replay) {
                Times times;
                run_level(window->hardware(), frame_count, times, run.peaks);
                frames.push_back(std::move(times.frames));
                presents.push_back(std::move(times.presents));
                steps.push_back(std::move(times.steps));
            }
            run.frame = summarize(frames);
            run.present = summarize(presents);
            run.step = summarize(steps);
            print_run(run, windowed);
        }
    } catch (const vadu::Gluck& gluck) {
        std::fprintf(stderr, "level_bench: %s: %s\n", gluck.get_function().c_str(), gluck.get_description().c_str());
        SDL_Quit();
        return 1;
    }
    // The window system lets its display go now, while the bench's display still runs: left
    // to the program's end it would meet a server already stopped, and Xlib ends the process
    // with a failure.
    SDL_Quit();
    gameplay::ShellServices::Install(nullptr);
    gameplay::CheatCodes::ResetForTests();

    auto find = [&](const LevelKind& level, int width, uint32_t threads) -> const Run& {
        for (const Run& run : runs)
            if (run.level == &level && run.width == width && run.threads == threads)
                return run;
        return runs.front();
    };
    const Summary peer = summarize(pyramid);
    const Run& stress = find(kStress, 1024, all);
    const Run& shipped = find(kShippedLike, 1920, all);
    const Run& shipped_two = find(kShippedLike, 1920, std::min(2u, all));
    const Run& shipped_one = find(kShippedLike, 1920, 1);
    std::printf("  box2d pyramid step  mean %.3f ms  p99 %.3f ms  worst %.3f ms\n", peer.mean, peer.p99, peer.worst);
    std::printf("  world step share of the stress frame (1024 x 768, all threads): %.1f%%\n",
                stress.frame.mean > 0.0 ? 100.0 * stress.step.mean / stress.frame.mean : 0.0);
    std::printf("  frame means are the figures below; p99 and worst above\n");

    using bench_support::print_figure;
    using bench_support::print_skipped;
    const std::string cores = std::to_string(all) + " threads";
    const std::string where = windowed ? " windowed" : " headless";
    const std::string why = "Xvfb did not start: " + display.why();
    print_figure("level stress 1024x768 frame " + cores + where, stress.frame.mean, "ms", "<= 8 ms",
                 stress.frame.mean <= 8.0);
    if (windowed) {
        print_figure("level shipped-like 1920x1080 frame with windowed present " + cores, shipped.frame.mean, "ms",
                     "<= 6 ms", shipped.frame.mean <= 6.0);
        print_figure("level shipped-like 1920x1080 frame with windowed present 2 threads", shipped_two.frame.mean, "ms",
                     "<= 16 ms", shipped_two.frame.mean <= 16.0);
        print_figure("windowed present 1920x1080 on the main thread " + cores, shipped.present.mean, "ms", "<= 2 ms",
                     shipped.present.mean <= 2.0);
    } else {
        print_skipped("level shipped-like 1920x1080 frame with windowed present " + cores, why);
        print_skipped("level shipped-like 1920x1080 frame with windowed present 2 threads", why);
        print_skipped("windowed present 1920x1080 on the main thread " + cores, why);
    }
    const double speedup = shipped.frame.mean > 0.0 ? shipped_one.frame.mean / shipped.frame.mean : 0.0;
    print_figure("level shipped-like 1920x1080 speed-up 1 -> " + cores, speedup, "x", ">= 5 x", speedup >= 5.0);
    print_figure("world step worst (stress)", stress.step.worst, "ms", "<= 1 ms", stress.step.worst <= 1.0);
    print_figure("world step mean (stress) / box2d pyramid", peer.mean > 0.0 ? stress.step.mean / peer.mean : 0.0, "x",
                 "<= 0.75 x", stress.step.mean <= 0.75 * peer.mean);
    return 0;
}
