#include "app_test_support.h"

#include <chrono>
#include <cmath>
#include <map>
#include <thread>

#include "platform/clock.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/material/texture_load_pass.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/time.h"

namespace {

using namespace app_test;
using vadu::Atom;
using vadu::lib3d::hard::VideoSettings;
using vadu::math::Vector3;

constexpr const char* windowed_row = R"x(Fullscreen="No (Window mode)" ResolutionX="0" ResolutionY="0" Antialiasing="None")x";

// --- node types ------------------------------------------------------------------------

TEST(EngineNodeTypes, TheTwentyAreRegisteredInTheirOrderEachSavedUnderItsElementName)
{
    // Each type and the element its nodes are saved under: the sprite and the sprite
    // grouper keep the plain node's.
    const struct {
        const char* type;
        const char* element;
    } expected[] = {
        {"Billboard", "Billboard"},         {"Box", "Box"},
        {"CameraParallel", "CameraParallel"}, {"CameraPerspective", "CameraPerspective"},
        {"Image", "Image"},                 {"Sprite", "Node"},
        {"SpriteGrouper", "Node"},          {"Light", "Light"},
        {"ModelFixed", "ModelFixed"},       {"ModelMorph", "ModelMorph"},
        {"ModelSkeleton", "ModelSkeleton"}, {"Node", "Node"},
        {"Plane", "Plane"},                 {"Sphere", "Sphere"},
        {"ParticlesEmitter", "ParticlesEmitter"}, {"Text", "Text"},
        {"Animation2D", "Animation2D"},     {"Plume2D", "Plume2D"},
        {"Gradient", "Gradient"},           {"Trace", "Trace"},
    };
    std::vector<std::string> names;
    for (const auto& entry : vadu::lib3d::Application::get_engine_node_types())
        names.push_back(entry.type_name);
    std::vector<std::string> wanted;
    for (const auto& row : expected)
        wanted.push_back(row.type);
    EXPECT_EQ(names, wanted);

    vadu::animate::Soul::Creator souls;
    vadu::lib3d::Application::register_engine_node_types();
    for (const auto& row : expected) {
        std::unique_ptr<vadu::lib3d::node::Node> made(
            vadu::lib3d::node::create_node(nullptr, Atom(row.type), Atom("Made")));
        ASSERT_NE(made, nullptr) << row.type;
        EXPECT_EQ(to_std(made->get_element_name().get_name()), row.element) << row.type;
    }
    vadu::lib3d::Application::unregister_engine_node_types();
    for (const auto& row : expected)
        EXPECT_EQ(vadu::lib3d::node::create_node(nullptr, Atom(row.type), Atom("Made")), nullptr) << row.type;
}

// --- start-up --------------------------------------------------------------------------

class StartUp : public ShellFixture {};

TEST_F(StartUp, AMostDerivedShellBuildsNoDeviceSoItCannotStart)
{
    try {
        vadu::lib3d::Application application(options.name.c_str(), "", true);
        FAIL() << "a video mode started without any device";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(to_std(error.get_function()), "vadu::lib3d::Application::Application");
        EXPECT_EQ(to_std(error.get_description()), "Could not create desired videomode");
    }
    // The node types it registered went with it, and so did its creators.
    EXPECT_EQ(vadu::lib3d::node::create_node(nullptr, Atom("Node"), Atom("n")), nullptr);
    EXPECT_FALSE(hard::Manager::exists());
}

TEST_F(StartUp, SavedSettingsChooseTheHardwareAndItsMode)
{
    options.devices = {{"1: A", true}, {"2: B", true}};
    write_settings(std::string("Adapter=\"2: B\" ") + windowed_row);
    TestApplication application(options);
    FakeHardware& chosen = hardware(1);
    EXPECT_EQ(application.get_hardware(), &chosen);
    EXPECT_EQ(VideoSettings::get_chosen_hardware(), &chosen);
    ASSERT_EQ(chosen.started_rows.size(), 1u);
    EXPECT_EQ(chosen.started_rows[0], mode_rows[0]);
    EXPECT_EQ(chosen.mode_window, application.window());
    EXPECT_TRUE(hardware(0).started_rows.empty());
    EXPECT_EQ(application.get_video_settings_path().get_text(), vadu::String(settings_file_.c_str()));
}

TEST_F(StartUp, WithoutUsableSettingsTheFirstHardwareThatStartsIsTaken)
{
    struct Case {
        const char* settings;  // null: no file
        std::vector<DeviceSpec> devices;
        int expected;
    };
    const Case cases[] = {
        {nullptr, {{"1: A", false}, {"2: B", true}}, 1},
        {"Adapter=\"9: Gone\"", {{"1: A", true}, {"2: B", true}}, 0},
        {"Fullscreen=\"Yes\" Adapter=\"2: B\"", {{"1: A", true}, {"2: B", true}}, 0},
        // The saved hardware refuses its mode: the others are tried in order.
        {"Adapter=\"2: B\"", {{"1: A", true}, {"2: B", false}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings ? c.settings : "(no file)");
        remove_settings();
        if (c.settings)
            write_settings(c.settings);
        options.devices = c.devices;
        TestApplication application(options);
        EXPECT_EQ(application.get_hardware(), &hardware(static_cast<size_t>(c.expected)));
    }
}

TEST_F(StartUp, NoHardwareThatStartsAModeEndsTheStart)
{
    options.devices = {{"1: A", false}};
    EXPECT_THROW(TestApplication application(options), vadu::Gluck);
    options.devices = {};
    EXPECT_THROW(TestApplication application(options), vadu::Gluck);
}

TEST_F(StartUp, NoFullscreenSelectsWindowedRowsUnlessTheSavedSettingsSayOtherwise)
{
    struct Case {
        const char* command_line;
        const char* settings;  // null: no file
        const char* fullscreen;
    };
    const Case cases[] = {
        {"", nullptr, "Yes"},
        {"-nofullscreen", nullptr, "No (Window mode)"},
        {"game -nofullscreen -debug", nullptr, "No (Window mode)"},
        {"-NOFULLSCREEN", nullptr, "Yes"},
        {"-nofullscreen", "Adapter=\"1: A\" Fullscreen=\"Yes\"", "Yes"},
        {"", "Adapter=\"1: A\" Fullscreen=\"No (Window mode)\"", "No (Window mode)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command_line) + " / " + (c.settings ? c.settings : "(no file)"));
        remove_settings();
        if (c.settings)
            write_settings(c.settings);
        options.command_line = c.command_line;
        options.devices = {{"1: A", true}};
        TestApplication application(options);
        ASSERT_EQ(hardware(0).started_rows.size(), 1u);
        EXPECT_EQ(to_std(hardware(0).started_rows[0][0]), c.fullscreen);
    }
}

TEST_F(StartUp, TheHardwareLeavesItsModeWithTheApplication)
{
    FakeHardware::stopped.clear();
    {
        TestApplication application(options);
        EXPECT_TRUE(FakeHardware::stopped.empty());
    }
    EXPECT_EQ(FakeHardware::stopped, (std::vector<std::string>{"1: Fake Adapter"}));
}

// --- the "settings" start ----------------------------------------------------------------

class SettingsStart : public ShellFixture {
protected:
    SettingsStart() { options.devices = {{"1: A", true}, {"2: B", true}}; }
};

TEST_F(SettingsStart, OnlyTheExactCommandLineOpensTheDialog)
{
    struct Case {
        const char* command_line;
        int dialogs;
    };
    const Case cases[] = {{"settings", 1}, {"settings ", 0}, {" settings", 0}, {"Settings", 0}, {"", 0},
                          {"-nofullscreen settings", 0}};
    for (const Case& c : cases) {
        platform::headless::reset_dialogs();
        options.command_line = c.command_line;
        TestApplication application(options);
        EXPECT_EQ(platform::headless::dialogs_shown(), c.dialogs) << "\"" << c.command_line << "\"";
    }
}

TEST_F(SettingsStart, OkTakesAndSavesTheChosenMode)
{
    options.command_line = "settings";
    platform::headless::set_dialog_script([](platform::Dialog& dialog) {
        ASSERT_TRUE(dialog.choose(vadu::lib3d::Application::adapter_combo_id, "2: B"));
        ASSERT_TRUE(dialog.choose(vadu::lib3d::Application::first_attribute_combo_id, "No (Window mode)"));
        dialog.click(static_cast<int>(platform::dialog_ok));
    });
    TestApplication application(options);
    EXPECT_EQ(application.get_hardware(), &hardware(1));
    ASSERT_EQ(hardware(1).started_rows.size(), 1u);
    EXPECT_EQ(hardware(1).started_rows[0], mode_rows[0]);
    const std::string saved = read_file(settings_file_);
    EXPECT_NE(saved.find("Adapter=\"2: B\" Fullscreen=\"No (Window mode)\""), std::string::npos) << saved;
}

TEST_F(SettingsStart, CancelReadsTheSavedSettingsAgain)
{
    write_settings(std::string("Adapter=\"1: A\" ") + windowed_row);
    options.command_line = "settings";
    platform::headless::set_dialog_script([](platform::Dialog& dialog) {
        ASSERT_TRUE(dialog.choose(vadu::lib3d::Application::first_attribute_combo_id, "Yes"));
        dialog.click(static_cast<int>(platform::dialog_cancel));
    });
    TestApplication application(options);
    EXPECT_EQ(application.get_hardware(), &hardware(0));
    ASSERT_EQ(hardware(0).started_rows.size(), 1u);
    EXPECT_EQ(hardware(0).started_rows[0], mode_rows[0]);
    EXPECT_NE(read_file(settings_file_).find("Adapter=\"1: A\""), std::string::npos);
}

TEST_F(SettingsStart, StarterFileRestrictsTheFirstHardwareAndNamesTheControls)
{
    write_data("starter.ini", "<Starter><dictionary DialogCaption=\"Mode\" Antialiasing=\"Smoothing\"/>"
                              "<filter Antialiasing=\"None\"/><hide ResolutionY=\"480|768\"/></Starter>");
    options.command_line = "settings";
    std::string caption;
    std::vector<std::string> labels;
    platform::headless::set_dialog_script([&](platform::Dialog& dialog) {
        caption = dialog.get_caption();
        for (int pair = 0; pair < vadu::lib3d::Application::attribute_control_pairs; ++pair) {
            if (dialog.is_visible(vadu::lib3d::Application::first_attribute_label_id + pair))
                labels.push_back(dialog.get_text(vadu::lib3d::Application::first_attribute_label_id + pair));
        }
    });
    TestApplication application(options);
    EXPECT_EQ(caption, "Mode");
    EXPECT_EQ(labels, (std::vector<std::string>{"Fullscreen", "ResolutionX", "Smoothing"}));
    std::vector<Row> expected{mode_rows[2], mode_rows[5]};
    EXPECT_EQ(hardware(0).get_rows(), expected);
    EXPECT_EQ(hardware(1).get_rows(), mode_rows);
    EXPECT_EQ(application.log_text().find("Starter.ini not found"), std::string::npos);
}

TEST_F(SettingsStart, MissingStarterFileIsLoggedAndTheDialogStillRuns)
{
    options.command_line = "settings";
    TestApplication application(options);
    EXPECT_NE(application.log_text().find("Starter.ini not found\n"), std::string::npos);
    EXPECT_EQ(platform::headless::dialogs_shown(), 1);
    EXPECT_EQ(application.get_hardware(), &hardware(0));
}

// --- the frame step ------------------------------------------------------------------------

// The frame step on the wall clock (a run with a display): timing, budgets, the loading
// callbacks.
class FrameStep : public ShellFixture {
protected:
    FrameStep() { ::setenv("QUILLO_FIXED_STEP", "0", 1); }
    ~FrameStep() override { ::unsetenv("QUILLO_FIXED_STEP"); }

    // A pass that reports the next count of the script each frame (the last one repeats).
    static vadu::lib3d::Application::LoadPass scripted(std::vector<int32_t> counts)
    {
        auto frame = std::make_shared<size_t>(0);
        return [counts, frame](int64_t, double) {
            const size_t at = std::min(*frame, counts.size() - 1);
            ++*frame;
            return counts[at];
        };
    }

    ManualClock clock;
};

TEST_F(FrameStep, LoadingStateStartsOnlyAfterMoreThanTheDelayAndReportsProgress)
{
    TestApplication application(options);
    application.set_load_passes({scripted({4, 4, 4, 3, 0, 0})});

    EXPECT_TRUE(application.Update(0.0));   // the work is first seen: timing starts
    clock.advance(1000);
    application.Update(0.0);                // exactly the delay: not yet
    EXPECT_FALSE(application.is_loading_shown());
    EXPECT_TRUE(application.events.empty());

    clock.advance(1);
    application.Update(0.0);
    EXPECT_TRUE(application.is_loading_shown());
    application.Update(0.0);
    application.Update(0.0);
    EXPECT_FALSE(application.is_loading_shown());
    EXPECT_EQ(application.events, (std::vector<std::string>{"start", "progress", "progress", "progress", "finish"}));
    EXPECT_EQ(application.fractions, (std::vector<double>{0.0, 0.25, 1.0}));
    EXPECT_EQ(application.get_pending_maximum(), 0);

    application.Update(0.0);
    EXPECT_EQ(application.events.size(), 5u);
}

TEST_F(FrameStep, ShortLoadsShowNothingAndLaterWorkIsTimedAfresh)
{
    TestApplication application(options);
    application.set_load_passes({scripted({2, 1, 0, 0, 5, 5, 0})});
    application.Update(0.0);
    clock.advance(900);
    application.Update(0.0);
    application.Update(0.0);  // done within the delay
    EXPECT_EQ(application.get_pending_maximum(), 0);

    clock.advance(60'000);
    application.Update(0.0);
    application.Update(0.0);  // new work: timing starts here, not at the first batch
    clock.advance(500);
    application.Update(0.0);
    EXPECT_TRUE(application.events.empty());
}

TEST_F(FrameStep, NoPendingWorkNeverReachesTheLoadingCallbacks)
{
    TestApplication application(options);
    application.set_load_passes({scripted({0}), scripted({0})});
    for (int frame = 0; frame < 5; ++frame) {
        application.Update(0.0);
        clock.advance(5000);
    }
    EXPECT_TRUE(application.events.empty());
}

TEST_F(FrameStep, PassesShareTheStepTicksAndHaveTheLoadingBudget)
{
    struct Call {
        int64_t ticks;
        double budget;
    };
    std::vector<Call> calls;
    auto recording = [&calls](int64_t ticks, double budget) {
        calls.push_back({ticks, budget});
        return 1;
    };
    TestApplication application(options);
    application.set_load_passes({recording, [&](int64_t, double) {
                                     clock.advance(300);  // a slow pass
                                     return 0;
                                 },
                                 recording});
    const int64_t first = clock.now;
    application.Update(0.0);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].ticks, first);
    EXPECT_EQ(calls[1].ticks, first);
    EXPECT_EQ(calls[0].budget, 1.0);
    EXPECT_EQ(calls[1].budget, 1.0);

    clock.advance(1000);
    application.Update(0.0);  // the loading state starts at the end of this step
    ASSERT_TRUE(application.is_loading_shown());
    calls.clear();
    application.Update(0.0);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].budget, 0.1);
    EXPECT_EQ(calls[1].budget, 0.1);
}

// A resource cache shaped like the texture caches, whose loads take 400 ms of the clock.
struct FakeRep {
    std::string name;
    bool loaded = false;
    bool failed = false;
    bool is_loaded() const { return loaded; }
    bool has_failed() const { return failed; }
    void set_failed() { failed = true; }
    vadu::filesystem::String get_path() const { return vadu::filesystem::String(name.c_str(), false); }
};
using FakeCache = std::map<std::string, std::unique_ptr<FakeRep>>;

TEST_F(FrameStep, TheBudgetStopsLoadingOnceExceeded)
{
    FakeCache first;
    FakeCache second;
    for (const char* name : {"a", "b", "c", "d"})
        first[name] = std::make_unique<FakeRep>(FakeRep{name});
    for (const char* name : {"e", "f"})
        second[name] = std::make_unique<FakeRep>(FakeRep{name});
    std::vector<std::string> loads;
    auto pass_over = [&](FakeCache& cache) {
        return [&](int64_t start, double budget) {
            return vadu::lib3d::material::detail::run_load_pass(&cache, start, budget, [&](FakeRep& rep) {
                clock.advance(400);
                if (rep.name == "b")
                    throw vadu::GluckBadResource("test", "pl is not valid", rep.get_path());
                rep.loaded = true;
                loads.push_back(rep.name);
            });
        };
    };
    TestApplication application(options);
    application.set_load_passes({pass_over(first), pass_over(second)});

    // 0.4 s, 0.8 s (a failure, logged), 1.2 s: over the budget; the next pass still loads
    // once before it sees the budget spent. A pass counts what was pending when it came
    // to it, loaded in this step or not; only the failure drops out.
    EXPECT_NO_THROW(application.Update(0.0));
    EXPECT_EQ(loads, (std::vector<std::string>{"a", "c", "e"}));
    EXPECT_EQ(application.get_pending_maximum(), 5);
    loads.clear();
    application.Update(0.0);
    EXPECT_EQ(loads, (std::vector<std::string>{"d", "f"}));
    EXPECT_TRUE(first["b"]->failed);
    EXPECT_NE(application.log_text().find("pl is not valid"), std::string::npos);
}

// --- shared textures and notifications ------------------------------------------------------

class Textures : public ShellFixture {
protected:
    // Runs frames until the condition holds; false after a few seconds.
    static bool run_until(TestApplication& application, const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            application.Update(0.01);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
};

TEST_F(Textures, ReadyTexturesReachTheirCallbacksOnceAndEmptyCallbacksAreSkipped)
{
    texture_test::write_png(data_ / "pics" / "dot.png", texture_test::gradient(4, 2), true);
    TestApplication application(options);
    using vadu::lib3d::material::TextureHandle;
    std::vector<int32_t> widths;
    vadu::lib3d::notify_when_texture_ready(
        std::make_unique<TextureHandle>(vadu::filesystem::String("pics/dot", true), false),
        [&widths](TextureHandle& handle) { widths.push_back(handle.get_width()); });
    vadu::lib3d::notify_when_texture_ready(
        std::make_unique<TextureHandle>(vadu::filesystem::String("pics/dot", true), false), nullptr);
    EXPECT_EQ(vadu::lib3d::get_pending_texture_notification_count(), 2u);

    ASSERT_TRUE(run_until(application, [] { return vadu::lib3d::get_pending_texture_notification_count() == 0; }));
    EXPECT_EQ(widths, (std::vector<int32_t>{4}));
    application.Update(0.01);
    EXPECT_EQ(widths.size(), 1u);
}

TEST_F(Textures, AMissingPictureIsLoggedAndNeverEndsTheFrameStep)
{
    bool called = false;
    {
        TestApplication application(options);
        using vadu::lib3d::material::TextureHandle;
        vadu::lib3d::notify_when_texture_ready(
            std::make_unique<TextureHandle>(vadu::filesystem::String("pics/missing", true), false),
            [&called](TextureHandle&) { called = true; });
        ASSERT_TRUE(
            run_until(application, [&] { return application.log_text().find("missing") != std::string::npos; }));
        EXPECT_NO_THROW(application.Update(0.01));
        EXPECT_EQ(vadu::lib3d::material::load_texture_simple_reps(vadu::time::get_ticks(), 1.0), 0);
        EXPECT_EQ(vadu::lib3d::get_pending_texture_notification_count(), 1u);
    }
    EXPECT_FALSE(called);
    // The waiting handles go with the application that served them.
    EXPECT_EQ(vadu::lib3d::get_pending_texture_notification_count(), 0u);
}

// --- frame time (headless runs) ----------------------------------------------------------

class FrameTime : public ShellFixture {
protected:
    ~FrameTime() override { ::unsetenv("QUILLO_FIXED_STEP"); }
};

TEST_F(FrameTime, AHeadlessShellRunsInFrameTimeUnlessTurnedOff)
{
    struct Case {
        const char* setting; // null: unset
        bool fixed;
    };
    for (const Case& c : {Case{nullptr, true}, Case{"1", true}, Case{"0", false}}) {
        SCOPED_TRACE(c.setting ? c.setting : "unset");
        if (c.setting)
            ::setenv("QUILLO_FIXED_STEP", c.setting, 1);
        else
            ::unsetenv("QUILLO_FIXED_STEP");
        {
            TestApplication application(options);
            EXPECT_EQ(platform::is_fixed_step(), c.fixed);
            if (c.fixed) {
                const int64_t before = vadu::time::get_ticks();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                EXPECT_EQ(vadu::time::get_ticks(), before) << "only frames move the clock";
                platform::advance_fixed_step();
                EXPECT_DOUBLE_EQ(static_cast<double>(vadu::time::get_ticks() - before) * vadu::time::get_tick_period(),
                                 1.0 / 60.0);
            }
        }
        EXPECT_FALSE(platform::is_fixed_step()) << "the clock is the wall clock again";
    }
}

TEST_F(FrameTime, OneStepLoadsThePicturesQueuedBeforeIt)
{
    texture_test::write_png(data_ / "pics" / "dot.png", texture_test::gradient(4, 2), true);
    texture_test::write_png(data_ / "pics" / "bar.png", texture_test::gradient(8, 1), true);
    TestApplication application(options);
    using vadu::lib3d::material::TextureHandle;
    std::vector<int32_t> widths;
    for (const char* name : {"pics/dot", "pics/bar"})
        vadu::lib3d::notify_when_texture_ready(
            std::make_unique<TextureHandle>(vadu::filesystem::String(name, true), false),
            [&widths](TextureHandle& handle) { widths.push_back(handle.get_width()); });
    // The first step reads and uploads both; the next one hands them to their callbacks.
    application.Update(0.0);
    application.Update(0.0);
    EXPECT_EQ(widths, (std::vector<int32_t>{4, 8}));
    EXPECT_EQ(application.get_pending_maximum(), 0);
    EXPECT_TRUE(application.events.empty()) << "no loading screen in frame time";
}

// --- the cursor --------------------------------------------------------------------------

class Cursor : public ShellFixture {
protected:
    Cursor()
    {
        write_data("cursor/arrow.scene", R"(<Scene>
            <CameraParallel Name="Camera" Width="800" Height="600" NearPlane="-100" FarPlane="100"/>
            <Node Name="Pointer"><Node Name="Cursor" Position="0 0 -5"/></Node>
        </Scene>)");
        write_data("cursor/arrow.anim", R"(<Animation>
            <MathVector3f><PrimitiveAnimation Target="Pointer|Cursor" Param="Scale">
                <Envelope><Keys><Key Time="0" Value="1 1 1" Linear="1 1 1"/><Key Time="2" Value="3 3 3"/></Keys></Envelope>
            </PrimitiveAnimation></MathVector3f>
        </Animation>)");
        write_data("cursor/wide.scene", R"(<Scene>
            <CameraPerspective Name="Camera" Fov="1.0" Aspect="1.5" NearPlane="1" FarPlane="100"/>
            <Node Name="Cursor" Position="0 0 10"/>
        </Scene>)");
        write_data("cursor/wide.anim", "<Animation/>");
    }

    // Puts the pointer at a client position of the application's window.
    static void point_at(TestApplication& application, int32_t x, int32_t y)
    {
        platform::headless::push_mouse_move(application.window(), x, y);
    }
};

TEST_F(Cursor, FollowsThePointerInParallelCameraUnits)
{
    TestApplication application(options);
    application.change_cursor(vadu::filesystem::String("cursor/arrow", true), false);
    ASSERT_NE(application.get_cursor_camera(), nullptr);
    ASSERT_NE(application.get_cursor_node(), nullptr);
    EXPECT_EQ(to_std(application.get_cursor_node()->get_name().get_name()), "Cursor");

    // The client area is 512 x 384; the camera shows 800 x 600 with y upwards.
    struct Case {
        int32_t x, y;
        float expected_x, expected_y;
    };
    const Case cases[] = {
        {256, 192, 0.0f, 0.0f}, {0, 0, -400.0f, 300.0f}, {512, 384, 400.0f, -300.0f}, {128, 288, -200.0f, -150.0f},
    };
    for (const Case& c : cases) {
        point_at(application, c.x, c.y);
        application.Update(0.0);
        const Vector3 position = application.get_cursor_node()->get_position();
        EXPECT_FLOAT_EQ(position.x, c.expected_x) << c.x << "," << c.y;
        EXPECT_FLOAT_EQ(position.y, c.expected_y) << c.x << "," << c.y;
        EXPECT_FLOAT_EQ(position.z, -5.0f);
    }
}

TEST_F(Cursor, FollowsThePointerThroughAPerspectiveCamera)
{
    TestApplication application(options);
    application.change_cursor(vadu::filesystem::String("cursor/wide", true), false);
    point_at(application, 384, 96);
    application.Update(0.0);
    const double t = std::tan(0.5);
    const Vector3 position = application.get_cursor_node()->get_position();
    EXPECT_FLOAT_EQ(position.x, static_cast<float>(2.0 * 10.0 * 0.25 / (t * 1.5)));
    EXPECT_FLOAT_EQ(position.y, static_cast<float>(2.0 * 10.0 * -0.25 / t));

    // Without a view angle there is nowhere to put it: it stays.
    write_data("cursor/flat.scene", R"(<Scene>
        <CameraPerspective Name="Camera" Fov="0" Aspect="1.5" NearPlane="1" FarPlane="100"/>
        <Node Name="Cursor" Position="1 2 10"/>
    </Scene>)");
    write_data("cursor/flat.anim", "<Animation/>");
    application.change_cursor(vadu::filesystem::String("cursor/flat", true), false);
    application.Update(0.0);
    EXPECT_EQ(application.get_cursor_node()->get_position(), Vector3(1.0f, 2.0f, 10.0f));
}

TEST_F(Cursor, AMinimisedWindowLeavesTheCursorWhereItWas)
{
    TestApplication application(options);
    application.change_cursor(vadu::filesystem::String("cursor/arrow", true), false);
    point_at(application, 0, 0);
    application.Update(0.0);
    ASSERT_TRUE(platform::headless::push_minimize(application.window()));
    ASSERT_EQ(platform::get_client_rect(application.window()).right, 0);
    application.Update(0.0);
    const Vector3 position = application.get_cursor_node()->get_position();
    EXPECT_FLOAT_EQ(position.x, -400.0f);
    EXPECT_FLOAT_EQ(position.y, 300.0f);
}

TEST_F(Cursor, TheSamePathChangesNothingAndAnEmptyPathClears)
{
    TestApplication application(options);
    const vadu::filesystem::String path("cursor/arrow", true);
    application.change_cursor(path, false);
    vadu::lib3d::node::Node* node = application.get_cursor_node();
    node->set_position(Vector3(7.0f, 8.0f, 9.0f));

    application.change_cursor(vadu::filesystem::String("cursor/arrow", true), true);
    EXPECT_EQ(application.get_cursor_node(), node);
    EXPECT_EQ(node->get_position(), Vector3(7.0f, 8.0f, 9.0f));
    EXPECT_FLOAT_EQ(static_cast<float>(application.get_cursor_duration()), 2.0f);

    application.change_cursor(vadu::filesystem::String(), false);
    EXPECT_EQ(application.get_cursor_camera(), nullptr);
    EXPECT_EQ(application.get_cursor_node(), nullptr);
    EXPECT_EQ(application.get_cursor_root().get_child_count(), 0u);
    EXPECT_EQ(application.get_cursor_duration(), 0.0);
    EXPECT_NO_THROW(application.Update(0.1));

    // Loading again after a clear works.
    application.change_cursor(path, false);
    EXPECT_NE(application.get_cursor_node(), nullptr);
}

TEST_F(Cursor, BrokenCursorScenesFailWithTheirResource)
{
    write_data("cursor/nocursor.scene", R"(<Scene><CameraParallel Name="Camera" Width="8" Height="6" NearPlane="-1" FarPlane="1"/><Node Name="Arrow"/></Scene>)");
    write_data("cursor/nocursor.anim", "<Animation/>");
    write_data("cursor/nocamera.scene", R"(<Scene><CameraParallel Name="Eye" Width="8" Height="6" NearPlane="-1" FarPlane="1"/><Node Name="Cursor"/></Scene>)");
    write_data("cursor/noanim.scene", R"(<Scene><CameraParallel Name="Camera" Width="8" Height="6" NearPlane="-1" FarPlane="1"/><Node Name="Cursor"/></Scene>)");
    write_data("cursor/badanim.scene", R"(<Scene><CameraParallel Name="Camera" Width="8" Height="6" NearPlane="-1" FarPlane="1"/><Node Name="Cursor"/></Scene>)");
    write_data("cursor/badanim.anim", "<Animations/>");
    write_data("cursor/badscene.scene", "<Scene><Unknown/></Scene>");

    struct Case {
        const char* path;
        const char* function;
        const char* description;
        const char* resource;
    };
    const Case cases[] = {
        {"cursor/nocursor", "vadu::lib3d::Application::change_cursor", "Cursor node not found", "cursor/nocursor.scene"},
        {"cursor/nocamera", "vadu::lib3d::Application::load_root", "Camera not found", "cursor/nocamera.scene"},
        {"cursor/noanim", "vadu::lib3d::Application::load_root", "load() failed", "cursor/noanim.anim"},
        {"cursor/badanim", "vadu::lib3d::Application::load_root", "load() failed: refused element \"Animations\" (line 1)",
         "cursor/badanim.anim"},
        {"cursor/badscene", "vadu::lib3d::Application::load_root", "load() failed: refused element \"Unknown\" (line 1)",
         "cursor/badscene.scene"},
        {"cursor/absent", "vadu::lib3d::Application::load_root", "load() failed", "cursor/absent.scene"},
    };
    TestApplication application(options);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        application.change_cursor(vadu::filesystem::String("cursor/arrow", true), false);
        try {
            application.change_cursor(vadu::filesystem::String(c.path, true), false);
            ADD_FAILURE() << "no exception";
        } catch (const vadu::GluckBadResource& error) {
            EXPECT_EQ(to_std(error.get_function()), c.function);
            EXPECT_EQ(to_std(error.get_description()), c.description);
            EXPECT_EQ(to_std(error.get_resource().get_text()), c.resource);
        }
        EXPECT_EQ(application.get_cursor_node(), nullptr);
        EXPECT_EQ(to_std(application.get_cursor_path().get_text()), c.path);
        // The frame goes on without a cursor to move.
        EXPECT_NO_THROW(application.Update(0.1));
    }
}

TEST_F(Cursor, ACursorSceneIsDrawnUnculledIntoTheGivenTarget)
{
    TestApplication application(options);
    FakeHardware& device = hardware(0);
    application.render_scene(device);
    EXPECT_TRUE(device.rendered.empty());

    application.change_cursor(vadu::filesystem::String("cursor/arrow", true), false);
    application.render_scene(device);
    ASSERT_EQ(device.rendered.size(), 1u);
    EXPECT_EQ(device.rendered[0].culling, 0);
    EXPECT_EQ(device.rendered[0].target, &device);
    // The cursor camera filled the list: its 800 x 600 projection.
    EXPECT_FLOAT_EQ(device.rendered[0].projection.m[0], 2.0f / 800.0f);
}

TEST_F(Cursor, AClickDrivenCursorPlaysHalfItsAnimationPerButtonEdge)
{
    TestApplication application(options);
    application.change_cursor(vadu::filesystem::String("cursor/arrow", true), true);
    ASSERT_DOUBLE_EQ(application.get_cursor_duration(), 2.0);
    auto time_after = [&application](double seconds) {
        application.Update(seconds);
        return application.get_cursor_animation().get_time();
    };
    auto send = [&application](uint32_t message) { platform::send_message(application.window(), message, 0, 0); };

    EXPECT_DOUBLE_EQ(time_after(0.3), 0.0);  // resting before any click
    send(platform::wm::LBUTTONDOWN);
    EXPECT_DOUBLE_EQ(time_after(0.5), 0.5);
    EXPECT_DOUBLE_EQ(time_after(0.7), 1.0);  // held past the middle: stops there
    EXPECT_DOUBLE_EQ(time_after(0.7), 1.0);
    send(platform::wm::LBUTTONUP);
    EXPECT_DOUBLE_EQ(time_after(0.5), 1.5);
    EXPECT_DOUBLE_EQ(time_after(1.0), 2.0);  // the end of the second half
    const Vector3 scale = application.get_cursor_node()->get_scale();
    EXPECT_FLOAT_EQ(scale.x, 3.0f);
}

TEST_F(Cursor, AFreeCursorLoopsItsAnimation)
{
    TestApplication application(options);
    application.change_cursor(vadu::filesystem::String("cursor/arrow", true), false);
    application.Update(1.5);
    application.Update(1.0);
    EXPECT_NEAR(application.get_cursor_animation().get_time(), 0.5, 1e-9);
}

// --- window messages ------------------------------------------------------------------------

class Messages : public ShellFixture {};

TEST_F(Messages, ActivationAndMinimisingReachTheHooks)
{
    struct Case {
        uint32_t message;
        uintptr_t wparam;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {platform::wm::ACTIVATE, platform::WA_INACTIVE, {"deactivate"}},
        {platform::wm::ACTIVATE, platform::WA_ACTIVE, {"activate"}},
        {platform::wm::ACTIVATE, platform::WA_CLICKACTIVE | (1u << 16), {"activate"}},
        {platform::wm::SYSCOMMAND, platform::SC_MINIMIZE, {"deactivate"}},
        {platform::wm::SYSCOMMAND, 0xF120, {}},
    };
    TestApplication application(options);
    for (const Case& c : cases) {
        application.events.clear();
        platform::send_message(application.window(), c.message, c.wparam, 0);
        EXPECT_EQ(application.events, c.events) << c.message << " " << c.wparam;
    }
    platform::send_message(application.window(), platform::wm::ACTIVATE, platform::WA_ACTIVE, 0);
    EXPECT_TRUE(application.is_active());
}

TEST_F(Messages, ARefusedCloseRequestIsSwallowed)
{
    TestApplication application(options);
    application.allow_close = false;
    EXPECT_EQ(platform::send_message(application.window(), platform::wm::CLOSE, 0, 0), 1);
    platform::Message message;
    EXPECT_FALSE(platform::peek_message(&message, nullptr, platform::wm::QUIT, platform::wm::QUIT, false));

    application.allow_close = true;
    EXPECT_EQ(platform::send_message(application.window(), platform::wm::CLOSE, 0, 0), 0);
    EXPECT_TRUE(platform::peek_message(&message, nullptr, platform::wm::QUIT, platform::wm::QUIT, false));
    EXPECT_EQ(application.events, (std::vector<std::string>{"close?", "close?"}));
}

TEST_F(Messages, AWindowedWindowWithAStoredSizeIsFittedAndCentredAgain)
{
    platform::headless::set_desktop_size({1280, 720});
    TestApplication application(options);
    vadu::Window& record = application.get_window();
    const platform::WindowHandle window = application.window();
    const platform::Rect before = platform::get_window_rect(window);

    // No stored size yet: nothing moves.
    platform::send_message(window, platform::wm::DISPLAYCHANGE, 0, 0);
    EXPECT_EQ(platform::get_window_rect(window).left, before.left);

    record.client_width = 1600;
    record.client_height = 900;
    platform::send_message(window, platform::wm::SIZE, platform::SIZE_RESTORED, 0);
    platform::Rect client = platform::get_client_rect(window);
    EXPECT_EQ(client.right, 1180);
    EXPECT_EQ(client.bottom, 663);
    platform::Rect outer = platform::get_window_rect(window);
    EXPECT_EQ(outer.left, 640 - record.window_width / 2);
    EXPECT_EQ(outer.top, 360 - record.window_height / 2);
    EXPECT_EQ(record.client_width, 1600);

    // Minimising, switching placement and full screen leave the window alone.
    struct Case {
        uint32_t message;
        uintptr_t wparam;
        bool changing;
        bool full_screen;
    };
    const Case untouched[] = {
        {platform::wm::SIZE, platform::SIZE_MINIMIZED, false, false},
        {platform::wm::DISPLAYCHANGE, 0, true, false},
        {platform::wm::SIZE, platform::SIZE_RESTORED, false, true},
    };
    for (const Case& c : untouched) {
        record.changing_placement = true;
        platform::move_window(window, 5, 6, 300, 200);
        record.changing_placement = c.changing;
        record.full_screen = c.full_screen;
        platform::send_message(window, c.message, c.wparam, 0);
        outer = platform::get_window_rect(window);
        EXPECT_EQ(outer.left, 5) << c.message;
        EXPECT_EQ(outer.right - outer.left, 300) << c.message;
    }
    record.changing_placement = false;
    record.full_screen = false;
    platform::send_message(window, platform::wm::DISPLAYCHANGE, 0, 0);
    client = platform::get_client_rect(window);
    EXPECT_EQ(client.right, 1180);
}

} // namespace
