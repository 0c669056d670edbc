// The real about window against its design: every label's place in the panel, its size
// (a label sizes itself to its text in its font) and its font, and the rectangles of the
// button, the panel and the picture. The numbers are the design's, written here once: a
// slip in the window's own table fails this test.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "K4AboutIds.h"
#include "K4Gdi.h"
#include "K4_About.h"
#include "WindowProbe.h"

namespace {

struct Placed {
    const char* name;
    int id;
    RECT rect;   // in the parent's client area; a label's right and bottom follow its text
};

// The labels sit in the panel, at these top left corners.
const Placed kLabels[] = {
    {"ProductName", about_ids::ProductName, {88, 16, 0, 0}},
    {"Version", about_ids::Version, {88, 40, 0, 0}},
    {"Label1", about_ids::Label1, {88, 56, 0, 0}},
    {"Copyright", about_ids::Copyright, {8, 88, 0, 0}},
    {"weblabel", about_ids::weblabel, {8, 104, 0, 0}},
};
// The OK button in the window, the panel in the window, the picture in the panel.
const Placed kFixed[] = {
    {"OKButton", about_ids::OKButton, {111, 140, 111 + 75, 140 + 25}},
    {"Panel1", about_ids::Panel1, {8, 8, 8 + 281, 8 + 129}},
    {"ProgramIcon", about_ids::ProgramIcon, {8, 8, 8 + 64, 8 + 64}},
};
// The window's font, which every label keeps: the face and a character height in pixels.
const char* const kFace = "MS Sans Serif";
const LONG kCharacterHeight = 11;

struct Seen {
    std::string name;
    RECT rect{};
    bool inPanel = false;
    LOGFONTA font{};
    SIZE text{};        // the label's text measured in its own font
    LONG lineHeight = 0;
};

Seen Read(HWND window, const Placed& placed) {
    Seen seen{placed.name};
    HWND control = probe::ById(window, placed.id);
    seen.rect = probe::RectInParent(control);
    seen.inPanel = GetParent(control) == probe::ById(window, about_ids::Panel1);
    auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    GetObjectA(font, sizeof seen.font, &seen.font);
    const std::string text = probe::Text(control);
    WindowDC dc(control);
    SelectedObject selected(dc.Get(), font);
    GetTextExtentPoint32A(dc.Get(), text.c_str(), static_cast<int>(text.size()), &seen.text);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc.Get(), &metrics);
    seen.lineHeight = metrics.tmHeight;
    return seen;
}

// Everything of the shown window, read while it is up, then closed with its OK button.
std::vector<Seen> ReadShownWindow() {
    std::vector<Seen> seen;
    probe::Driver driver([](HWND h) { return probe::ById(h, about_ids::weblabel) != nullptr; }, [&](HWND w) {
        for (const Placed& placed : kLabels) seen.push_back(Read(w, placed));
        for (const Placed& placed : kFixed) seen.push_back(Read(w, placed));
        PostMessageA(probe::ById(w, about_ids::OKButton), BM_CLICK, 0, 0);
    });
    ShowAboutBox("Vemra Selfextractor", "Installation complect");
    EXPECT_TRUE(driver.Found());
    return seen;
}

TEST(AboutLayout, LabelsStandWhereTheDesignSaysSizedToTheirTextInTheWindowsFont) {
    const std::vector<Seen> seen = ReadShownWindow();
    ASSERT_EQ(seen.size(), std::size(kLabels) + std::size(kFixed));
    for (std::size_t i = 0; i < std::size(kLabels); ++i) {
        const Placed& design = kLabels[i];
        const Seen& label = seen[i];
        SCOPED_TRACE(design.name);
        EXPECT_TRUE(label.inPanel);
        EXPECT_EQ(label.rect.left, design.rect.left);
        EXPECT_EQ(label.rect.top, design.rect.top);
        EXPECT_GT(label.text.cx, 0) << "every label has its text";
        EXPECT_EQ(label.rect.right - label.rect.left, label.text.cx);
        EXPECT_EQ(label.rect.bottom - label.rect.top, label.lineHeight);
        EXPECT_STREQ(label.font.lfFaceName, kFace);
        EXPECT_EQ(label.font.lfHeight, -kCharacterHeight);
        EXPECT_EQ(label.font.lfWeight, FW_NORMAL);
    }
}

TEST(AboutLayout, ButtonPanelAndPictureHaveTheirDesignedRectangles) {
    const std::vector<Seen> seen = ReadShownWindow();
    ASSERT_EQ(seen.size(), std::size(kLabels) + std::size(kFixed));
    for (std::size_t i = 0; i < std::size(kFixed); ++i) {
        const RECT& design = kFixed[i].rect;
        const RECT& shown = seen[std::size(kLabels) + i].rect;
        SCOPED_TRACE(kFixed[i].name);
        EXPECT_EQ(shown.left, design.left);
        EXPECT_EQ(shown.top, design.top);
        EXPECT_EQ(shown.right, design.right);
        EXPECT_EQ(shown.bottom, design.bottom);
    }
}

}  // namespace
