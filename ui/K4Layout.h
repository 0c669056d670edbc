// Anchor layout: where a control goes when its parent's client area changes size.
// A pure function of the design rectangle, the design and the new client size and
// the anchors, so it can be checked without a window.
#pragma once

namespace ui {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
    int w = 0, h = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// The edges of the parent's client area a control keeps its distance to.
enum Anchor : unsigned {
    AnchorLeft = 1,
    AnchorTop = 2,
    AnchorRight = 4,
    AnchorBottom = 8,
    AnchorLeftTop = AnchorLeft | AnchorTop,
    AnchorAll = AnchorLeft | AnchorTop | AnchorRight | AnchorBottom,
};

// The control's rectangle for a client area of `client`, given its rectangle
// `design` in a client area of `designClient`:
// - anchored to both edges of an axis it keeps both distances and stretches
//   (never below zero width or height, however small the client becomes);
// - anchored to the far edge only it keeps its size and that distance;
// - anchored to the near edge only (or to neither edge, see below) it stays put,
//   except that with neither edge its centre keeps its relative position.
Rect AnchorLayout(Rect design, Size designClient, Size client, unsigned anchors);

}  // namespace ui
