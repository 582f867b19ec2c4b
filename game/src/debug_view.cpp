#include "game/debug_view.h"

#include "game/diagnostics.h"
#include "game/screen_manager.h"

namespace game {

ScreenManagerDebugImpl* ScreenManagerDebugImpl::Register(ServiceProvider& provider,
                                                         std::unique_ptr<ScreenManagerDebugImpl> view)
{
    DebugService* service = provider.Get<DebugService>();
    if (!service) {
        GAME_FAIL("Debug service isn't registered in the service provider");
        return nullptr;
    }
    return service->Register<ScreenManagerDebugImpl>(std::move(view));
}

int32_t ScreenManagerDebugImpl::GetTypeId() const
{
    return debug_view_id<ScreenManagerDebugImpl>();
}

std::vector<vadu::String> ScreenManagerDebugImpl::DescribeCurrentEntry()
{
    std::vector<vadu::String> names;
    if (!manager_->GetFlowManager()) {
        GAME_FAIL("Flow manager is not defined");
        return names;
    }
    flow::EntryDefinition* entry = manager_->GetCurrentEntry();
    if (!entry) {
        GAME_FAIL("Flow manager reported that no current entry exists");
        return names;
    }
    for (const auto& exit : entry->GetExits())
        names.push_back(exit->name);
    return names;
}

void ScreenManagerDebugImpl::TakeExit(const vadu::String& exit_name)
{
    manager_->ChangeScreen(exit_name, false);
}

void ScreenManagerDebugImpl::Restart()
{
    manager_->RestartScreen();
}

void ScreenManagerDebugImpl::RecordEntry(const vadu::String& name)
{
    last_ = name;
    entry_signal_.Emit(name);
}

} // namespace game
