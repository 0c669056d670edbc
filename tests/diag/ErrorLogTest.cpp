// The error log: what a report hands to the window (order, pending text, byte
// count) and what it leaves behind.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "K4DiagSeams.h"
#include "K4ErrorForm.h"

namespace {

using Lines = std::vector<std::string>;

struct Shown {
    std::string title;
    std::vector<std::string> lines;
    std::string label;
    int calls = 0;
};

class ErrorLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearErrors();
        before_ = AllocatedBytes;
        SetErrorWindowHookForTests([this](const ShortString& title, const HardStack& stack) {
            shown_.title = title.Str();
            shown_.lines = StackLines(stack);
            shown_.label = MemoryLabelText().Str();
            ++shown_.calls;
        });
    }
    void TearDown() override {
        SetErrorWindowHookForTests(nullptr);
        ClearErrors();
        EXPECT_EQ(AllocatedBytes, before_);
    }
    std::string Label(std::int32_t entries) const { return "m:" + std::to_string(before_ + 256 * entries); }

    Shown shown_;
    std::int32_t before_ = 0;
};

TEST_F(ErrorLogTest, ReportShowsNewestFirstWithTheByteCountAndClearsTheLog) {
    EXPECT_FALSE(ErrorsPending());
    PushError("A");
    PushError("B");
    PushError("C");
    EXPECT_TRUE(ErrorsPending());
    EXPECT_EQ(AllocatedBytes, before_ + 768);
    ReportErrors();
    EXPECT_EQ(shown_.calls, 1);
    EXPECT_EQ(shown_.lines, (Lines{"C", "B", "A"}));
    EXPECT_EQ(shown_.label, Label(3));
    EXPECT_EQ(shown_.title, "");
    EXPECT_FALSE(ErrorsPending());
    EXPECT_EQ(AllocatedBytes, before_);
}

TEST_F(ErrorLogTest, PendingTextBecomesTheNewestLine) {
    PushError("pushed");
    SetPendingError("pending");
    ReportErrors();
    EXPECT_EQ(shown_.lines, (Lines{"pending", "pushed"}));
    EXPECT_FALSE(PendingErrorSet);
    EXPECT_EQ(PendingErrorText, "");
}

TEST_F(ErrorLogTest, PendingErrorAloneIsPendingAndShown) {
    SetPendingError("K4 Hard Stack under zero");
    EXPECT_TRUE(ErrorsPending());
    ReportErrors();
    EXPECT_EQ(shown_.lines, Lines{"K4 Hard Stack under zero"});
    EXPECT_EQ(shown_.label, Label(1));
    EXPECT_FALSE(ErrorsPending());
}

TEST_F(ErrorLogTest, EmptyReportStillShowsTheWindow) {
    ReportErrors();
    EXPECT_EQ(shown_.calls, 1);
    EXPECT_TRUE(shown_.lines.empty());
    EXPECT_EQ(shown_.label, Label(0));
}

// A log still full when reported cannot take the pending text either: the window
// shows the log's entries alone, and the notice is dropped with the log.
TEST_F(ErrorLogTest, AFullLogLosesTheTextAndReportsItsEntriesAlone) {
    for (int i = 0; i < ErrorStackCapacity; ++i) PushError(ShortString("e") + std::to_string(i).c_str());
    EXPECT_FALSE(PendingErrorSet);
    PushError("lost");
    EXPECT_EQ(ErrorStack->Count, ErrorStackCapacity);
    EXPECT_EQ(PendingErrorText, "K4 Hard stack over");
    ReportErrors();
    ASSERT_EQ(shown_.lines.size(), static_cast<std::size_t>(ErrorStackCapacity));
    EXPECT_EQ(shown_.lines[0], "e63");
    EXPECT_EQ(shown_.lines.back(), "e0");
    EXPECT_EQ(shown_.label, Label(ErrorStackCapacity));
    EXPECT_FALSE(ErrorsPending()) << "the pending text went with the report";
}

// One entry short of full: the pending text still fits and is the newest line.
TEST_F(ErrorLogTest, APendingTextFitsALogWithOneFreeSlot) {
    for (int i = 0; i < ErrorStackCapacity - 1; ++i) PushError(ShortString("e") + std::to_string(i).c_str());
    SetPendingError("pending");
    ReportErrors();
    ASSERT_EQ(shown_.lines.size(), static_cast<std::size_t>(ErrorStackCapacity));
    EXPECT_EQ(shown_.lines[0], "pending");
    EXPECT_EQ(shown_.lines[1], "e62");
}

TEST_F(ErrorLogTest, ClearErrorsDropsPendingAndLoggedTexts) {
    PushError("x");
    SetPendingError("y");
    ClearErrors();
    EXPECT_FALSE(ErrorsPending());
    EXPECT_EQ(ErrorStack->Count, 0);
    SetPendingError("z");  // the pending slot is free again
    EXPECT_EQ(PendingErrorText, "z");
}

TEST_F(ErrorLogTest, SettingsReachTheWindow) {
    ErrorWindowTitle = "Title";
    ReportErrors();
    ErrorWindowTitle = ShortString();
    EXPECT_EQ(shown_.title, "Title");
}

}  // namespace
