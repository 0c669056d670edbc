// One control of a form: creation from its table row, and its run-time operations.
#include "K4Control.h"
#include <commctrl.h>
#include "K4Dpi.h"
#include "K4Error.h"
#include "K4Form.h"
#include "K4Gdi.h"
#include "ShortString.h"
#include "SystemLibrary.h"

namespace ui {
namespace {

constexpr int AttachedLabelGap = 3;  // pixels between a labeled edit's label and the edit

// The progress bar lives in the common controls library, which is loaded from the
// system folder (never linked) and kept for the whole process: its window classes
// must outlive every window that uses them.
bool EnsureCommonControls() {
    static const bool ready = [] {
        HMODULE module = syslib::Load("comctl32.dll").Release();
        using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        auto init = reinterpret_cast<InitFn>(
            module ? reinterpret_cast<void*>(GetProcAddress(module, "InitCommonControlsEx")) : nullptr);
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
        return init && init(&icc);
    }();
    return ready;
}

struct WindowKind {
    const char* className;
    DWORD style;
    DWORD exStyle;
    bool focusable;
};

WindowKind KindOf(Kind kind, unsigned flags) {
    switch (kind) {
        case Kind::Label: return {"STATIC", SS_LEFT | SS_NOTIFY | SS_NOPREFIX, 0, false};
        case Kind::Button:
            return {"BUTTON", static_cast<DWORD>(flags & DefaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, true};
        case Kind::ListBox:
            return {"LISTBOX", WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, WS_EX_CLIENTEDGE, true};
        case Kind::Edit:
        case Kind::LabeledEdit: return {"EDIT", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, true};
        case Kind::ProgressBar: return {PROGRESS_CLASSA, 0, 0, false};
        case Kind::Panel: return {nullptr, WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, false};
        case Kind::Image: return {"STATIC", SS_OWNERDRAW, 0, false};
        case Kind::Memo:
            return {"EDIT",
                    ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL,
                    WS_EX_CLIENTEDGE, true};
    }
    return {"STATIC", 0, 0, false};
}

std::string WindowText(HWND hwnd) {
    if (!hwnd) return {};
    int len = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<std::size_t>(len) + 1, '\0');
    int got = GetWindowTextA(hwnd, text.data(), len + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

}  // namespace

Control::Control(Form& form, const ControlSpec& spec, int id)
    : form_(form),
      name_(spec.name),
      kind_(spec.kind),
      caption_(spec.kind == Kind::LabeledEdit ? std::string_view() : spec.caption),
      design_(spec.rect),
      anchors_(spec.anchors),
      flags_(spec.flags),
      id_(id),
      tabOrder_(spec.tabOrder),
      itemHeight_(spec.itemHeight),
      bitmapId_(spec.bitmapId),
      parentName_(spec.parent),
      ownFont_(spec.font),
      text_(spec.textColour),
      back_(spec.backColour),
      handCursor_(spec.flags & HandCursor) {}

void Control::Create(HWND parent, const FontSpec& windowFont) {
    WindowKind wk = KindOf(kind_, flags_);
    if (kind_ == Kind::ProgressBar && !EnsureCommonControls())
        throw K4WindowError("Cannot register the progress bar class");
    DWORD style = WS_CHILD | wk.style;
    if (!(flags_ & Hidden)) style |= WS_VISIBLE;
    if (flags_ & Disabled) style |= WS_DISABLED;
    if (wk.focusable && tabOrder_ >= 0 && !(flags_ & NoTabStop)) style |= WS_TABSTOP;
    const char* cls = wk.className ? wk.className : Form::ClassName();
    const Rect at = ScaleToDpi(design_, form_.dpi_);
    hwnd_ = CreateWindowExA(wk.exStyle, cls, caption_.c_str(), style, at.x, at.y, at.w, at.h, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                            GetModuleHandleA(nullptr), kind_ == Kind::Panel ? &form_ : nullptr);
    if (!hwnd_) throw K4WindowError((ShortString("Cannot create control ") + name_).View());
    fontSpec_ = MergeFont(windowFont, ownFont_);
    ApplyFont();
    if (back_.IsSet()) brush_ = back_.MakeBrush();
    if (kind_ == Kind::ProgressBar) SetMax(100);
    if (kind_ == Kind::Memo) {
        SendMessageA(hwnd_, EM_SETLIMITTEXT, 0, 0);
        memoLines_ = caption_.empty() ? 0 : 1 + CountLineBreaks(caption_);
    }
    if (kind_ == Kind::Image && bitmapId_)
        bitmap_.Reset(static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(bitmapId_),
                                                      IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    AutoSize();
}

void Control::ApplyFont() {
    if (!hwnd_) return;
    // The control switches to the new font before the old one is deleted.
    UniqueFont font = MakeFont(fontSpec_, form_.dpi_);
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    font_ = std::move(font);
    if (kind_ == Kind::ListBox && itemHeight_ > 0)
        SendMessageA(hwnd_, LB_SETITEMHEIGHT, 0, ScaleToDpi(itemHeight_, form_.dpi_));
}

void Control::AutoSize() {
    // A label of fixed size keeps its design's size at 96 pixels per inch, exactly.
    // Scaled, its font's line may come out taller than its height scaled (fonts are
    // made in whole pixels, often of a few sizes only): it is given that height, so
    // that the text is not cut, and keeps its width (a longer text is cut there at
    // every scale, as at 96).
    const bool fixedSize = flags_ & NoAutoSize;
    isMeasured_ = false;
    if (!hwnd_ || kind_ != Kind::Label || (fixedSize && form_.dpi_ == DesignDpi)) return;
    WindowDC dc(hwnd_);
    if (!dc) return;
    SIZE extent{};
    TEXTMETRICA tm{};
    {
        SelectedObject font(dc.Get(), font_ ? static_cast<HGDIOBJ>(font_.Get()) : GetStockObject(DEFAULT_GUI_FONT));
        GetTextExtentPoint32A(dc.Get(), caption_.data(), static_cast<int>(caption_.size()), &extent);
        GetTextMetricsA(dc.Get(), &tm);
    }
    measured_ = {fixedSize ? 0 : static_cast<int>(extent.cx), static_cast<int>(tm.tmHeight)};
    isMeasured_ = true;
    form_.LayoutControl(*this);
}

Rect Control::Placement(int dpi) const {
    Rect r = ScaleToDpi(design_, dpi);
    if (!isMeasured_) return r;
    if (flags_ & NoAutoSize) {
        if (r.h < measured_.h) r.h = measured_.h;
        return r;
    }
    r.w = measured_.w;
    r.h = measured_.h;
    if (attachedTo_) {
        const Rect edit = ScaleToDpi(attachedTo_->design_, dpi);
        r.x = edit.x;
        r.y = edit.y - r.h - ScaleToDpi(AttachedLabelGap, dpi);
    }
    return r;
}

void Control::SetCaption(std::string_view text) {
    const bool same = hwnd_ && WindowText(hwnd_) == text;
    caption_ = std::string(text);
    if (!hwnd_ || same) return;  // kept for creation; or no change, so no change event
    if (kind_ == Kind::Memo) memoLines_ = text.empty() ? 0 : 1 + CountLineBreaks(text);
    SetWindowTextA(hwnd_, caption_.c_str());
    AutoSize();
}

std::string Control::Caption() const { return hwnd_ ? WindowText(hwnd_) : caption_; }

void Control::SetVisible(bool visible) {
    if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
    if (label_) label_->SetVisible(visible);
}

void Control::SetEnabled(bool enabled) {
    if (hwnd_) EnableWindow(hwnd_, enabled);
    if (label_) label_->SetEnabled(enabled);
}

void Control::SetLabelCaption(std::string_view text) {
    if (label_) label_->SetCaption(text);
}

void Control::SetFontStyle(bool bold, bool underline) {
    fontSpec_.bold = bold;
    fontSpec_.underline = underline;
    ApplyFont();
    AutoSize();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void Control::SetBackColour(Colour colour) {
    back_ = colour;
    brush_ = colour.IsSet() ? colour.MakeBrush() : UniqueBrush();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

HBRUSH Control::ColourFor(HDC dc, const WindowColours& window) const {
    bool staticLike = kind_ == Kind::Label || kind_ == Kind::Image || kind_ == Kind::Panel;
    if (!staticLike && !text_.IsSet() && !back_.IsSet()) return nullptr;
    SetTextColor(dc, text_.IsSet() ? text_.Ref() : window.text);
    if (back_.IsSet() && brush_) {
        SetBkColor(dc, back_.Ref());
        return brush_.Get();
    }
    SetBkColor(dc, window.back);
    return window.brush;
}

void Control::DrawImage(const DRAWITEMSTRUCT& item) const {
    if (!bitmap_) return;
    BITMAP bm{};
    GetObjectA(bitmap_.Get(), sizeof(bm), &bm);
    MemoryDC mem(item.hDC);
    if (!mem) return;
    SelectedObject picture(mem.Get(), bitmap_.Get());
    const RECT& r = item.rcItem;
    // Scaled, the picture is drawn smoothly (each pixel a blend of the picture's),
    // not in blocks; at its own size it is copied as it is.
    if (r.right - r.left == bm.bmWidth && r.bottom - r.top == bm.bmHeight) {
        SetStretchBltMode(item.hDC, COLORONCOLOR);
    } else {
        SetStretchBltMode(item.hDC, HALFTONE);
        SetBrushOrgEx(item.hDC, 0, 0, nullptr);  // as HALFTONE requires
    }
    StretchBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, mem.Get(), 0, 0, bm.bmWidth, bm.bmHeight,
               SRCCOPY);
}

void Control::HandleNotification(int code) {
    switch (kind_) {
        case Kind::Button:
            if (code == BN_CLICKED) Press();
            break;
        case Kind::Label:
            if (code == STN_CLICKED && OnClick) OnClick();
            break;
        case Kind::Edit:
        case Kind::LabeledEdit:
            if (code == EN_CHANGE && OnChange) OnChange();
            break;
        default: break;
    }
}

void Control::Press() {
    if (!hwnd_ || !IsWindowEnabled(hwnd_) || !IsWindowVisible(hwnd_)) return;
    if (OnClick) OnClick();
}

}  // namespace ui
