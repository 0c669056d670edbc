// A window in the about box's and the error window's manner: a panel holding
// controls, an image, a memo with its own colours, and a hand-cursor link label.
#include <gtest/gtest.h>
#include <string>
#include "ControlProbe.h"
#include "K4Application.h"
#include "K4Form.h"
#include "K4UiSeams.h"

using namespace ui;

namespace {

const ControlSpec kRows[] = {
    Button("OK", {111, 140, 75, 25}, "OK").Tab(0).Flags(DefaultButton),
    Panel("Box", {8, 8, 281, 129}).Tab(1),
    Image("Picture", {8, 8, 64, 64}, 4242).In("Box"),  // no such bitmap: the image stays empty
    Label("Web", {8, 104, 10, 13}, "www.example.invalid").In("Box").Flags(HandCursor),
    Memo("Log", {8, 40, 200, 60})
        .In("Box")
        .Font({"Courier New", 0, 11})
        .TextColour(Colour::Rgb(255, 255, 255))
        .BackColour(Colour::Rgb(0, 0, 0))
        .Flags(NoTabStop),
};

FormSpec Spec() {
    FormSpec s;
    s.caption = "About";
    s.client = {298, 172};
    s.centred = true;
    s.font = {"MS Sans Serif", 0, 11};
    return s;
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::SetBoxRecorderForTests([this](ui::BoxKind, const std::string& t) { boxes.push_back(t); });
    }
    void TearDown() override {
        EXPECT_TRUE(boxes.empty());
        ui::SetBoxRecorderForTests(nullptr);
    }
    std::vector<std::string> boxes;
};

}  // namespace

TEST_F(PanelTest, ChildrenArePlacedInThePanelAndTheWindowIsCentred) {
    Form form(Spec(), kRows);
    form.Create();
    Control& box = form.Item("Box");
    EXPECT_EQ(GetParent(form.Item("Web").Handle()), box.Handle());
    EXPECT_EQ(probe::Bounds(form.Item("Picture")), (Rect{8, 8, 64, 64}));
    EXPECT_EQ(probe::Bounds(form.Item("Web")).x, 8);
    EXPECT_EQ(probe::Bounds(form.Item("Web")).y, 104);
    RECT w;
    GetWindowRect(form.Handle(), &w);
    EXPECT_LE(std::abs((w.left + w.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2), 1);
    EXPECT_LE(std::abs((w.top + w.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2), 1);
    // Painting the panel and the empty image must not fail.
    form.Show();
    UpdateWindow(form.Handle());
    UpdateWindow(box.Handle());
}

TEST_F(PanelTest, ClicksInsideThePanelReachTheForm) {
    Form form(Spec(), kRows);
    int clicks = 0, oks = 0;
    form.Item("Web").OnClick = [&] { ++clicks; };
    form.Item("OK").OnClick = [&] { ++oks; };
    form.Create();
    // The label's notification goes to its parent, the panel.
    SendMessageA(form.Item("Box").Handle(), WM_COMMAND, MAKEWPARAM(form.Item("Web").Id(), STN_CLICKED),
                 reinterpret_cast<LPARAM>(form.Item("Web").Handle()));
    EXPECT_EQ(clicks, 1);
    // Enter anywhere presses the default button.
    form.Show();
    PostMessageA(form.Item("OK").Handle(), WM_KEYDOWN, VK_RETURN, 0);
    probe::HandleQueuedMessages();
    EXPECT_EQ(oks, 1);
}

TEST_F(PanelTest, TheHandCursorFollowsTheLabelsSetting) {
    Form form(Spec(), kRows);
    form.Show();
    HWND web = form.Item("Web").Handle();
    HWND panel = form.Item("Box").Handle();
    LRESULT handled = SendMessageA(panel, WM_SETCURSOR, reinterpret_cast<WPARAM>(web), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_TRUE(handled);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND));
    form.Item("Web").SetHandCursor(false);
    handled = SendMessageA(panel, WM_SETCURSOR, reinterpret_cast<WPARAM>(web), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor() == LoadCursorA(nullptr, IDC_HAND) && handled, false);
}

TEST_F(PanelTest, MemoLinesAndColours) {
    Form form(Spec(), kRows);
    form.Create();
    Control& memo = form.Item("Log");
    EXPECT_EQ(memo.Count(), 0);
    memo.AddLine("newest");
    memo.AddLine("");
    std::string longest(255, 'x');
    memo.AddLine(longest);
    ASSERT_EQ(memo.Count(), 3);
    EXPECT_EQ(probe::Line(memo, 0), "newest");
    EXPECT_EQ(probe::Line(memo, 1), "");
    EXPECT_EQ(probe::Line(memo, 2), longest) << "a long line stays one line";
    EXPECT_EQ(probe::Line(memo, 3), "");
    EXPECT_EQ(memo.Caption(), "newest\r\n\r\n" + longest);
    memo.Clear();
    EXPECT_EQ(memo.Count(), 0);
    memo.SetCaption("a\r\nb");
    EXPECT_EQ(memo.Count(), 2);
    EXPECT_EQ(probe::Line(memo, 1), "b");

    // A read-only edit asks for static colours: white on black.
    HDC dc = GetDC(form.Handle());
    HBRUSH b = reinterpret_cast<HBRUSH>(SendMessageA(form.Item("Box").Handle(), WM_CTLCOLORSTATIC,
                                                     reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(memo.Handle())));
    LOGBRUSH lb{};
    GetObjectA(b, sizeof(lb), &lb);
    EXPECT_EQ(lb.lbColor, RGB(0, 0, 0));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 255));
    ReleaseDC(form.Handle(), dc);

    LOGFONTA lf{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(memo.Handle(), WM_GETFONT, 0, 0)), sizeof(lf), &lf);
    EXPECT_EQ(lf.lfHeight, -11);
    EXPECT_STREQ(lf.lfFaceName, "Courier New");
    EXPECT_FALSE(GetWindowLongPtrA(memo.Handle(), GWL_STYLE) & WS_TABSTOP);
}

TEST_F(PanelTest, ListLinesRoundTrip) {
    const ControlSpec rows[] = {ListBox("List", {8, 8, 200, 100}).Tab(0)};
    Form form(Spec(), rows);
    form.Create();
    Control& list = form.Item("List");
    list.AddLine("b.txt                                               12");
    list.AddLine("a.txt");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(probe::Line(list, 0), "b.txt                                               12") << "kept in added order";
    EXPECT_EQ(probe::Line(list, 1), "a.txt");
    EXPECT_EQ(probe::Line(list, 2), "");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}
