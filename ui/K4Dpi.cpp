// The display resolution: design lengths scaled to it, and read from the newest
// function the running system has (looked up in user32, which the program imports
// anyway, so nothing is loaded).
#include "K4Dpi.h"
#include "K4Gdi.h"

namespace ui {

int ScaleToDpi(int length, int dpi) { return dpi == DesignDpi ? length : MulDiv(length, dpi, DesignDpi); }

Rect ScaleToDpi(Rect design, int dpi) {
    return {ScaleToDpi(design.x, dpi), ScaleToDpi(design.y, dpi), ScaleToDpi(design.w, dpi),
            ScaleToDpi(design.h, dpi)};
}

Size ScaleToDpi(Size design, int dpi) { return {ScaleToDpi(design.w, dpi), ScaleToDpi(design.h, dpi)}; }

namespace {
using DpiForWindowFn = UINT(WINAPI*)(HWND);
using DpiForSystemFn = UINT(WINAPI*)();

void* User32Proc(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<void*>(GetProcAddress(user32, name)) : nullptr;
}
}  // namespace

int DpiOf(HWND window) {
    UINT dpi = 0;
    if (window) {
        if (auto forWindow = reinterpret_cast<DpiForWindowFn>(User32Proc("GetDpiForWindow"))) dpi = forWindow(window);
    } else if (auto forSystem = reinterpret_cast<DpiForSystemFn>(User32Proc("GetDpiForSystem"))) {
        dpi = forSystem();
    }
    if (dpi == 0) {
        WindowDC screen(nullptr);
        dpi = screen ? static_cast<UINT>(GetDeviceCaps(screen.Get(), LOGPIXELSX)) : 0;
    }
    return dpi > 0 ? static_cast<int>(dpi) : DesignDpi;
}

}  // namespace ui
