// Line-oriented and progress operations of a control: list box and memo lines,
// progress bar range and position.
#include "K4Control.h"
#include <commctrl.h>
#include <string>

namespace ui {

int CountLineBreaks(std::string_view text) {
    int n = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '\r' && text[i + 1] == '\n') ++n;
    return n;
}

void Control::Clear() {
    if (!hwnd_) return;
    if (kind_ == Kind::ListBox) {
        SendMessageA(hwnd_, LB_RESETCONTENT, 0, 0);
    } else if (kind_ == Kind::Memo) {
        SetWindowTextA(hwnd_, "");
        memoLines_ = 0;
    }
}

int Control::Count() const {
    if (!hwnd_) return 0;
    if (kind_ == Kind::ListBox) {
        LRESULT n = SendMessageA(hwnd_, LB_GETCOUNT, 0, 0);
        return n > 0 ? static_cast<int>(n) : 0;
    }
    return kind_ == Kind::Memo ? memoLines_ : 0;
}

void Control::AddLine(std::string_view line) {
    if (!hwnd_) return;
    std::string text(line);
    if (kind_ == Kind::ListBox) {
        SendMessageA(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    } else if (kind_ == Kind::Memo) {
        // Appended at the end without replacing the text, so a long memo is not
        // copied for every line; the first line needs no break before it.
        if (memoLines_ > 0) text.insert(0, "\r\n");
        int end = GetWindowTextLengthA(hwnd_);
        SendMessageA(hwnd_, EM_SETSEL, end, end);
        SendMessageA(hwnd_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
        memoLines_ += 1 + CountLineBreaks(line);
    }
}

void Control::SetMax(int max) {
    if (hwnd_ && kind_ == Kind::ProgressBar) SendMessageA(hwnd_, PBM_SETRANGE32, 0, max);
}

void Control::SetPosition(int position) {
    if (hwnd_ && kind_ == Kind::ProgressBar) SendMessageA(hwnd_, PBM_SETPOS, position, 0);
}

}  // namespace ui
