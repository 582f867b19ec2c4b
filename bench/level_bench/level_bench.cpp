// Frame time of a crowded running level, measured against a peer in the same run:
//   (a) Box2D's own pyramid: 20 rows (210 boxes), 60 Hz, 8/3 iterations, sleeping off,
//       500 steps, straight on b2World;
//   (b) a crowded level played in the real in-level screen (data/screens/game.screen with
//       its GameScreen backend, scene, HUD and windows) over the program's data, headless
//       at 1024 x 768: four cannons fill the field toward 100 shapes, links form between
//       neighbours, a thin water strip rises and falls along the floor, fish jump after
//       taps, a tap on the first group every ten seconds (chains, stars, lightning
//       bonuses), the idle check held off. Each of the 2,400 frames of 1/60 s is what the program's main loop does:
//       the souls, the screen's update (controls, then the level), the pictures' loading
//       pass, then start_frame, Screen::Render (Hardware::render) and finish_frame.
// Each run is replayed 3 times. Mean and p99 are over every frame of every replay; the
// worst frame takes each frame's minimum over the replays (the runs are seeded), which
// filters out preemption by other processes. The physics::World::Step share is the step's
// part of the whole frame.
//
// Usage: level_bench

#include "../support/step_timing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "game/screen.h"
#include "game/scheduler.h"
#include "game/screen_definition.h"
#include "game/screen_manager.h"
#include "game/service_provider.h"
#include "game/text_service.h"
#include "platform/gfx/device.h"
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
#include "vadu/font/text.h"
#include "vadu/input.h"
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
constexpr int kReplays = 3;
constexpr int kFrames = 2400;
constexpr int kTapEvery = 600;
constexpr float kStep = 1.0f / 60.0f;
constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr const char* kLevelPath = "levels/bench_crowded.xml";

double since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

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
        <Width>880</Width><Height>340</Height></Item>)" +
           cannons + R"(</Items></Layer>
        <Layer Name="Water"><Items><Item Name="WaterRectangle"><Position><X>0</X><Y>637</Y></Position>
        <Width>960</Width><Height>3</Height></Item></Items></Layer>
        <Layer Name="LandDecorations"><Items><Item Name="Island1"><Position><X>180</X><Y>560</Y></Position>
        <asset_name>decorations/symbols/IslandSymbol1</asset_name></Item><Item Name="Tree1">
        <Position><X>820</X><Y>520</Y></Position><asset_name>decorations/symbols/TreeSymbol2</asset_name></Item>
        </Items></Layer></Layers><CustomProperties>
        <Property Name="maxShapeCount"><string>100</string></Property>
        <Property Name="starCountGoal"><string>1000</string></Property>
        <Property Name="levelEnergy"><string>0</string></Property>
        <Property Name="probabilityRock"><string>3</string></Property>
        <Property Name="probabilitySoapBubblePowerup"><string>3</string></Property>
        <Property Name="probabilityFishSpawn"><string>1</string></Property>
        <Property Name="waterLevelRaise"><string>4</string></Property>
        <Property Name="waterUpTime"><string>4</string></Property>
        <Property Name="waterDownTime"><string>4</string></Property>
        <Property Name="waterUpTransitionTime"><string>0.5</string></Property>
        <Property Name="backgroundType"><string>BackgroundDay</string></Property>
        </CustomProperties></Level>)";
}

// The crowded level as a file of the levels folder; every other name goes on.
class BenchLevelFile : public vadu::filesystem::FileSystem {
public:
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String& path) override
    {
        const std::string name = path.c_str();
        const std::string wanted = kLevelPath;
        if (name.size() < wanted.size() || name.compare(name.size() - wanted.size(), wanted.size(), wanted) != 0)
            return nullptr;
        const std::string text = crowded_level();
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

// A headless window with the graphics device's hardware at 1024 x 768.
class Display {
public:
    Display()
    {
        platform::register_window_class("level bench", platform::default_window_procedure);
        window_ = platform::create_window("level bench", "level bench", 0, 0, 0, kWidth, kHeight);
        factory_ = gfx::create_factory(gfx::sdk_version);
        if (!window_ || !factory_)
            throw vadu::Gluck("level_bench", "no window or graphics device");
        gfx::Caps caps;
        factory_->get_device_caps(0, gfx::DeviceType::hal, &caps);
        hardware_ = std::make_unique<hard::directx8::Hardware>(factory_, 0, hard::directx8::read_capability_rows(caps));
        if (!hardware_->set_mode_internal(window_, {"No (Window mode)", "0", "0", "None"}))
            throw vadu::Gluck("level_bench", "the window mode did not open");
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
        if (!shape->IsDead() && shape->IsKind(0) &&
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

void run_level(hard::Hardware& hardware, std::vector<double>& frames, std::vector<double>& steps, Peaks& peaks)
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
    for (int frame = 1; frame <= kFrames; ++frame) {
        const auto start = Clock::now();
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
        if (hardware.start_frame()) {
            screen->Render(hardware, nullptr);
            hardware.finish_frame();
        }
        frames.push_back(since(start));
        steps.push_back(level.GetLastStepMilliseconds());
        peaks.shapes = std::max(peaks.shapes, level.shapes.size());
        peaks.fish = std::max(peaks.fish, level.GetFish().size());
        peaks.links = std::max(peaks.links, level.Links().GetLinks().size());
    }
    screen.reset();
    ActionManager::ResetGlobal();
    SharedAnimations::Reset();
}

} // namespace

int main()
{
    // Drawn headless whatever the environment: the frame is the program's, not a display's.
    setenv("QUILLO_HEADLESS", "1", 1);
    Services services;
    for (const auto& entry : vadu::lib3d::node::get_engine_node_types())
        vadu::lib3d::node::register_node_type(entry.type_name, entry.creator);
    vadu::lib3d::node::register_node_type("Text", &vadu::lib3d::node::create_node_of_type<vadu::lib3d::node::Text>);
    gameplay::RegisterTutorialNodes();
    gameplay::ShellServices::Install(nullptr);
    BenchShell shell;
    gameplay::ShellServices::Install(&shell);

    std::vector<std::vector<double>> pyramid;
    std::vector<std::vector<double>> frames(kReplays);
    std::vector<std::vector<double>> steps(kReplays);
    Peaks peaks;
    try {
        Display display;
        for (int replay = 0; replay < kReplays; ++replay) {
            pyramid.push_back(step_timing::run_pyramid(kStep));
            run_level(display.hardware(), frames[replay], steps[replay], peaks);
        }
    } catch (const vadu::Gluck& gluck) {
        std::fprintf(stderr, "level_bench: %s: %s\n", gluck.get_function().c_str(), gluck.get_description().c_str());
        return 1;
    }
    gameplay::ShellServices::Install(nullptr);
    gameplay::CheatCodes::ResetForTests();

    const Summary peer = summarize(pyramid);
    const Summary frame = summarize(frames);
    const Summary step = summarize(steps);
    std::printf("level_bench: %d x %d headless, %zu shapes, %zu links, %zu fish at most, %d frames x %d replays\n",
                kWidth, kHeight, peaks.shapes, peaks.links, peaks.fish, kFrames, kReplays);
    std::printf("  box2d pyramid step  mean %.3f ms  p99 %.3f ms  worst %.3f ms\n", peer.mean, peer.p99, peer.worst);
    std::printf("  whole frame         mean %.3f ms  p99 %.3f ms  worst %.3f ms  (target <= 8 ms)\n", frame.mean,
                frame.p99, frame.worst);
    std::printf("  world step          mean %.3f ms  p99 %.3f ms  worst %.3f ms  share %.1f%%\n", step.mean, step.p99,
                step.worst, frame.mean > 0.0 ? 100.0 * step.mean / frame.mean : 0.0);
    std::printf("  targets: worst step <= 1 ms: %s; mean step <= 0.75 x pyramid (%.3f ms): %s; frame <= 8 ms: %s\n",
                step.worst <= 1.0 ? "met" : "MISSED", 0.75 * peer.mean, step.mean <= 0.75 * peer.mean ? "met" : "MISSED",
                frame.worst <= 8.0 ? "met" : "MISSED");
    return 0;
}
