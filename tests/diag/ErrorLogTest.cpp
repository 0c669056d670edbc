// The error log: what a report hands to the window (order, pending text, byte
// count), what it leaves behind, and the memo lines in a real edit control.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "K4ErrorForm.h"
#include "UniqueHandle.h"

namespace {

struct Shown {
    std::string title;
    std::string memo;
    std::string label;
    std::int32_t count = 0;
    int calls = 0;
};

class ErrorLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearErrors();
        before_ = AllocatedBytes;
        SetErrorWindowHook([this](const ShortString& title, const HardStack& stack) {
            shown_.title = title.Str();
            shown_.memo = MemoText(stack);
            shown_.label = MemoryLabelText().Str();
            shown_.count = stack.Count;
            ++shown_.calls;
        });
    }
    void TearDown() override {
        SetErrorWindowHook(nullptr);
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
    EXPECT_EQ(shown_.memo, "C\r\nB\r\nA");
    EXPECT_EQ(shown_.label, Label(3));
    EXPECT_EQ(shown_.title, "");
    EXPECT_FALSE(ErrorsPending());
    EXPECT_EQ(AllocatedBytes, before_);
}

TEST_F(ErrorLogTest, PendingTextBecomesTheNewestLine) {
    PushError("pushed");
    SetPendingError("pending");
    ReportErrors();
    EXPECT_EQ(shown_.memo, "pending\r\npushed");
    EXPECT_FALSE(PendingErrorSet);
    EXPECT_EQ(PendingErrorText, "");
}

TEST_F(ErrorLogTest, PendingErrorAloneIsPendingAndShown) {
    SetPendingError("K4 Hard Stack under zero");
    EXPECT_TRUE(ErrorsPending());
    ReportErrors();
    EXPECT_EQ(shown_.memo, "K4 Hard Stack under zero");
    EXPECT_EQ(shown_.label, Label(1));
    EXPECT_FALSE(ErrorsPending());
}

TEST_F(ErrorLogTest, EmptyReportStillShowsTheWindow) {
    ReportErrors();
    EXPECT_EQ(shown_.calls, 1);
    EXPECT_EQ(shown_.memo, "");
    EXPECT_EQ(shown_.label, Label(0));
}

TEST_F(ErrorLogTest, FullLogLosesTheTextButTheReportKeepsTheOverflowNotice) {
    for (int i = 0; i < ErrorStackCapacity; ++i) PushError(ShortString("e") + std::to_string(i).c_str());
    EXPECT_FALSE(PendingErrorSet);
    PushError("lost");
    EXPECT_EQ(ErrorStack->Count, ErrorStackCapacity);
    EXPECT_EQ(PendingErrorText, "K4 Hard stack over");
    ReportErrors();
    EXPECT_EQ(shown_.count, ErrorStackCapacity + 1);
    EXPECT_EQ(shown_.memo.rfind("K4 Hard stack over\r\ne63\r\n", 0), 0u);
    EXPECT_EQ(shown_.memo.find("lost"), std::string::npos);
    EXPECT_EQ(shown_.label, Label(ErrorStackCapacity + 1));
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

std::string MemoLine(HWND memo, int line) {
    char buffer[512] = {};
    *reinterpret_cast<WORD*>(buffer) = sizeof buffer - 1;
    LRESULT n = SendMessageA(memo, EM_GETLINE, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(buffer));
    return std::string(buffer, static_cast<std::size_t>(n));
}

TEST(StackToMemo, ReplacesTheLinesNewestFirstAndKeepsLongTextsWhole) {
    UniqueWindow memo(CreateWindowExA(0, "EDIT", "old line", WS_POPUP | ES_MULTILINE | ES_AUTOHSCROLL |
                                      ES_READONLY | WS_HSCROLL | WS_VSCROLL,
                                      0, 0, 300, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
    ASSERT_TRUE(memo);
    HardStack stack;
    stack.Init(3, 256);
    std::string longText(255, 'L');
    longText[0] = 'S';
    for (ShortString s : {ShortString("oldest"), ShortString(longText), ShortString("newest")}) stack.Push(&s);
    StackToMemo(stack, memo.Get());
    EXPECT_EQ(SendMessageA(memo.Get(), EM_GETLINECOUNT, 0, 0), 3);
    EXPECT_EQ(MemoLine(memo.Get(), 0), "newest");
    EXPECT_EQ(MemoLine(memo.Get(), 1), longText);
    EXPECT_EQ(MemoLine(memo.Get(), 2), "oldest");
    stack.Clear();
    StackToMemo(stack, memo.Get());
    EXPECT_EQ(GetWindowTextLengthA(memo.Get()), 0);
    stack.Done();
}

}  // namespace
