#include "sources/gameplay/action_manager.h"

#include <memory>

#include "sources/gameplay/action.h"
#include "sources/gameplay/shared_animations.h"

namespace {

std::unique_ptr<ActionManager>& GlobalManager()
{
    static std::unique_ptr<ActionManager> manager;
    return manager;
}

} // namespace

ActionManager::Pass::~Pass()
{
    --manager_.depth_;
    manager_.Settle();
}

ActionManager::ActionManager()
{
    SharedAnimations::Instance();
}

ActionManager::~ActionManager()
{
    Clear();
}

ActionManager& ActionManager::Global()
{
    auto& manager = GlobalManager();
    if (!manager)
        manager = std::make_unique<ActionManager>();
    return *manager;
}

void ActionManager::ResetGlobal()
{
    GlobalManager().reset();
}

ActionManager::Target* ActionManager::Find(const void* key)
{
    const auto found = index_.find(key);
    return found == index_.end() ? nullptr : &*found->second;
}

const ActionManager::Target* ActionManager::Find(const void* key) const
{
    const auto found = index_.find(key);
    return found == index_.end() ? nullptr : &*found->second;
}

void ActionManager::Discard(BaseAnimation* action)
{
    graveyard_.push_back(action);
}

void ActionManager::Settle()
{
    if (depth_ != 0)
        return;
    // Deleting an action may delete its node, whose owner may call back in here: such
    // calls only add to the graveyard, which is emptied until it stays empty.
    ++depth_;
    while (!graveyard_.empty()) {
        std::vector<BaseAnimation*> doomed;
        doomed.swap(graveyard_);
        for (BaseAnimation* action : doomed)
            delete action;
    }
    --depth_;
    for (auto it = targets_.begin(); it != targets_.end();) {
        auto& entries = it->entries;
        std::erase_if(entries, [](const Entry& entry) { return entry.action == nullptr; });
        if (entries.empty()) {
            index_.erase(it->key);
            it = targets_.erase(it);
        } else {
            ++it;
        }
    }
}

void ActionManager::RunAction(const void* target, BaseAnimation* action, const vadu::Atom& tag)
{
    if (!action)
        return;
    Pass pass(*this);
    Target* found = Find(target);
    if (!found) {
        targets_.push_back(Target{target, {}});
        index_[target] = std::prev(targets_.end());
        found = &targets_.back();
    }
    for (Entry& entry : found->entries) {
        if (entry.action && entry.tag == tag) {
            if (entry.action != action) {
                Discard(entry.action);
                entry.action = action;
                entry.serial = ++serial_;
            }
            return;
        }
    }
    found->entries.push_back(Entry{tag, action, ++serial_});
}

void ActionManager::StopAction(const void* target, const vadu::Atom& tag)
{
    Pass pass(*this);
    Target* found = Find(target);
    if (!found)
        return;
    for (Entry& entry : found->entries) {
        if (entry.action && entry.tag == tag) {
            Discard(entry.action);
            entry.action = nullptr;
            return;
        }
    }
}

void ActionManager::StopActionsByTag(const vadu::Atom& tag)
{
    Pass pass(*this);
    for (Target& target : targets_) {
        for (Entry& entry : target.entries) {
            if (entry.action && entry.tag == tag) {
                Discard(entry.action);
                entry.action = nullptr;
            }
        }
    }
}

void ActionManager::FinishActionsOf(const void* target)
{
    Pass pass(*this);
    // Entries are re-read by index: a callback may append to this very list.
    for (size_t i = 0;; ++i) {
        Target* found = Find(target);
        if (!found || i >= found->entries.size())
            break;
        BaseAnimation* action = found->entries[i].action;
        if (!action)
            continue;
        found->entries[i].action = nullptr;
        action->Finish();
        Discard(action);
    }
}

void ActionManager::Update(float dt)
{
    Pass pass(*this);
    // Actions handed over from here on wait for the next frame.
    const uint64_t last = serial_;
    for (Target& target : targets_) {
        for (size_t i = 0; i < target.entries.size(); ++i) {
            Entry& entry = target.entries[i];
            BaseAnimation* action = entry.action;
            if (!action || entry.serial > last)
                continue;
            if (!action->IsStarted()) {
                action->SetStarted(true);
                action->Start();
            }
            action->Update(dt);
        }
    }
    for (Target& target : targets_) {
        for (size_t i = 0; i < target.entries.size(); ++i) {
            BaseAnimation* action = target.entries[i].action;
            if (!action || target.entries[i].serial > last || !action->IsFinished())
                continue;
            // Out of the list before its callback runs, so the callback cannot reach it.
            target.entries[i].action = nullptr;
            action->Finish();
            Discard(action);
        }
    }
}

void ActionManager::Clear()
{
    Pass pass(*this);
    for (Target& target : targets_) {
        for (Entry& entry : target.entries) {
            if (entry.action) {
                Discard(entry.action);
                entry.action = nullptr;
            }
        }
    }
}

std::vector<std::pair<vadu::Atom, BaseAnimation*>> ActionManager::ActionsOf(const void* target) const
{
    std::vector<std::pair<vadu::Atom, BaseAnimation*>> result;
    if (const Target* found = Find(target)) {
        for (const Entry& entry : found->entries) {
            if (entry.action)
                result.emplace_back(entry.tag, entry.action);
        }
    }
    return result;
}

BaseAnimation* ActionManager::FindAction(const void* target, const vadu::Atom& tag) const
{
    if (const Target* found = Find(target)) {
        for (const Entry& entry : found->entries) {
            if (entry.action && entry.tag == tag)
                return entry.action;
        }
    }
    return nullptr;
}

size_t ActionManager::GetTargetCount() const
{
    size_t count = 0;
    for (const Target& target : targets_) {
        for (const Entry& entry : target.entries) {
            if (entry.action) {
                ++count;
                break;
            }
        }
    }
    return count;
}
