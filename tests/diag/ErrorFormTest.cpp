// The error report in a real window: texts read back by messages, the layout
// when maximised, and each way of closing it.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "K4ErrorForm.h"
#include "K4Form.h"
#include "WindowProbe.h"

namespace {

// Table order of the window's controls.
const int MemoId = probe::ControlId(0), ButtonId = probe::ControlId(1), Label1Id = probe::ControlId(2),
          Label2Id = probe::ControlId(3);

bool IsErrorWindow(HWND h) {
    return probe::ClassOf(h) == "K4Form" && probe::ById(h, MemoId) != nullptr;
}

struct Seen {
    std::string title, button, label1, label2;
    std::vector<std::string> memo;
};

Seen Read(HWND w) {
    return {probe::Text(w), probe::Text(probe::ById(w, ButtonId)), probe::Text(probe::ById(w, Label1Id)),
            probe::Text(probe::ById(w, Label2Id)), probe::MemoLines(probe::ById(w, MemoId))};
}

class ErrorFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearErrors();
        before_ = AllocatedBytes;
    }
    void TearDown() override {
        ClearErrors();
        EXPECT_EQ(AllocatedBytes, before_);
    }
    std::int32_t before_ = 0;
};

TEST_F(ErrorFormTest, ShowsTextsNewestFirstWithEmptyCaptionsAndClosesOnEnter) {
    std::string longText(255, 'L');
    longText.back() = 'E';
    PushError("A");
    PushError(longText);
    PushError("C");
    Seen seen;
    probe::Driver driver(IsErrorWindow, [&](HWND w) {
        seen = Read(w);
        probe::PressKey(GetWindowThreadProcessId(w, nullptr), w, VK_RETURN);
    });
    ReportErrors();
    ASSERT_TRUE(driver.Found());
    EXPECT_TRUE(driver.Closed());
    EXPECT_EQ(seen.title, "");
    EXPECT_EQ(seen.button, "");
    EXPECT_EQ(seen.label1, "");
    EXPECT_EQ(seen.label2, "m:" + std::to_string(before_ + 3 * 256));
    EXPECT_EQ(seen.memo, (std::vector<std::string>{"C", longText, "A"}));
    EXPECT_FALSE(ErrorsPending());
}

TEST_F(ErrorFormTest, PendingTextAloneIsTheOnlyLineAndEscCloses) {
    SetPendingError("K4 Hard Stack under zero");
    Seen seen;
    probe::Driver driver(IsErrorWindow, [&](HWND w) {
        seen = Read(w);
        probe::PressKey(GetWindowThreadProcessId(w, nullptr), w, VK_ESCAPE);
    });
    ReportErrors();
    ASSERT_TRUE(driver.Found());
    EXPECT_TRUE(driver.Closed());
    EXPECT_EQ(seen.memo, std::vector<std::string>{"K4 Hard Stack under zero"});
    EXPECT_EQ(seen.label2, "m:" + std::to_string(before_ + 256));
}

TEST_F(ErrorFormTest, EmptyReportShowsAnEmptyMemoAndTheButtonCloses) {
    ErrorWindowTitle = "Report";
    ErrorButtonCaption = "Close";
    Seen seen;
    probe::Driver driver(IsErrorWindow, [&](HWND w) {
        seen = Read(w);
        PostMessageA(probe::ById(w, ButtonId), BM_CLICK, 0, 0);
    });
    ReportErrors();
    ErrorWindowTitle = ShortString();
    ErrorButtonCaption = ShortString();
    ASSERT_TRUE(driver.Found());
    EXPECT_TRUE(driver.Closed());
    EXPECT_EQ(seen.title, "Report");
    EXPECT_EQ(seen.button, "Close");
    EXPECT_TRUE(seen.memo.empty());
    EXPECT_EQ(seen.label2, "m:" + std::to_string(before_));
}

TEST_F(ErrorFormTest, DesignLayoutAndMaximisedLayout) {
    RECT memo{}, button{}, label1{}, bigMemo{}, bigButton{}, bigLabel1{}, frame{};
    SIZE client{}, bigClient{};
    probe::Driver driver(IsErrorWindow, [&](HWND w) {
        GetWindowRect(w, &frame);
        client = probe::ClientSize(w);
        memo = probe::RectInParent(probe::ById(w, MemoId));
        button = probe::RectInParent(probe::ById(w, ButtonId));
        label1 = probe::RectInParent(probe::ById(w, Label1Id));
        SendMessageA(w, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        bigClient = probe::ClientSize(w);
        bigMemo = probe::RectInParent(probe::ById(w, MemoId));
        bigButton = probe::RectInParent(probe::ById(w, ButtonId));
        bigLabel1 = probe::RectInParent(probe::ById(w, Label1Id));
        PostMessageA(w, WM_CLOSE, 0, 0);
    });
    ReportErrors();
    ASSERT_TRUE(driver.Found());
    EXPECT_EQ(frame.left, 191) << "the design's screen position";
    EXPECT_EQ(frame.top, 107);
    EXPECT_EQ(client.cx, 471);
    EXPECT_EQ(client.cy, 177);
    EXPECT_EQ(memo.left, 8);
    EXPECT_EQ(memo.top, 24);
    EXPECT_EQ(memo.right - memo.left, 457);
    EXPECT_EQ(memo.bottom - memo.top, 113);
    EXPECT_EQ(button.left, 8);
    EXPECT_EQ(button.top, 144);
    ASSERT_GT(bigClient.cx, client.cx);
    ASSERT_GT(bigClient.cy, client.cy);
    // The memo keeps its distance to all four edges; the button to the bottom.
    EXPECT_EQ(bigClient.cx - bigMemo.right, client.cx - memo.right);
    EXPECT_EQ(bigClient.cy - bigMemo.bottom, client.cy - memo.bottom);
    EXPECT_EQ(bigMemo.left, 8);
    EXPECT_EQ(bigClient.cy - bigButton.top, client.cy - button.top);
    EXPECT_EQ(bigButton.right - bigButton.left, 241);
    EXPECT_EQ(bigLabel1.top, label1.top);
}

}  // namespace
