// Bounded stacks: full and empty edges, the first pending error winning, copies
// keeping order, and the allocation count following every entry.
#include <gtest/gtest.h>
#include <array>
#include <cstring>
#include "K4Stacks.h"

namespace {

using Entry = std::array<unsigned char, 4>;

Entry Make(unsigned char v) { return {v, static_cast<unsigned char>(v + 1), 0xAA, v}; }

Entry Top(const HardStack& s) {
    Entry e{};
    std::memcpy(e.data(), s.EntryAt(s.Count - 1), e.size());
    return e;
}

class StackTest : public ::testing::Test {
protected:
    void SetUp() override {
        PendingErrorSet = false;
        PendingErrorText = ShortString();
        before_ = AllocatedBytes;
        stack_.Init(3, 4);
    }
    void TearDown() override {
        stack_.Done();
        EXPECT_EQ(AllocatedBytes, before_);
        PendingErrorSet = false;
        PendingErrorText = ShortString();
    }
    HardStack stack_;
    std::int32_t before_ = 0;
};

TEST_F(StackTest, FillsToCapacityAndRefusesTheFourthPush) {
    EXPECT_TRUE(stack_.Empty);
    EXPECT_FALSE(stack_.Full);
    for (unsigned char v : {1, 2, 3}) {
        Entry e = Make(v);
        stack_.Push(e.data());
    }
    EXPECT_TRUE(stack_.Full);
    EXPECT_FALSE(PendingErrorSet);
    Entry fourth = Make(9);
    stack_.Push(fourth.data());
    EXPECT_EQ(stack_.Count, 3);
    EXPECT_TRUE(PendingErrorSet);
    EXPECT_EQ(PendingErrorText, "K4 Hard stack over");
    for (int i = 0; i < 3; ++i) {
        Entry e{};
        stack_.ReadEntry(i, e.data());
        EXPECT_EQ(e, Make(static_cast<unsigned char>(i + 1))) << "entry " << i;
    }
}

TEST_F(StackTest, PopFromFullFreesASlotAndPopCopiesTheTop) {
    for (unsigned char v : {1, 2, 3}) {
        Entry e = Make(v);
        stack_.Push(e.data());
    }
    Entry out{};
    stack_.Pop(out.data(), true);
    EXPECT_EQ(out, Make(3));
    EXPECT_FALSE(stack_.Full);
    EXPECT_EQ(stack_.Slots[2], nullptr);
    Entry again = Make(7);
    stack_.Push(again.data());
    EXPECT_EQ(stack_.Count, 3);
    EXPECT_EQ(Top(stack_), Make(7));
    EXPECT_FALSE(PendingErrorSet);
}

TEST_F(StackTest, PopWithoutCopyReleasesTheTopOnly) {
    Entry a = Make(1), b = Make(2);
    stack_.Push(a.data());
    stack_.Push(b.data());
    stack_.Pop(nullptr, false);
    EXPECT_EQ(stack_.Count, 1);
    EXPECT_EQ(Top(stack_), a);
    EXPECT_EQ(AllocatedBytes, before_ + 4);
}

TEST_F(StackTest, UnderflowLeavesDestinationAndFirstPendingErrorWins) {
    Entry out = Make(5);
    stack_.Pop(out.data(), true);
    EXPECT_EQ(out, Make(5));
    EXPECT_TRUE(stack_.Empty);
    EXPECT_EQ(PendingErrorText, "K4 Hard Stack under zero");
    for (unsigned char v : {1, 2, 3, 4}) {  // the fourth overflows
        Entry e = Make(v);
        stack_.Push(e.data());
    }
    EXPECT_EQ(stack_.Count, 3);
    EXPECT_EQ(PendingErrorText, "K4 Hard Stack under zero");
    SetPendingError("something else");
    EXPECT_EQ(PendingErrorText, "K4 Hard Stack under zero");
}

TEST_F(StackTest, ReadEntryOutsideTheRangeWritesNothing) {
    Entry a = Make(1);
    stack_.Push(a.data());
    for (std::int32_t index : {-1, 1, 3}) {
        Entry d = Make(200);
        stack_.ReadEntry(index, d.data());
        EXPECT_EQ(d, Make(200)) << "index " << index;
    }
    EXPECT_FALSE(PendingErrorSet);
}

TEST_F(StackTest, EntriesAreCopiesNotReferences) {
    Entry e = Make(1);
    stack_.Push(e.data());
    e = Make(50);
    EXPECT_EQ(Top(stack_), Make(1));
}

TEST_F(StackTest, CopyFromKeepsOrderCapacityAndCountsItsEntries) {
    for (unsigned char v : {1, 2}) {
        Entry e = Make(v);
        stack_.Push(e.data());
    }
    std::int32_t beforeCopy = AllocatedBytes;
    HardStack copy;
    copy.CopyFrom(stack_);
    EXPECT_EQ(copy.Capacity, 3);
    EXPECT_EQ(copy.ElementSize, 4);
    EXPECT_EQ(copy.Count, 2);
    EXPECT_EQ(AllocatedBytes, beforeCopy + 8);
    EXPECT_EQ(0, std::memcmp(copy.EntryAt(0), stack_.EntryAt(0), 4));
    EXPECT_NE(copy.EntryAt(0), stack_.EntryAt(0));
    for (int i = 0; i < 2; ++i) {
        Entry x{}, y{};
        copy.Pop(x.data(), true);
        stack_.Pop(y.data(), true);
        EXPECT_EQ(x, y);
    }
    EXPECT_TRUE(copy.Empty);
    copy.Done();
}

TEST_F(StackTest, CopyFromOntoAUsedStackReleasesItsOldEntries) {
    HardStack other;
    other.Init(5, 4);
    Entry old = Make(9);
    other.Push(old.data());
    other.Push(old.data());
    Entry a = Make(1);
    stack_.Push(a.data());
    std::int32_t beforeCopy = AllocatedBytes;
    other.CopyFrom(stack_);
    EXPECT_EQ(AllocatedBytes, beforeCopy - 8 + 4);
    EXPECT_EQ(other.Capacity, 3);
    EXPECT_EQ(Top(other), a);
    other.CopyFrom(other);  // onto itself: unchanged
    EXPECT_EQ(other.Count, 1);
    other.Done();
}

TEST_F(StackTest, AllocatedBytesFollowsPushClearAndDone) {
    HardStack records;
    records.Init(4, 256);
    ShortString a("first"), b("second");
    records.Push(&a);
    records.Push(&b);
    EXPECT_EQ(AllocatedBytes, before_ + 512);
    records.Clear();
    EXPECT_EQ(AllocatedBytes, before_);
    EXPECT_TRUE(records.Empty);
    records.Push(&a);
    records.Done();  // entries still held are released first
    EXPECT_EQ(AllocatedBytes, before_);
    EXPECT_EQ(records.Capacity, 0);
    EXPECT_EQ(records.Slots, nullptr);
    EXPECT_EQ(records.ElementSize, 0);
}

TEST(StackLifecycle, DefaultObjectIsZeroedAndDestructionWithoutDoneReleases) {
    std::int32_t before = AllocatedBytes;
    {
        HardStack s;
        EXPECT_EQ(s.Count, 0);
        EXPECT_EQ(s.Capacity, 0);
        EXPECT_EQ(s.Slots, nullptr);
        EXPECT_FALSE(s.Empty);
        EXPECT_FALSE(s.Full);
        s.Init(2, 8);
        std::array<unsigned char, 8> e{};
        s.Push(e.data());
        EXPECT_EQ(AllocatedBytes, before + 8);
    }
    EXPECT_EQ(AllocatedBytes, before);
}

TEST(StackLifecycle, StackWithoutSlotsOverflowsInsteadOfWriting) {
    PendingErrorSet = false;
    HardStack s;
    s.Init(0, 4);
    Entry e = Make(1);
    s.Push(e.data());
    EXPECT_EQ(s.Count, 0);
    EXPECT_EQ(PendingErrorText, "K4 Hard stack over");
    s.Done();
    PendingErrorSet = false;
    PendingErrorText = ShortString();
}

}  // namespace
