#include "vadu/weak_ptr.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using vadu::Trackable;
using vadu::WeakPtr;

struct Target : Trackable {
    int value = 7;
};

// Notes the order in which its target's destructor resets it.
class RecordingPtr : public WeakPtr {
public:
    RecordingPtr(std::vector<int>& journal, int id) : journal_(journal), id_(id) {}
    void reset() noexcept override
    {
        journal_.push_back(id_);
        WeakPtr::reset();
    }

private:
    std::vector<int>& journal_;
    int id_;
};

TEST(WeakPtr, TargetDeathEmptiesEveryPointerNewestFirst)
{
    std::vector<int> journal;
    RecordingPtr first(journal, 1), second(journal, 2), third(journal, 3);
    {
        Target target;
        first.assign(&target);
        second.assign(&target);
        third.assign(&target);
        EXPECT_EQ(second.get(), &target);
    }
    EXPECT_EQ(journal, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(first.get(), nullptr);
    EXPECT_EQ(second.get(), nullptr);
    EXPECT_EQ(third.get(), nullptr);
    // Unlinked: reusing them on a new target must not reach the dead one's list.
    Target other;
    first.assign(&other);
    second.assign(&other);
}

TEST(WeakPtr, DestroyingOnePointerLeavesTheOthersTracked)
{
    for (int dropped = 0; dropped < 3; ++dropped) {
        SCOPED_TRACE(dropped);
        std::vector<int> journal;
        std::vector<std::unique_ptr<RecordingPtr>> pointers;
        auto target = std::make_unique<Target>();
        for (int id = 0; id < 3; ++id) {
            pointers.push_back(std::make_unique<RecordingPtr>(journal, id));
            pointers.back()->assign(target.get());
        }
        pointers[dropped].reset();  // unlinks head, middle or tail
        target.reset();

        std::vector<int> expected;
        for (int id = 2; id >= 0; --id)
            if (id != dropped)
                expected.push_back(id);
        EXPECT_EQ(journal, expected);
        for (const auto& pointer : pointers) {
            if (pointer) {
                EXPECT_EQ(pointer->get(), nullptr);
            }
        }
    }
}

TEST(WeakPtr, AssignMovesThePointerBetweenTargetsAndNullUnlinksIt)
{
    std::vector<int> journal;
    RecordingPtr moving(journal, 1);
    auto old_target = std::make_unique<Target>();
    auto new_target = std::make_unique<Target>();
    moving.assign(old_target.get());
    moving.assign(new_target.get());
    old_target.reset();
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(moving.get(), new_target.get());

    moving.assign(nullptr);
    EXPECT_EQ(moving.get(), nullptr);
    new_target.reset();
    EXPECT_TRUE(journal.empty());
}

TEST(WeakPtr, AssigningTheCurrentTargetAgainMovesThePointerToTheHead)
{
    std::vector<int> journal;
    RecordingPtr first(journal, 1), second(journal, 2), third(journal, 3);
    {
        Target target;
        first.assign(&target);
        second.assign(&target);
        third.assign(&target);
        first.assign(&target);
        target.add_weak_ptr(second);
    }
    EXPECT_EQ(journal, (std::vector<int>{2, 1, 3}));
}

TEST(WeakPtr, ResetEmptiesAndUnlinksWithoutTouchingTheTarget)
{
    std::vector<int> journal;
    RecordingPtr kept(journal, 1), dropped(journal, 2);
    {
        Target target;
        kept.assign(&target);
        dropped.assign(&target);
        dropped.reset();
        EXPECT_EQ(dropped.get(), nullptr);
        dropped.reset();  // an empty pointer stays empty
        journal.clear();
    }
    EXPECT_EQ(journal, (std::vector<int>{1}));
}

TEST(WeakPtr, AddingAPointerOfAnotherTargetMovesIt)
{
    std::vector<int> journal;
    RecordingPtr pointer(journal, 1);
    auto first = std::make_unique<Target>();
    Target second;
    pointer.assign(first.get());
    second.add_weak_ptr(pointer);
    EXPECT_EQ(pointer.get(), &second);
    first.reset();
    EXPECT_TRUE(journal.empty());
}

TEST(WeakPtr, CopiesAreTrackedOnTheirOwn)
{
    auto target = std::make_unique<Target>();
    WeakPtr original;
    original.assign(target.get());
    auto copy = std::make_unique<WeakPtr>(original);
    WeakPtr assigned;
    assigned = original;
    EXPECT_EQ(copy->get(), target.get());
    EXPECT_EQ(assigned.get(), target.get());

    copy.reset();  // must leave the original linked
    target.reset();
    EXPECT_EQ(original.get(), nullptr);
    EXPECT_EQ(assigned.get(), nullptr);
}

TEST(Trackable, CopyDoesNotTakeOverTheSourcesPointers)
{
    auto source = std::make_unique<Target>();
    WeakPtr pointer;
    pointer.assign(source.get());
    {
        Target copy(*source);
        Target assigned;
        assigned = *source;
    }
    EXPECT_EQ(pointer.get(), source.get());
    source.reset();
    EXPECT_EQ(pointer.get(), nullptr);
}

TEST(Trackable, DeathWithoutPointersAndAnOverrideThatForgetsToUnlink)
{
    { Target lonely; }

    struct CarelessPtr : WeakPtr {
        void reset() noexcept override { ++calls; }
        int calls = 0;
    } careless;
    {
        Target target;
        careless.assign(&target);
    }  // must neither hang nor leave the pointer aimed at the dead target
    EXPECT_EQ(careless.calls, 1);
    EXPECT_EQ(careless.get(), nullptr);
}

} // namespace
