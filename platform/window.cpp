#include "platform/window.h"

#include "platform/codepage.h"
#include "platform/termination.h"
#include "platform/window_backend.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>

namespace platform {
namespace detail {
namespace {

struct Core {
    // Guards the queue and the set of live windows: the only state other threads
    // touch (through post_message).
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<Message> queue;
    std::map<uintptr_t, std::unique_ptr<WindowRecord>> windows; // by id, oldest first
    uintptr_t next_id = 1;

    // Window thread only.
    std::map<std::string, WindowProcedure> classes;
    Cursor cursor = Cursor::arrow;
};

Core& core()
{
    static Core instance;
    return instance;
}

std::once_flag backend_chosen;
std::unique_ptr<Backend> backend_instance;

uintptr_t id_of(WindowHandle window)
{
    return reinterpret_cast<uintptr_t>(window);
}

bool wants_headless()
{
    const char* forced = std::getenv("QUILLO_HEADLESS");
    if (forced && std::string(forced) == "1")
        return true;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (!x11 || !*x11) && (!wayland || !*wayland);
}

void choose_backend()
{
    if (!wants_headless()) {
        std::string error;
        backend_instance = make_sdl_backend(&error);
        if (!backend_instance)
            std::fprintf(stderr, "quillo: video failed to start (%s); running without a display\n", error.c_str());
    }
    if (!backend_instance)
        backend_instance = make_headless_backend();
}

bool matches(const Message& message, WindowHandle window, uint32_t first, uint32_t last)
{
    if (window && message.window != window)
        return false;
    if (first == 0 && last == 0)
        return true;
    return message.message >= first && message.message <= last;
}

Size client_for_outer(const Rect& outer, uint32_t style)
{
    const Rect in = frame_insets(style);
    return {std::max(0, outer.right - outer.left - in.left - in.right),
            std::max(0, outer.bottom - outer.top - in.top - in.bottom)};
}

std::u16string widen(const std::string& ansi)
{
    std::u16string wide(ansi.size(), u'\0');
    if (!ansi.empty())
        multibyte_to_wide(ansi.data(), static_cast<int>(ansi.size()), wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string narrow(const std::u16string& wide)
{
    std::string ansi(wide.size(), '\0');
    if (!wide.empty())
        wide_to_multibyte(wide.data(), static_cast<int>(wide.size()), ansi.data(), static_cast<int>(ansi.size()));
    return ansi;
}

void outer_for_client(WindowRecord& record)
{
    const Rect in = frame_insets(record.style);
    record.outer.right = record.outer.left + record.client.width + in.left + in.right;
    record.outer.bottom = record.outer.top + record.client.height + in.top + in.bottom;
}

} // namespace

Rect frame_insets(uint32_t style)
{
    int32_t border = 0;
    if (style & ws::THICKFRAME)
        border = 8;
    else if (style & (ws::BORDER | ws::DLGFRAME))
        border = 3;
    const int32_t caption = (style & ws::CAPTION) == ws::CAPTION ? 24 : 0;
    return {border, border + caption, border, border};
}

WindowRecord* find_window(WindowHandle window)
{
    auto& c = core();
    const auto it = c.windows.find(id_of(window));
    return it == c.windows.end() ? nullptr : it->second.get();
}

WindowRecord* first_window()
{
    auto& c = core();
    return c.windows.empty() ? nullptr : c.windows.begin()->second.get();
}

WindowRecord* find_window_by_native(const void* native)
{
    for (auto& [id, record] : core().windows)
        if (record->native == native)
            return record.get();
    return nullptr;
}

bool set_client_size(WindowRecord& record, Size client)
{
    client.width = std::max(0, client.width);
    client.height = std::max(0, client.height);
    if (client.width == record.client.width && client.height == record.client.height)
        return false;
    record.client = client;
    outer_for_client(record);
    return true;
}

bool queue_has_messages()
{
    auto& c = core();
    std::lock_guard<std::mutex> lock(c.mutex);
    return !c.queue.empty();
}

bool wait_for_queue(std::chrono::milliseconds timeout)
{
    auto& c = core();
    std::unique_lock<std::mutex> lock(c.mutex);
    return c.posted.wait_for(lock, timeout, [&c] { return !c.queue.empty(); });
}

void post_front(const Message& message)
{
    auto& c = core();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.queue.push_front(message);
    }
    c.posted.notify_all();
}

void clear_queue()
{
    auto& c = core();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.queue.clear();
}

Backend& backend()
{
    std::call_once(backend_chosen, choose_backend);
    return *backend_instance;
}

void choose_headless()
{
    std::call_once(backend_chosen, [] { backend_instance = make_headless_backend(); });
}

void post_pointer_move(WindowHandle window, Point client_point)
{
    post_message(window, wm::SETCURSOR, reinterpret_cast<uintptr_t>(window),
                 make_lparam(HTCLIENT, wm::MOUSEMOVE));
    post_message(window, wm::MOUSEMOVE, 0,
                 make_lparam(static_cast<uint32_t>(client_point.x), static_cast<uint32_t>(client_point.y)));
}

} // namespace detail

using detail::backend;
using detail::core;
using detail::find_window;
using detail::WindowRecord;

bool register_window_class(const char* class_name, WindowProcedure procedure)
{
    if (!class_name || !*class_name || !procedure)
        return false;
    core().classes[class_name] = procedure;
    return true;
}

WindowHandle create_window(const char* class_name, const char* title, uint32_t style, int32_t x, int32_t y,
                           int32_t width, int32_t height)
{
    auto& c = core();
    const auto cls = c.classes.find(class_name ? class_name : "");
    if (cls == c.classes.end())
        return nullptr;

    auto record = std::make_unique<WindowRecord>();
    record->procedure = cls->second;
    record->title = title ? title : "";
    record->wide_title = detail::widen(record->title);
    record->style = style;
    record->outer = {x, y, x + std::max(0, width), y + std::max(0, height)};
    record->client = detail::client_for_outer(record->outer, style);

    uintptr_t id;
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        id = c.next_id++;
    }
    record->handle = reinterpret_cast<WindowHandle>(id);
    if (!backend().create_window(*record))
        return nullptr;

    const WindowHandle handle = record->handle;
    std::lock_guard<std::mutex> lock(c.mutex);
    c.windows.emplace(id, std::move(record));
    return handle;
}

bool destroy_window(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    if (!record || record->destroying)
        return false;
    record->destroying = true;
    record->procedure(window, wm::DESTROY, 0, 0);
    backend().destroy_window(*record);
    auto& c = core();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.windows.erase(detail::id_of(window));
    return true;
}

bool is_window(WindowHandle window)
{
    return find_window(window) != nullptr;
}

void set_window_user_data(WindowHandle window, void* data)
{
    if (WindowRecord* record = find_window(window))
        record->user_data = data;
}

void* get_window_user_data(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    return record ? record->user_data : nullptr;
}

uint32_t get_window_style(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    return record ? record->style : 0;
}

void set_window_style(WindowHandle window, uint32_t style)
{
    WindowRecord* record = find_window(window);
    if (!record)
        return;
    record->style = style;
    detail::outer_for_client(*record);
    backend().style_changed(*record);
}

uint32_t get_window_ex_style(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    return record ? record->ex_style : 0;
}

void set_window_ex_style(WindowHandle window, uint32_t ex_style)
{
    WindowRecord* record = find_window(window);
    if (!record)
        return;
    record->ex_style = ex_style;
    backend().style_changed(*record);
}

void set_window_text(WindowHandle window, const char* text)
{
    WindowRecord* record = find_window(window);
    if (!record)
        return;
    record->title = text ? text : "";
    record->wide_title = detail::widen(record->title);
    backend().title_changed(*record);
}

std::string get_window_text(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    return record ? record->title : std::string();
}

void set_window_text_w(WindowHandle window, const char16_t* text)
{
    WindowRecord* record = find_window(window);
    if (!record)
        return;
    record->wide_title = text ? text : u"";
    record->title = detail::narrow(record->wide_title);
    backend().title_changed(*record);
}

std::u16string get_window_text_w(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    return record ? record->wide_title : std::u16string();
}

void set_foreground_window(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    if (!record)
        return;
    if (record->minimized)
        show_window(window, sw::RESTORE);
    backend().raise_window(*record);
}

bool show_window(WindowHandle window, int command)
{
    WindowRecord* record = find_window(window);
    if (!record)
        return false;
    const bool was_visible = record->visible;
    const bool was_minimized = record->minimized;
    backend().show_window(*record, command);

    switch (command) {
    case sw::HIDE:
        record->visible = false;
        break;
    case sw::MINIMIZE:
        record->visible = true;
        record->minimized = true;
        break;
    case sw::SHOWNORMAL:
    case sw::SHOWDEFAULT:
    case sw::RESTORE:
        record->visible = true;
        record->minimized = false;
        record->needs_paint = true;
        break;
    default:
        record->visible = true;
        record->needs_paint = true;
        break;
    }

    if (record->minimized != was_minimized) {
        if (record->minimized)
            send_message(window, wm::SIZE, SIZE_MINIMIZED, 0);
        else
            send_message(window, wm::SIZE, SIZE_RESTORED,
                         make_lparam(static_cast<uint32_t>(record->client.width),
                                     static_cast<uint32_t>(record->client.height)));
    }
    return was_visible;
}

void update_window(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    if (record && record->visible && record->needs_paint)
        send_message(window, wm::PAINT, 0, 0);
}

void move_window(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height)
{
    WindowRecord* record = find_window(window);
    if (!record)
        return;
    record->outer = {x, y, x + std::max(0, width), y + std::max(0, height)};
    const Size client = detail::client_for_outer(record->outer, record->style);
    const bool resized = client.width != record->client.width || client.height != record->client.height;
    record->client = client;
    backend().placement_changed(*record);
    if (resized && !record->minimized)
        send_message(window, wm::SIZE, SIZE_RESTORED,
                     make_lparam(static_cast<uint32_t>(client.width), static_cast<uint32_t>(client.height)));
}

Rect get_window_rect(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    return record ? record->outer : Rect{};
}

Rect get_client_rect(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    if (!record || record->minimized)
        return {};
    return {0, 0, record->client.width, record->client.height};
}

bool is_minimized(WindowHandle window)
{
    WindowRecord* record = find_window(window);
    return record && record->minimized;
}

Point screen_to_client(WindowHandle window, Point point)
{
    WindowRecord* record = find_window(window);
    if (!record)
        return point;
    const Point origin = backend().client_origin(*record);
    return {point.x - origin.x, point.y - origin.y};
}

Rect adjust_window_rect(Rect client, uint32_t style, bool /*has_menu*/)
{
    const Rect in = detail::frame_insets(style);
    return {client.left - in.left, client.top - in.top, client.right + in.right, client.bottom + in.bottom};
}

Size get_desktop_size()
{
    return backend().desktop_size();
}

void begin_paint(WindowHandle window)
{
    if (WindowRecord* record = find_window(window))
        record->needs_paint = false;
}

void end_paint(WindowHandle /*window*/)
{
}

bool peek_message(Message* message)
{
    return peek_message(message, nullptr, 0, 0, false);
}

// A termination signal becomes one close of the oldest window, which the application
// takes as agreed to (see termination.h).
static void deliver_end_request()
{
    if (!end_requested())
        return;
    if (detail::WindowRecord* record = detail::first_window())
        if (detail::take_end_request())
            post_message(record->handle, wm::CLOSE, 0, 0);
}

bool peek_message(Message* message, WindowHandle window, uint32_t first, uint32_t last, bool remove)
{
    auto& b = backend();
    b.pump();
    deliver_end_request();
    {
        auto& c = core();
        std::lock_guard<std::mutex> lock(c.mutex);
        const auto it = std::find_if(c.queue.begin(), c.queue.end(), [&](const Message& m) {
            return detail::matches(m, window, first, last);
        });
        if (it != c.queue.end()) {
            if (message)
                *message = *it;
            if (remove)
                c.queue.erase(it);
            return true;
        }
    }
    if (!window && first == 0 && last == 0)
        b.idle_turn();
    return false;
}

bool get_message(Message* message)
{
    auto& b = backend();
    auto& c = core();
    for (;;) {
        b.pump();
        deliver_end_request();
        {
            std::lock_guard<std::mutex> lock(c.mutex);
            if (!c.queue.empty()) {
                const Message next = c.queue.front();
                c.queue.pop_front();
                if (message)
                    *message = next;
                return next.message != wm::QUIT;
            }
        }
        b.wait();
    }
}

void translate_message(const Message& message)
{
    if (message.message != wm::KEYDOWN)
        return;
    switch (message.wparam) {
    case vk::BACK:
    case vk::TAB:
    case vk::RETURN:
    case vk::ESCAPE:
        detail::post_front({message.window, wm::CHAR, message.wparam, message.lparam});
        break;
    default:
        break;
    }
}

MessageResult dispatch_message(const Message& message)
{
    return send_message(message.window, message.message, message.wparam, message.lparam);
}

MessageResult send_message(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    WindowRecord* record = find_window(window);
    if (!record)
        return 0;
    return record->procedure(window, message, wparam, lparam);
}

bool post_message(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    auto& c = core();
    detail::Backend* waker = nullptr;
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (window && !c.windows.count(detail::id_of(window)))
            return false;
        c.queue.push_back({window, message, wparam, lparam});
        // A window exists only once a back end was chosen; before that nobody waits
        // on native events.
        if (!c.windows.empty())
            waker = detail::backend_instance.get();
    }
    c.posted.notify_all();
    if (waker)
        waker->wake();
    return true;
}

MessageResult default_window_procedure(WindowHandle window, uint32_t message, uintptr_t /*wparam*/,
                                       intptr_t /*lparam*/)
{
    switch (message) {
    case wm::CLOSE:
        destroy_window(window);
        return 0;
    case wm::SETCURSOR:
        set_cursor(Cursor::arrow);
        return 1;
    case wm::PAINT:
        begin_paint(window);
        end_paint(window);
        return 0;
    default:
        return 0;
    }
}

Point get_cursor_pos()
{
    return backend().cursor_pos();
}

void set_cursor_pos(Point point)
{
    backend().set_cursor_pos(point);
    for (auto& [id, record] : core().windows) {
        if (!record->visible || record->minimized)
            continue;
        const Point origin = backend().client_origin(*record);
        const Point inside{point.x - origin.x, point.y - origin.y};
        if (inside.x >= 0 && inside.y >= 0 && inside.x < record->client.width && inside.y < record->client.height) {
            detail::post_pointer_move(record->handle, inside);
            break;
        }
    }
}

Cursor set_cursor(Cursor cursor)
{
    auto& c = core();
    const Cursor previous = c.cursor;
    c.cursor = cursor;
    backend().show_cursor(cursor != Cursor::none);
    return previous;
}

Cursor get_cursor()
{
    return core().cursor;
}

uint16_t get_async_key_state(int virtual_key)
{
    if (virtual_key < 0 || virtual_key > 255)
        return 0;
    return backend().key_down(virtual_key) ? 0x8000 : 0;
}

// Once the program is ending on a termination signal nobody is asked anything more.
bool message_box_yes_no(const char16_t* text, const char16_t* caption, MessageBoxIcon icon)
{
    if (end_requested())
        return false;
    return backend().message_box_yes_no(text ? text : u"", caption ? caption : u"", icon);
}

MessageBoxAnswer message_box_question(const char16_t* text, const char16_t* caption, const char16_t* yes_label,
                                      const char16_t* no_label)
{
    if (end_requested())
        return MessageBoxAnswer::failed;
    return backend().message_box_question(text ? text : u"", caption ? caption : u"",
                                          yes_label && *yes_label ? yes_label : u"Yes",
                                          no_label && *no_label ? no_label : u"No");
}

bool message_box_ok(const char* text, const char* caption)
{
    if (end_requested())
        return false;
    return backend().message_box_ok(text ? text : "", caption ? caption : "");
}

bool is_headless()
{
    return backend().headless();
}

Size fit_client_size_to_desktop(Size wanted, Size desktop)
{
    if (wanted.width <= 0 || wanted.height <= 0)
        return wanted;
    const float ratio = static_cast<float>(wanted.width) / static_cast<float>(wanted.height);
    Size fitted = wanted;
    if (fitted.width > desktop.width) {
        fitted.width = desktop.width - 100;
        fitted.height = static_cast<int32_t>(static_cast<float>(fitted.width) / ratio);
    }
    if (fitted.height > desktop.height) {
        fitted.height = desktop.height - 100;
        fitted.width = static_cast<int32_t>(ratio * static_cast<float>(fitted.height));
    }
    return fitted;
}

} // namespace platform
