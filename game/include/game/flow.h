#pragma once

// The screen flow: named entries, each naming a screen and its exits; backends name exits,
// the flow says which entry follows. Loaded from a "Flow" file.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "vadu/string.h"
#include "vadu/xml_object.h"

namespace game {

class ServiceProvider;
class Screen;

// Builds the screen of a flow entry.
class ScreenReference {
public:
    virtual ~ScreenReference() = default;
    virtual std::unique_ptr<Screen> ConstructScreen(ServiceProvider& provider) = 0;
};

// Creators by name.
template <class T>
class Factory {
public:
    using Creator = std::function<std::unique_ptr<T>()>;

    void Register(const vadu::String& name, Creator creator) { creators_.emplace(name, std::move(creator)); }
    std::unique_ptr<T> Create(const vadu::String& name) const
    {
        const auto found = creators_.find(name);
        return found == creators_.end() || !found->second ? nullptr : found->second();
    }

private:
    std::map<vadu::String, Creator> creators_;
};

namespace flow {

class EntryDefinition;
class Manager;

// Chooses an exit of its entry by code.
class Selector {
public:
    virtual ~Selector() = default;
    virtual void Initialize(ServiceProvider* provider) = 0;
    virtual vadu::String Choose() = 0;
};

// Where a trigger takes its exits.
class TriggerSink {
public:
    virtual ~TriggerSink() = default;
    virtual void FireExit(const vadu::String& exit_name) = 0;
};

// Watches entry changes and may take exits by itself.
class Trigger {
public:
    virtual ~Trigger() = default;
    virtual void OnEntryChanged(EntryDefinition* entry) = 0;

    TriggerSink* sink = nullptr;
    ServiceProvider* provider = nullptr;
};

using SelectorFactory = Factory<Selector>;
using TriggerFactory = Factory<Trigger>;

class ExitDefinition : public vadu::xml::ObjectANSI {
public:
    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;

    vadu::String name;
    vadu::String target;
};

class EntryDefinition : public vadu::xml::ObjectANSI {
public:
    EntryDefinition();
    ~EntryDefinition() override;

    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;

    const vadu::String& GetName() const noexcept { return name_; }
    const vadu::String& GetSelectorName() const noexcept { return selector_name_; }
    ScreenReference* GetScreenReference() const noexcept { return screen_reference_.get(); }
    const std::vector<std::unique_ptr<ExitDefinition>>& GetExits() const noexcept { return exits_; }
    // The first exit of that name (case-sensitive), or null.
    const ExitDefinition* FindExit(const vadu::String& exit_name) const;

private:
    vadu::String name_;
    vadu::String selector_name_;
    std::unique_ptr<ScreenReference> screen_reference_;
    std::vector<std::unique_ptr<ExitDefinition>> exits_;
};

class TriggerEntry : public vadu::xml::ObjectANSI, public TriggerSink {
public:
    explicit TriggerEntry(Manager& manager);
    ~TriggerEntry() override;

    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;

    void OnEntryChanged(EntryDefinition* entry);
    Trigger* CreateTrigger();
    void FireExit(const vadu::String& exit_name) override;

private:
    Manager& manager_;
    std::unique_ptr<Trigger> trigger_;
    vadu::String name_;
    std::vector<std::unique_ptr<ExitDefinition>> exits_;
};

class Manager : public vadu::xml::ObjectANSI {
public:
    Manager();
    ~Manager() override;

    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;

    // The start entry, entered and taken from the queue; null when there is none.
    EntryDefinition* Start();
    // Follows the exit from the current entry, then takes the next queued entry.
    EntryDefinition* ResolveExit(const vadu::String& exit_name, EntryDefinition* current);
    void Exit(const vadu::String& exit_name, EntryDefinition* from);
    void EnterEntry(EntryDefinition* entry);
    EntryDefinition* PopQueue();

    EntryDefinition* FindEntry(const vadu::String& name) const;
    const vadu::String& GetCurrentEntryName() const noexcept { return current_name_; }
    size_t GetQueueSize() const noexcept { return queue_.size(); }

    void SetSelectorFactory(const SelectorFactory& factory) { selectors_ = factory; }
    void SetTriggerFactory(const TriggerFactory& factory) { triggers_ = factory; }
    const SelectorFactory& GetSelectorFactory() const noexcept { return selectors_; }
    const TriggerFactory& GetTriggerFactory() const noexcept { return triggers_; }
    void SetServiceProvider(ServiceProvider* provider) { provider_ = provider; }
    ServiceProvider* GetServiceProvider() const noexcept { return provider_; }

private:
    void NotifyTriggers(EntryDefinition* entry);

    std::map<vadu::String, std::unique_ptr<EntryDefinition>> entries_;
    std::vector<std::unique_ptr<TriggerEntry>> triggers_entries_;
    std::deque<EntryDefinition*> queue_;
    vadu::String start_name_;
    vadu::String current_name_;
    SelectorFactory selectors_;
    TriggerFactory triggers_;
    ServiceProvider* provider_ = nullptr;
};

} // namespace flow
} // namespace game
