// The display resolution the form layer lays its windows out for. Designs are drawn
// at 96 pixels per inch; a window is built for the resolution of its monitor, every
// design length scaled by the one rounding below, so that at 96 nothing moves.
#pragma once
#include <windows.h>
#include "K4Layout.h"

namespace ui {

constexpr int DesignDpi = 96;

// A design length at `dpi` pixels per inch: MulDiv(length, dpi, 96), that is rounded
// to the nearest pixel, halves away from zero. Exact at 96.
int ScaleToDpi(int length, int dpi);
Rect ScaleToDpi(Rect design, int dpi);
Size ScaleToDpi(Size design, int dpi);

// The resolution of the monitor the window is on (GetDpiForWindow, Windows 10 1607 and
// later), else the system's (GetDpiForSystem, same systems), else the screen's
// LOGPIXELSX, which is the system's on every system. A null window: the system's.
// The newer functions are looked up at run time: Windows 7 has neither.
int DpiOf(HWND window);

}  // namespace ui
