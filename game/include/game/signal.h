#pragma once

// A list of callbacks with connection numbers: buttons report clicks through it, cheat
// codes report that they were typed. A listener keeps the number `Connect` gave it and
// disconnects with it, normally in its destructor.
//
// Emission is safe against the listeners it calls: a callback may connect, disconnect
// (itself or others), emit again, or destroy the signal's owner. `Emit` walks a snapshot
// of the connection numbers taken when it starts, so listeners connected during an
// emission wait for the next one and listeners disconnected during it are skipped; the
// callable that runs is kept alive by the emission even when it disconnects itself.
// Main thread only.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

template <typename Signature>
class Signal;

template <typename Result, typename... Args>
class Signal<Result(Args...)> {
public:
    using Callable = std::function<Result(Args...)>;
    using Id = std::uint32_t;

    Signal() : state_(std::make_shared<State>()) {}
    ~Signal()
    {
        // An emission still running on the stack sees this and stops after its current call.
        if (state_)
            state_->alive = false;
    }
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    // The connections move along (a listener's number stays valid on the new owner).
    Signal(Signal&& other) noexcept : state_(std::exchange(other.state_, std::make_shared<State>())) {}
    Signal& operator=(Signal&& other) noexcept
    {
        if (this != &other) {
            state_->alive = false;
            state_ = std::exchange(other.state_, std::make_shared<State>());
        }
        return *this;
    }

    // Appends the callable and returns its connection number; numbers are never reused.
    template <typename F>
    Id Connect(F&& callable)
    {
        const Id id = state_->next_id++;
        state_->entries.push_back(Entry{id, std::make_shared<Callable>(std::forward<F>(callable))});
        return id;
    }

    // Removes the entry with that number; false when no entry has it.
    bool Disconnect(Id id)
    {
        auto& entries = state_->entries;
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->id == id) {
                entries.erase(it);
                return true;
            }
        }
        return false;
    }

    // Calls every listener connected when the emission starts, in connection order,
    // skipping those disconnected meanwhile. Return values are dropped.
    void Emit(Args... args) const
    {
        // Holding the state keeps the entries readable even if a callback destroys the signal.
        const std::shared_ptr<State> state = state_;
        std::vector<Id> ids;
        ids.reserve(state->entries.size());
        for (const Entry& entry : state->entries)
            ids.push_back(entry.id);
        for (Id id : ids) {
            if (!state->alive)
                return;
            std::shared_ptr<Callable> callable = state->Find(id);
            if (callable && *callable)
                (*callable)(args...);
        }
    }

    std::size_t Size() const { return state_->entries.size(); }
    bool Empty() const { return state_->entries.empty(); }
    bool IsConnected(Id id) const { return state_->Find(id) != nullptr; }

private:
    struct Entry {
        Id id;
        std::shared_ptr<Callable> callable;
    };
    struct State {
        Id next_id = 0;
        std::vector<Entry> entries;
        bool alive = true;

        std::shared_ptr<Callable> Find(Id id) const
        {
            for (const Entry& entry : entries)
                if (entry.id == id)
                    return entry.callable;
            return nullptr;
        }
    };

    std::shared_ptr<State> state_;
};
