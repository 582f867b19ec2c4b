#include "game/diagnostics.h"
#include "game/flow.h"
#include "game/screen_definition.h"
#include "xml_helpers.h"

namespace game::flow {

bool ExitDefinition::OnAttribute(vadu::xml::Provider&, const vadu::String& attribute, const vadu::String& value)
{
    if (attribute == "Name") {
        name = value;
        return true;
    }
    if (attribute == "Entry") {
        target = value;
        return true;
    }
    return false;
}

namespace {

// "Selector Name".
class SelectorElement : public vadu::xml::ObjectANSI {
public:
    bool OnAttribute(vadu::xml::Provider&, const vadu::String& attribute, const vadu::String& value) override
    {
        if (attribute != "Name")
            return false;
        name = value;
        return true;
    }
    vadu::String name;
};

bool read_exit(vadu::xml::Provider& provider, std::vector<std::unique_ptr<ExitDefinition>>& exits)
{
    auto exit = std::make_unique<ExitDefinition>();
    if (!provider.ParseObject(*exit))
        return false;
    exits.push_back(std::move(exit));
    return true;
}

} // namespace

EntryDefinition::EntryDefinition() = default;
EntryDefinition::~EntryDefinition() = default;

bool EntryDefinition::OnAttribute(vadu::xml::Provider&, const vadu::String& attribute, const vadu::String& value)
{
    if (attribute != "Name")
        return false;
    name_ = value;
    return true;
}

bool EntryDefinition::OnNode(vadu::xml::Provider& provider, const vadu::String& element)
{
    if (element == "Screen") {
        detail::ResourceHolder holder;
        if (!provider.ParseObject(holder) || !holder.has_path)
            return false;
        GAME_CHECK(!screen_reference_ && selector_name_.empty(), "!this->screenReference.get()");
        screen_reference_ = std::make_unique<StaticResourceScreenReference>(detail::to_path(holder.path));
        return true;
    }
    if (element == "Selector") {
        SelectorElement selector;
        if (!provider.ParseObject(selector))
            return false;
        GAME_CHECK(!screen_reference_, "!this->screenReference.get()");
        selector_name_ = selector.name;
        return true;
    }
    if (element == "Exit")
        return read_exit(provider, exits_);
    return false;
}

const ExitDefinition* EntryDefinition::FindExit(const vadu::String& exit_name) const
{
    for (const auto& exit : exits_) {
        if (exit->name == exit_name)
            return exit.get();
    }
    return nullptr;
}

TriggerEntry::TriggerEntry(Manager& manager) : manager_(manager) {}
TriggerEntry::~TriggerEntry() = default;

bool TriggerEntry::OnAttribute(vadu::xml::Provider&, const vadu::String& attribute, const vadu::String& value)
{
    if (attribute != "Name")
        return false;
    name_ = value;
    return true;
}

bool TriggerEntry::OnNode(vadu::xml::Provider& provider, const vadu::String& element)
{
    if (element == "Exit")
        return read_exit(provider, exits_);
    return false;
}

void TriggerEntry::OnEntryChanged(EntryDefinition* entry)
{
    if (Trigger* trigger = CreateTrigger())
        trigger->OnEntryChanged(entry);
}

Trigger* TriggerEntry::CreateTrigger()
{
    if (trigger_)
        return trigger_.get();
    trigger_ = manager_.GetTriggerFactory().Create(name_);
    if (!trigger_) {
        GAME_FAIL("Trigger factory failed to create trigger");
        return nullptr;
    }
    trigger_->sink = this;
    trigger_->provider = manager_.GetServiceProvider();
    return trigger_.get();
}

void TriggerEntry::FireExit(const vadu::String& exit_name)
{
    const ExitDefinition* exit = nullptr;
    for (const auto& candidate : exits_) {
        if (candidate->name == exit_name) {
            exit = candidate.get();
            break;
        }
    }
    if (!exit) {
        GAME_FAIL("Cannot find named exit");
        return;
    }
    EntryDefinition* entry = manager_.FindEntry(exit->target);
    if (!entry) {
        GAME_FAIL("Cannot find named entry");
        return;
    }
    manager_.EnterEntry(entry);
}

Manager::Manager() = default;

Manager::~Manager()
{
    // Triggers may hold the entries; they go first.
    triggers_entries_.clear();
}

bool Manager::OnAttribute(vadu::xml::Provider&, const vadu::String& attribute, const vadu::String& value)
{
    if (attribute != "Start")
        return false;
    start_name_ = value;
    return true;
}

bool Manager::OnNode(vadu::xml::Provider& provider, const vadu::String& element)
{
    if (element == "Entry") {
        auto entry = std::make_unique<EntryDefinition>();
        if (!provider.ParseObject(*entry))
            return false;
        if (entries_.count(entry->GetName()) != 0) {
            GAME_FAIL("Duplicate key");
            return false;
        }
        const vadu::String name = entry->GetName();
        entries_.emplace(name, std::move(entry));
        return true;
    }
    if (element == "Trigger") {
        auto trigger = std::make_unique<TriggerEntry>(*this);
        if (!provider.ParseObject(*trigger))
            return false;
        triggers_entries_.push_back(std::move(trigger));
        return true;
    }
    return false;
}

EntryDefinition* Manager::FindEntry(const vadu::String& name) const
{
    const auto found = entries_.find(name);
    return found == entries_.end() ? nullptr : found->second.get();
}

void Manager::NotifyTriggers(EntryDefinition* entry)
{
    for (const auto& trigger : triggers_entries_)
        trigger->OnEntryChanged(entry);
}

EntryDefinition* Manager::Start()
{
    EntryDefinition* entry = FindEntry(start_name_);
    if (!entry) {
        GAME_FAIL("Couldn't locate start entry");
        return nullptr;
    }
    NotifyTriggers(entry);
    EnterEntry(entry);
    return PopQueue();
}

EntryDefinition* Manager::ResolveExit(const vadu::String& exit_name, EntryDefinition* current)
{
    if (!current) {
        GAME_FAIL("We have troubles with screen flow configuration");
        return nullptr;
    }
    Exit(exit_name, current);
    return PopQueue();
}

void Manager::Exit(const vadu::String& exit_name, EntryDefinition* from)
{
    const ExitDefinition* exit = from ? from->FindExit(exit_name) : nullptr;
    if (!exit) {
        GAME_FAIL("Unknown exit name");
        return;
    }
    vadu::String target = exit->target;
    if (!target.empty() && target[0] == '#') {
        if (!(target == "#Advance"))
            GAME_FAIL("Cannot advance screen since queue is empty");
        return;
    }
    if (!target.empty() && target[0] == '$') {
        queue_.clear();
        target = target.substr(1);
    }
    EntryDefinition* entry = FindEntry(target);
    if (!entry) {
        GAME_FAIL("Cannot find named entry");
        return;
    }
    NotifyTriggers(entry);
    EnterEntry(entry);
}

void Manager::EnterEntry(EntryDefinition* entry)
{
    if (!entry)
        return;
    if (entry->GetSelectorName().empty()) {
        queue_.push_front(entry);
        return;
    }
    std::unique_ptr<Selector> selector = selectors_.Create(entry->GetSelectorName());
    if (!selector) {
        GAME_FAIL("Selector factory couldn't create needed selector");
        return;
    }
    selector->Initialize(provider_);
    const vadu::String chosen = selector->Choose();
    selector.reset();
    Exit(chosen, entry);
}

EntryDefinition* Manager::PopQueue()
{
    if (queue_.empty()) {
        GAME_FAIL("Cannot advance when queue is empty");
        return nullptr;
    }
    EntryDefinition* entry = queue_.back();
    queue_.pop_back();
    current_name_ = entry->GetName();
    return entry;
}

} // namespace game::flow
