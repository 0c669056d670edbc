// The extractor window's state as its refresh shows it: the run-mode switch, which no
// control of the design reaches (so Start always extracts in the program), and the
// status line with totals that no longer fit 31 bits.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include "ControlProbe.h"
#include "ExtractWindowFixture.h"
#include "K4Settings.h"
#include "WindowProbe.h"

namespace {

class ExtractFormState : public ExtractWindow {
protected:
    void SetUp() override {
        ExtractWindow::SetUp();
        Open();
        Paint();
        ASSERT_EQ(form_->ListBox1.Count(), 1) << "the cabinet was listed";
    }
    void TearDown() override {
        RunMode = 2;
        ExtractWindow::TearDown();
    }
    std::string Status() const { return probe::Text(form_->Label1.Handle()); }
    // The status line for a list of `count` lines and the window's totals.
    std::string StatusFor(int count) const {
        return std::to_string(count) + " files " + std::to_string(form_->FListedBytes) + "(" +
               std::to_string(form_->FCabinetBytes) + ")";
    }
};

TEST_F(ExtractFormState, ModeButtonSwitchesBetweenOneAndTwoAndClearsTheList) {
    ASSERT_EQ(RunMode, 2) << "the program's mode: Start extracts";
    ASSERT_EQ(Status(), StatusFor(1));
    struct Step {
        std::int32_t before, after;
        bool cleared;
    };
    const Step steps[] = {{2, 1, true}, {1, 2, true}, {0, 0, false}, {3, 3, false}, {-1, -1, false}};
    for (const Step& step : steps) {
        SCOPED_TRACE("RunMode " + std::to_string(step.before));
        RunMode = step.before;
        if (form_->ListBox1.Count() == 0) form_->ListBox1.AddLine("a line the switch would clear");
        form_->LabeledEdit1.SetEnabled(false);  // undone by a refresh
        form_->ModeBtnClick();
        EXPECT_EQ(RunMode, step.after);
        EXPECT_EQ(form_->ListBox1.Count(), step.cleared ? 0 : 1);
        EXPECT_EQ(probe::Enabled(form_->LabeledEdit1), step.cleared) << "only a switch refreshes the window";
        if (step.cleared) EXPECT_EQ(Status(), StatusFor(0)) << "the refresh counts the emptied list";
    }
}

TEST_F(ExtractFormState, SetRunModeTakesAnyValueClearsTheListAndRefreshes) {
    for (std::int32_t value : {7, 2}) {
        form_->ListBox1.AddLine("a line");
        form_->SetRunMode(value);
        EXPECT_EQ(RunMode, value);
        EXPECT_EQ(form_->ListBox1.Count(), 0);
        EXPECT_EQ(Status(), StatusFor(0));
        EXPECT_TRUE(probe::Enabled(form_->StartBtn)) << "the temporary cabinet is there";
    }
}

// In mode 1 Start runs no pass: nothing is extracted, yet the engine recorded no error,
// so the window reports success, deletes the temporary cabinet and closes.
TEST_F(ExtractFormState, StartInModeOneRunsNoPassAndReportsSuccess) {
    const std::string target = scratch_ / "out\\";
    form_->LabeledEdit1.SetCaption(target);
    form_->SetRunMode(1);
    form_->StartBtnClick();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].kind, ui::BoxKind::Plain);
    EXPECT_EQ(boxes_[0].text, "Ok Files have been extracted as \"" + target + "\"");
    EXPECT_TRUE(k4test::Exists(target)) << "the directory is still made";
    EXPECT_EQ(k4test::FolderEntries(target).size(), 0u) << "no pass ran";
    EXPECT_FALSE(k4test::Exists("DATAFILE.K4A"));
    MSG close;
    EXPECT_TRUE(PeekMessageA(&close, form_->Handle(), WM_CLOSE, WM_CLOSE, PM_REMOVE)) << "the window closes";
}

// Both totals are 32-bit signed: 2 GiB or more shows as a negative number.
TEST_F(ExtractFormState, TotalsOf2GiBOrMoreShowNegative) {
    struct Totals {
        std::uint32_t listed, cabinet;
        const char* shown;
    };
    const Totals cases[] = {
        {0x7FFFFFFFu, 0x7FFFFFFFu, "1 files 2147483647(2147483647)"},
        {0x80000000u, 0x80000000u + 512, "1 files -2147483648(-2147483136)"},
        {0xFFFFFFFFu, 3u * 1024 * 1024 * 1024, "1 files -1(-1073741824)"},
    };
    for (const Totals& c : cases) {
        form_->FListedBytes = static_cast<std::int32_t>(c.listed);
        form_->FCabinetBytes = static_cast<std::int32_t>(c.cabinet);
        form_->RefreshWindow();
        EXPECT_EQ(Status(), c.shown);
    }
}

}  // namespace
