#pragma once

// The global runner of actions: per target, a list of (tag, action) entries, started,
// advanced, finished and deleted once per frame.
//
// Targets are visited in the order they were first added (never in address order, which
// changes from run to run), so a replay draws the same random numbers for the same
// actions. Completion callbacks may call back into the manager (run, stop or finish
// actions, destroy nodes): removals during a pass only mark their entries, and the
// actions are deleted when the outermost call returns.

#include <cstdint>
#include <list>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vadu/atom.h"

class BaseAnimation;

class ActionManager {
public:
    ActionManager();
    // Deletes every action without finishing it.
    virtual ~ActionManager();
    ActionManager(const ActionManager&) = delete;
    ActionManager& operator=(const ActionManager&) = delete;

    // The one global manager, made on first use.
    static ActionManager& Global();
    // Deletes the global manager (its actions unfinished); the next Global() makes a new one.
    // For tests.
    static void ResetGlobal();

    // Takes the action; an action already running under the tag on that target is deleted
    // unfinished and the new one takes its place. Started by the next Update.
    void RunAction(const void* target, BaseAnimation* action, const vadu::Atom& tag);
    // Deletes the target's first action with the tag, unfinished.
    void StopAction(const void* target, const vadu::Atom& tag);
    // Deletes every action with the tag, on every target, unfinished.
    void StopActionsByTag(const vadu::Atom& tag);
    // Finishes every action of the target (their callbacks run), then deletes them.
    void FinishActionsOf(const void* target);
    // Starts new actions and advances all, then finishes and deletes the finished ones.
    void Update(float dt);
    // Deletes every action, unfinished.
    void Clear();

    // The target's running actions, in order.
    std::vector<std::pair<vadu::Atom, BaseAnimation*>> ActionsOf(const void* target) const;
    // The target's action under the tag; null when none runs.
    BaseAnimation* FindAction(const void* target, const vadu::Atom& tag) const;
    size_t GetTargetCount() const;

private:
    struct Entry {
        vadu::Atom tag;
        BaseAnimation* action;  // null once removed, until the entry is dropped
        uint64_t serial;        // when the action was handed over
    };
    struct Target {
        const void* key;
        std::vector<Entry> entries;
    };
    using TargetList = std::list<Target>;

    // Counts nested calls; removed actions wait in the graveyard until the last returns.
    class Pass {
    public:
        explicit Pass(ActionManager& manager) : manager_(manager) { ++manager_.depth_; }
        ~Pass();
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

    private:
        ActionManager& manager_;
    };

    Target* Find(const void* key);
    const Target* Find(const void* key) const;
    void Discard(BaseAnimation* action);
    // Deletes the graveyard and drops emptied entries and targets, once no pass runs.
    void Settle();

    TargetList targets_;
    std::unordered_map<const void*, TargetList::iterator> index_;
    std::vector<BaseAnimation*> graveyard_;
    int depth_ = 0;
    uint64_t serial_ = 0;
};
