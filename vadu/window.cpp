#include "vadu/window.h"

#include "platform/codepage.h"
#include "platform/sync.h"
#include "vadu/animate/soul.h"
#include "vadu/crash.h"
#include "vadu/exception.h"
#include "vadu/input_windows.h"
#include "vadu/time.h"

#include <algorithm>
#include <limits>

namespace vadu {
namespace {

constexpr uint32_t WM_RUN_CALL = platform::wm::USER + 1;

// What PostToWindowThread and RunInWindowThread hand to the window thread.
struct PostedCall {
    std::function<void()> call;
};

// What a thread waiting in RunInWindowThread learns: set once the call ran or was dropped.
struct Waiter {
    platform::Event done;
    bool ran = false;
};

WindowInputListener* input_listener = nullptr;

// The input forwarders: the mouse and keyboard devices, and a listener that tests install.
void forward_key_down(uint32_t code)
{
    input::hard::windows::key_down(code);
    if (input_listener)
        input_listener->key_down(code);
}

void forward_key_up(uint32_t code)
{
    input::hard::windows::key_up(code);
    if (input_listener)
        input_listener->key_up(code);
}

void forward_key_char(char16_t unit)
{
    input::hard::windows::key_char(unit);
    if (input_listener)
        input_listener->key_char(unit);
}

void forward_mouse_move(int32_t x, int32_t y)
{
    input::hard::windows::mouse_move(x, y);
    if (input_listener)
        input_listener->mouse_move(x, y);
}

void forward_mouse_button_down(int index)
{
    input::hard::windows::mouse_button_down(index);
    if (input_listener)
        input_listener->mouse_button_down(index);
}

void forward_mouse_button_up(int index)
{
    input::hard::windows::mouse_button_up(index);
    if (input_listener)
        input_listener->mouse_button_up(index);
}

void forward_mouse_set_client_size(int32_t height, int32_t width)
{
    input::hard::windows::mouse_set_client_size(height, width);
    if (input_listener)
        input_listener->mouse_set_client_size(height, width);
}

// Takes over a posted record: runs its call when asked and the call is not empty,
// frees it, then signals the waiting thread, also when the call throws.
void complete_posted_call(uintptr_t wparam, intptr_t lparam, bool run)
{
    struct Signal {
        Waiter* waiter;
        bool ran;
        ~Signal()
        {
            if (waiter) {
                waiter->ran = ran;
                waiter->done.set();
            }
        }
    } signal{reinterpret_cast<Waiter*>(wparam), run};
    std::unique_ptr<PostedCall> record(reinterpret_cast<PostedCall*>(lparam));
    if (run && record && record->call)
        record->call();
}

int32_t clamp_size(uint32_t size)
{
    return static_cast<int32_t>(std::min<uint32_t>(size, std::numeric_limits<int32_t>::max() / 2));
}

} // namespace

void set_window_input_listener(WindowInputListener* listener)
{
    input_listener = listener;
}

// --- WindowCreator -----------------------------------------------------------------

WindowCreator::MessageHandler::MessageHandler(WindowCreator& creator) : creator_(creator)
{
    creator_.handlers_.push_back(this);
}

WindowCreator::MessageHandler::~MessageHandler()
{
    auto& handlers = creator_.handlers_;
    handlers.erase(std::remove(handlers.begin(), handlers.end(), this), handlers.end());
}

int32_t WindowCreator::MessageHandler::OnWindowMessage(uint32_t, uintptr_t, intptr_t)
{
    return 0;
}

WindowCreator::WindowCreator(uint32_t width, uint32_t height, bool resizable)
    : window_(std::make_unique<Window>()), window_thread_(std::this_thread::get_id())
{
    platform::register_window_class(class_name, &WindowCreator::window_proc);
    const uint32_t style = resizable ? platform::ws::OVERLAPPEDWINDOW
                                     : platform::ws::CAPTION | platform::ws::SYSMENU | platform::ws::MINIMIZEBOX;
    const platform::Rect outer = platform::adjust_window_rect({0, 0, clamp_size(width), clamp_size(height)}, style, true);
    window_->window = platform::create_window(class_name, "Loading...", style, 0, 0, outer.right - outer.left,
                                              outer.bottom - outer.top);
    if (!window_->window)
        throw Gluck("vadu::WindowCreator::WindowCreator", "Could not create mwin window");
    platform::set_window_user_data(window_->window, this);
}

WindowCreator::~WindowCreator()
{
    platform::destroy_window(window_->window);
}

platform::MessageResult WindowCreator::handle_message(uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    // By index: a handler may leave the list while it handles a message.
    for (size_t i = 0; i < handlers_.size(); ++i) {
        const int32_t result = handlers_[i]->OnWindowMessage(message, wparam, lparam);
        if (result != 0)
            return result;
    }
    return platform::default_window_procedure(window_->window, message, wparam, lparam);
}

platform::MessageResult WindowCreator::window_proc(platform::WindowHandle window, uint32_t message, uintptr_t wparam,
                                                   intptr_t lparam)
{
    auto* creator = static_cast<WindowCreator*>(platform::get_window_user_data(window));
    if (!creator)
        return platform::default_window_procedure(window, message, wparam, lparam);
    return creator->handle_message(message, wparam, lparam);
}

// --- Application ---------------------------------------------------------------------

Application::Application(const String& name)
    : logs::Creator(String()),
      filesystem::Creator(filesystem::create_default_file_system),
      resource::ActiveMultithreaded::Creator(),
      animate::Soul::Creator(),
      DictionaryHolder::Creator(),
      WindowCreator(512, 384, true),
      WindowCreator::MessageHandler(static_cast<WindowCreator&>(*this)),
      name_(name)
{
    crash::install(name_);
    platform::set_window_text(get_window().window, name_.c_str());
}

Application::~Application()
{
    quit_ = true;
    crash::unload();
    // Calls still queued for the window thread will never run now: free them and
    // release any thread that waits for one.
    platform::Message message;
    while (platform::peek_message(&message, get_window().window, WM_RUN_CALL, WM_RUN_CALL, true))
        complete_posted_call(message.wparam, message.lparam, false);
}

void Application::run_main_loop()
{
    const platform::WindowHandle window = get_window().window;
    platform::show_window(window, platform::sw::SHOWNORMAL);
    platform::update_window(window);

    int64_t last = time::get_ticks();
    bool closing = false;
    while (!quit_) {
        platform::Message message;
        if (platform::peek_message(&message)) {
            if (!platform::get_message(&message))
                return;
            platform::translate_message(message);
            platform::dispatch_message(message);
        } else if (!closing) {
            const int64_t now = time::get_ticks();
            const int64_t ticks = now - last;
            last = now;
            const double seconds = static_cast<double>(ticks) * time::get_tick_period();
            if (!Update(seconds)) {
                closing = true;
                platform::send_message(window, platform::wm::CLOSE, 0, 0);
            }
            Render();
            // Nothing can be drawn into a minimised window: rather than run frames that
            // only fail to start, the loop waits for the window's next message (a restore
            // among them), as a loop that takes its messages blocking does.
            if (platform::is_minimized(window)) {
                if (!platform::get_message(&message))
                    return;
                platform::translate_message(message);
                platform::dispatch_message(message);
            }
        }
    }
}

bool Application::RunInWindowThread(const std::function<void()>& call)
{
    // Posting to our own queue and waiting would never end.
    if (std::this_thread::get_id() == get_window_thread()) {
        if (call)
            call();
        return true;
    }
    auto record = std::make_unique<PostedCall>(PostedCall{call});
    Waiter waiter;
    if (!platform::post_message(get_window().window, WM_RUN_CALL, reinterpret_cast<uintptr_t>(&waiter),
                                reinterpret_cast<intptr_t>(record.get())))
        return false; // the window is gone; nothing would run the call
    record.release();
    waiter.done.wait();
    return waiter.ran;
}

void Application::PostToWindowThread(const std::function<void()>& call)
{
    auto record = std::make_unique<PostedCall>(PostedCall{call});
    if (platform::post_message(get_window().window, WM_RUN_CALL, 0, reinterpret_cast<intptr_t>(record.get())))
        record.release();
}

bool Application::Update(double seconds)
{
    animate::Soul::update_all(seconds);
    return true;
}

bool Application::Render()
{
    return true;
}

int32_t Application::OnWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    namespace wm = platform::wm;
    const platform::WindowHandle window = get_window().window;
    switch (message) {
    case wm::KEYDOWN:
        forward_key_down(static_cast<uint32_t>(wparam));
        return 0;
    case wm::KEYUP:
        forward_key_up(static_cast<uint32_t>(wparam));
        return 0;
    case wm::CHAR: {
        const char byte = static_cast<char>(wparam & 0xFF);
        char16_t unit = 0;
        if (platform::multibyte_to_wide(&byte, 1, &unit, 1) == 1)
            forward_key_char(unit);
        return 0;
    }
    case wm::MOUSEMOVE: {
        const auto bits = static_cast<uintptr_t>(lparam);
        forward_mouse_move(static_cast<int32_t>(bits & 0xFFFF), static_cast<int32_t>((bits >> 16) & 0xFFFF));
        return 0;
    }
    case wm::LBUTTONDOWN:
        forward_mouse_button_down(0);
        return 0;
    case wm::LBUTTONUP:
        forward_mouse_button_up(0);
        return 0;
    case wm::RBUTTONDOWN:
        forward_mouse_button_down(1);
        return 0;
    case wm::RBUTTONUP:
        forward_mouse_button_up(1);
        return 0;
    case WM_RUN_CALL:
        complete_posted_call(wparam, lparam, true);
        return 0;
    case wm::DESTROY:
        return 0;
    case wm::SIZE: {
        const platform::Rect client = platform::get_client_rect(window);
        forward_mouse_set_client_size(client.bottom - client.top, client.right - client.left);
        return 0;
    }
    case wm::ACTIVATE:
        switch (wparam & 0xFFFF) {
        case platform::WA_INACTIVE:
            active_ = false;
            break;
        case platform::WA_ACTIVE:
        case platform::WA_CLICKACTIVE:
            active_ = true;
            break;
        default:
            break;
        }
        return 0;
    case wm::PAINT:
        platform::begin_paint(window);
        platform::end_paint(window);
        return 0;
    case wm::CLOSE:
        platform::post_message(window, wm::QUIT, 0, 0);
        return 0;
    case wm::SETCURSOR:
        if ((lparam & 0xFFFF) == platform::HTCLIENT && !cursor_shown_) {
            platform::set_cursor(platform::Cursor::none);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

void Application::set_cursor_visible(bool visible)
{
    cursor_shown_ = visible;
    // Moving the pointer onto itself makes the window ask for its cursor again.
    platform::set_cursor_pos(platform::get_cursor_pos());
}

} // namespace vadu
