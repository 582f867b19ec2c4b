#pragma once

// The object the game application owns and updates once per frame: the provider of every
// framework service, the owner of the flow and of the creator tables.

#include <map>
#include <memory>

#include "game/flow.h"
#include "game/scheduler.h"
#include "game/screen_backend.h"
#include "game/service_provider.h"
#include "game/signal.h"

namespace vadu::lib3d {
class Application;
}

namespace game {

class ScreenManager;
class FpsDisplay;

class ApplicationService : public Service {
public:
    // The application must not be null (check "this->application").
    explicit ApplicationService(vadu::lib3d::Application* application);
    ~ApplicationService() override;

    // Puts the application into its loading state, sets the purged flag, then calls the
    // purge signal's callbacks.
    void NotifyPurge();
    bool IsPurged() const noexcept { return purged_ != 0; }
    Signal<void()>& GetPurgeSignal() noexcept { return purge_; }
    // Screens connect their input's enabling here while they live.
    Signal<void(bool)>& GetInputEnableSignal() noexcept { return input_enable_; }
    vadu::lib3d::Application* GetApplication() const noexcept { return application_; }

private:
    vadu::lib3d::Application* application_;
    Signal<void()> purge_;
    Signal<void(bool)> input_enable_;
    uint8_t purged_ = 0;
};

// Base of the debug views; ids come from a counter of their own.
class DebugView {
public:
    virtual ~DebugView() = default;
    virtual int32_t GetTypeId() const = 0;
};

namespace detail {
int32_t draw_debug_view_id();
}

template <class V>
int32_t debug_view_id()
{
    static const int32_t id = detail::draw_debug_view_id();
    return id;
}

class DebugService : public Service {
public:
    ~DebugService() override;
    // First registration wins; a refused view is deleted. Returns the stored view or null.
    template <class V>
    V* Register(std::unique_ptr<V> view)
    {
        const int32_t id = debug_view_id<V>();
        if (views_.count(id) != 0)
            return nullptr;
        V* stored = view.get();
        views_[id] = std::unique_ptr<DebugView>(view.release());
        return stored;
    }
    template <class V>
    V* Get() const
    {
        const auto found = views_.find(debug_view_id<V>());
        return found == views_.end() ? nullptr : static_cast<V*>(found->second.get());
    }

private:
    std::map<int32_t, std::unique_ptr<DebugView>> views_;
};

class Root : public ServiceProvider {
public:
    // Registers the screen manager, the application service and the scheduler, in that
    // order.
    explicit Root(vadu::lib3d::Application* application);
    ~Root() override;

    // Keeps the flow, copies the selector and trigger tables into it, and builds the first
    // screen at once.
    void SetFlowManager(std::unique_ptr<flow::Manager> manager);
    // The scheduler, the frame-rate display's time, then the current screen.
    bool Update(double seconds);

    ScreenManager* GetScreenManager() const noexcept { return screen_manager_; }
    SchedulerService* GetScheduler() const noexcept { return scheduler_; }
    flow::Manager* GetFlowManager() const noexcept { return flow_.get(); }
    vadu::lib3d::Application* GetApplication() const noexcept { return application_; }

    ScreenBackendFactory& GetBackendFactory() noexcept { return backends_; }
    flow::SelectorFactory& GetSelectorFactory() noexcept { return selectors_; }
    flow::TriggerFactory& GetTriggerFactory() noexcept { return triggers_; }
    void SetFpsDisplay(std::unique_ptr<FpsDisplay> display);
    FpsDisplay* GetFpsDisplay() const noexcept { return fps_.get(); }

private:
    ScreenManager* screen_manager_ = nullptr;
    vadu::lib3d::Application* application_;
    std::unique_ptr<flow::Manager> flow_;
    SchedulerService* scheduler_ = nullptr;
    ScreenBackendFactory backends_;
    flow::SelectorFactory selectors_;
    flow::TriggerFactory triggers_;
    std::unique_ptr<FpsDisplay> fps_;
};

} // namespace game
