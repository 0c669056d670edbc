// Anchor layout and font sizing as pure functions, at odd sizes and below the design.
#include <gtest/gtest.h>
#include "K4Dpi.h"
#include "K4Layout.h"
#include "K4Style.h"

using ui::AnchorLayout;
using ui::Rect;
using ui::Size;

namespace {
const Size kDesign{452, 263};
}

TEST(AnchorLayout, DesignSizeKeepsEveryRectangleWhateverTheAnchors) {
    const Rect r{224, 232, 217, 21};
    for (unsigned anchors = 0; anchors < 16; ++anchors)
        EXPECT_EQ(AnchorLayout(r, kDesign, kDesign, anchors), r) << "anchors " << anchors;
}

TEST(AnchorLayout, GrowingAtOddSizes) {
    const Size grown{613, 401};  // +161, +138
    // All four: stretches by the growth, keeps its corner.
    EXPECT_EQ(AnchorLayout({8, 40, 435, 170}, kDesign, grown, ui::AnchorAll), (Rect{8, 40, 596, 308}));
    // Right and bottom: moves by the growth, keeps its size.
    EXPECT_EQ(AnchorLayout({224, 232, 217, 21}, kDesign, grown, ui::AnchorRight | ui::AnchorBottom),
              (Rect{385, 370, 217, 21}));
    // Top and right: moves across only.
    EXPECT_EQ(AnchorLayout({320, 8, 53, 25}, kDesign, grown, ui::AnchorTop | ui::AnchorRight),
              (Rect{481, 8, 53, 25}));
    // Left and bottom: moves down only.
    EXPECT_EQ(AnchorLayout({8, 236, 150, 16}, kDesign, grown, ui::AnchorLeft | ui::AnchorBottom),
              (Rect{8, 374, 150, 16}));
    // Left and top: stays.
    EXPECT_EQ(AnchorLayout({8, 16, 305, 13}, kDesign, grown, ui::AnchorLeftTop), (Rect{8, 16, 305, 13}));
}

TEST(AnchorLayout, ShrinkingBelowTheDesign) {
    const Size small{100, 50};  // -352, -213
    // Stretching controls never get a negative size.
    EXPECT_EQ(AnchorLayout({8, 40, 435, 170}, kDesign, small, ui::AnchorAll), (Rect{8, 40, 83, 0}));
    EXPECT_EQ(AnchorLayout({8, 40, 435, 170}, kDesign, {0, 0}, ui::AnchorAll), (Rect{8, 40, 0, 0}));
    // Far-edge controls keep their size and may leave the client area.
    EXPECT_EQ(AnchorLayout({224, 232, 217, 21}, kDesign, small, ui::AnchorRight | ui::AnchorBottom),
              (Rect{-128, 19, 217, 21}));
}

TEST(AnchorLayout, NeitherEdgeKeepsTheCentreInProportion) {
    // Centre at 125 of 400; at 800 the centre is at 250.
    EXPECT_EQ(AnchorLayout({100, 5, 50, 10}, {400, 100}, {800, 100}, ui::AnchorTop), (Rect{225, 5, 50, 10}));
    // Vertically too: centre at 30 of 60; at 31 the centre is at 15 (rounded down).
    EXPECT_EQ(AnchorLayout({5, 20, 10, 20}, {100, 60}, {100, 31}, ui::AnchorLeft), (Rect{5, 5, 10, 20}));
    // A zero design extent cannot give a proportion: the control stays.
    EXPECT_EQ(AnchorLayout({3, 4, 5, 6}, {0, 0}, {300, 300}, 0), (Rect{3, 4, 5, 6}));
    // Very large windows do not overflow the computation.
    EXPECT_EQ(AnchorLayout({1000000, 0, 0, 0}, {2000000, 10}, {2000000000, 10}, ui::AnchorTop).x, 1000000000);
}

TEST(ScaleToDpi, RoundsToTheNearestPixelAndKeepsTheDesignAt96) {
    struct Case {
        int length, dpi, scaled;
    };
    const Case cases[] = {
        {13, 96, 13}, {13, 120, 16},  {13, 144, 20}, {13, 168, 23}, {13, 192, 26},  // 19.5 up, 22.75 up
        {435, 120, 544}, {435, 168, 761}, {3, 120, 4}, {1, 144, 2}, {0, 192, 0},   // 543.75, 761.25, 3.75, 1.5
        {-128, 144, -192}, {7, 72, 5},                                             // below 96 too: 5.25
    };
    for (const Case& c : cases) EXPECT_EQ(ui::ScaleToDpi(c.length, c.dpi), c.scaled) << c.length << " at " << c.dpi;
    EXPECT_EQ(ui::ScaleToDpi(Rect{8, 40, 435, 170}, 144), (Rect{12, 60, 653, 255}));
    EXPECT_EQ(ui::ScaleToDpi(Rect{8, 40, 435, 170}, 96), (Rect{8, 40, 435, 170}));
    EXPECT_EQ(ui::ScaleToDpi(Size{452, 263}, 120), (Size{565, 329}));
}

// The height a font made for the resolution asks for.
LONG MadeHeight(const ui::FontSpec& spec, int dpi) {
    UniqueFont font = ui::MakeFont(spec, dpi);
    LOGFONTA lf{};
    GetObjectA(font.Get(), sizeof lf, &lf);
    return lf.lfHeight;
}

TEST(FontSpec, HeightsAndMerging) {
    // Made for a resolution: points at it, design pixel heights scaled to it.
    EXPECT_EQ(MadeHeight({"MS Sans Serif", 8}, 96), -11);
    EXPECT_EQ(MadeHeight({"MS Sans Serif", 8}, 144), -16);
    EXPECT_EQ(MadeHeight({"Courier New", 0, 11}, 96), -11);
    EXPECT_EQ(MadeHeight({"Courier New", 0, 11}, 144), -17);
    EXPECT_EQ(MadeHeight({"Courier New", 0, 11}, 192), -22);
    EXPECT_EQ(ui::FontHeight({"MS Sans Serif", 8}, 96), -11);
    EXPECT_EQ(ui::FontHeight({"MS Sans Serif", 8}, 120), -13);
    EXPECT_EQ(ui::FontHeight({"Courier New", 0, 11}, 120), -11) << "pixel heights do not scale";

    ui::FontSpec window{"MS Sans Serif", 8};
    ui::FontSpec own;
    own.bold = true;
    ui::FontSpec merged = ui::MergeFont(window, own);
    EXPECT_EQ(merged.face, "MS Sans Serif");
    EXPECT_EQ(merged.pointSize, 8);
    EXPECT_TRUE(merged.bold);
    EXPECT_FALSE(merged.underline);

    // A pixel height of its own replaces the window's point size.
    merged = ui::MergeFont(window, {"Courier New", 0, 11});
    EXPECT_EQ(merged.face, "Courier New");
    EXPECT_EQ(merged.pointSize, 0);
    EXPECT_EQ(merged.pixelHeight, 11);
    EXPECT_FALSE(merged.fixedPitch);
    // The pitch belongs to the face it comes with.
    merged = ui::MergeFont(ui::FixedFont("Courier New", 8), own);
    EXPECT_TRUE(merged.fixedPitch);
    EXPECT_TRUE(merged.bold);
    merged = ui::MergeFont(ui::FixedFont("Courier New", 8), {"Arial", 9});
    EXPECT_FALSE(merged.fixedPitch);
}
