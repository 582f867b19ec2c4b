#pragma once

// The screen manager's debug view: records the flow entries that become current, lists the
// current entry's exits, and takes exits or restarts on request.

#include <memory>
#include <vector>

#include "game/root.h"
#include "game/signal.h"
#include "vadu/string.h"

namespace game {

class ScreenManager;

class ScreenManagerDebugImpl : public DebugView {
public:
    explicit ScreenManagerDebugImpl(ScreenManager* manager) : manager_(manager) {}

    // Registers the view with the provider's debug service; without one the view is
    // destroyed (check "Debug service isn't registered in the service provider").
    static ScreenManagerDebugImpl* Register(ServiceProvider& provider, std::unique_ptr<ScreenManagerDebugImpl> view);

    int32_t GetTypeId() const override;
    virtual Signal<void(const vadu::String&)>& GetEntrySignal() { return entry_signal_; }
    virtual const vadu::String& GetCurrentEntryName() const { return last_; }
    virtual std::vector<vadu::String> DescribeCurrentEntry();
    virtual void TakeExit(const vadu::String& exit_name);
    virtual void Restart();

    // Stores the name and tells the entry signal.
    void RecordEntry(const vadu::String& name);

private:
    ScreenManager* manager_;
    vadu::String last_;
    Signal<void(const vadu::String&)> entry_signal_;
};

} // namespace game
