#include "game/screen_manager.h"

#include "game/debug_view.h"
#include "game/diagnostics.h"
#include "game/input/pointing_device_input.h"
#include "game/root.h"
#include "game/screen.h"
#include "game/screen_backend.h"

namespace game {

namespace {
const char* const pop_exit = "#Pop";
}

ScreenManager::ScreenManager() = default;

ScreenManager::~ScreenManager()
{
    DestroyScreens();
}

void ScreenManager::DestroyScreens()
{
    current_.reset();
    while (!stack_.empty()) {
        stack_.back()->screen.reset();
        stack_.pop_back();
    }
    // Records taken by requests that never ran (a push popped at once, a reset) hold
    // screens too.
    steps_.clear();
}

bool ScreenManager::IsReady() const
{
    if (root_ && flow_)
        return true;
    GAME_FAIL("Screen manager isn't initialized yet");
    return false;
}

void ScreenManager::Post(std::function<void()> step)
{
    steps_.push_back(std::move(step));
    if (steps_.size() == 1)
        root_->GetScheduler()->Schedule([this] { RunNextStep(); });
}

void ScreenManager::RunNextStep()
{
    if (steps_.empty())
        return;
    std::function<void()> step = std::move(steps_.front());
    steps_.pop_front();
    // The next step is posted before this one runs, so that what this one posts (the new
    // screen's initialisation) is taken first: each screen is initialised before the next
    // request replaces it, as when it was the only request.
    if (!steps_.empty())
        root_->GetScheduler()->Schedule([this] { RunNextStep(); });
    step();
}

flow::EntryDefinition* ScreenManager::Resolve(const vadu::String& exit_name)
{
    flow::EntryDefinition* kept = current_entry_;
    flow::EntryDefinition* entry = flow_->ResolveExit(exit_name, current_entry_);
    if (!entry) {
        GAME_FAIL("Things went wrong at flow manager");
        current_entry_ = kept;
        return nullptr;
    }
    current_entry_ = entry;
    Note(entry);
    return entry;
}

void ScreenManager::Note(flow::EntryDefinition* entry)
{
    if (debug_ && entry)
        debug_->RecordEntry(entry->GetName());
}

void ScreenManager::ChangeScreen(const vadu::String& exit_name, bool purge)
{
    Request(exit_name, purge, false);
}

void ScreenManager::ResetToScreen(const vadu::String& exit_name, bool purge)
{
    Request(exit_name, purge, true);
}

void ScreenManager::Request(const vadu::String& exit_name, bool purge, bool reset)
{
    if (!IsReady())
        return;
    if (exit_name == pop_exit) {
        RequestPop();
        return;
    }
    flow::EntryDefinition* entry = Resolve(exit_name);
    if (!entry)
        return;
    ScreenReference* reference = entry->GetScreenReference();
    if (!reference) {
        GAME_FAIL("Flow entry didn't return screen reference");
        return;
    }
    if (reset) {
        // The screens covered now go with the reset; those pushed after it stay.
        std::shared_ptr<RecordStack> covered = TakeStack();
        Post([this, reference, purge, covered] { Reset(reference, purge, *covered); });
    } else {
        Post([this, reference, purge] { DoChange(reference, purge); });
    }
}

void ScreenManager::RequestPop()
{
    if (stack_.empty()) {
        // Nothing to go back to, also once the requests already made have run.
        Post([] { GAME_FAIL("Cannot pop an empty screen stack"); });
        return;
    }
    std::shared_ptr<Record> record = std::move(stack_.back());
    stack_.pop_back();
    current_entry_ = record->entry;
    Post([this, record] { Pop(*record); });
}

void ScreenManager::PushScreen(const vadu::String& exit_name)
{
    if (!IsReady())
        return;
    if (exit_name == pop_exit) {
        RequestPop();
        return;
    }
    auto record = std::make_shared<Record>(Record{current_entry_, nullptr});
    stack_.push_back(record);
    flow::EntryDefinition* entry = Resolve(exit_name);
    if (!entry) {
        stack_.pop_back();
        return;
    }
    ScreenReference* reference = entry->GetScreenReference();
    if (!reference) {
        GAME_FAIL("Flow entry didn't return screen reference");
        stack_.pop_back();
        return;
    }
    Post([this, reference, record] { Push(reference, *record); });
}

void ScreenManager::RestartScreen()
{
    if (!IsReady())
        return;
    if (!current_entry_) {
        GAME_FAIL("Things went wrong at flow manager");
        return;
    }
    Note(current_entry_);
    ScreenReference* reference = current_entry_->GetScreenReference();
    if (!reference) {
        GAME_FAIL("Flow entry didn't return screen reference");
        return;
    }
    Post([this, reference] { DoChange(reference, false); });
}

void ScreenManager::Initialize()
{
    if (!root_ || !flow_)
        return;
    // A second flow keeps the view made for the first.
    if (!debug_)
        debug_ = ScreenManagerDebugImpl::Register(*root_, std::make_unique<ScreenManagerDebugImpl>(this));
    flow::EntryDefinition* entry = flow_->Start();
    current_entry_ = entry;
    if (!entry) {
        GAME_FAIL("Flow manager doesn't have default entry");
        return;
    }
    Note(entry);
    ScreenReference* reference = entry->GetScreenReference();
    if (!reference) {
        GAME_FAIL("Flow entry didn't return screen reference");
        return;
    }
    std::unique_ptr<Screen> screen = reference->ConstructScreen(*root_);
    current_ = std::move(screen);
}

void ScreenManager::Purge()
{
    current_.reset();
    ApplicationService* application = root_->Get<ApplicationService>();
    if (!application) {
        GAME_FAIL("Unexpected failure");
        return;
    }
    application->NotifyPurge();
}

std::unique_ptr<Screen> ScreenManager::Build(ScreenReference* reference)
{
    std::unique_ptr<Screen> screen = reference->ConstructScreen(*root_);
    // A new screen learns of the pointer only from its moves: one that rests where the
    // last screen was left (the button that changed screens) would make the first press
    // hit nothing. It is seen where it stands from the start.
    if (screen)
        if (input::PointingDeviceInputManagerImpl* input = screen->GetInputManager())
            input->RefreshPointer();
    return screen;
}

void ScreenManager::DoChange(ScreenReference* reference, bool purge)
{
    if (purge)
        Purge();
    std::unique_ptr<Screen> screen = Build(reference);
    std::unique_ptr<Screen> previous = std::move(current_);
    current_ = std::move(screen);
    previous.reset();
}

void ScreenManager::DoReset(ScreenReference* reference, bool purge)
{
    Reset(reference, purge, *TakeStack());
}

std::shared_ptr<ScreenManager::RecordStack> ScreenManager::TakeStack()
{
    // Whoever lets go of the records last destroys their screens from the top down.
    std::shared_ptr<RecordStack> taken(new RecordStack(std::move(stack_)), [](RecordStack* records) {
        while (!records->empty())
            records->pop_back();
        delete records;
    });
    stack_.clear();
    return taken;
}

void ScreenManager::Reset(ScreenReference* reference, bool purge, RecordStack& covered)
{
    if (purge)
        Purge();
    while (!covered.empty()) {
        covered.back()->screen.reset();
        covered.pop_back();
    }
    std::unique_ptr<Screen> screen = Build(reference);
    std::unique_ptr<Screen> previous = std::move(current_);
    current_ = std::move(screen);
    previous.reset();
}

void ScreenManager::DoPush(ScreenReference* reference)
{
    auto record = std::make_shared<Record>(Record{current_entry_, nullptr});
    stack_.push_back(record);
    Push(reference, *record);
}

void ScreenManager::Push(ScreenReference* reference, Record& record)
{
    if (current_) {
        current_->SetInputEnabled(false);
        if (ScreenBackend* backend = current_->GetBackend())
            backend->OnDeactivate();
    }
    record.screen = std::move(current_);
    current_ = Build(reference);
}

void ScreenManager::DoPop()
{
    if (stack_.empty()) {
        // Nothing to go back to: the current screen stays.
        GAME_FAIL("Cannot pop an empty screen stack");
        return;
    }
    std::shared_ptr<Record> record = std::move(stack_.back());
    stack_.pop_back();
    current_entry_ = record->entry;
    Pop(*record);
}

void ScreenManager::Pop(Record& record)
{
    current_.reset();
    current_ = std::move(record.screen);
    if (current_) {
        current_->SetInputEnabled(true);
        // The pointer was not followed while the screen was covered: it is seen again
        // where it is now, before the next press asks what lies under it.
        if (input::PointingDeviceInputManagerImpl* input = current_->GetInputManager())
            input->RefreshPointer();
        if (ScreenBackend* backend = current_->GetBackend())
            backend->OnActivate();
    }
}

} // namespace game
