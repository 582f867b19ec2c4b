#include "vadu/atom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "vadu/exception.h"

namespace atom_test_file {

vadu::String to_string(std::string_view text)
{
    return vadu::String(text.data(), text.data() + text.size());
}

std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// The global table only dies with the last atom; tests of its lifetime need none alive.
bool no_atoms_alive()
{
    return vadu::AtomTable::use_count() == 0 && vadu::AtomTable::instance() == nullptr;
}

TEST(AtomTableTest, HandsOutIndexesInFirstInterningOrder)
{
    using namespace std::string_view_literals;
    struct Case {
        std::string_view name;
        uint32_t index;
    };
    const Case cases[] = {
        {""sv, 0},      {"Node"sv, 1},     {"Alpha"sv, 2},   {"Node"sv, 1},
        {"node"sv, 3},  {"NODE"sv, 4},     {""sv, 0},        {"a\0b"sv, 5},
        {"a"sv, 6},     {"a\0c"sv, 7},     {"a\0b"sv, 5},    {"\xE9t\xE9"sv, 8},
        {"Alpha "sv, 9}, {"Alpha"sv, 2},
    };
    vadu::AtomTable table;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_EQ(table.intern(to_string(c.name)), c.index);
        EXPECT_EQ(to_std(table.get_name(c.index)), std::string(c.name));
    }
}

TEST(AtomTableTest, UnknownIndexIsAnError)
{
    vadu::AtomTable table;
    table.intern("one");
    EXPECT_EQ(to_std(table.get_name(1)), "one");
    try {
        table.get_name(2);
        FAIL() << "no Gluck for an index never handed out";
    } catch (const vadu::Gluck& gluck) {
        EXPECT_EQ(to_std(gluck.get_function()), "vadu::AtomTable::get_name");
    }
}

TEST(AtomTest, EqualNamesGiveEqualAtomsWhateverTheSource)
{
    const char text[] = "Opacity";
    const vadu::Atom from_text("Opacity");
    const vadu::Atom from_string(vadu::String("Opacity"));
    const vadu::Atom from_range(text, text + 7);
    EXPECT_EQ(from_text, from_string);
    EXPECT_EQ(from_text, from_range);
    EXPECT_EQ(to_std(from_range.get_name()), "Opacity");

    EXPECT_NE(from_text, vadu::Atom("opacity"));
    EXPECT_NE(from_text, vadu::Atom(text, text + 6)); // "Opacit"
}

TEST(AtomTest, EmptyNameIsIndexZero)
{
    const char* const null_text = nullptr;
    const vadu::Atom atoms[] = {vadu::Atom(), vadu::Atom(""), vadu::Atom(vadu::String()), vadu::Atom(null_text)};
    for (const vadu::Atom& atom : atoms) {
        EXPECT_EQ(atom.get_index(), 0u);
        EXPECT_EQ(atom, vadu::Atom());
        EXPECT_TRUE(atom.get_name().empty());
    }
}

TEST(AtomTest, RangeWithZeroByteKeepsEveryByte)
{
    const char bytes[] = {'k', 'e', 'y', '\0', 'x'};
    const vadu::Atom whole(bytes, bytes + 5);
    EXPECT_NE(whole, vadu::Atom("key"));
    EXPECT_EQ(whole, vadu::Atom(bytes, bytes + 5));
    EXPECT_EQ(to_std(whole.get_name()), std::string(bytes, 5));
}

TEST(AtomTest, CopiesAndAssignmentsKeepIdentity)
{
    vadu::Atom first("Position");
    const vadu::Atom copy(first);
    vadu::Atom other("Scale");
    EXPECT_EQ(copy, first);
    other = first;
    EXPECT_EQ(other, first);
    first = vadu::Atom("Rotation");
    EXPECT_EQ(to_std(copy.get_name()), "Position");
    EXPECT_EQ(to_std(first.get_name()), "Rotation");
}

TEST(AtomTest, MapsKeepFirstInterningOrder)
{
    // Names no other test interns, made in reverse alphabetical order.
    const std::vector<std::string> names = {"order-zulu", "order-mike", "order-alpha", "order-kilo"};
    std::vector<vadu::Atom> atoms;
    for (const std::string& name : names)
        atoms.emplace_back(name.c_str());

    std::map<vadu::Atom, int> by_atom;
    for (int i = static_cast<int>(atoms.size()) - 1; i >= 0; --i)
        by_atom.emplace(atoms[static_cast<size_t>(i)], i);
    std::vector<std::string> walked;
    for (const auto& [atom, position] : by_atom)
        walked.push_back(to_std(atom.get_name()));
    EXPECT_EQ(walked, names);

    std::unordered_set<vadu::Atom> unique(atoms.begin(), atoms.end());
    unique.insert(vadu::Atom("order-mike"));
    EXPECT_EQ(unique.size(), names.size());
}

TEST(AtomTest, FailedConstructionGivesBackItsHold)
{
    const vadu::Atom keep("keep-table");
    const int32_t before = vadu::AtomTable::use_count();
    const char text[] = "abc";
    EXPECT_THROW(vadu::Atom(text + 3, text), std::invalid_argument);
    EXPECT_EQ(vadu::AtomTable::use_count(), before);
}

TEST(AtomTest, TableLivesFromFirstAtomToLastAndStartsAfreshAfter)
{
    if (!no_atoms_alive())
        GTEST_SKIP() << "atoms built elsewhere in this program keep the table alive";

    uint32_t first_index = 0;
    {
        const vadu::Atom first("lifetime-first");
        first_index = first.get_index();
        const vadu::Atom second("lifetime-second");
        const vadu::Atom copy(second);
        EXPECT_EQ(vadu::AtomTable::use_count(), 3);
        EXPECT_NE(vadu::AtomTable::instance(), nullptr);
        EXPECT_EQ(second.get_index(), 2u);
    }
    EXPECT_EQ(first_index, 1u);
    EXPECT_TRUE(no_atoms_alive());

    const vadu::Atom later("lifetime-later");
    EXPECT_EQ(later.get_index(), 1u);
    EXPECT_EQ(to_std(later.get_name()), "lifetime-later");
    EXPECT_EQ(vadu::Atom("lifetime-first").get_index(), 2u);
}

TEST(AtomTest, ThreadsInterningAtOnceAgree)
{
    const vadu::Atom keep("keep-table");
    constexpr int thread_count = 8;
    constexpr int name_count = 300;
    std::vector<std::string> names;
    for (int i = 0; i < name_count; ++i)
        names.push_back("threaded-" + std::to_string(i));

    // Each thread interns every name, in its own order.
    std::vector<std::vector<uint32_t>> seen(thread_count, std::vector<uint32_t>(name_count));
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&, t] {
            std::vector<int> order(name_count);
            for (int i = 0; i < name_count; ++i)
                order[static_cast<size_t>(i)] = i;
            std::shuffle(order.begin(), order.end(), std::mt19937(static_cast<unsigned>(t)));
            for (int i : order) {
                const vadu::Atom atom(names[static_cast<size_t>(i)].c_str());
                seen[static_cast<size_t>(t)][static_cast<size_t>(i)] = atom.get_index();
                if (to_std(atom.get_name()) != names[static_cast<size_t>(i)])
                    seen[static_cast<size_t>(t)][static_cast<size_t>(i)] = 0;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    std::unordered_set<uint32_t> distinct;
    for (int i = 0; i < name_count; ++i) {
        const uint32_t index = seen[0][static_cast<size_t>(i)];
        EXPECT_NE(index, 0u) << names[static_cast<size_t>(i)];
        distinct.insert(index);
        for (int t = 1; t < thread_count; ++t)
            EXPECT_EQ(seen[static_cast<size_t>(t)][static_cast<size_t>(i)], index) << names[static_cast<size_t>(i)];
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(name_count));
}

TEST(AtomTest, FirstAndLastAtomsOnSeveralThreadsAtOnce)
{
    if (!no_atoms_alive())
        GTEST_SKIP() << "atoms built elsewhere in this program keep the table alive";

    // With no atom held elsewhere, the table is created and destroyed over and over while
    // other threads are between their first and last atom.
    constexpr int thread_count = 6;
    std::vector<int> wrong(thread_count, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&wrong, t] {
            const std::string name = "churn-" + std::to_string(t);
            for (int round = 0; round < 2000; ++round) {
                const vadu::Atom atom(name.c_str());
                if (to_std(atom.get_name()) != name)
                    ++wrong[static_cast<size_t>(t)];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < thread_count; ++t)
        EXPECT_EQ(wrong[static_cast<size_t>(t)], 0) << "thread " << t;
    EXPECT_TRUE(no_atoms_alive());
}

} // namespace
