#pragma once

// The game code of one screen, and the table that makes backends by class name.

#include <functional>
#include <map>
#include <memory>

#include "vadu/string.h"
#include "vadu/weak_ptr.h"

namespace vadu::lib3d::hard {
class Hardware;
class RenderList;
} // namespace vadu::lib3d::hard

namespace game {

class ScreenSite;

class ScreenBackend : public vadu::Trackable {
public:
    ScreenBackend() = default;
    ScreenBackend(const ScreenBackend&) = delete;
    ScreenBackend& operator=(const ScreenBackend&) = delete;
    ~ScreenBackend() override;

    // Once per frame, after the screen's controls.
    virtual void Update(double seconds) = 0;
    // After the scene went into the list, before the list is drawn.
    virtual void Render(vadu::lib3d::hard::Hardware& hardware, vadu::lib3d::hard::RenderList& list);
    // The screen pushed over this one was popped.
    virtual void OnActivate();
    // Another screen was pushed over this one.
    virtual void OnDeactivate();
    // Once, through the scheduler, after the backend was attached to its screen.
    virtual void OnInitialized() = 0;

    // Stores the site and posts OnInitialized. The posted call holds the backend weakly, so
    // a backend destroyed before it runs is never reached.
    void SetSite(ScreenSite* site);
    // Diagnostic "site" when not attached yet.
    ScreenSite* GetSite() const;

private:
    ScreenSite* site_ = nullptr;
};

class ScreenBackendFactory {
public:
    using Creator = std::function<std::unique_ptr<ScreenBackend>()>;

    // Throws vadu::Gluck when the name is taken; the first creator stays.
    void RegisterBackendCreator(const vadu::String& class_name, Creator creator);
    // Null, silently, for a name never registered.
    std::unique_ptr<ScreenBackend> CreateBackend(const vadu::String& class_name) const;
    size_t size() const noexcept { return creators_.size(); }

private:
    std::map<vadu::String, Creator> creators_;
};

} // namespace game
