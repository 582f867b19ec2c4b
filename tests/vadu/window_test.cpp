#include "vadu/window.h"

#include "platform/clock.h"
#include "platform/headless/script.h"
#include "vadu/exception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace wm = platform::wm;

class TestApplication : public vadu::Application {
public:
    TestApplication() : vadu::WindowCreator(320, 240, true), vadu::Application("Test application") {}

    bool Update(double seconds) override
    {
        ++updates;
        frame_seconds.push_back(seconds);
        return on_update ? on_update(updates) : true;
    }

    bool Render() override
    {
        ++renders;
        return true;
    }

    int32_t OnWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam) override
    {
        if (on_message)
            on_message(message);
        if (message == wm::CLOSE) {
            ++closes;
            if (refused_closes > 0) {
                --refused_closes;
                return 1;
            }
        }
        return vadu::Application::OnWindowMessage(message, wparam, lparam);
    }

    std::function<bool(int update)> on_update;
    std::function<void(uint32_t message)> on_message;
    int refused_closes = 0;
    int updates = 0;
    int renders = 0;
    int closes = 0;
    std::vector<double> frame_seconds;
};

class MainLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::headless::reset();
        // A loop that a fault keeps running still ends.
        platform::headless::set_frame_limit(5000);
    }

    void TearDown() override { platform::headless::reset(); }

    // For loops that wait for another thread: no automatic close, but a frame
    // every millisecond for at most five seconds.
    static std::function<bool(int)> until(const std::atomic<bool>& done)
    {
        platform::headless::set_frame_limit(0);
        return [&done](int update) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return !done && update < 5000;
        };
    }

    // Handles every queued message as the loop would.
    static void pump_messages()
    {
        platform::Message message;
        while (platform::peek_message(&message, nullptr, 0, 0, false)) {
            if (!platform::get_message(&message))
                return;
            platform::translate_message(message);
            platform::dispatch_message(message);
        }
    }
};

TEST_F(MainLoop, ApplicationAloneBuildsAResizableWindowTitledWithItsName)
{
    vadu::Application application("Engine");
    const vadu::Window& record = application.get_window();
    const platform::Rect client = platform::get_client_rect(record.window);
    EXPECT_EQ(client.right, 512);
    EXPECT_EQ(client.bottom, 384);
    EXPECT_EQ(platform::get_window_style(record.window), platform::ws::OVERLAPPEDWINDOW);
    EXPECT_EQ(platform::get_window_text(record.window), "Engine");
    EXPECT_EQ(application.get_name(), "Engine");
    EXPECT_EQ(record.client_width, -1);
    EXPECT_EQ(record.window_width, -1);
    EXPECT_FALSE(record.full_screen);
    EXPECT_FALSE(application.is_active());
    EXPECT_FALSE(application.is_cursor_visible());
    EXPECT_EQ(application.get_window_thread(), std::this_thread::get_id());
}

TEST_F(MainLoop, FailedWindowRaisesGluck)
{
    platform::headless::fail_next_window_creation();
    try {
        vadu::WindowCreator creator(100, 100, true);
        FAIL() << "no exception";
    } catch (const vadu::Gluck& gluck) {
        EXPECT_EQ(gluck.get_function(), "vadu::WindowCreator::WindowCreator");
        EXPECT_EQ(gluck.get_description(), "Could not create mwin window");
    }
    vadu::WindowCreator creator(100, 100, true); // only the one creation failed
    EXPECT_TRUE(platform::is_window(creator.get_window().window));
}

class ConstantHandler : public vadu::WindowCreator::MessageHandler {
public:
    ConstantHandler(vadu::WindowCreator& creator, int32_t result) : MessageHandler(creator), result(result) {}
    int32_t OnWindowMessage(uint32_t, uintptr_t, intptr_t) override
    {
        ++asked;
        return result;
    }
    int32_t result;
    int asked = 0;
};

TEST_F(MainLoop, HandlersAreAskedInOrderUntilOneAnswers)
{
    vadu::WindowCreator creator(100, 100, false);
    const platform::WindowHandle window = creator.get_window().window;
    EXPECT_EQ(platform::get_window_user_data(window), &creator);

    auto first = std::make_unique<ConstantHandler>(creator, 0);
    auto second = std::make_unique<ConstantHandler>(creator, 7);
    EXPECT_EQ(platform::send_message(window, wm::USER + 9, 0, 0), 7);
    EXPECT_EQ(first->asked, 1);
    EXPECT_EQ(second->asked, 1);

    first->result = 5;
    EXPECT_EQ(platform::send_message(window, wm::USER + 9, 0, 0), 5);
    EXPECT_EQ(second->asked, 1);

    // With every handler answering 0 the default procedure decides.
    first->result = 0;
    second.reset();
    platform::set_cursor(platform::Cursor::none);
    EXPECT_EQ(platform::send_message(window, wm::SETCURSOR, 0, platform::make_lparam(platform::HTCLIENT, 0)), 1);
    EXPECT_EQ(platform::get_cursor(), platform::Cursor::arrow);
    EXPECT_EQ(platform::send_message(window, wm::USER + 9, 0, 0), 0);
    EXPECT_EQ(platform::send_message(window, wm::CLOSE, 0, 0), 0);
    EXPECT_FALSE(platform::is_window(window));
}

TEST_F(MainLoop, CreatorDestroysItsWindow)
{
    platform::WindowHandle window;
    {
        vadu::WindowCreator creator(100, 100, true);
        window = creator.get_window().window;
        EXPECT_TRUE(platform::is_window(window));
    }
    EXPECT_FALSE(platform::is_window(window));
}

TEST_F(MainLoop, FalseUpdateClosesOnceAfterThatTurnsRender)
{
    TestApplication application;
    application.on_update = [](int update) { return update < 3; };
    application.run_main_loop();
    EXPECT_EQ(application.updates, 3);
    EXPECT_EQ(application.renders, 3);
    EXPECT_EQ(application.closes, 1);
    EXPECT_FALSE(platform::is_window(application.get_window().window));
}

TEST_F(MainLoop, RefusedCloseKeepsTheLoopWithoutFurtherFrames)
{
    platform::headless::set_frame_limit(40);
    TestApplication application;
    application.refused_closes = 1;
    application.on_update = [](int) { return false; };
    application.run_main_loop();
    // The refused close left the loop polling; the automatic close at the
    // fortieth idle turn was accepted.
    EXPECT_EQ(application.updates, 1);
    EXPECT_EQ(application.renders, 1);
    EXPECT_EQ(application.closes, 2);
    EXPECT_GE(platform::headless::idle_turns(), 40);
}

TEST_F(MainLoop, QuitMessageEndsTheLoop)
{
    TestApplication application;
    application.on_update = [](int update) {
        if (update == 5)
            platform::post_message(nullptr, wm::QUIT, 0, 0);
        return true;
    };
    application.run_main_loop();
    EXPECT_EQ(application.updates, 5);
    EXPECT_EQ(application.closes, 0);
    EXPECT_TRUE(platform::is_window(application.get_window().window));
}

class FakeClock : public platform::TickSource {
public:
    bool query_performance_counter(int64_t* ticks) override
    {
        *ticks = counter;
        return true;
    }
    bool query_performance_frequency(int64_t* per_second) override
    {
        *per_second = frequency;
        return true;
    }
    uint32_t get_tick_count() override { return 0; }

    int64_t counter = 1000;
    int64_t frequency = 1000;
};

TEST_F(MainLoop, FrameTimeIsTheTickDifferenceTimesTheCurrentPeriod)
{
    FakeClock clock;
    platform::set_tick_source(&clock);
    struct Restore {
        ~Restore() { platform::set_tick_source(nullptr); }
    } restore;
    TestApplication application;
    // Time spent showing and painting the window does not count as a frame.
    application.on_message = [&clock](uint32_t message) {
        if (message == wm::PAINT)
            clock.counter += 500;
    };
    application.on_update = [&clock](int update) {
        clock.counter += 20;
        if (update == 2)
            clock.frequency = 100;
        return update < 3;
    };
    application.run_main_loop();
    ASSERT_EQ(application.frame_seconds.size(), 3u);
    EXPECT_DOUBLE_EQ(application.frame_seconds[0], 0.0);
    EXPECT_DOUBLE_EQ(application.frame_seconds[1], 0.02);
    EXPECT_DOUBLE_EQ(application.frame_seconds[2], 0.2);
}

// A minimised window gets no frames: the loop waits for its next message instead of
// turning idle, and the restore that message brings starts the frames again.
TEST_F(MainLoop, AMinimisedWindowWaitsForItsNextMessage)
{
    platform::headless::set_frame_limit(0);
    TestApplication application;
    const platform::WindowHandle window = application.get_window().window;
    int minimised_at = 0;
    int idle_turns_when_minimised = 0;
    int restored_at = 0;
    std::thread restorer;
    application.on_update = [&](int update) {
        if (update == 3) {
            platform::show_window(window, platform::sw::MINIMIZE);
            minimised_at = update;
            idle_turns_when_minimised = platform::headless::idle_turns();
            // Another thread brings the restore a while later, as a desktop would.
            restorer = std::thread([&application, window] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                application.PostToWindowThread([window] { platform::show_window(window, platform::sw::RESTORE); });
            });
        } else if (restored_at == 0 && minimised_at != 0) {
            restored_at = update;
        }
        return update < 6;
    };
    application.run_main_loop();
    restorer.join();
    // No frame ran while minimised, and the loop did not spin waiting for the restore.
    EXPECT_EQ(restored_at, minimised_at + 1);
    EXPECT_LE(platform::headless::idle_turns() - idle_turns_when_minimised, 3);
    EXPECT_EQ(application.updates, 6);
    EXPECT_EQ(application.renders, 6);
    // The first frame after it covers the time spent minimised.
    ASSERT_EQ(application.frame_seconds.size(), 6u);
    EXPECT_GE(application.frame_seconds[3], 0.09);
}

struct RecordingInput : vadu::WindowInputListener {
    void mouse_button_down(int index) override { events.push_back("down " + std::to_string(index)); }
    void mouse_button_up(int index) override { events.push_back("up " + std::to_string(index)); }
    void mouse_move(int32_t x, int32_t y) override
    {
        events.push_back("move " + std::to_string(x) + " " + std::to_string(y));
    }
    void mouse_set_client_size(int32_t height, int32_t width) override
    {
        events.push_back("client " + std::to_string(height) + " " + std::to_string(width));
    }
    void key_down(uint32_t code) override { events.push_back("key down " + std::to_string(code)); }
    void key_up(uint32_t code) override { events.push_back("key up " + std::to_string(code)); }
    void key_char(char16_t unit) override { events.push_back("char " + std::to_string(unit)); }
    std::vector<std::string> events;
};

TEST_F(MainLoop, BaseHandlerDecodesInput)
{
    TestApplication application;
    RecordingInput input;
    vadu::set_window_input_listener(&input);
    const platform::WindowHandle window = application.get_window().window;
    struct Case {
        uint32_t message;
        uintptr_t wparam;
        intptr_t lparam;
        const char* event;
    } const cases[] = {
        {wm::MOUSEMOVE, 0, platform::make_lparam(10, 20), "move 10 20"},
        {wm::MOUSEMOVE, 0, platform::make_lparam(40000, 65535), "move 40000 65535"},
        {wm::MOUSEMOVE, 0, static_cast<intptr_t>(0xFFFFFFFF80008000u), "move 32768 32768"},
        {wm::LBUTTONDOWN, 0, 0, "down 0"},
        {wm::LBUTTONUP, 0, 0, "up 0"},
        {wm::RBUTTONDOWN, 0, 0, "down 1"},
        {wm::RBUTTONUP, 0, 0, "up 1"},
        {wm::KEYDOWN, 65, 0, "key down 65"},
        {wm::KEYUP, 27, 0, "key up 27"},
        {wm::CHAR, 'a', 0, "char 97"},
        {wm::CHAR, 0xE9, 0, "char 233"},
        {wm::CHAR, 0x180, 0, "char 8364"}, // only the low byte counts: 0x80 is the euro sign
        {wm::SIZE, platform::SIZE_RESTORED, 0, "client 240 320"},
    };
    for (const Case& c : cases) {
        input.events.clear();
        EXPECT_EQ(platform::send_message(window, c.message, c.wparam, c.lparam), 0);
        ASSERT_EQ(input.events.size(), 1u) << c.event;
        EXPECT_EQ(input.events[0], c.event);
    }
    vadu::set_window_input_listener(nullptr);
}

TEST_F(MainLoop, ActivationFollowsTheLowWord)
{
    TestApplication application;
    const platform::WindowHandle window = application.get_window().window;
    struct Case {
        uintptr_t wparam;
        bool active;
    } const cases[] = {
        {platform::WA_ACTIVE, true},  {3, true},       {platform::WA_INACTIVE, false}, {3, false},
        {platform::WA_CLICKACTIVE, true}, {0x10000, false}, {0x20001, true},
    };
    for (const Case& c : cases) {
        platform::send_message(window, wm::ACTIVATE, c.wparam, 0);
        EXPECT_EQ(application.is_active(), c.active) << c.wparam;
    }
}

TEST_F(MainLoop, HiddenCursorSwallowsOnlyClientSetCursor)
{
    TestApplication application;
    const platform::WindowHandle window = application.get_window().window;
    struct Case {
        bool cursor_visible;
        int hit;
        platform::MessageResult result;
        platform::Cursor cursor;
    } const cases[] = {
        {false, platform::HTCLIENT, 1, platform::Cursor::none},
        {false, platform::HTCAPTION, 1, platform::Cursor::arrow}, // default procedure's arrow
        {false, platform::HTBORDER, 1, platform::Cursor::arrow},
        {true, platform::HTCLIENT, 1, platform::Cursor::arrow},
    };
    for (const Case& c : cases) {
        platform::set_cursor(c.cursor == platform::Cursor::none ? platform::Cursor::arrow : platform::Cursor::none);
        application.set_cursor_visible(c.cursor_visible);
        EXPECT_EQ(platform::send_message(window, wm::SETCURSOR, 0, platform::make_lparam(c.hit, wm::MOUSEMOVE)),
                  c.result);
        EXPECT_EQ(platform::get_cursor(), c.cursor) << c.hit;
    }
}

TEST_F(MainLoop, ChangingCursorVisibilityAsksForTheCursorAgain)
{
    TestApplication application;
    const platform::WindowHandle window = application.get_window().window;
    platform::show_window(window, platform::sw::SHOWNORMAL);
    const platform::Rect outer = platform::get_window_rect(window);
    platform::headless::set_pointer_position({outer.left + 50, outer.top + 60});
    pump_messages();

    application.set_cursor_visible(false);
    pump_messages();
    EXPECT_EQ(platform::get_cursor(), platform::Cursor::none);
    application.set_cursor_visible(true);
    EXPECT_TRUE(application.is_cursor_visible());
    pump_messages();
    EXPECT_EQ(platform::get_cursor(), platform::Cursor::arrow);
}

TEST_F(MainLoop, RunInWindowThreadReturnsAfterTheCallRanThere)
{
    TestApplication application;
    const std::thread::id window_thread = std::this_thread::get_id();
    std::atomic<bool> ran{false};
    std::atomic<bool> ran_before_return{false};
    std::atomic<bool> on_window_thread{false};
    std::atomic<bool> quit{false};
    application.on_update = until(quit);
    std::thread worker([&] {
        const bool reported = application.RunInWindowThread([&] {
            on_window_thread = std::this_thread::get_id() == window_thread;
            ran = true;
        });
        ran_before_return = ran.load() && reported;
        quit = true;
    });
    application.run_main_loop();
    worker.join();
    EXPECT_TRUE(ran_before_return);
    EXPECT_TRUE(on_window_thread);
}

TEST_F(MainLoop, PostToWindowThreadReturnsBeforeTheCallRuns)
{
    TestApplication application;
    bool ran = false;
    application.PostToWindowThread([&] { ran = true; });
    EXPECT_FALSE(ran);
    application.on_update = [&](int) { return !ran; };
    application.run_main_loop();
    EXPECT_TRUE(ran);
}

TEST_F(MainLoop, RunInWindowThreadOnTheWindowThreadRunsAtOnce)
{
    TestApplication application;
    int runs = 0;
    EXPECT_TRUE(application.RunInWindowThread([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    application.on_update = [&](int update) {
        EXPECT_TRUE(application.RunInWindowThread([&] { ++runs; }));
        return update < 2;
    };
    application.run_main_loop();
    EXPECT_EQ(runs, 3);
    EXPECT_TRUE(application.RunInWindowThread(std::function<void()>())); // empty: nothing to do
}

TEST_F(MainLoop, EmptyCallsAreSkippedAndTheirWaiterReleased)
{
    TestApplication application;
    std::atomic<bool> released{false};
    application.on_update = until(released);
    application.PostToWindowThread(std::function<void()>());
    std::thread worker([&] {
        released = application.RunInWindowThread(std::function<void()>());
    });
    EXPECT_NO_THROW(application.run_main_loop());
    worker.join();
    EXPECT_TRUE(released);
}

TEST_F(MainLoop, ThrowingCallStillReleasesItsWaiter)
{
    TestApplication application;
    const std::atomic<bool> never{false};
    application.on_update = until(never);
    std::thread worker([&] {
        (void)application.RunInWindowThread([] { throw vadu::Gluck("test", "call failed"); });
    });
    EXPECT_THROW(application.run_main_loop(), vadu::Gluck);
    worker.join(); // would hang if the waiter were never signalled
}

TEST_F(MainLoop, CallsLeftAtDestructionAreFreedAndTheirWaitersReleased)
{
    auto application = std::make_unique<TestApplication>();
    const platform::WindowHandle window = application->get_window().window;
    application->on_update = [](int) {
        platform::post_message(nullptr, wm::QUIT, 0, 0);
        return true;
    };
    application->run_main_loop(); // the window stays, so calls can still be queued

    std::atomic<bool> ran{false};
    std::atomic<bool> returned{false};
    std::atomic<bool> reported{true};
    std::thread worker([&] {
        reported = application->RunInWindowThread([&] { ran = true; });
        returned = true;
    });
    platform::Message message;
    while (!platform::peek_message(&message, window, wm::USER + 1, wm::USER + 1, false))
        std::this_thread::yield();
    application->PostToWindowThread([&] { ran = true; });
    EXPECT_FALSE(returned);

    application.reset();
    worker.join(); // would hang if the waiter were never released
    EXPECT_TRUE(returned);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(reported); // dropped unrun, and the caller is told so
}

TEST_F(MainLoop, RunInWindowThreadReportsACallThatCannotBePosted)
{
    TestApplication application;
    platform::destroy_window(application.get_window().window);
    bool ran = false;
    bool reported = true;
    std::thread worker([&] { reported = application.RunInWindowThread([&] { ran = true; }); });
    worker.join(); // returns at once: nothing could run the call
    EXPECT_FALSE(reported);
    EXPECT_FALSE(ran);
}

} // namespace
