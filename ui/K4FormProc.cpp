// The one window procedure of the form layer: finds the form (stored at
// WM_NCCREATE), dispatches to its named handlers, lays out on resize, and stops
// every C++ exception at this boundary with the general error handler.
#include <stdexcept>
#include "K4Application.h"
#include "K4Dpi.h"
#include "K4Form.h"

namespace ui {

namespace {
// Begins and ends a paint, also when a paint handler throws.
class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd, &ps_); }
    ~PaintScope() { EndPaint(hwnd_, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Dc() const { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};
}  // namespace

LRESULT CALLBACK Form::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Form* form = nullptr;
    if (msg == WM_NCCREATE) {
        // Panels are windows of this class too: they carry the same form and hand
        // their children's notifications to it.
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        form = static_cast<Form*>(cs->lpCreateParams);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        if (form && !(cs->style & WS_CHILD)) form->hwnd_ = hwnd;
    } else {
        form = reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!form) return DefWindowProcA(hwnd, msg, wp, lp);
    try {
        return form->OnMessage(hwnd, msg, wp, lp);
    } catch (...) {
        ui::HandleCurrentException();
        return 0;
    }
}

LRESULT Form::OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const bool top = hwnd == hwnd_;
    switch (msg) {
        case WM_CREATE:
            if (top) return OnCreateMessage();
            break;
        case WM_COMMAND: return OnCommand(hwnd, wp, lp);
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX: return OnControlColour(hwnd, msg, wp, lp);
        case WM_DRAWITEM:
            if (OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp))) return TRUE;
            break;
        case WM_ERASEBKGND: return OnEraseBackground(hwnd, reinterpret_cast<HDC>(wp));
        case WM_PAINT: Paint(hwnd); return 0;
        case WM_SIZE:
            if (top && wp != SIZE_MINIMIZED) LayoutAll();
            return 0;
        case WM_DPICHANGED:
            // Moved to a monitor of another resolution (per-monitor awareness).
            if (!top) break;
            ChangeDpi(LOWORD(wp), reinterpret_cast<const RECT*>(lp));
            return 0;
        case WM_SHOWWINDOW:
            if (top && wp && OnShow) OnShow();
            break;
        case WM_SETCURSOR:
            if (OnSetCursor(reinterpret_cast<HWND>(wp), LOWORD(lp))) return TRUE;
            break;
        case DM_GETDEFID: return OnGetDefaultId();
        case WM_ACTIVATE:
            if (top && OnActivate(LOWORD(wp))) return 0;
            break;
        case WM_CLOSE:
            if (!top) break;
            CloseRequested();
            return 0;
        case WM_DESTROY:
            if (top && main_) PostQuitMessage(0);
            break;
        case WM_NCDESTROY: OnFinalDestroy(hwnd); break;
        default: break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

bool Form::OnDrawItem(const DRAWITEMSTRUCT& item) {
    Control* c = FindByHandle(item.hwndItem);
    if (!c || c->GetKind() != Kind::Image) return false;
    c->DrawImage(item);
    return true;
}

LRESULT Form::OnEraseBackground(HWND hwnd, HDC dc) {
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(dc, &r, brush_.Get());
    return 1;
}

bool Form::OnSetCursor(HWND over, WORD hitTest) {
    Control* c = FindByHandle(over);
    if (!c || !c->HasHandCursor() || hitTest != HTCLIENT) return false;
    SetCursor(LoadCursorA(nullptr, IDC_HAND));
    return true;
}

LRESULT Form::OnGetDefaultId() {
    Control* d = FindFlag(DefaultButton);
    return d ? MAKELRESULT(d->Id(), DC_HASDEFID) : 0;
}

bool Form::OnActivate(WORD state) {
    // Keep the focused control across deactivation, as dialogs do.
    if (state == WA_INACTIVE) {
        HWND f = GetFocus();
        if (f && IsChild(hwnd_, f)) savedFocus_ = f;
        return false;
    }
    if (!savedFocus_ || !IsWindow(savedFocus_) || !IsChild(hwnd_, savedFocus_)) return false;
    ::SetFocus(savedFocus_);
    return true;
}

void Form::OnFinalDestroy(HWND hwnd) {
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    if (hwnd != hwnd_) return;
    hwnd_ = nullptr;
    savedFocus_ = nullptr;
    for (auto& c : controls_) c->hwnd_ = nullptr;  // children are gone before their parent
}

LRESULT Form::OnCreateMessage() {
    // A control that cannot be made fails the whole window: Create reports it.
    try {
        CreateControls();
    } catch (...) {
        createFailure_ = std::current_exception();
        return -1;
    }
    if (OnCreate) {
        // Creation goes on after a failing creation handler, as after any other
        // handler: the failure is shown here and the window stays usable.
        try {
            OnCreate();
        } catch (...) {
            ui::HandleCurrentException();
        }
    }
    return 0;
}

LRESULT Form::OnCommand(HWND hwnd, WPARAM wp, LPARAM lp) {
    const int id = LOWORD(wp);
    const int code = HIWORD(wp);
    HWND from = reinterpret_cast<HWND>(lp);
    Control* c = from ? FindByHandle(from) : FindById(id);
    if (!c && !from) {
        // Keyboard navigation's Enter and Esc arrive as IDOK and IDCANCEL.
        if (id == IDOK) PressButton(FindFlag(DefaultButton));
        if (id == IDCANCEL) PressButton(FindFlag(CancelButton));
        return 0;
    }
    if (!c) return DefWindowProcA(hwnd, WM_COMMAND, wp, lp);
    c->HandleNotification(code);
    return 0;
}

void Form::PressButton(Control* button) {
    if (button) button->Press();
}

LRESULT Form::OnControlColour(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Control* c = FindByHandle(reinterpret_cast<HWND>(lp));
    if (c) {
        WindowColours window{brush_.Get(), spec_.colour.Ref(), spec_.textColour.Ref()};
        if (HBRUSH b = c->ColourFor(reinterpret_cast<HDC>(wp), window)) return reinterpret_cast<LRESULT>(b);
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void Form::Paint(HWND hwnd) {
    PaintScope paint(hwnd);
    if (hwnd != hwnd_) {
        // A panel: lowered outer bevel, then lowered inner bevel, one pixel each.
        RECT r;
        GetClientRect(hwnd, &r);
        DrawEdge(paint.Dc(), &r, BDR_SUNKENOUTER, BF_RECT);
        InflateRect(&r, -1, -1);
        DrawEdge(paint.Dc(), &r, BDR_SUNKENOUTER, BF_RECT);
        return;
    }
    if (OnPaint) OnPaint();
}

void Form::CloseRequested() {
    if (closeHeld_) return;
    if (OnClose) OnClose();
    if (modal_) {
        if (modalResult_ == ModalNone) modalResult_ = ModalCancel;
        return;
    }
    DestroyWindow(hwnd_);
}

void Form::LayoutAll() {
    // Panels come before their children in the table, so a child is placed after
    // its panel has its new size.
    for (auto& c : controls_) LayoutControl(*c);
}

void Form::LayoutControl(Control& c) {
    if (!c.hwnd_) return;
    Size designParent = ScaleToDpi(designClient_, dpi_);
    Size parent = ClientSize();
    if (c.panel_) {
        designParent = ScaleToDpi(Size{c.panel_->design_.w, c.panel_->design_.h}, dpi_);
        RECT r{};
        GetClientRect(c.panel_->hwnd_, &r);
        parent = {r.right, r.bottom};
    }
    Rect to = AnchorLayout(c.Placement(dpi_), designParent, parent, c.anchors_);
    MoveWindow(c.hwnd_, to.x, to.y, to.w, to.h, TRUE);
}

Control* Form::FindByHandle(HWND hwnd) const {
    if (!hwnd) return nullptr;
    for (auto& c : controls_)
        if (c->hwnd_ == hwnd) return c.get();
    return nullptr;
}

Control* Form::FindById(int id) const {
    for (auto& c : controls_)
        if (c->id_ == id) return c.get();
    return nullptr;
}

Control* Form::FindFlag(unsigned flag) const {
    for (auto& c : controls_)
        if (c->GetKind() == Kind::Button && (c->flags_ & flag)) return c.get();
    return nullptr;
}

}  // namespace ui
