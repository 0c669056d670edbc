// Anchor layout as a pure function; one axis at a time, both axes alike.
#include "K4Layout.h"
#include "K4LongDivision.h"

namespace ui {
namespace {

struct Span {
    int pos, len;
};

Span LayoutAxis(Span design, int designExtent, int extent, bool nearEdge, bool farEdge) {
    const int delta = extent - designExtent;
    if (nearEdge && farEdge) {
        int len = design.len + delta;
        return {design.pos, len < 0 ? 0 : len};
    }
    if (farEdge) return {design.pos + delta, design.len};
    if (nearEdge || designExtent <= 0) return design;
    // Neither edge: the centre keeps its share of the extent. 64-bit products,
    // since a window can be made very large.
    long long centre2 = 2LL * design.pos + design.len;  // twice the centre
    long long moved2 = DivideLongSigned(centre2 * extent, static_cast<unsigned>(designExtent));
    return {static_cast<int>((moved2 - design.len) / 2), design.len};
}

}  // namespace

Rect AnchorLayout(Rect design, Size designClient, Size client, unsigned anchors) {
    Span h = LayoutAxis({design.x, design.w}, designClient.w, client.w, anchors & AnchorLeft,
                        anchors & AnchorRight);
    Span v = LayoutAxis({design.y, design.h}, designClient.h, client.h, anchors & AnchorTop,
                        anchors & AnchorBottom);
    return {h.pos, v.pos, h.len, v.len};
}

}  // namespace ui
