#include "game/screen_backend.h"

#include "game/diagnostics.h"
#include "game/scheduler.h"
#include "game/screen.h"
#include "vadu/exception.h"

namespace game {

ScreenBackend::~ScreenBackend() = default;

void ScreenBackend::Render(vadu::lib3d::hard::Hardware&, vadu::lib3d::hard::RenderList&) {}

void ScreenBackend::OnActivate() {}

void ScreenBackend::OnDeactivate() {}

void ScreenBackend::SetSite(ScreenSite* site)
{
    site_ = site;
    if (!site)
        return;
    ServiceProvider* provider = site->GetServiceProvider();
    SchedulerService* scheduler = provider ? provider->Get<SchedulerService>() : nullptr;
    if (!scheduler)
        return;
    vadu::WeakPtr self;
    self.assign(this);
    scheduler->Schedule([self] {
        if (vadu::Trackable* target = self.get())
            static_cast<ScreenBackend*>(target)->OnInitialized();
    });
}

ScreenSite* ScreenBackend::GetSite() const
{
    GAME_CHECK(site_, "site");
    return site_;
}

void ScreenBackendFactory::RegisterBackendCreator(const vadu::String& class_name, Creator creator)
{
    if (creators_.count(class_name) != 0)
        throw vadu::Gluck("game::ScreenBackendFactory::RegisterBackendCreator",
                          vadu::String("Tried to register more than one backend creator with the name \"") + class_name +
                              "\"");
    creators_.emplace(class_name, std::move(creator));
}

std::unique_ptr<ScreenBackend> ScreenBackendFactory::CreateBackend(const vadu::String& class_name) const
{
    const auto found = creators_.find(class_name);
    if (found == creators_.end() || !found->second)
        return nullptr;
    return found->second();
}

} // namespace game
