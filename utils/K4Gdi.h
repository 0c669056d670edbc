// Scoped owners for drawing resources that are borrowed rather than created: a
// window's device context, a memory context, and an object selected into a context.
#pragma once
#include <windows.h>
#include "UniqueHandle.h"

// GetDC on construction, ReleaseDC on destruction (null window: the screen).
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// A memory context compatible with another, deleted at the end of the scope.
class MemoryDC : public UniqueAny<NullHandleTraits<HDC, DeleteDC>> {
public:
    explicit MemoryDC(HDC compatibleWith) : UniqueAny(CreateCompatibleDC(compatibleWith)) {}
};

// Selects an object into a context and selects the previous one back at the end of
// the scope, so that the context never outlives a selection of ours.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};
