#pragma once

// The game description ("Game"): window size, screen flow, phrases, cursor and debug
// settings. The application registers its backends, loads it, then asks it for the root.

#include <cstdint>
#include <memory>

#include "game/flow.h"
#include "game/root.h"
#include "game/screen_backend.h"
#include "game/service_provider.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/path.h"
#include "vadu/xml_object.h"

namespace game {

class GameDefinition : public vadu::xml::ObjectANSI {
public:
    GameDefinition();
    ~GameDefinition() override;

    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;

    // Loads the file with the root "Game"; throws vadu::GluckBadResource "load() failed".
    void Load(const vadu::filesystem::String& path);

    // Builds the root, moves the services into it, builds the first screen, and with debug
    // active loads the debug scene for the frame-rate display.
    std::unique_ptr<Root> CreateRoot(vadu::lib3d::Application* application);

    uint32_t GetWindowWidth() const noexcept { return width_; }
    uint32_t GetWindowHeight() const noexcept { return height_; }
    const vadu::filesystem::String& GetCursorPath() const noexcept { return cursor_path_; }
    const vadu::filesystem::String& GetDebugPath() const noexcept { return debug_path_; }
    bool IsDebugActive() const noexcept { return debug_; }
    ScreenBackendFactory& GetBackendFactory() noexcept { return backends_; }
    ServiceProvider& GetServices() noexcept { return services_; }
    flow::Manager* GetFlowManager() const noexcept { return flow_.get(); }
    vadu::lib3d::node::LoadingRoot& GetLoadingRoot() noexcept { return *loading_root_; }

private:
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    std::unique_ptr<flow::Manager> flow_;
    vadu::filesystem::String cursor_path_;
    vadu::filesystem::String debug_path_;
    ScreenBackendFactory backends_;
    flow::TriggerFactory triggers_;
    flow::SelectorFactory selectors_;
    ServiceProvider services_;
    bool debug_ = false;
    std::unique_ptr<vadu::lib3d::node::LoadingRoot> loading_root_;
};

} // namespace game
