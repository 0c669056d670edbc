// The extractor window's About button opens the box with this program's caption,
// product and ident lines, whatever the settings held before.
#include <gtest/gtest.h>
#include <string>
#include "K4AboutIds.h"
#include "K4EXTRACTMain.h"
#include "K4Settings.h"
#include "K4_About.h"
#include "WindowProbe.h"

namespace {

TEST(AboutButton, OpensTheBoxWithTheProgramsOwnTexts) {
    ResetSettings();
    EXPECT_EQ(AboutCaption, "About K4");
    EXPECT_EQ(AboutIdentText, "Windows Cabinet Files");
    TK4ExtractForm window;  // the handler needs no window of its own
    std::string caption, product, ident;
    probe::Driver driver([](HWND h) { return probe::ClassOf(h) == "K4Form"; }, [&](HWND w) {
        caption = probe::Text(w);
        product = probe::Text(probe::ById(w, about_ids::ProductName));
        ident = probe::Text(probe::ById(w, about_ids::Label1));
        PostMessageA(probe::ById(w, about_ids::OKButton), BM_CLICK, 0, 0);
    });
    window.AbBtnClick();
    ASSERT_TRUE(driver.Found());
    EXPECT_TRUE(driver.Closed());
    EXPECT_EQ(caption, "About Vemra Selfextractor");
    EXPECT_EQ(product, AboutProductText.Str());
    EXPECT_EQ(product, "Vemra Selfextractor");
    EXPECT_EQ(ident, "Installation complect");
    EXPECT_EQ(AboutIdentText, "Installation complect");
}

}  // namespace
