#include "vadu/shared_ref.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(SharedRef, LastReleaseFreesTheValue)
{
    const size_t tracked = SharedRefCounts::tracked();
    float* value = new float(-50.0f);
    SharedRef<float> settings;
    SharedRef<float> decorations;
    settings.AddRef(value);
    decorations.AddRef(settings.get());
    EXPECT_EQ(SharedRef<float>::count_of(value), 2);

    settings.Release();
    EXPECT_EQ(settings.get(), nullptr);
    EXPECT_EQ(SharedRef<float>::count_of(value), 1);
    *decorations = 12.5f;  // still alive: the sanitizer would flag a freed value
    EXPECT_EQ(*value, 12.5f);

    decorations.Release();  // frees; the leak checker fails the run otherwise
    EXPECT_EQ(decorations.get(), nullptr);
    EXPECT_EQ(SharedRef<float>::count_of(value), 0);
    // The freed value is forgotten: a long run that shares many values keeps no trace.
    EXPECT_EQ(SharedRefCounts::tracked(), tracked);
}

TEST(SharedRef, EmptyHoldersAndNullPointersChangeNothing)
{
    SharedRef<float> empty;
    empty.Release();
    empty.AddRef(nullptr);
    EXPECT_EQ(empty.get(), nullptr);
    EXPECT_EQ(SharedRef<float>::count_of(nullptr), 0);
}

TEST(SharedRef, SecondReleaseOfTheSameHolderDoesNotTakeAnotherOwnersReference)
{
    float* value = new float(1.0f);
    SharedRef<float> careless;
    SharedRef<float> other;
    careless.AddRef(value);
    other.AddRef(value);

    careless.Release();
    careless.Release();
    EXPECT_EQ(SharedRef<float>::count_of(value), 1);
    EXPECT_EQ(*other, 1.0f);
    other.Release();
}

TEST(SharedRef, StaleZeroEntryStartsAgainAtOne)
{
    float* value = new float(3.0f);
    EXPECT_EQ(SharedRef<float>::count_of(value), 0);  // not held yet
    SharedRef<float> holder;
    holder.AddRef(value);
    EXPECT_EQ(SharedRef<float>::count_of(value), 1);
    holder.Release();
    EXPECT_EQ(SharedRef<float>::count_of(value), 0);
}

TEST(SharedRef, MoveHandsTheReferenceOver)
{
    float* value = new float(2.0f);
    SharedRef<float> first;
    first.AddRef(value);
    SharedRef<float> second(std::move(first));
    EXPECT_EQ(first.get(), nullptr);
    EXPECT_EQ(second.get(), value);
    first.Release();  // empty: no effect on the count
    EXPECT_EQ(SharedRef<float>::count_of(value), 1);

    SharedRef<float> third;
    third = std::move(second);
    EXPECT_EQ(third.get(), value);
    third.Release();
    EXPECT_EQ(SharedRef<float>::count_of(value), 0);
}

} // namespace
