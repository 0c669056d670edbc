// The about window under Wine: its texts and build line, a second opening, the
// link with and without a browser, and a failed browser start reported in the
// error window. The browser path is pointed at files the test controls.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "K4AboutIds.h"
#include "K4AboutSeams.h"
#include "K4ErrorFormIds.h"
#include "K4ErrorForm.h"
#include "K4ExternalProcess.h"
#include "K4Messages.h"
#include "K4_About.h"
#include "TestFiles.h"
#include "WindowProbe.h"

#ifndef K4_EXPECTED_BUILD
#error "K4_EXPECTED_BUILD: the build line this test program's version resource gives"
#endif

namespace {

// Table order of the window's controls.
const int OkId = about_ids::OKButton, PanelId = about_ids::Panel1, PictureId = about_ids::ProgramIcon,
          ProductId = about_ids::ProductName, VersionId = about_ids::Version, CopyrightId = about_ids::Copyright,
          WebId = about_ids::weblabel, IdentId = about_ids::Label1;
const char* const Address = "https://k4.invalid/";

bool IsAboutWindow(HWND h) { return probe::ClassOf(h) == "K4Form" && probe::ById(h, WebId) != nullptr; }
bool IsErrorWindow(HWND h) { return probe::ClassOf(h) == "K4Form" && probe::ById(h, WebId) == nullptr; }

struct Link {
    bool underlined = false;
    COLORREF background = CLR_INVALID;
    bool hand = false;
};

Link ReadLink(HWND about) {
    HWND web = probe::ById(about, WebId);
    Link link;
    LOGFONTA font{};
    auto hfont = reinterpret_cast<HFONT>(SendMessageA(web, WM_GETFONT, 0, 0));
    if (hfont && GetObjectA(hfont, sizeof font, &font)) link.underlined = font.lfUnderline != 0;
    RedrawWindow(web, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT r{};
    GetClientRect(web, &r);
    HDC dc = GetDC(web);
    link.background = GetPixel(dc, r.right - 1, r.bottom - 1);
    ReleaseDC(web, dc);
    // The window's thread waits in its message loop while the test reads this.
    link.hand = AboutBox && AboutBox->Item("weblabel").HasHandCursor();
    return link;
}

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearErrors();
        AboutCaption = "About Vemra Selfextractor";
    }
    void TearDown() override {
        SetBrowserPathForTests(std::nullopt);
        SetLaunchObserverForTests(nullptr);
        ClearErrors();
    }
    k4test::ScratchFolder dir_;
};

struct Texts {
    std::string caption, product, version, ident, copyright, web;
    SIZE client{};
    RECT ok{}, panel{}, picture{};
    HWND window = nullptr;
};

TEST_F(AboutBoxTest, AboutTextsBuildLineAndASecondSeparateWindow) {
    SetBrowserPathForTests((dir_ / "no-browser.exe"));
    Texts seen[2];
    for (int round = 0; round < 2; ++round) {
        Texts& t = seen[round];
        probe::Driver driver(IsAboutWindow, [&](HWND w) {
            t = {probe::Text(w), probe::Text(probe::ById(w, ProductId)), probe::Text(probe::ById(w, VersionId)),
                 probe::Text(probe::ById(w, IdentId)), probe::Text(probe::ById(w, CopyrightId)),
                 probe::Text(probe::ById(w, WebId)), probe::ClientSize(w), probe::RectInParent(probe::ById(w, OkId)),
                 probe::RectInParent(probe::ById(w, PanelId)), probe::RectInParent(probe::ById(w, PictureId)), w};
            if (round == 0)
                PostMessageA(probe::ById(w, OkId), BM_CLICK, 0, 0);
            else
                probe::PressKey(GetWindowThreadProcessId(w, nullptr), w, VK_RETURN);
        });
        ShowAboutBox("Vemra Selfextractor", "Installation complect");
        ASSERT_TRUE(driver.Found());
        EXPECT_TRUE(driver.Closed()) << "round " << round;
        EXPECT_FALSE(IsWindow(t.window)) << "the window is freed before the call returns";
        EXPECT_EQ(AboutBox, nullptr);
    }
    for (const Texts& t : seen) {
        EXPECT_EQ(t.caption, "About Vemra Selfextractor");
        EXPECT_EQ(t.product, "Vemra Selfextractor");
        EXPECT_EQ(t.version, K4_EXPECTED_BUILD);
        EXPECT_EQ(t.ident, "Installation complect");
        EXPECT_EQ(t.copyright, AuthorLine);
        EXPECT_EQ(t.web, Address);
        EXPECT_EQ(t.client.cx, 298);
        EXPECT_EQ(t.client.cy, 172);
        EXPECT_EQ(t.ok.left, 111);
        EXPECT_EQ(t.ok.top, 140);
        EXPECT_EQ(t.panel.right - t.panel.left, 281);
        EXPECT_EQ(t.picture.right - t.picture.left, 64);
        EXPECT_EQ(t.picture.bottom - t.picture.top, 64);
    }
}

TEST_F(AboutBoxTest, WithoutABrowserTheAddressIsPlainAndAClickStartsNothing) {
    SetBrowserPathForTests(dir_.Path());  // a folder is not a browser
    int launches = 0;
    SetLaunchObserverForTests([&](const char*, std::int32_t) { ++launches; });
    Link link;
    HWND errorWindow = nullptr;
    probe::Driver driver(IsAboutWindow, [&](HWND w) {
        link = ReadLink(w);
        probe::Click(probe::ById(w, WebId));
        errorWindow = probe::WaitForWindow(GetWindowThreadProcessId(w, nullptr), IsErrorWindow, 1);
        PostMessageA(probe::ById(w, OkId), BM_CLICK, 0, 0);
    });
    ShowAboutBox("Vemra Selfextractor", "Installation complect");
    ASSERT_TRUE(driver.Found());
    EXPECT_TRUE(driver.Closed());
    EXPECT_FALSE(link.underlined);
    EXPECT_EQ(link.background, GetSysColor(COLOR_BTNFACE));
    EXPECT_FALSE(link.hand);
    EXPECT_EQ(launches, 0);
    EXPECT_EQ(errorWindow, nullptr);
    EXPECT_FALSE(ErrorsPending());
}

TEST_F(AboutBoxTest, WithABrowserTheLinkStartsItOnTheAddressUnquoted) {
    std::string folder = (dir_ / "Internet Dir");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::string browser = folder + "\\browser.exe";
    ASSERT_TRUE(CopyFileA((k4test::ProgramFolder() + "\\k4_test_child.exe").c_str(), browser.c_str(), FALSE));
    SetBrowserPathForTests(browser);
    std::string commandLine;
    SetLaunchObserverForTests([&](const char* copy, std::int32_t) { commandLine = copy; });
    Link link;
    HWND started = nullptr;
    probe::Driver driver(IsAboutWindow, [&](HWND w) {
        link = ReadLink(w);
        probe::Click(probe::ById(w, WebId));
        // Up to 60 s: a start waits behind whatever keeps the Wine server busy.
        for (int i = 0; i < 600 && !started; ++i, Sleep(100)) started = FindWindowA("K4TestChild", Address);
        if (started) PostMessageA(started, WM_CLOSE, 0, 0);
        PostMessageA(probe::ById(w, OkId), BM_CLICK, 0, 0);
    });
    ShowAboutBox("Vemra Selfextractor", "Installation complect");
    ASSERT_TRUE(driver.Found());
    EXPECT_TRUE(driver.Closed());
    EXPECT_TRUE(link.underlined);
    EXPECT_EQ(link.background, RGB(192, 192, 192));
    EXPECT_TRUE(link.hand);
    EXPECT_EQ(commandLine, browser + " " + Address);
    EXPECT_NE(started, nullptr);
    EXPECT_FALSE(ErrorsPending());
    for (int i = 0; i < 600 && !DeleteFileA(browser.c_str()); ++i) Sleep(100);
    RemoveDirectoryA(folder.c_str());
}

TEST_F(AboutBoxTest, FailedBrowserStartIsShownInTheErrorWindowAndTheBoxStays) {
    std::string browser = dir_.Write("broken.exe", "not a program");
    SetBrowserPathForTests(browser);
    std::vector<std::string> memo;
    bool aboutStillShown = false;
    probe::Driver driver(IsAboutWindow, [&](HWND w) {
        probe::Click(probe::ById(w, WebId));
        HWND error = probe::WaitForWindow(GetWindowThreadProcessId(w, nullptr), IsErrorWindow, 15);
        if (!error) return;
        memo = probe::MemoLines(probe::ById(error, error_ids::Memo1));
        probe::PressKey(GetWindowThreadProcessId(w, nullptr), error, VK_RETURN);
        probe::WaitUntilHidden(error);
        aboutStillShown = IsWindowVisible(w);
        PostMessageA(probe::ById(w, OkId), BM_CLICK, 0, 0);
    });
    ShowAboutBox("Vemra Selfextractor", "Installation complect");
    ASSERT_TRUE(driver.Found());
    EXPECT_TRUE(driver.Closed());
    ASSERT_EQ(memo.size(), 1u);
    std::string head = MessageText(41).Str() + " - execute " + browser + " " + Address + " ";
    ASSERT_EQ(memo[0].substr(0, head.size()), head);
    std::string code = memo[0].substr(head.size());
    EXPECT_FALSE(code.empty());
    EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << code;
    EXPECT_NE(code, "0");
    EXPECT_TRUE(aboutStillShown);
    EXPECT_FALSE(ErrorsPending());
}

TEST(BuildText, FilesWithoutAUsableVersionResourceGiveNoBuildLine) {
    k4test::ScratchFolder dir;
    EXPECT_EQ(BuildTextOf((dir / "missing.exe").c_str()).Str(), "");
    EXPECT_EQ(BuildTextOf(dir.Write("plain.txt", "no resource here").c_str()).Str(), "");
    EXPECT_EQ(BuildTextOf((k4test::ProgramFolder() + "\\k4_test_child.exe").c_str()).Str(), "");
    EXPECT_EQ(GetBuildText().Str(), K4_EXPECTED_BUILD);
}

}  // namespace
