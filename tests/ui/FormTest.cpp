// Real windows built from control tables under Wine: positions, layout on resize,
// handlers reached by clicks, changes and keys, exceptions stopped at the window
// procedure, modal runs, and the table's own failures.
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>
#include "ControlProbe.h"
#include "K4Application.h"
#include "K4Error.h"
#include "K4Form.h"
#include "K4UiSeams.h"

using namespace ui;

namespace {

const ControlSpec kRows[] = {
    Label("Title", {8, 16, 305, 13}, "Title label").Bold().Flags(NoAutoSize),
    Button("Go", {320, 8, 53, 25}, "Go").Anchors(AnchorTop | AnchorRight).Tab(1).Flags(DefaultButton),
    Button("Stop", {392, 8, 51, 25}, "Stop").Anchors(AnchorTop | AnchorRight).Tab(3).Flags(CancelButton),
    ListBox("List", {8, 40, 435, 170})
        .Anchors(AnchorAll)
        .Font(FixedFont("Courier New", 8))
        .ItemHeight(14)
        .BackColour(Colour::System(COLOR_GRADIENTINACTIVECAPTION))
        .Tab(2),
    Label("Status", {8, 217, 40, 13}, "Stopped").Anchors(AnchorLeft | AnchorBottom),
    ProgressBar("Progress", {8, 236, 150, 16}).Anchors(AnchorLeft | AnchorBottom).Tab(0),
    LabeledEdit("Path", {224, 232, 217, 21}, "Extract to path :").Anchors(AnchorRight | AnchorBottom).Tab(4),
};

FormSpec Spec(Border border = Border::Sizeable) {
    FormSpec s;
    s.caption = "Form test";
    s.client = {452, 263};
    s.x = s.y = 159;
    s.border = border;
    return s;
}

// Every test records message boxes instead of showing them (a shown box would
// wait for a user) and fails on any box it did not expect.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::SetBoxRecorderForTests([this](ui::BoxKind k, const std::string& t) { boxes.emplace_back(k, t); });
    }
    void TearDown() override { ui::SetBoxRecorderForTests(nullptr); }
    std::vector<std::pair<ui::BoxKind, std::string>> boxes;
};

LOGFONTA FontOf(const Control& c) {
    LOGFONTA lf{};
    HFONT f = reinterpret_cast<HFONT>(SendMessageA(c.Handle(), WM_GETFONT, 0, 0));
    GetObjectA(f, sizeof(lf), &lf);
    return lf;
}

}  // namespace

TEST_F(FormTest, ControlsStandWhereTheTableSays) {
    Form form(Spec(Border::Dialog), kRows);
    form.Create();
    EXPECT_EQ(form.ClientSize(), (Size{452, 263}));
    RECT w;
    GetWindowRect(form.Handle(), &w);
    EXPECT_EQ(w.left, 159);
    EXPECT_EQ(w.top, 159);
    EXPECT_EQ(probe::Bounds(form.Item("Title")), (Rect{8, 16, 305, 13})) << "no automatic size";
    EXPECT_EQ(probe::Bounds(form.Item("Go")), (Rect{320, 8, 53, 25}));
    EXPECT_EQ(probe::Bounds(form.Item("List")), (Rect{8, 40, 435, 170}));
    EXPECT_EQ(probe::Bounds(form.Item("Progress")), (Rect{8, 236, 150, 16}));
    EXPECT_EQ(probe::Bounds(form.Item("Path")), (Rect{224, 232, 217, 21}));

    // The edit's label sits 3 pixels above the edit, sized to its text.
    Control& edit = form.Item("Path");
    Rect label = probe::Bounds(form.Item("Path.Label"));
    EXPECT_EQ(label.x, 224);
    EXPECT_EQ(label.y + label.h + 3, 232);
    EXPECT_GT(label.w, 0);
    EXPECT_EQ(form.Item("Path.Label").Caption(), "Extract to path :");
    EXPECT_EQ(edit.Caption(), "") << "a labeled edit's design caption belongs to its label";

    // A label sizes itself to its text; one told not to keeps its size.
    Control& status = form.Item("Status");
    int before = probe::Bounds(status).w;
    status.SetCaption("Stopped and a good deal longer");
    EXPECT_GT(probe::Bounds(status).w, before);
    EXPECT_EQ(probe::Bounds(status).x, 8);
    form.Item("Title").SetCaption(std::string(200, 'W'));
    EXPECT_EQ(probe::Bounds(form.Item("Title")), (Rect{8, 16, 305, 13}));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FormTest, FontsColoursAndRanges) {
    Form form(Spec(), kRows);
    form.Create();
    LOGFONTA title = FontOf(form.Item("Title"));
    EXPECT_EQ(title.lfWeight, FW_BOLD);
    EXPECT_STREQ(title.lfFaceName, "MS Sans Serif");
    LOGFONTA list = FontOf(form.Item("List"));
    EXPECT_STREQ(list.lfFaceName, "Courier New");
    EXPECT_EQ(list.lfWeight, FW_NORMAL);
    EXPECT_EQ(SendMessageA(form.Item("List").Handle(), LB_GETITEMHEIGHT, 0, 0), 14)
        << "the item height must survive the font";
    // Columns line up in the list whatever face the system substitutes.
    HDC probe = GetDC(nullptr);
    HGDIOBJ old = SelectObject(probe, reinterpret_cast<HFONT>(SendMessageA(form.Item("List").Handle(), WM_GETFONT, 0, 0)));
    SIZE narrow{}, wide{};
    GetTextExtentPoint32A(probe, "iiii", 4, &narrow);
    GetTextExtentPoint32A(probe, "WWWW", 4, &wide);
    SelectObject(probe, old);
    ReleaseDC(nullptr, probe);
    EXPECT_EQ(narrow.cx, wide.cx);

    form.Item("Status").SetFontStyle(false, true);
    EXPECT_TRUE(FontOf(form.Item("Status")).lfUnderline);

    // The list box paints with its own colour; a label with the window's.
    HDC dc = GetDC(form.Handle());
    auto brushColour = [&](const Control& c, UINT msg) {
        HBRUSH b = reinterpret_cast<HBRUSH>(
            SendMessageA(form.Handle(), msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(c.Handle())));
        LOGBRUSH lb{};
        GetObjectA(b, sizeof(lb), &lb);
        return lb.lbColor;
    };
    EXPECT_EQ(brushColour(form.Item("List"), WM_CTLCOLORLISTBOX), GetSysColor(COLOR_GRADIENTINACTIVECAPTION));
    EXPECT_EQ(brushColour(form.Item("Status"), WM_CTLCOLORSTATIC), GetSysColor(COLOR_BTNFACE));
    form.Item("Status").SetBackColour(Colour::Rgb(192, 192, 192));
    EXPECT_EQ(brushColour(form.Item("Status"), WM_CTLCOLORSTATIC), RGB(192, 192, 192));
    ReleaseDC(form.Handle(), dc);

    // The progress bar runs from 0 to 100.
    Control& bar = form.Item("Progress");
    bar.SetPosition(40);
    EXPECT_EQ(probe::Position(bar), 40);
    bar.SetPosition(150);
    EXPECT_EQ(probe::Position(bar), 100);
}

TEST_F(FormTest, ResizingAppliesTheAnchors) {
    Form form(Spec(), kRows);
    form.Create();
    RECT w;
    GetWindowRect(form.Handle(), &w);
    // Grow the client area by 161 x 138 pixels.
    SetWindowPos(form.Handle(), nullptr, 0, 0, w.right - w.left + 161, w.bottom - w.top + 138,
                 SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_EQ(form.ClientSize(), (Size{613, 401}));
    EXPECT_EQ(probe::Bounds(form.Item("List")), (Rect{8, 40, 596, 308}));
    EXPECT_EQ(probe::Bounds(form.Item("Go")), (Rect{481, 8, 53, 25}));
    EXPECT_EQ(probe::Bounds(form.Item("Title")), (Rect{8, 16, 305, 13}));
    EXPECT_EQ(probe::Bounds(form.Item("Progress")), (Rect{8, 374, 150, 16}));
    EXPECT_EQ(probe::Bounds(form.Item("Path")), (Rect{385, 370, 217, 21}));
    Rect label = probe::Bounds(form.Item("Path.Label"));
    EXPECT_EQ(label.x, 385);
    EXPECT_EQ(label.y + label.h + 3, 370) << "the label follows its edit";

    // A label that sizes itself after a resize stays at its anchored place.
    form.Item("Status").SetCaption("x");
    EXPECT_EQ(probe::Bounds(form.Item("Status")).y, 217 + 138);
}

TEST_F(FormTest, ClicksChangesAndKeysReachTheirHandlers) {
    Form form(Spec(), kRows);
    int go = 0, stop = 0, status = 0, changes = 0;
    form.Item("Go").OnClick = [&] { ++go; };
    form.Item("Stop").OnClick = [&] { ++stop; };
    form.Item("Status").OnClick = [&] { ++status; };
    form.Item("Path").OnChange = [&] { ++changes; };
    form.Show();

    SendMessageA(form.Item("Go").Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(go, 1);
    EXPECT_EQ(stop, 0);
    SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(form.Item("Status").Id(), STN_CLICKED),
                 reinterpret_cast<LPARAM>(form.Item("Status").Handle()));
    EXPECT_EQ(status, 1);

    Control& path = form.Item("Path");
    path.SetCaption("C:\\Buf\\");
    EXPECT_EQ(changes, 1);
    path.SetCaption("C:\\Buf\\");
    EXPECT_EQ(changes, 1) << "the same text again is no change";
    EXPECT_EQ(path.Caption(), "C:\\Buf\\");

    // Enter presses the default button, Esc the cancel button, from the edit.
    ::SetFocus(path.Handle());
    PostMessageA(path.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    probe::HandleQueuedMessages();
    EXPECT_EQ(go, 2);
    PostMessageA(path.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    probe::HandleQueuedMessages();
    EXPECT_EQ(stop, 1);

    // A disabled default button is not pressed.
    form.Item("Go").SetEnabled(false);
    ::SetFocus(path.Handle());
    PostMessageA(path.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    probe::HandleQueuedMessages();
    EXPECT_EQ(go, 2);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FormTest, TabFollowsTheTabOrder) {
    Form form(Spec(), kRows);
    form.Show();
    HWND go = form.Item("Go").Handle();
    HWND next = GetNextDlgTabItem(form.Handle(), go, FALSE);
    EXPECT_EQ(next, form.Item("List").Handle());
    next = GetNextDlgTabItem(form.Handle(), next, FALSE);
    EXPECT_EQ(next, form.Item("Stop").Handle());
    next = GetNextDlgTabItem(form.Handle(), next, FALSE);
    EXPECT_EQ(next, form.Item("Path").Handle());
    EXPECT_EQ(GetNextDlgTabItem(form.Handle(), next, FALSE), go);
    EXPECT_EQ(GetFocus(), go) << "the first tab stop has the focus when shown";
}

TEST_F(FormTest, AnExceptionInAHandlerIsShownAndTheLoopGoesOn) {
    Form form(Spec(), kRows);
    form.SetMainWindow(true);
    int clicks = 0;
    form.Item("Go").OnClick = [&] {
        if (++clicks == 1) throw std::runtime_error("Cannot open file C:\\T\\a.txt");
    };
    form.Show();
    HWND go = form.Item("Go").Handle();
    PostMessageA(go, BM_CLICK, 0, 0);
    PostMessageA(go, BM_CLICK, 0, 0);
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(Form::RunMessageLoop(), 0);
    EXPECT_EQ(clicks, 2) << "the second click came after the failure";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, ui::BoxKind::Error);
    EXPECT_EQ(boxes[0].second, "Cannot open file C:\\T\\a.txt.");
    EXPECT_EQ(form.Handle(), nullptr) << "closing the main window destroys it";
    EXPECT_EQ(form.Item("Go").Handle(), nullptr);
}

TEST_F(FormTest, AFailingCreationHandlerIsShownAndCreationGoesOn) {
    Form form(Spec(), kRows);
    bool painted = false;
    form.OnCreate = [&] {
        EXPECT_FALSE(IsWindowVisible(form.Handle())) << "creation runs before the window is shown";
        EXPECT_NE(form.Item("List").Handle(), nullptr) << "controls exist when creation runs";
        throw std::bad_alloc();
    };
    form.OnPaint = [&] { painted = true; };
    form.Create();
    ASSERT_NE(form.Handle(), nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, "Out of memory.");
    form.Show();
    UpdateWindow(form.Handle());
    EXPECT_TRUE(painted);
}

TEST_F(FormTest, ModalRunDisablesTheOtherWindowsAndReturnsItsResult) {
    Form owner(Spec(), kRows);
    owner.Show();
    Form dialog(Spec(Border::Dialog), kRows);
    bool ownerDisabledDuringRun = false;
    dialog.Item("Go").OnClick = [&] {
        ownerDisabledDuringRun = !IsWindowEnabled(owner.Handle());
        dialog.SetModalResult(ModalOk);
    };
    dialog.Item("Stop").OnClick = [&] { dialog.SetModalResult(7); };
    dialog.OnShow = [&] { PostMessageA(dialog.Item("Go").Handle(), BM_CLICK, 0, 0); };
    EXPECT_EQ(dialog.ShowModal(), ModalOk);
    EXPECT_TRUE(ownerDisabledDuringRun);
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
    EXPECT_FALSE(IsWindowVisible(dialog.Handle()));

    // Esc presses the cancel button, whose handler chooses the result.
    dialog.OnShow = [&] { PostMessageA(dialog.Item("Path").Handle(), WM_KEYDOWN, VK_ESCAPE, 0); };
    EXPECT_EQ(dialog.ShowModal(), 7);

    // Closing by the close box ends the run with Cancel; the window is kept for
    // its owner to destroy.
    dialog.OnShow = [&] { PostMessageA(dialog.Handle(), WM_CLOSE, 0, 0); };
    EXPECT_EQ(dialog.ShowModal(), ModalCancel);
    HWND kept = dialog.Handle();
    EXPECT_TRUE(IsWindow(kept));
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FormTest, DestroyingTheFormDestroysItsWindow) {
    HWND hwnd;
    {
        Form form(Spec(), kRows);
        form.Create();
        hwnd = form.Handle();
        ASSERT_TRUE(IsWindow(hwnd));
    }
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(FormTest, TableAndCreationFailuresAreReported) {
    const ControlSpec duplicate[] = {Label("A", {0, 0, 1, 1}), Label("A", {0, 0, 1, 1})};
    EXPECT_THROW(Form(Spec(), duplicate), K4DesignError);
    const ControlSpec unnamed[] = {Label("", {0, 0, 1, 1})};
    EXPECT_THROW(Form(Spec(), unnamed), K4DesignError);
    const ControlSpec noPanel[] = {Label("A", {0, 0, 1, 1}).In("Box")};
    EXPECT_THROW(Form(Spec(), noPanel), K4DesignError);
    const ControlSpec notAPanel[] = {Label("Box", {0, 0, 1, 1}), Label("A", {0, 0, 1, 1}).In("Box")};
    EXPECT_THROW(Form(Spec(), notAPanel), K4DesignError);
    const ControlSpec sameId[] = {Label("A", {0, 0, 1, 1}).Id(500), Label("B", {0, 0, 1, 1}).Id(500)};
    EXPECT_THROW(Form(Spec(), sameId), K4DesignError);
    // An explicit id in the range given out by position.
    const ControlSpec clash[] = {Label("A", {0, 0, 1, 1}).Id(101), Label("B", {0, 0, 1, 1})};
    EXPECT_THROW(Form(Spec(), clash), K4DesignError);
    const ControlSpec reserved[] = {Button("A", {0, 0, 1, 1}, "A").Id(IDOK)};
    EXPECT_THROW(Form(Spec(), reserved), K4DesignError);
    const ControlSpec panelAfter[] = {Label("A", {0, 0, 1, 1}).In("Box"), Panel("Box", {0, 0, 9, 9})};
    EXPECT_THROW(Form(Spec(), panelAfter), K4DesignError);

    const ControlSpec chosen[] = {Label("A", {0, 0, 1, 1}).Id(4711), Label("B", {0, 0, 1, 1})};
    Form ids(Spec(), chosen);
    ids.Create();
    EXPECT_EQ(GetDlgItem(ids.Handle(), 4711), ids.Item("A").Handle());
    EXPECT_EQ(GetDlgItem(ids.Handle(), 101), ids.Item("B").Handle());
    EXPECT_EQ(&ids.Item(4711), &ids.Item("A")) << "found by id as by name";

    Form form(Spec(), kRows);
    EXPECT_THROW(form.Item("Missing"), K4DesignError);
    EXPECT_THROW(form.Item(4711), K4DesignError);
    // An owner that is no window: the system refuses the window.
    EXPECT_THROW(form.Create(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0))), K4WindowError);
    EXPECT_EQ(form.Handle(), nullptr);
    EXPECT_TRUE(boxes.empty());
}
