// The window layer over SDL2: one SDL window per window, SDL's events turned into
// the messages the engine handles.

#include "platform/codepage.h"
#include "platform/dialog.h"
#include "platform/sdl/sdl_dialog.h"
#include "platform/sdl/sdl_present.h"
#include "platform/sdl/translate.h"
#include "platform/termination.h"
#include "platform/window_backend.h"

#include <SDL.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

// Leak checking (sanitizer builds): the D-Bus library keeps an allocation from SDL's
// start-up that SDL 2.26 cannot release; it is not ours to report.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}

namespace platform {
namespace {

SDL_Window* native_of(const detail::WindowRecord& record)
{
    return static_cast<SDL_Window*>(record.native);
}

intptr_t position_lparam(int32_t x, int32_t y)
{
    return make_lparam(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
}

class SdlBackend final : public detail::Backend {
public:
    explicit SdlBackend(uint32_t wake_event) : wake_event_(wake_event) {}
    ~SdlBackend() override
    {
        sdl::settle_window_presents();
        gfx::set_window_present(nullptr);
        SDL_Quit();
    }

    bool create_window(detail::WindowRecord& record) override
    {
        const Rect in = detail::frame_insets(record.style);
        Uint32 flags = SDL_WINDOW_HIDDEN;
        if (record.style & ws::THICKFRAME)
            flags |= SDL_WINDOW_RESIZABLE;
        if ((record.style & ws::CAPTION) != ws::CAPTION)
            flags |= SDL_WINDOW_BORDERLESS;
        SDL_Window* window = SDL_CreateWindow(sdl::ansi_to_utf8(record.title).c_str(), record.outer.left + in.left,
                                              record.outer.top + in.top, std::max(1, record.client.width),
                                              std::max(1, record.client.height), flags);
        if (!window)
            return false;
        record.native = window;
        SDL_StartTextInput();
        return true;
    }

    void destroy_window(detail::WindowRecord& record) override
    {
        // A frame may still be on its way from the window's surface to the display.
        sdl::settle_window_presents();
        // SDL 2 would leave the renderer of the frame presenter dangling.
        if (SDL_Renderer* renderer = SDL_GetRenderer(native_of(record)))
            SDL_DestroyRenderer(renderer);
        SDL_DestroyWindow(native_of(record));
        record.native = nullptr;
    }

    void show_window(detail::WindowRecord& record, int command) override
    {
        SDL_Window* window = native_of(record);
        switch (command) {
        case sw::HIDE:
            SDL_HideWindow(window);
            break;
        case sw::MINIMIZE: {
            // Asked again while the desktop keeps it iconic (the minimise takes the focus
            // away, and a lost focus minimises): showing it would map it, and a window
            // manager would bring it back, only for it to be minimised again.
            const Uint32 flags = SDL_GetWindowFlags(window);
            if (flags & SDL_WINDOW_MINIMIZED)
                break;
            if (!(flags & SDL_WINDOW_SHOWN))
                SDL_ShowWindow(window);
            SDL_MinimizeWindow(window);
            break;
        }
        case sw::SHOWNORMAL:
        case sw::SHOWDEFAULT:
        case sw::RESTORE:
            SDL_ShowWindow(window);
            if (record.minimized)
                SDL_RestoreWindow(window);
            SDL_RaiseWindow(window);
            break;
        default:
            SDL_ShowWindow(window);
            break;
        }
    }

    void placement_changed(detail::WindowRecord& record) override
    {
        SDL_Window* window = native_of(record);
        if (!covers_the_desktop(record)) {
            leave_full_screen(window);
            apply_frame(record);
            const Rect in = detail::frame_insets(record.style);
            SDL_SetWindowPosition(window, record.outer.left + in.left, record.outer.top + in.top);
            SDL_SetWindowSize(window, std::max(1, record.client.width), std::max(1, record.client.height));
            return;
        }
        if (is_full_screen(window))
            return;
        // A display without a window manager keeps the window where it is put.
        if (!framed_by_a_window_manager(window)) {
            apply_frame(record);
            SDL_SetWindowPosition(window, 0, 0);
            SDL_SetWindowSize(window, std::max(1, record.client.width), std::max(1, record.client.height));
        }
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }

    void style_changed(detail::WindowRecord& record) override
    {
        SDL_Window* window = native_of(record);
        const bool caption = (record.style & ws::CAPTION) == ws::CAPTION;
        if (caption)
            leave_full_screen(window);
        // A framed window that loses its caption is on its way to full screen: it keeps its
        // frame until then, and the window manager takes the frame away with the
        // full-screen state. Taken away here, the manager would frame the window anew and
        // place it by the old frame's size, which SDL still holds.
        if (caption || !framed_by_a_window_manager(window))
            apply_frame(record);
        SDL_SetWindowAlwaysOnTop(window, (record.ex_style & ws::EX_TOPMOST) ? SDL_TRUE : SDL_FALSE);
    }

    void title_changed(detail::WindowRecord& record) override
    {
        SDL_SetWindowTitle(native_of(record), sdl::utf16_to_utf8(record.wide_title.c_str()).c_str());
    }

    Size desktop_size() override
    {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0)
            return {};
        return {mode.w, mode.h};
    }

    Point client_origin(const detail::WindowRecord& record) override
    {
        Point origin;
        SDL_GetWindowPosition(native_of(record), &origin.x, &origin.y);
        return origin;
    }

    void pump() override
    {
        SDL_Event event;
        while (SDL_PollEvent(&event))
            translate(event);
    }

    void idle_turn() override {}

    void wait() override { SDL_WaitEventTimeout(nullptr, 100); }

    void wake() override
    {
        SDL_Event event{};
        event.type = wake_event_;
        SDL_PushEvent(&event);
    }

    Point cursor_pos() override
    {
        Point point;
        // Over our window the window-relative state follows every kind of pointer motion;
        // the global one misses absolute moves on some virtual displays.
        if (SDL_Window* focus = SDL_GetMouseFocus()) {
            int left = 0;
            int top = 0;
            SDL_GetWindowPosition(focus, &left, &top);
            SDL_GetMouseState(&point.x, &point.y);
            point.x += left;
            point.y += top;
            return point;
        }
        SDL_GetGlobalMouseState(&point.x, &point.y);
        return point;
    }

    void set_cursor_pos(Point point) override { SDL_WarpMouseGlobal(point.x, point.y); }

    void show_cursor(bool shown) override { SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE); }

    bool key_down(int virtual_key) override
    {
        if (virtual_key == vk::LBUTTON || virtual_key == vk::RBUTTON) {
            const Uint32 buttons = SDL_GetGlobalMouseState(nullptr, nullptr);
            return buttons & (virtual_key == vk::LBUTTON ? SDL_BUTTON_LMASK : SDL_BUTTON_RMASK);
        }
        const Uint8* keys = SDL_GetKeyboardState(nullptr);
        int32_t keycodes[sdl::max_keys_per_virtual_key];
        const int count = sdl::keycodes_from_virtual_key(virtual_key, keycodes);
        for (int i = 0; i < count; ++i) {
            const SDL_Scancode scancode = SDL_GetScancodeFromKey(keycodes[i]);
            if (scancode != SDL_SCANCODE_UNKNOWN && keys[scancode])
                return true;
        }
        return false;
    }

    bool message_box_yes_no(const char16_t* text, const char16_t* caption, MessageBoxIcon icon) override
    {
        const std::string message = sdl::utf16_to_utf8(text);
        const std::string title = sdl::utf16_to_utf8(caption);
        const SDL_MessageBoxButtonData buttons[] = {
            {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
            {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
        };
        SDL_MessageBoxData data{};
        data.flags = icon == MessageBoxIcon::error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        data.window = owner_window();
        data.title = title.c_str();
        data.message = message.c_str();
        data.numbuttons = 2;
        data.buttons = buttons;
        int chosen = 0;
        const detail::OpenBox box;
        if (SDL_ShowMessageBox(&data, &chosen) != 0)
            return false;
        return chosen == 1 && !end_requested();
    }

    MessageBoxAnswer message_box_question(const char16_t* text, const char16_t* caption, const char16_t* yes_label,
                                          const char16_t* no_label) override
    {
        const std::string message = sdl::utf16_to_utf8(text);
        const std::string title = sdl::utf16_to_utf8(caption);
        const std::string yes = sdl::utf16_to_utf8(yes_label);
        const std::string no = sdl::utf16_to_utf8(no_label);
        const SDL_MessageBoxButtonData buttons[] = {
            {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, yes.c_str()},
            {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, no.c_str()},
        };
        SDL_MessageBoxData data{};
        data.flags = SDL_MESSAGEBOX_INFORMATION;
        data.window = owner_window();
        data.title = title.c_str();
        data.message = message.c_str();
        data.numbuttons = 2;
        data.buttons = buttons;
        const detail::WindowRecord* owner = detail::first_window();
        const bool focused_before = owner && (SDL_GetWindowFlags(native_of(*owner)) & SDL_WINDOW_INPUT_FOCUS) != 0;
        int chosen = -1;
        int result = 0;
        {
            const detail::OpenBox box;
            result = SDL_ShowMessageBox(&data, &chosen);
        }
        if (end_requested()) {
            // Closed because the program is ending: no second box.
            drop_focus_changes_of_the_box(focused_before);
            return MessageBoxAnswer::failed;
        }
        if (result != 0) {
            // No system box (an X server without its fonts, a desktop without a helper):
            // the same question in a dialog window of our own.
            std::fprintf(stderr, "quillo: no message box (%s); asking in a dialog\n", SDL_GetError());
            const intptr_t answer = fallback_box(to_ansi(caption), to_ansi(text), to_ansi(yes_label), to_ansi(no_label));
            result = answer == dialog_failed ? -1 : 0;
            chosen = answer == dialog_ok ? 1 : 0;
        }
        drop_focus_changes_of_the_box(focused_before);
        if (result != 0)
            return MessageBoxAnswer::failed;
        return chosen == 1 ? MessageBoxAnswer::yes : MessageBoxAnswer::no;
    }

    bool message_box_ok(const char* text, const char* caption) override
    {
        {
            const detail::OpenBox box;
            if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, sdl::ansi_to_utf8(caption).c_str(),
                                         sdl::ansi_to_utf8(text).c_str(), owner_window()) == 0)
                return true;
        }
        if (end_requested())
            return false;
        std::fprintf(stderr, "quillo: no message box (%s); reporting in a dialog\n", SDL_GetError());
        return fallback_box(caption, text, "OK", "") != dialog_failed;
    }

    void raise_window(detail::WindowRecord& record) override { SDL_RaiseWindow(native_of(record)); }

    bool headless() const override { return false; }

private:
    // A window without a caption over the whole desktop is the game in full screen. A
    // window manager is told so, rather than handed a borderless window to place: it then
    // covers the desktop exactly, however often it comes and goes, and keeps the window's
    // own boxes in front of it.
    bool covers_the_desktop(const detail::WindowRecord& record)
    {
        if ((record.style & ws::CAPTION) == ws::CAPTION)
            return false;
        const Size desktop = desktop_size();
        return desktop.width > 0 && record.outer.left == 0 && record.outer.top == 0 &&
               record.outer.right == desktop.width && record.outer.bottom == desktop.height;
    }

    static void apply_frame(const detail::WindowRecord& record)
    {
        SDL_Window* window = native_of(record);
        SDL_SetWindowBordered(window, (record.style & ws::CAPTION) == ws::CAPTION ? SDL_TRUE : SDL_FALSE);
        SDL_SetWindowResizable(window, (record.style & ws::THICKFRAME) ? SDL_TRUE : SDL_FALSE);
    }

    // The window shows in a frame that a window manager drew around it.
    static bool framed_by_a_window_manager(SDL_Window* window)
    {
        int top = 0;
        int left = 0;
        int bottom = 0;
        int right = 0;
        return (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN) &&
               SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) == 0 && top + left + bottom + right > 0;
    }

    static bool is_full_screen(SDL_Window* window)
    {
        return (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP;
    }

    static void leave_full_screen(SDL_Window* window)
    {
        if (is_full_screen(window))
            SDL_SetWindowFullscreen(window, 0);
    }

    // The game's window while it is on screen: a box belongs to it, so that the desktop
    // shows the box in front of it (a full-screen window too) and gives the box the focus.
    static SDL_Window* owner_window()
    {
        const detail::WindowRecord* record = detail::first_window();
        if (!record || !record->native)
            return nullptr;
        SDL_Window* window = native_of(*record);
        const Uint32 flags = SDL_GetWindowFlags(window);
        if (!(flags & SDL_WINDOW_SHOWN) || (flags & SDL_WINDOW_MINIMIZED))
            return nullptr;
        return window;
    }

    static std::string to_ansi(const char16_t* text)
    {
        std::u16string wide(text ? text : u"");
        std::string ansi(wide.size(), '\0');
        if (!wide.empty())
            wide_to_multibyte(wide.data(), static_cast<int>(wide.size()), ansi.data(), static_cast<int>(ansi.size()));
        return ansi;
    }

    static intptr_t answer_procedure(Dialog& dialog, uint32_t message, uintptr_t wparam, intptr_t)
    {
        if (message == wm::INITDIALOG)
            return 1;
        if (message != wm::COMMAND)
            return 0;
        const int id = static_cast<int>(wparam & 0xFFFF);
        if (id == static_cast<int>(dialog_ok) || id == static_cast<int>(dialog_cancel)) {
            dialog.end(id);
            return 1;
        }
        return 0;
    }

    // A question (two buttons) or a report (no second label) in a dialog window: OK for
    // the first button, Cancel for the second or a closed window.
    static intptr_t fallback_box(const std::string& caption, const std::string& text, const std::string& first,
                                 const std::string& second)
    {
        DialogTemplate layout;
        layout.caption = caption;
        layout.controls.push_back({100, ControlKind::label, text, true});
        layout.controls.push_back({static_cast<int>(dialog_ok), ControlKind::button, first, true});
        if (!second.empty())
            layout.controls.push_back({static_cast<int>(dialog_cancel), ControlKind::button, second, true});
        const detail::WindowRecord* owner = detail::first_window();
        return detail::run_sdl_dialog(layout, owner ? owner->handle : nullptr, &answer_procedure, 0);
    }

    // The box took the focus and gave it back; SDL kept those changes queued for the game
    // window. They are dropped, and only a focus state that differs from the one before
    // the box (the player went elsewhere meanwhile) is reported, once. A window manager
    // hands the focus back a moment after the box has gone: it is waited for (briefly),
    // else a full-screen game would take the box's going for the player's leaving, and
    // minimise itself.
    static void drop_focus_changes_of_the_box(bool focused_before)
    {
        SDL_PumpEvents();
        const detail::WindowRecord* waiting = detail::first_window();
        if (focused_before && waiting) {
            for (int turn = 0; turn < 50; ++turn) {
                if (SDL_GetWindowFlags(native_of(*waiting)) & SDL_WINDOW_INPUT_FOCUS)
                    break;
                SDL_Delay(10);
                SDL_PumpEvents();
            }
        }
        std::vector<SDL_Event> kept;
        SDL_Event event;
        while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT) == 1) {
            if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED || event.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
                continue;
            kept.push_back(event);
        }
        if (!kept.empty())
            SDL_PeepEvents(kept.data(), static_cast<int>(kept.size()), SDL_ADDEVENT, 0, 0);
        const detail::WindowRecord* owner = detail::first_window();
        if (!owner)
            return;
        const bool focused = (SDL_GetWindowFlags(native_of(*owner)) & SDL_WINDOW_INPUT_FOCUS) != 0;
        if (focused != focused_before)
            post_message(owner->handle, wm::ACTIVATE, focused ? WA_ACTIVE : WA_INACTIVE, 0);
    }

    static detail::WindowRecord* record_of(Uint32 window_id)
    {
        if (SDL_Window* window = SDL_GetWindowFromID(window_id))
            if (detail::WindowRecord* record = detail::find_window_by_native(window))
                return record;
        return nullptr;
    }

    void translate(const SDL_Event& event)
    {
        switch (event.type) {
        case SDL_MOUSEMOTION:
            if (detail::WindowRecord* record = record_of(event.motion.windowID))
                detail::post_pointer_move(record->handle, {event.motion.x, event.motion.y});
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            detail::WindowRecord* record = record_of(event.button.windowID);
            const bool down = event.type == SDL_MOUSEBUTTONDOWN;
            uint32_t message;
            if (event.button.button == SDL_BUTTON_LEFT)
                message = down ? wm::LBUTTONDOWN : wm::LBUTTONUP;
            else if (event.button.button == SDL_BUTTON_RIGHT)
                message = down ? wm::RBUTTONDOWN : wm::RBUTTONUP;
            else
                break;
            if (record)
                post_message(record->handle, message, 0, position_lparam(event.button.x, event.button.y));
            break;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            const int virtual_key = sdl::virtual_key_from_keycode(event.key.keysym.sym);
            detail::WindowRecord* record = record_of(event.key.windowID);
            if (!record)
                record = detail::first_window();
            if (virtual_key != 0 && record)
                post_message(record->handle, event.type == SDL_KEYDOWN ? wm::KEYDOWN : wm::KEYUP,
                             static_cast<uintptr_t>(virtual_key), 0);
            break;
        }
        case SDL_TEXTINPUT: {
            detail::WindowRecord* record = record_of(event.text.windowID);
            if (!record)
                record = detail::first_window();
            if (record)
                for (const char byte : sdl::utf8_to_ansi(event.text.text))
                    post_message(record->handle, wm::CHAR, static_cast<unsigned char>(byte), 0);
            break;
        }
        case SDL_WINDOWEVENT:
            if (detail::WindowRecord* record = record_of(event.window.windowID))
                translate_window_event(*record, event.window);
            break;
        case SDL_DISPLAYEVENT:
            if (detail::WindowRecord* record = detail::first_window())
                post_message(record->handle, wm::DISPLAYCHANGE, 0, 0);
            break;
        case SDL_QUIT:
            // Not expected: SDL is told to leave signals alone and not to quit on the last
            // window. Should it come, it is a close to ask about.
            if (detail::WindowRecord* record = detail::first_window())
                post_message(record->handle, wm::CLOSE, 0, 0);
            break;
        default:
            break;
        }
    }

    static void post_restored_size(detail::WindowRecord& record)
    {
        post_message(record.handle, wm::SIZE, SIZE_RESTORED,
                     position_lparam(record.client.width, record.client.height));
    }

    static void restore(detail::WindowRecord& record)
    {
        const bool was_minimized = record.minimized;
        record.minimized = false;
        Size size;
        SDL_GetWindowSize(native_of(record), &size.width, &size.height);
        if (detail::set_client_size(record, size) || was_minimized)
            post_restored_size(record);
    }

    static void translate_window_event(detail::WindowRecord& record, const SDL_WindowEvent& event)
    {
        switch (event.event) {
        case SDL_WINDOWEVENT_CLOSE:
            post_message(record.handle, wm::CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            // A size the layer asked for itself comes back here unchanged: no echo.
            if (!record.minimized && detail::set_client_size(record, {event.data1, event.data2}))
                post_restored_size(record);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            if (!record.minimized) {
                record.minimized = true;
                post_message(record.handle, wm::SYSCOMMAND, SC_MINIMIZE, 0);
                post_message(record.handle, wm::SIZE, SIZE_MINIMIZED, 0);
            }
            break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
            restore(record);
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            // A window that has the focus is on screen. Minimised here on request, it may
            // never have left it (a display without a window manager ignores the request)
            // or come back without a restore event: either way it is restored now, else it
            // would never be drawn again.
            if (record.minimized && !(SDL_GetWindowFlags(native_of(record)) & SDL_WINDOW_MINIMIZED))
                restore(record);
            post_message(record.handle, wm::ACTIVATE, WA_ACTIVE, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            post_message(record.handle, wm::ACTIVATE, WA_INACTIVE, 0);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            record.needs_paint = true;
            post_message(record.handle, wm::PAINT, 0, 0);
            break;
        case SDL_WINDOWEVENT_MOVED: {
            const Rect in = detail::frame_insets(record.style);
            const int32_t width = record.outer.right - record.outer.left;
            const int32_t height = record.outer.bottom - record.outer.top;
            record.outer.left = event.data1 - in.left;
            record.outer.top = event.data2 - in.top;
            record.outer.right = record.outer.left + width;
            record.outer.bottom = record.outer.top + height;
            break;
        }
        default:
            break;
        }
    }

    uint32_t wake_event_;
};

// When the X server goes away (the desktop session ends), Xlib's own handler exits from
// whichever thread noticed, often the one handing frames to the display, and the exit's
// destructors then wait for that very thread: a hang or a crash dump. Nothing can be
// shown or asked any more and saves are written as they happen, so the game ends at
// once, with a status of its own.
int display_gone(void*)
{
    static const char message[] = "quillo: the display went away; the game ends\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    _exit(5);
}

// Xlib is SDL's to load; the handler is set through the library SDL already loaded.
void end_with_the_x_display()
{
    void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!x11)
        return;
    using Handler = int (*)(void*);
    if (auto set = reinterpret_cast<Handler (*)(Handler)>(dlsym(x11, "XSetIOErrorHandler")))
        set(&display_gone);
    dlclose(x11);
}

} // namespace

namespace detail {

std::unique_ptr<Backend> make_sdl_backend(std::string* error)
{
    // Closing the window is the application's decision, made through WM_CLOSE.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // Termination signals are the program's own (termination.h), not a close to ask about.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Only the displays the environment names (SDL_VIDEODRIVER still wins).
    std::string drivers;
    for (const auto& [variable, driver] : {std::pair{"DISPLAY", "x11"}, std::pair{"WAYLAND_DISPLAY", "wayland"}}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            drivers += drivers.empty() ? driver : std::string(",") + driver;
    }
    if (!drivers.empty())
        SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        if (error)
            *error = SDL_GetError();
        return nullptr;
    }
    // When the display cannot be reached SDL settles for a driver that shows
    // nothing; a window nobody can see or close is no better than none.
    const std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
    if (driver.empty() || driver == "offscreen" || driver == "dummy" || driver == "evdev") {
        if (error)
            *error = "no display, only the \"" + driver + "\" video driver";
        SDL_Quit();
        return nullptr;
    }
    if (driver == "x11")
        end_with_the_x_display();
    const Uint32 wake_event = SDL_RegisterEvents(1);
    if (wake_event == static_cast<Uint32>(-1)) {
        if (error)
            *error = "no user event left";
        SDL_Quit();
        return nullptr;
    }
    gfx::set_window_present(sdl::present_to_window);
    return std::make_unique<SdlBackend>(wake_event);
}

} // namespace detail

// --- for the frame presenter (sdl_present.cpp)

namespace sdl {

SDL_Window* native_window(WindowHandle window)
{
    if (detail::backend().headless())
        return nullptr;
    const detail::WindowRecord* record = detail::find_window(window);
    return record ? native_of(*record) : nullptr;
}

} // namespace sdl
} // namespace platform
