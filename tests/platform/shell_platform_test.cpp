// What the game's entry and application ask of the platform: the question box with its
// labels and the report box, leaving and entering full screen, the wide-text title,
// opening the exit's shortcut, and the one-copy lock.

#include "platform/headless/script.h"
#include "platform/system.h"
#include "platform/window.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstring>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace shell_platform_test_file {

using namespace platform;

// The fields the placement helpers use, as the engine's window record has them.
struct Record {
    WindowHandle window = nullptr;
    bool full_screen = false;
    uint32_t saved_style = 0;
    int32_t window_width = -1;
    int32_t window_height = -1;
    int32_t client_width = -1;
    int32_t client_height = -1;
    bool changing_placement = false;
};

int sizes_while_changing = 0;
Record* current_record = nullptr;

MessageResult procedure(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    if (message == wm::SIZE && current_record && current_record->changing_placement)
        ++sizes_while_changing;
    return default_window_procedure(window, message, wparam, lparam);
}

class ShellPlatform : public ::testing::Test {
protected:
    void SetUp() override
    {
        headless::reset();
        headless::set_frame_limit(0);
        clear_recorded_shell_opens();
        ASSERT_TRUE(register_window_class("shell platform test", procedure));
        record.window = create_window("shell platform test", "Loading...", style, 0, 0, 518, 542);
        ASSERT_NE(record.window, nullptr);
        current_record = &record;
        sizes_while_changing = 0;
    }
    void TearDown() override
    {
        current_record = nullptr;
        destroy_window(record.window);
        headless::reset();
        clear_recorded_shell_opens();
    }

    static constexpr uint32_t style = ws::CAPTION | ws::SYSMENU | ws::MINIMIZEBOX;
    Record record;
};

TEST_F(ShellPlatform, QuestionBoxesTakeQueuedAnswersAndRecordTheirLabels)
{
    headless::set_message_box_answer(false);
    headless::push_message_box_answer(true);
    headless::push_message_box_answer(false);
    EXPECT_EQ(message_box_question(u"Quit?", u"", u"Да", u"Нет"), MessageBoxAnswer::yes);
    EXPECT_EQ(message_box_question(u"Quit?", u"", u"Oui", u"Non"), MessageBoxAnswer::no);
    // The queue is used up: the scripted answer again.
    headless::set_message_box_answer(true);
    EXPECT_EQ(message_box_question(u"Again?", u"Caption", nullptr, u""), MessageBoxAnswer::yes);
    EXPECT_TRUE(message_box_ok("In: f\nDescription: d\n", "catch( const Gluck & gluck )"));

    const auto records = headless::message_box_records();
    ASSERT_EQ(records.size(), 4u);
    using Kind = headless::MessageBoxRecord::Kind;
    EXPECT_EQ(records[0].kind, Kind::question);
    EXPECT_EQ(records[0].yes_label, u"Да");
    EXPECT_EQ(records[0].no_label, u"Нет");
    EXPECT_TRUE(records[0].answer_yes);
    EXPECT_EQ(records[1].yes_label, u"Oui");
    EXPECT_FALSE(records[1].answer_yes);
    // Missing labels are the plain ones.
    EXPECT_EQ(records[2].yes_label, u"Yes");
    EXPECT_EQ(records[2].no_label, u"No");
    EXPECT_EQ(records[2].caption, u"Caption");
    EXPECT_EQ(records[3].kind, Kind::ok);
    EXPECT_EQ(records[3].text, u"In: f\nDescription: d\n");
    EXPECT_EQ(records[3].caption, u"catch( const Gluck & gluck )");
    EXPECT_EQ(headless::message_boxes_shown(), 4);
}

TEST_F(ShellPlatform, BoxesThatCannotBeShownSaySo)
{
    headless::fail_message_boxes(true);
    EXPECT_EQ(message_box_question(u"Quit?", u"", u"Yes", u"No"), MessageBoxAnswer::failed);
    EXPECT_FALSE(message_box_ok("text", "caption"));
    EXPECT_TRUE(headless::message_box_records().empty());
}

TEST_F(ShellPlatform, TheAutomaticCloseAnswersItsOwnQuestionYesOnly)
{
    headless::set_frame_limit(2);
    Message message;
    EXPECT_FALSE(peek_message(&message));
    EXPECT_FALSE(peek_message(&message));
    ASSERT_TRUE(peek_message(&message));
    EXPECT_EQ(message.message, wm::CLOSE);
    // The close's question is answered yes; the next one gets the default no.
    EXPECT_EQ(message_box_question(u"Quit?", u"", u"Yes", u"No"), MessageBoxAnswer::yes);
    EXPECT_EQ(message_box_question(u"Quit?", u"", u"Yes", u"No"), MessageBoxAnswer::no);
}

TEST_F(ShellPlatform, ToggleFullscreenLeavesForTheSavedStyleCentredAndComesBack)
{
    headless::set_desktop_size({1024, 768});
    FitWindowSizeToDesktop(record, 1280, 853);
    Rect client = get_client_rect(record.window);
    EXPECT_EQ(client.right, 924);
    EXPECT_EQ(client.bottom, 615);

    ToggleFullscreen(record);
    EXPECT_TRUE(record.full_screen);
    EXPECT_EQ(get_window_style(record.window), ws::POPUP);
    EXPECT_EQ(get_window_ex_style(record.window), ws::EX_TOPMOST);
    client = get_client_rect(record.window);
    EXPECT_EQ(client.right, 1024);
    EXPECT_EQ(client.bottom, 768);

    ToggleFullscreen(record);
    EXPECT_FALSE(record.full_screen);
    EXPECT_FALSE(record.changing_placement);
    EXPECT_GT(sizes_while_changing, 0) << "the size change happened outside the switching flag";
    EXPECT_EQ(get_window_style(record.window), style);
    EXPECT_EQ(get_window_ex_style(record.window), 0u);
    const Rect outer = get_window_rect(record.window);
    EXPECT_EQ(outer.left, 1024 / 2 - record.window_width / 2);
    EXPECT_EQ(outer.top, 768 / 2 - record.window_height / 2);
    client = get_client_rect(record.window);
    EXPECT_EQ(client.right, 924);
    EXPECT_EQ(client.bottom, 615);
}

TEST_F(ShellPlatform, WideTitlesKeepEveryCharacterAndRaisingRestores)
{
    set_window_text_w(record.window, u"Квилло Tovra");
    EXPECT_EQ(get_window_text_w(record.window), u"Квилло Tovra");
    // The 1252 form has no Cyrillic.
    EXPECT_EQ(get_window_text(record.window), "?????? Tovra");
    set_window_text(record.window, "Caf\xE9");
    EXPECT_EQ(get_window_text_w(record.window), u"Café");

    show_window(record.window, sw::SHOW);
    show_window(record.window, sw::MINIMIZE);
    EXPECT_EQ(get_client_rect(record.window).right, 0);
    set_foreground_window(record.window);
    EXPECT_GT(get_client_rect(record.window).right, 0);
    EXPECT_EQ(headless::windows_raised(), 1);
}

TEST(InternetShortcut, OnlyItsHttpAddressIsOpened)
{
    struct Case {
        const char* text;
        const char* url;
    };
    const Case cases[] = {
        {"[InternetShortcut]\r\nURL=https://example.org/play\r\n", "https://example.org/play"},
        {"[{000214A0-0000-0000-C000-000000000046}]\nProp3=19,2\n[InternetShortcut]\nIconIndex=0\nurl = http://a.b/\n",
         "http://a.b/"},
        {"[internetshortcut]\nURL=HTTPS://A.B/c?d=e\n", "HTTPS://A.B/c?d=e"},
        // Another section's address, another scheme, nothing after the scheme.
        {"[Other]\nURL=https://example.org/\n", ""},
        {"[InternetShortcut]\nURL=file:///usr/bin/xterm\n", ""},
        {"[InternetShortcut]\nURL=javascript:alert(1)\n", ""},
        {"[InternetShortcut]\nURL=https://\n", ""},
        // Nothing that could be read as a second argument or an option.
        {"[InternetShortcut]\nURL=https://a.b/ --help\n", ""},
        {"[InternetShortcut]\nURL=-https://a.b/\n", ""},
        {"", ""},
        {"URL=https://a.b/\n", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(url_of_internet_shortcut(c.text), c.url) << c.text;
}

TEST(ShellOpen, HeadlessRunsRecordWhatWouldBeOpenedAndRunNothing)
{
    headless::reset();
    clear_recorded_shell_opens();
    std::string detail;
    EXPECT_EQ(shell_open("/opt/quillo/play.url", &detail), ShellOpenResult::recorded);
    EXPECT_EQ(shell_open("/opt/quillo/fscommand/portek.exe"), ShellOpenResult::recorded);
    EXPECT_EQ(recorded_shell_opens(),
              (std::vector<std::string>{"/opt/quillo/play.url", "/opt/quillo/fscommand/portek.exe"}));
    clear_recorded_shell_opens();
    EXPECT_TRUE(recorded_shell_opens().empty());
}

// A key of this test process alone.
std::string private_key(const char* what)
{
    return std::string("shell platform test/") + what + "/" + std::to_string(::getpid());
}

bool wait_for(const std::atomic<int>& value, int wanted)
{
    for (int i = 0; i < 500 && value.load() < wanted; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return value.load() >= wanted;
}

TEST(InstanceLockTest, ASecondHolderIsRefusedAndRaisesTheFirst)
{
    const std::string key = private_key("raise");
    std::atomic<int> raises{0};
    InstanceLock first;
    ASSERT_EQ(first.acquire(key, [&raises] { ++raises; }), InstanceLock::Result::acquired) << first.error();
    EXPECT_TRUE(first.held());
    {
        InstanceLock second;
        EXPECT_EQ(second.acquire(key, [] { ADD_FAILURE() << "the second copy was raised"; }),
                  InstanceLock::Result::held_elsewhere);
        EXPECT_FALSE(second.held());
    }
    EXPECT_TRUE(wait_for(raises, 1));
    // Another key is another lock.
    InstanceLock other;
    EXPECT_EQ(other.acquire(private_key("other"), nullptr), InstanceLock::Result::acquired);
}

// A first copy that holds the name but no longer accepts (hung, its backlog full): the
// second copy still learns the name is taken, and does not hang waving at it.
TEST(InstanceLockTest, AHolderThatNeverAcceptsDoesNotHangTheSecondCopy)
{
    const std::string key = private_key("deaf");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = "quillo-instance/" + std::to_string(getuid()) + "/" + key;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    const int deaf = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(deaf, 0);
    ASSERT_EQ(bind(deaf, reinterpret_cast<const sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(deaf, 0), 0);
    std::vector<int> waiting;
    for (int i = 0; i < 8; ++i) {
        const int client = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        (void)connect(client, reinterpret_cast<const sockaddr*>(&address), length);
        waiting.push_back(client);
    }
    const auto start = std::chrono::steady_clock::now();
    InstanceLock second;
    EXPECT_EQ(second.acquire(key, nullptr), InstanceLock::Result::held_elsewhere);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    for (const int fd : waiting)
        close(fd);
    close(deaf);
}

// Sends raw bytes to the lock's socket, as another program might.
void send_raw(const std::string& key, const std::string& bytes)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = "quillo-instance/" + std::to_string(getuid()) + "/" + key;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const int client = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(client, 0);
    ASSERT_EQ(connect(client, reinterpret_cast<const sockaddr*>(&address),
                      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
              0);
    (void)!write(client, bytes.data(), bytes.size());
    close(client);
}

TEST(InstanceLockTest, AnythingButRaiseIsIgnoredAndTheLockEndsWithItsHolder)
{
    const std::string key = private_key("ignore");
    std::atomic<int> raises{0};
    {
        InstanceLock first;
        ASSERT_EQ(first.acquire(key, [&raises] { ++raises; }), InstanceLock::Result::acquired);
        for (const char* junk : {"", "rais", "raised", "RAISE", "raise\n", "quit"})
            send_raw(key, junk);
        send_raw(key, "raise");
        EXPECT_TRUE(wait_for(raises, 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(raises.load(), 1);
    }
    InstanceLock again;
    EXPECT_EQ(again.acquire(key, nullptr), InstanceLock::Result::acquired);
}

TEST(InstanceLockTest, TheKernelReleasesTheLockOfAKilledProcess)
{
    const std::string key = private_key("killed");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock held;
        const bool ok = held.acquire(key, nullptr) == InstanceLock::Result::acquired;
        (void)!write(ready[1], ok ? "1" : "0", 1);
        // Killed here, never released by a destructor.
        for (;;)
            pause();
    }
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, '1');
    {
        InstanceLock second;
        EXPECT_EQ(second.acquire(key, nullptr), InstanceLock::Result::held_elsewhere);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    close(ready[1]);
    InstanceLock after;
    EXPECT_EQ(after.acquire(key, nullptr), InstanceLock::Result::acquired);
}

} // namespace shell_platform_test_file
