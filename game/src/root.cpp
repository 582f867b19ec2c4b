#include "game/root.h"

#include "game/diagnostics.h"
#include "game/screen.h"
#include "game/screen_manager.h"
#include "vadu/lib3d/app/application.h"

namespace game {

ApplicationService::ApplicationService(vadu::lib3d::Application* application) : application_(application)
{
    GAME_CHECK(application_, "this->application");
}

ApplicationService::~ApplicationService() = default;

void ApplicationService::NotifyPurge()
{
    if (application_)
        application_->enter_loading_state();
    purged_ = 1;
    purge_.Emit();
}

namespace detail {
int32_t draw_debug_view_id()
{
    static int32_t counter = 0;
    return counter++;
}
} // namespace detail

DebugService::~DebugService()
{
    while (!views_.empty())
        views_.erase(views_.begin());
}

Root::Root(vadu::lib3d::Application* application) : application_(application)
{
    auto manager = std::make_unique<ScreenManager>();
    manager->SetRoot(this);
    screen_manager_ = manager.get();
    Register<ScreenManager>(std::move(manager));
    Register<ApplicationService>(std::make_unique<ApplicationService>(application));
    auto scheduler = std::make_unique<SchedulerService>();
    scheduler_ = scheduler.get();
    Register<SchedulerService>(std::move(scheduler));
}

Root::~Root()
{
    // Every screen goes while all services exist; the stacked ones too, since they hold
    // connections to the application service.
    if (screen_manager_)
        screen_manager_->DestroyScreens();
    fps_.reset();
    backends_ = ScreenBackendFactory();
    selectors_ = flow::SelectorFactory();
    triggers_ = flow::TriggerFactory();
    if (screen_manager_)
        screen_manager_->SetFlowManager(nullptr);
    flow_.reset();
    DeleteServices();
}

void Root::SetFlowManager(std::unique_ptr<flow::Manager> manager)
{
    if (manager.get() != flow_.get())
        flow_ = std::move(manager);
    if (flow_) {
        flow_->SetSelectorFactory(selectors_);
        flow_->SetTriggerFactory(triggers_);
        flow_->SetServiceProvider(this);
    }
    screen_manager_->SetFlowManager(flow_.get());
    screen_manager_->Initialize();
}

bool Root::Update(double seconds)
{
    scheduler_->Advance(seconds);
    if (fps_)
        fps_->AddTime(seconds);
    if (Screen* screen = screen_manager_->GetCurrentScreen())
        return screen->Update(seconds);
    return true;
}

void Root::SetFpsDisplay(std::unique_ptr<FpsDisplay> display)
{
    fps_ = std::move(display);
}

} // namespace game
