// A control of the form layer read back from its window, as a test sees it: where it
// stands, whether it is shown and enabled, its lines and its progress; and the
// thread's queued messages handled without waiting. The extractor program only sets
// these and runs its own message loops; reading them back is the tests' part.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "K4Control.h"
#include "K4Form.h"

namespace probe {

// In the parent's client coordinates.
inline ui::Rect Bounds(const ui::Control& c) {
    RECT r{};
    if (!c.Handle()) return {};
    GetWindowRect(c.Handle(), &r);
    MapWindowPoints(nullptr, GetParent(c.Handle()), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The control's own visible style (whatever its window's).
inline bool Visible(const ui::Control& c) {
    return c.Handle() && (GetWindowLongPtrA(c.Handle(), GWL_STYLE) & WS_VISIBLE);
}
inline bool Enabled(const ui::Control& c) { return c.Handle() && IsWindowEnabled(c.Handle()); }

// A list box's or memo's line; empty past the last one.
inline std::string Line(const ui::Control& c, int index) {
    const HWND h = c.Handle();
    if (!h || index < 0 || index >= c.Count()) return {};
    if (c.GetKind() == ui::Kind::ListBox) {
        const LRESULT len = SendMessageA(h, LB_GETTEXTLEN, index, 0);
        if (len < 0) return {};
        std::string text(static_cast<std::size_t>(len) + 1, '\0');
        const LRESULT got = SendMessageA(h, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return text;
    }
    const LRESULT start = SendMessageA(h, EM_LINEINDEX, index, 0);
    const LRESULT len = start < 0 ? 0 : SendMessageA(h, EM_LINELENGTH, start, 0);
    if (len <= 0) return {};
    // EM_GETLINE takes the buffer size in the buffer's first word.
    std::string text(static_cast<std::size_t>(len) < sizeof(WORD) ? sizeof(WORD) : static_cast<std::size_t>(len),
                     '\0');
    *reinterpret_cast<WORD*>(text.data()) = static_cast<WORD>(len > 0xFFFF ? 0xFFFF : len);
    const LRESULT got = SendMessageA(h, EM_GETLINE, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

// A progress bar's position (0 for any other control).
inline int Position(const ui::Control& c) {
    if (!c.Handle() || c.GetKind() != ui::Kind::ProgressBar) return 0;
    return static_cast<int>(SendMessageA(c.Handle(), PBM_GETPOS, 0, 0));
}

// Every message waiting in the thread's queue handled as the form layer's loops
// handle them, then back; a quit message is left in the queue for the loop it ends.
inline void HandleQueuedMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ui::Form::DispatchQueued(msg);
    }
}

}  // namespace probe
