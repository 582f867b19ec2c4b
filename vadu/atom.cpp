#include "vadu/atom.h"

#include <atomic>
#include <mutex>

#include "vadu/exception.h"

namespace vadu {

namespace {

// Constant-initialised, so atoms built by static initialisers of other files find them
// ready, and nothing here is torn down before the last exit-time atom goes.
constinit std::atomic<int32_t> live_atoms{0};
constinit std::atomic<AtomTable*> global_table{nullptr};
// Taken only when the count crosses zero, so that a first and a last atom on two threads
// cannot leave the count and the table out of step.
constinit std::mutex lifetime_mutex;

} // namespace

AtomTable::AtomTable()
{
    indexes_.emplace(String(), 0u);
    names_.emplace_back();
}

AtomTable::~AtomTable() = default;

uint32_t AtomTable::intern(const String& name)
{
    threads::ScopedLock lock(mutex_);
    const auto [position, added] = indexes_.try_emplace(name, next_index_);
    if (!added)
        return position->second;
    try {
        names_.push_back(name);
    } catch (...) {
        indexes_.erase(position);
        throw;
    }
    return next_index_++;
}

String AtomTable::get_name(uint32_t index)
{
    threads::ScopedLock lock(mutex_);
    if (index >= names_.size())
        throw Gluck("vadu::AtomTable::get_name", vadu::format("No atom with index %u", index));
    return names_[index];
}

AtomTable* AtomTable::instance()
{
    return global_table.load();
}

int32_t AtomTable::use_count()
{
    return live_atoms.load();
}

AtomTable& AtomTable::acquire()
{
    // While the count is above zero the table exists and cannot go away under us.
    int32_t count = live_atoms.load();
    while (count > 0) {
        if (live_atoms.compare_exchange_weak(count, count + 1))
            return *global_table.load();
    }
    std::lock_guard<std::mutex> guard(lifetime_mutex);
    // The table is published before the count leaves zero, so the lock-free path above
    // never sees a count without a table.
    if (live_atoms.load() == 0)
        global_table.store(new AtomTable);
    live_atoms.fetch_add(1);
    return *global_table.load();
}

void AtomTable::release() noexcept
{
    int32_t count = live_atoms.load();
    while (count > 1) {
        if (live_atoms.compare_exchange_weak(count, count - 1))
            return;
    }
    std::lock_guard<std::mutex> guard(lifetime_mutex);
    if (live_atoms.fetch_sub(1) == 1)
        delete global_table.exchange(nullptr);
}

Atom::Atom() : index_(0)
{
    AtomTable::acquire();
}

Atom::Atom(const char* name) : index_(0)
{
    intern(String(name));
}

Atom::Atom(const String& name) : index_(0)
{
    intern(name);
}

Atom::Atom(const char* first, const char* last) : index_(0)
{
    intern(String(first, last));
}

Atom::Atom(const Atom& other) : index_(other.index_)
{
    AtomTable::acquire();
}

Atom& Atom::operator=(const Atom& other) noexcept
{
    index_ = other.index_;
    return *this;
}

Atom::~Atom()
{
    AtomTable::release();
}

String Atom::get_name() const
{
    return AtomTable::instance()->get_name(index_);
}

void Atom::intern(const String& name)
{
    AtomTable& table = AtomTable::acquire();
    try {
        index_ = table.intern(name);
    } catch (...) {
        AtomTable::release();
        throw;
    }
}

} // namespace vadu
