#pragma once

// The engine's one window, the chain of window-message handlers, and the
// application base with its main loop.

#include "platform/window.h"
#include "vadu/animate/soul.h"
#include "vadu/dictionary.h"
#include "vadu/filesystem.h"
#include "vadu/log.h"
#include "vadu/resource_loader.h"
#include "vadu/string.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace vadu {

// The window record that placement code reads and changes.
struct Window {
    platform::WindowHandle window = nullptr;
    bool full_screen = false;
    uint32_t saved_style = 0;   // windowed style, saved while full screen
    int32_t window_width = -1;  // outer size
    int32_t window_height = -1;
    int32_t client_width = -1;  // requested client size
    int32_t client_height = -1;
    bool changing_placement = false;
};

// Makes and owns the window. Built once, as a virtual base, by the most-derived
// object; the thread that builds it is the window's thread.
class WindowCreator {
public:
    // Base of every window-message handler; it joins the creator's list when built
    // and leaves it when destroyed.
    class MessageHandler {
    public:
        explicit MessageHandler(WindowCreator& creator);
        virtual ~MessageHandler();
        MessageHandler(const MessageHandler&) = delete;
        MessageHandler& operator=(const MessageHandler&) = delete;

        // Non-zero ends the search and is the message's result.
        virtual int32_t OnWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam);

    protected:
        WindowCreator& creator_;
    };

    // Client size; throws Gluck when the window cannot be made.
    WindowCreator(uint32_t width, uint32_t height, bool resizable);
    virtual ~WindowCreator();
    WindowCreator(const WindowCreator&) = delete;
    WindowCreator& operator=(const WindowCreator&) = delete;

    Window& get_window() { return *window_; }
    const Window& get_window() const { return *window_; }
    std::thread::id get_window_thread() const { return window_thread_; }

    // Asks the handlers in order; the first non-zero result wins, else the default
    // window procedure answers.
    platform::MessageResult handle_message(uint32_t message, uintptr_t wparam, intptr_t lparam);

    static platform::MessageResult window_proc(platform::WindowHandle window, uint32_t message, uintptr_t wparam,
                                               intptr_t lparam);

    static constexpr const char* class_name = "vadu::WindowsCreator";

private:
    std::unique_ptr<Window> window_;
    std::vector<MessageHandler*> handlers_;
    std::thread::id window_thread_;
};

// Hears the input that the base message handler decodes. The mouse and keyboard
// devices will be fed at the same place; until they are, only an installed listener
// (a test) hears it.
class WindowInputListener {
public:
    virtual ~WindowInputListener() = default;
    virtual void mouse_button_down(int /*index*/) {}
    virtual void mouse_button_up(int /*index*/) {}
    virtual void mouse_move(int32_t /*x*/, int32_t /*y*/) {}
    virtual void mouse_set_client_size(int32_t /*height*/, int32_t /*width*/) {}
    virtual void key_down(uint32_t /*code*/) {}
    virtual void key_up(uint32_t /*code*/) {}
    virtual void key_char(char16_t /*unit*/) {}
};

// Null removes the listener. Window thread only.
void set_window_input_listener(WindowInputListener* listener);

// Runs calls on the window's thread for other threads.
class WindowThreadCalls {
public:
    // Returns after the call ran: true. False when it could not be handed to the
    // window thread (the window is gone) or was dropped unrun when the application
    // ended; an empty call counts as run.
    [[nodiscard]] virtual bool RunInWindowThread(const std::function<void()>& call) = 0;
    // Returns at once; the call runs between frames.
    virtual void PostToWindowThread(const std::function<void()>& call) = 0;

protected:
    ~WindowThreadCalls() = default;
};

// Virtual bases in the order they are built.
class Application : public WindowThreadCalls,
                    public WindowCreator::MessageHandler,
                    public virtual logs::Creator,
                    public virtual filesystem::Creator,
                    public virtual resource::ActiveMultithreaded::Creator,
                    public virtual animate::Soul::Creator,
                    public virtual DictionaryHolder::Creator,
                    public virtual WindowCreator {
public:
    explicit Application(const String& name);
    ~Application() override;

    // Shows the window and runs frames until the quit message arrives.
    void run_main_loop();

    // On the window's thread itself the call runs at once.
    [[nodiscard]] bool RunInWindowThread(const std::function<void()>& call) override;
    void PostToWindowThread(const std::function<void()>& call) override;
    // Advances the frame; false asks for the window to close.
    virtual bool Update(double seconds);
    // Its result is not used.
    virtual bool Render();

    int32_t OnWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam) override;

    // Shows or hides the system cursor over the client area.
    void set_cursor_visible(bool visible);

    const String& get_name() const { return name_; }
    bool is_active() const { return active_; }
    bool is_cursor_visible() const { return cursor_shown_; }

private:
    String name_;
    bool active_ = false;
    bool cursor_shown_ = false;
    bool quit_ = false;
};

} // namespace vadu
