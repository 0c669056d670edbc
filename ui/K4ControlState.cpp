// A control's state read back: its lines, progress position, visibility, enabled
// state, bounds and label text; and a window's caption. The extractor program only
// sets them; the readers are in a file of their own, which it never links (every
// function of a linked file ships in it: its unwind entries keep it).
#include "K4Control.h"
#include <commctrl.h>
#include <string>
#include "K4Form.h"

namespace ui {

std::string Control::Line(int index) const {
    if (!hwnd_ || index < 0 || index >= Count()) return {};
    if (kind_ == Kind::ListBox) {
        LRESULT len = SendMessageA(hwnd_, LB_GETTEXTLEN, index, 0);
        if (len < 0) return {};
        std::string text(static_cast<std::size_t>(len) + 1, '\0');
        LRESULT got = SendMessageA(hwnd_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return text;
    }
    LRESULT start = SendMessageA(hwnd_, EM_LINEINDEX, index, 0);
    LRESULT len = start < 0 ? 0 : SendMessageA(hwnd_, EM_LINELENGTH, start, 0);
    if (len <= 0) return {};
    // EM_GETLINE takes the buffer size in the buffer's first word.
    std::string text(static_cast<std::size_t>(len) < sizeof(WORD) ? sizeof(WORD) : static_cast<std::size_t>(len),
                     '\0');
    *reinterpret_cast<WORD*>(text.data()) = static_cast<WORD>(len > 0xFFFF ? 0xFFFF : len);
    LRESULT got = SendMessageA(hwnd_, EM_GETLINE, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

int Control::Position() const {
    if (!hwnd_ || kind_ != Kind::ProgressBar) return 0;
    return static_cast<int>(SendMessageA(hwnd_, PBM_GETPOS, 0, 0));
}

bool Control::Visible() const { return hwnd_ && (GetWindowLongPtrA(hwnd_, GWL_STYLE) & WS_VISIBLE); }

bool Control::Enabled() const { return hwnd_ && IsWindowEnabled(hwnd_); }

Rect Control::Bounds() const {
    RECT r{};
    if (!hwnd_) return {};
    GetWindowRect(hwnd_, &r);
    MapWindowPoints(nullptr, GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::string Control::LabelCaption() const { return label_ ? label_->Caption() : std::string(); }

std::string Form::Caption() const { return caption_; }

}  // namespace ui
