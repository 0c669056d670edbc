// The real extractor window against its design: the window created as the program
// creates it (its temporary cabinet in place, so that the listing fills the list),
// then every control's place, size, font, colours and tab order, and the window's
// client size and screen position. The numbers are the design's, written here once:
// a slip in the window's own table fails this test.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include "ControlProbe.h"
#include "ExtractWindowFixture.h"
#include "K4Settings.h"

namespace {

using ui::Rect;

LOGFONTA FontOf(const ui::Control& c) {
    LOGFONTA lf{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(c.Handle(), WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

// Points of the font's height at the screen's resolution (lfHeight is negative:
// the character height without internal leading).
int PointsOf(const LOGFONTA& lf) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return MulDiv(-lf.lfHeight, 72, dpi);
}

class ExtractFormLayout : public ExtractWindow {
protected:
    void SetUp() override {
        ExtractWindow::SetUp();
        Open();
        Paint();   // the first paint refreshes the captions
    }
};

TEST_F(ExtractFormLayout, TheWindowStandsWhereItsDesignSays) {
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(form_->ListBox1.Count(), 1) << "the cabinet was listed";
    EXPECT_EQ(WindowCaption, "Layout caption");
    EXPECT_EQ(form_->ClientSize(), (ui::Size{452, 263}));
    RECT frame;
    GetWindowRect(form_->Handle(), &frame);
    EXPECT_EQ(frame.left, 159);
    EXPECT_EQ(frame.top, 159);
    const LONG style = GetWindowLongA(form_->Handle(), GWL_STYLE);
    EXPECT_FALSE(style & WS_THICKFRAME) << "a fixed dialog border";
}

TEST_F(ExtractFormLayout, EveryControlHasItsDesignedPlaceAndSize) {
    EXPECT_EQ(probe::Bounds(form_->Label3), (Rect{8, 16, 305, 13})) << "no automatic sizing";
    EXPECT_EQ(probe::Bounds(form_->StartBtn), (Rect{320, 8, 53, 25}));
    EXPECT_EQ(probe::Bounds(form_->AbBtn), (Rect{392, 8, 51, 25}));
    EXPECT_EQ(probe::Bounds(form_->ListBox1), (Rect{8, 40, 435, 170}));
    EXPECT_EQ(probe::Bounds(form_->ProgressBar1), (Rect{8, 236, 150, 16}));
    EXPECT_EQ(probe::Bounds(form_->LabeledEdit1), (Rect{224, 232, 217, 21}));
    // Labels that size themselves to their text keep their top left corner.
    const Rect status = probe::Bounds(form_->Label1);
    EXPECT_EQ(status.x, 8);
    EXPECT_EQ(status.y, 217);
    const Rect marker = probe::Bounds(form_->Label4);
    EXPECT_EQ(marker.x, 168);
    EXPECT_EQ(marker.y, 240);
    const Rect counts = probe::Bounds(form_->Label2);
    EXPECT_EQ(counts.x, 368);
    EXPECT_EQ(counts.y, 8);
    // The edit's label sits above it, 3 pixels apart.
    const Rect label = probe::Bounds(form_->Item("LabeledEdit1.Label"));
    EXPECT_EQ(label.x, 224);
    EXPECT_EQ(label.y + label.h + 3, 232);
    EXPECT_FALSE(probe::Visible(form_->Label2));
    EXPECT_FALSE(probe::Visible(form_->Label4));
}

TEST_F(ExtractFormLayout, FontsColoursAndRangeAreTheDesigns) {
    const LOGFONTA window = FontOf(form_->AbBtn);
    EXPECT_STREQ(window.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(PointsOf(window), 8);
    EXPECT_EQ(window.lfWeight, FW_NORMAL);
    EXPECT_EQ(FontOf(form_->StartBtn).lfWeight, FW_BOLD);
    EXPECT_EQ(FontOf(form_->Label3).lfWeight, FW_BOLD);
    EXPECT_EQ(FontOf(form_->Label1).lfWeight, FW_NORMAL);
    const LOGFONTA list = FontOf(form_->ListBox1);
    EXPECT_STREQ(list.lfFaceName, "Courier New");
    EXPECT_EQ(PointsOf(list), 8);
    EXPECT_EQ(SendMessageA(form_->ListBox1.Handle(), LB_GETITEMHEIGHT, 0, 0), 14);

    HDC dc = GetDC(form_->Handle());
    HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(form_->Handle(), WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc),
                                                         reinterpret_cast<LPARAM>(form_->ListBox1.Handle())));
    ReleaseDC(form_->Handle(), dc);
    LOGBRUSH lb{};
    GetObjectA(brush, sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_GRADIENTINACTIVECAPTION));

    EXPECT_EQ(SendMessageA(form_->ProgressBar1.Handle(), PBM_GETRANGE, TRUE, 0), 0) << "low end";
    EXPECT_EQ(SendMessageA(form_->ProgressBar1.Handle(), PBM_GETRANGE, FALSE, 0), 100) << "high end";
}

TEST_F(ExtractFormLayout, TabGoesFromStartToTheListTheEditAndAbout) {
    // The progress bar (tab order 0) takes no focus; Start is disabled until the
    // refresh finds the temporary cabinet, which it did here.
    ASSERT_TRUE(probe::Enabled(form_->StartBtn));
    HWND next = GetNextDlgTabItem(form_->Handle(), form_->StartBtn.Handle(), FALSE);
    EXPECT_EQ(next, form_->ListBox1.Handle());
    next = GetNextDlgTabItem(form_->Handle(), next, FALSE);
    EXPECT_EQ(next, form_->LabeledEdit1.Handle());
    next = GetNextDlgTabItem(form_->Handle(), next, FALSE);
    EXPECT_EQ(next, form_->AbBtn.Handle());
    EXPECT_EQ(GetNextDlgTabItem(form_->Handle(), next, FALSE), form_->StartBtn.Handle());
}

}  // namespace
