// A file failure while the window lists its cabinet: the general error handler shows it,
// the rest of the window's creation handler is skipped, the window is still made, and
// its first paint refreshes it. The failure is the system's own: the temporary cabinet
// is held open without sharing while the library's copy pass runs, so the engine's open
// of it is refused, as under another program's lock.
#include <gtest/gtest.h>
#include <windows.h>
#include "CabTestSupport.h"
#include "ControlProbe.h"
#include "ExtractWindowFixture.h"
#include "UniqueHandle.h"
#include "WindowProbe.h"

namespace {

bool cabinetHeld = false;

BOOL DIAMONDAPI CopyWhileTheCabinetIsHeld(HFDI fdi, char* name, char* path, int flags, PFNFDINOTIFY notify,
                                          PFNFDIDECRYPT decrypt, void* user) {
    UniqueFile held(CreateFileA("DATAFILE.K4A", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    cabinetHeld = held.Valid();
    return BentLibrary::RealCopy()(fdi, name, path, flags, notify, decrypt, user);
}

using ListingFailure = ExtractWindow;

TEST_F(ListingFailure, IsShownTheRestOfCreationIsSkippedAndTheFirstPaintRefreshes) {
    {
        BentLibrary library(CopyWhileTheCabinetIsHeld);
        cabinetHeld = false;
        Open();
    }
    ASSERT_TRUE(cabinetHeld) << "the temporary cabinet was written before the listing";
    ASSERT_NE(form_->Handle(), nullptr) << "the window is made despite the failure";
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].kind, ui::BoxKind::Error);
    EXPECT_EQ(boxes_[0].text, "Cannot open file DATAFILE.K4A.");
    // Nothing after the pass ran: no counts taken, no refresh, no status line.
    EXPECT_EQ(form_->ListBox1.Count(), 0);
    EXPECT_EQ(form_->FListedBytes, 0);
    EXPECT_EQ(form_->FCabinetBytes, 0);
    EXPECT_FALSE(probe::Enabled(form_->StartBtn));
    EXPECT_NE(probe::Text(form_->LabeledEdit1.Handle()), "C:\\Target");

    Paint();
    EXPECT_EQ(boxes_.size(), 1u) << "the paint raises nothing more";
    EXPECT_TRUE(probe::Enabled(form_->StartBtn)) << "the temporary cabinet is there";
    EXPECT_EQ(probe::Text(form_->LabeledEdit1.Handle()), "C:\\Target");
    EXPECT_EQ(probe::Text(form_->Label1.Handle()), "0 files 0(0)");
    EXPECT_EQ(probe::Text(form_->Handle()), "Layout caption");
}

}  // namespace
