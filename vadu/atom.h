#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "vadu/string.h"
#include "vadu/threads.h"

namespace vadu {

// Interns names as small indexes. Index 0 is always the empty name; other names get
// 1, 2, ... in the order they are first interned, and an index is never reused while
// the table lives. Safe to use from several threads.
//
// One global table serves every vadu::Atom: the first live atom creates it and the last
// one destroys it, so a later atom starts a fresh table whose indexes begin at 1 again.
class AtomTable {
public:
    AtomTable();
    ~AtomTable();
    AtomTable(const AtomTable&) = delete;
    AtomTable& operator=(const AtomTable&) = delete;

    // The name's index, adding the name when it is new. Case-sensitive; every byte counts.
    uint32_t intern(const String& name);
    // A copy of the name (it shares the stored text and stays valid while others intern).
    // Throws vadu::Gluck for an index that was never handed out.
    String get_name(uint32_t index);

    // The global table, or null while no atom lives.
    static AtomTable* instance();
    // Live atoms (the global table exists while this is above zero).
    static int32_t use_count();

private:
    friend class Atom;
    // Hold and release the global table, creating it on the first hold and destroying it
    // on the last release.
    static AtomTable& acquire();
    static void release() noexcept;

    std::map<String, uint32_t> indexes_;
    std::vector<String> names_;
    threads::Mutex mutex_;
    uint32_t next_index_ = 1;
};

// An interned name: compared, ordered and hashed by its index alone, so maps keyed by
// atoms keep the order in which their names were first interned.
class Atom {
public:
    // The empty name (index 0).
    Atom();
    // A null text is the empty name.
    Atom(const char* name);
    Atom(const String& name);
    // Every byte of [first, last), zero bytes included; a reversed range throws
    // std::invalid_argument.
    Atom(const char* first, const char* last);
    Atom(const Atom& other);
    Atom& operator=(const Atom& other) noexcept;
    ~Atom();

    String get_name() const;
    uint32_t get_index() const noexcept { return index_; }

    friend bool operator==(const Atom& left, const Atom& right) noexcept { return left.index_ == right.index_; }
    friend std::strong_ordering operator<=>(const Atom& left, const Atom& right) noexcept
    {
        return left.index_ <=> right.index_;
    }

private:
    void intern(const String& name);

    uint32_t index_;
};

static_assert(sizeof(Atom) == sizeof(uint32_t));

} // namespace vadu

template <>
struct std::hash<vadu::Atom> {
    size_t operator()(const vadu::Atom& atom) const noexcept { return std::hash<uint32_t>{}(atom.get_index()); }
};
