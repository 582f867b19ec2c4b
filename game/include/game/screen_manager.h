#pragma once

// The only way screens change: requests name flow exits, are resolved at once, and the
// rebuilding is posted to the scheduler.

#include <deque>
#include <functional>
#include <memory>

#include "game/flow.h"
#include "game/service_provider.h"
#include "vadu/string.h"

namespace game {

class Root;
class Screen;
class ScreenManagerDebugImpl;

class ScreenManager : public Service {
public:
    ScreenManager();
    ~ScreenManager() override;

    virtual void ChangeScreen(const vadu::String& exit_name, bool purge);
    virtual void ResetToScreen(const vadu::String& exit_name, bool purge);
    virtual void PushScreen(const vadu::String& exit_name);
    virtual void RestartScreen();

    // Starts the flow and builds its first screen directly.
    void Initialize();

    // The steps carried out at once, on the stack as it stands.
    void DoChange(ScreenReference* reference, bool purge);
    void DoReset(ScreenReference* reference, bool purge);
    void DoPush(ScreenReference* reference);
    void DoPop();

    void SetRoot(Root* root) noexcept { root_ = root; }
    void SetFlowManager(flow::Manager* manager) noexcept { flow_ = manager; }
    flow::Manager* GetFlowManager() const noexcept { return flow_; }
    Screen* GetCurrentScreen() const noexcept { return current_.get(); }
    flow::EntryDefinition* GetCurrentEntry() const noexcept { return current_entry_; }
    size_t GetStackSize() const noexcept { return stack_.size(); }
    ScreenManagerDebugImpl* GetDebugView() const noexcept { return debug_; }

    // Destroys the current screen, then the stacked ones from the top (the root does this
    // while every service still exists).
    void DestroyScreens();

private:
    // A covered screen and the flow entry it belongs to. A push request adds the record
    // before its screen is moved in; a pop or reset request takes records off the stack
    // when it is made, so that the requests of a frame see the stack they leave behind.
    struct Record {
        flow::EntryDefinition* entry = nullptr;
        std::unique_ptr<Screen> screen;
    };
    using RecordStack = std::deque<std::shared_ptr<Record>>;

    // What both requests share: "#Pop", the exit's screen, then the change or the reset.
    void Request(const vadu::String& exit_name, bool purge, bool reset);
    void RequestPop();
    // The posted steps, run in the order they were asked for.
    void Push(ScreenReference* reference, Record& record);
    void Pop(Record& record);
    void Reset(ScreenReference* reference, bool purge, RecordStack& covered);
    // The whole stack, destroyed from the top when let go.
    std::shared_ptr<RecordStack> TakeStack();
    void RunNextStep();

    bool IsReady() const;
    // Resolves the exit; null (with the entry kept) when the flow gives nothing.
    flow::EntryDefinition* Resolve(const vadu::String& exit_name);
    void Note(flow::EntryDefinition* entry);
    void Purge();
    std::unique_ptr<Screen> Build(ScreenReference* reference);
    // Queues a step; the scheduler runs the queue one step per call, oldest first.
    void Post(std::function<void()> step);

    Root* root_ = nullptr;
    flow::Manager* flow_ = nullptr;
    std::unique_ptr<Screen> current_;
    flow::EntryDefinition* current_entry_ = nullptr;
    RecordStack stack_;
    std::deque<std::function<void()>> steps_;
    ScreenManagerDebugImpl* debug_ = nullptr;
};

} // namespace game
