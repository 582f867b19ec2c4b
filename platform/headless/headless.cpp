#include "platform/headless/script.h"

#include "platform/window_backend.h"

#include "platform/codepage.h"

#include <atomic>
#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <utility>

namespace platform {
namespace {

int frames_from_environment()
{
    const int fallback = 300;
    const char* text = std::getenv("QUILLO_FRAMES");
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const long frames = std::strtol(text, &end, 10);
    if (*end != '\0' || frames < 0 || frames > 0x7FFFFFFF) {
        std::fprintf(stderr, "quillo: QUILLO_FRAMES=\"%s\" is not a frame count (0 or more); closing after %d frames\n",
                     text, fallback);
        return fallback;
    }
    return static_cast<int>(frames);
}

// QUILLO_DESKTOP=WxH sets the headless desktop (a first start fills it); 1920x1080 without
// it or for a value that is not two sizes from 64 to 16384.
Size desktop_from_environment()
{
    const Size fallback{1920, 1080};
    const char* text = std::getenv("QUILLO_DESKTOP");
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const long width = std::strtol(text, &end, 10);
    bool good = *end == 'x';
    long height = 0;
    if (good) {
        const char* rest = end + 1;
        height = std::strtol(rest, &end, 10);
        good = end != rest && *end == '\0' && width >= 64 && height >= 64 && width <= 16384 && height <= 16384;
    }
    if (!good) {
        std::fprintf(stderr,
                     "quillo: QUILLO_DESKTOP=\"%s\" is not WIDTHxHEIGHT with sizes from 64 to 16384; using %dx%d\n",
                     text, fallback.width, fallback.height);
        return fallback;
    }
    return Size{static_cast<int>(width), static_cast<int>(height)};
}

// Key states and the pointer may be read from any thread; the rest belongs to the
// window thread.
// A copy of State::answer_yes for readers that must not lock (a fault handler).
std::atomic<bool> lock_free_answer{false};

struct State {
    std::mutex mutex;
    Size desktop = desktop_from_environment();
    Point pointer;
    std::bitset<256> keys;
    bool answer_yes = false;
    int boxes_shown = 0;
    std::u16string box_text;
    std::u16string box_caption;
    int frame_limit = frames_from_environment();
    int idle_turns = 0;
    bool fail_next_creation = false;
    bool ran_out_once = false;
    // The automatic close's own answer to the question it brings up.
    bool closing_answers_yes = false;
    std::deque<bool> answers;
    std::function<void()> while_question_open;
    bool boxes_fail = false;
    std::vector<headless::MessageBoxRecord> records;
    int raised = 0;
};

State& state()
{
    static State instance;
    return instance;
}

Point client_origin_of(const detail::WindowRecord& record)
{
    const Rect in = detail::frame_insets(record.style);
    return {record.outer.left + in.left, record.outer.top + in.top};
}

detail::WindowRecord* target(WindowHandle window)
{
    detail::choose_headless();
    return window ? detail::find_window(window) : detail::first_window();
}

class HeadlessBackend final : public detail::Backend {
public:
    bool create_window(detail::WindowRecord&) override
    {
        auto& s = state();
        if (s.fail_next_creation) {
            s.fail_next_creation = false;
            return false;
        }
        return true;
    }

    void destroy_window(detail::WindowRecord&) override {}

    void show_window(detail::WindowRecord& record, int command) override
    {
        // A desktop gives the window it shows the focus.
        if (!record.visible && command != sw::HIDE && command != sw::MINIMIZE)
            post_message(record.handle, wm::ACTIVATE, WA_ACTIVE, 0);
    }

    void placement_changed(detail::WindowRecord&) override {}
    void style_changed(detail::WindowRecord&) override {}
    void title_changed(detail::WindowRecord&) override {}

    Size desktop_size() override
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        return s.desktop;
    }

    Point client_origin(const detail::WindowRecord& record) override { return client_origin_of(record); }

    void pump() override {}

    void idle_turn() override
    {
        auto& s = state();
        ++s.idle_turns;
        if (s.frame_limit > 0 && s.idle_turns == s.frame_limit)
            close_or_quit();
    }

    void wait() override
    {
        if (detail::wait_for_queue(std::chrono::milliseconds(250)))
            return;
        // Nothing can arrive any more: end the run as a user closing the window would.
        auto& s = state();
        if (!s.ran_out_once) {
            s.ran_out_once = true;
            close_or_quit();
        } else {
            post_message(nullptr, wm::QUIT, 0, 0);
        }
    }

    void wake() override {}

    Point cursor_pos() override
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        return s.pointer;
    }

    void set_cursor_pos(Point point) override
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.pointer = point;
    }

    void show_cursor(bool) override {}

    bool key_down(int virtual_key) override
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        return s.keys.test(static_cast<size_t>(virtual_key) & 0xFF);
    }

    bool message_box_yes_no(const char16_t* text, const char16_t* caption, MessageBoxIcon) override
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        ++s.boxes_shown;
        s.box_text = text;
        s.box_caption = caption;
        s.records.push_back({headless::MessageBoxRecord::Kind::yes_no, text, caption, u"", u"", s.answer_yes});
        return s.answer_yes;
    }

    MessageBoxAnswer message_box_question(const char16_t* text, const char16_t* caption, const char16_t* yes_label,
                                          const char16_t* no_label) override
    {
        auto& s = state();
        std::function<void()> while_open;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            while_open = std::exchange(s.while_question_open, nullptr);
        }
        if (while_open)
            while_open();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.boxes_fail)
            return MessageBoxAnswer::failed;
        bool yes = s.answer_yes;
        if (s.closing_answers_yes) {
            s.closing_answers_yes = false;
            yes = true;
        } else if (!s.answers.empty()) {
            yes = s.answers.front();
            s.answers.pop_front();
        }
        ++s.boxes_shown;
        s.box_text = text;
        s.box_caption = caption;
        s.records.push_back({headless::MessageBoxRecord::Kind::question, text, caption, yes_label, no_label, yes});
        return yes ? MessageBoxAnswer::yes : MessageBoxAnswer::no;
    }

    bool message_box_ok(const char* text, const char* caption) override
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.boxes_fail)
            return false;
        ++s.boxes_shown;
        s.box_text = widen(text);
        s.box_caption = widen(caption);
        s.records.push_back({headless::MessageBoxRecord::Kind::ok, s.box_text, s.box_caption, u"", u"", false});
        return true;
    }

    void raise_window(detail::WindowRecord&) override
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        ++s.raised;
    }

    bool headless() const override { return true; }

private:
    static std::u16string widen(const std::string& ansi)
    {
        std::u16string wide(ansi.size(), u'\0');
        if (!ansi.empty())
            multibyte_to_wide(ansi.data(), static_cast<int>(ansi.size()), wide.data(), static_cast<int>(wide.size()));
        return wide;
    }

    static void close_or_quit()
    {
        if (detail::WindowRecord* window = detail::first_window()) {
            {
                auto& s = state();
                std::lock_guard<std::mutex> lock(s.mutex);
                s.closing_answers_yes = true;
            }
            post_message(window->handle, wm::CLOSE, 0, 0);
        } else {
            post_message(nullptr, wm::QUIT, 0, 0);
        }
    }
};

bool post_to(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    detail::WindowRecord* record = target(window);
    return record && post_message(record->handle, message, wparam, lparam);
}

} // namespace

namespace detail {

std::unique_ptr<Backend> make_headless_backend()
{
    return std::make_unique<HeadlessBackend>();
}

} // namespace detail

namespace headless {

void reset()
{
    detail::choose_headless();
    detail::clear_queue();
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.desktop = desktop_from_environment();
    s.pointer = {};
    s.keys.reset();
    s.answer_yes = false;
    lock_free_answer.store(false, std::memory_order_relaxed);
    s.boxes_shown = 0;
    s.box_text.clear();
    s.box_caption.clear();
    s.frame_limit = frames_from_environment();
    s.idle_turns = 0;
    s.fail_next_creation = false;
    s.ran_out_once = false;
    s.closing_answers_yes = false;
    s.answers.clear();
    s.while_question_open = nullptr;
    s.boxes_fail = false;
    s.records.clear();
    s.raised = 0;
}

void set_frame_limit(int frames)
{
    detail::choose_headless();
    state().frame_limit = frames < 0 ? 0 : frames;
}

int frame_limit()
{
    return state().frame_limit;
}

int idle_turns()
{
    return state().idle_turns;
}

void set_desktop_size(Size size)
{
    detail::choose_headless();
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.desktop = size;
}

void set_pointer_position(Point point)
{
    detail::choose_headless();
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.pointer = point;
}

void set_key_state(int virtual_key, bool down)
{
    detail::choose_headless();
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.keys.set(static_cast<size_t>(virtual_key) & 0xFF, down);
}

void fail_next_window_creation()
{
    detail::choose_headless();
    state().fail_next_creation = true;
}

void set_message_box_answer(bool yes)
{
    detail::choose_headless();
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.answer_yes = yes;
    lock_free_answer.store(yes, std::memory_order_relaxed);
}

bool scripted_message_box_answer()
{
    return lock_free_answer.load(std::memory_order_relaxed);
}

int message_boxes_shown()
{
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.boxes_shown;
}

std::u16string last_message_box_text()
{
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.box_text;
}

std::u16string last_message_box_caption()
{
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.box_caption;
}

void push_message_box_answer(bool yes)
{
    detail::choose_headless();
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.answers.push_back(yes);
}

void while_next_question_open(std::function<void()> call)
{
    detail::choose_headless();
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.while_question_open = std::move(call);
}

void fail_message_boxes(bool fail)
{
    detail::choose_headless();
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.boxes_fail = fail;
}

std::vector<MessageBoxRecord> message_box_records()
{
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.records;
}

int windows_raised()
{
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.raised;
}

bool push_mouse_move(WindowHandle window, int32_t x, int32_t y)
{
    detail::WindowRecord* record = target(window);
    if (!record)
        return false;
    const Point origin = client_origin_of(*record);
    set_pointer_position({origin.x + x, origin.y + y});
    detail::post_pointer_move(record->handle, {x, y});
    return true;
}

bool push_mouse_button(WindowHandle window, int button, bool down, int32_t x, int32_t y)
{
    detail::WindowRecord* record = target(window);
    if (!record)
        return false;
    set_key_state(button == 0 ? vk::LBUTTON : vk::RBUTTON, down);
    const uint32_t message = button == 0 ? (down ? wm::LBUTTONDOWN : wm::LBUTTONUP)
                                         : (down ? wm::RBUTTONDOWN : wm::RBUTTONUP);
    return post_message(record->handle, message, 0,
                        make_lparam(static_cast<uint32_t>(x), static_cast<uint32_t>(y)));
}

bool push_key(WindowHandle window, int virtual_key, bool down)
{
    detail::WindowRecord* record = target(window);
    if (!record)
        return false;
    set_key_state(virtual_key, down);
    return post_message(record->handle, down ? wm::KEYDOWN : wm::KEYUP, static_cast<uintptr_t>(virtual_key), 0);
}

bool push_char(WindowHandle window, unsigned char ansi)
{
    return post_to(window, wm::CHAR, ansi, 0);
}

bool push_size(WindowHandle window, int32_t width, int32_t height)
{
    detail::WindowRecord* record = target(window);
    if (!record)
        return false;
    const bool was_minimized = record->minimized;
    record->minimized = false;
    const bool resized = detail::set_client_size(*record, {width, height});
    if (!resized && !was_minimized)
        return true;
    return post_message(record->handle, wm::SIZE, SIZE_RESTORED,
                        make_lparam(static_cast<uint32_t>(record->client.width),
                                    static_cast<uint32_t>(record->client.height)));
}

bool push_minimize(WindowHandle window)
{
    detail::WindowRecord* record = target(window);
    if (!record)
        return false;
    if (record->minimized)
        return true;
    record->minimized = true;
    post_message(record->handle, wm::SYSCOMMAND, SC_MINIMIZE, 0);
    return post_message(record->handle, wm::SIZE, SIZE_MINIMIZED, 0);
}

bool push_activate(WindowHandle window, bool active)
{
    return post_to(window, wm::ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, 0);
}

bool push_close(WindowHandle window)
{
    return post_to(window, wm::CLOSE, 0, 0);
}

} // namespace headless
} // namespace platform
