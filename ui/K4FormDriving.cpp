// Driving a window from outside its own handlers: the keyboard focus put on a
// control, and the queued messages handled without waiting. The extractor program
// does neither (its windows run their own message loops), so these are in a file of
// their own, which it never links.
#include "K4Control.h"
#include "K4Form.h"

namespace ui {

void Control::SetFocus() {
    if (hwnd_) ::SetFocus(hwnd_);
}

void Form::ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        DispatchQueued(msg);
    }
}

}  // namespace ui
