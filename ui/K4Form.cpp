// A window built from a control table: construction, creation, showing, modal runs
// and the message loops. The window procedure lives in K4FormProc.cpp.
#include "K4Form.h"
#include <algorithm>
#include <string>
#include "K4Dpi.h"
#include "K4Error.h"
#include "K4Utils.h"

namespace ui {

namespace {
ATOM g_formClass = 0;

void RegisterFormClass(WNDPROC proc, const char* name) {
    if (g_formClass) return;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));  // the program's icon, where it has one
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    g_formClass = RegisterClassExA(&wc);
    if (!g_formClass) throw K4WindowError("Cannot register the window class");
}

struct FrameStyle {
    DWORD style, exStyle;
};

FrameStyle StyleFor(Border border) {
    switch (border) {
        case Border::Dialog:
            return {WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT};
        case Border::Single:
            return {WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
                    WS_EX_CONTROLPARENT};
        case Border::Sizeable:
            return {WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
    }
    return {WS_OVERLAPPEDWINDOW, 0};
}

// Disables every other enabled, visible top-level window of this thread while a
// modal window runs, and enables them again when it ends, however it ends.
class ThreadWindowsDisabled {
public:
    explicit ThreadWindowsDisabled(HWND except) : except_(except) {
        EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
        for (HWND w : windows_) EnableWindow(w, FALSE);
    }
    ~ThreadWindowsDisabled() {
        for (HWND w : windows_)
            if (IsWindow(w)) EnableWindow(w, TRUE);
    }
    ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
    ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;

private:
    static BOOL CALLBACK Collect(HWND w, LPARAM self) noexcept {
        auto* me = reinterpret_cast<ThreadWindowsDisabled*>(self);
        if (w != me->except_ && IsWindowVisible(w) && IsWindowEnabled(w)) {
            try {
                me->windows_.push_back(w);
            } catch (...) {
                return FALSE;  // out of memory: the windows found so far are disabled
            }
        }
        return TRUE;
    }
    HWND except_;
    std::vector<HWND> windows_;
};
}  // namespace

const char* Form::ClassName() { return "K4Form"; }

bool Form::IsFormWindow(HWND hwnd) {
    return g_formClass && hwnd && static_cast<ATOM>(GetClassLongPtrA(hwnd, GCW_ATOM)) == g_formClass;
}

Form::Form(const FormSpec& spec, std::span<const ControlSpec> controls)
    : spec_(spec), caption_(spec.caption), focus_(spec.focus), designClient_(spec.client) {
    for (const ControlSpec& row : controls) {
        if (row.name.empty()) throw K4DesignError("A control needs a name");
        for (const auto& c : controls_)
            if (c->Name() == row.name) throw K4DesignError((ShortString("Duplicate control ") + row.name).View());
        Control* panel = nullptr;
        if (!row.parent.empty()) {
            auto it = std::find_if(controls_.begin(), controls_.end(),
                                   [&](const auto& c) { return c->Name() == row.parent; });
            if (it == controls_.end() || (*it)->GetKind() != Kind::Panel)
                throw K4DesignError(
                    (ShortString("Control ") + row.name + ": no panel " + row.parent + " before it").View());
            panel = it->get();
        }
        auto control = std::make_unique<Control>(*this, row, NewId(row.id));
        control->panel_ = panel;
        Control* edit = control.get();
        controls_.push_back(std::move(control));
        if (row.kind == Kind::LabeledEdit) {
            // The label is a control of its own that follows the edit: same anchors,
            // placed above it once its text has given it a size.
            // Its row is set field by field: each of the table builders copies the
            // whole row, which the design tables pay when compiling, this code at run time.
            const ShortString labelName = ShortString(row.name) + ".Label";
            ControlSpec label = Label(labelName.View(), row.rect, row.caption);
            label.anchors = row.anchors;
            label.font = row.font;
            label.textColour = row.textColour;
            label.flags = row.flags & Hidden;
            label.parent = row.parent;
            auto owned = std::make_unique<Control>(*this, label, NewId(0));
            owned->panel_ = panel;
            owned->attachedTo_ = edit;
            edit->label_ = owned.get();
            controls_.push_back(std::move(owned));
        }
    }
}

int Form::NewId(int wanted) const {
    int id = wanted ? wanted : 100 + static_cast<int>(controls_.size());
    if (id <= IDCANCEL || id > 0xFFFF || FindById(id))
        throw K4DesignError((ShortString("Control id ") + IntegerText(id) + " is taken or out of range").View());
    return id;
}

Form::~Form() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void Form::Create(HWND owner) {
    if (hwnd_) return;
    RegisterFormClass(&Form::Proc, ClassName());
    brush_ = spec_.colour.MakeBrush();
    FrameStyle fs = StyleFor(spec_.border);
    if (main_) fs.exStyle |= WS_EX_APPWINDOW;
    // Laid out for the system's resolution first; a window that opens on a monitor of
    // another one is laid out again below.
    dpi_ = DpiOf(nullptr);
    const Size client = ScaleToDpi(designClient_, dpi_);
    RECT r{0, 0, client.w, client.h};
    AdjustWindowRectEx(&r, fs.style, FALSE, fs.exStyle);
    const int width = r.right - r.left, height = r.bottom - r.top;
    int x = ScaleToDpi(spec_.x, dpi_), y = ScaleToDpi(spec_.y, dpi_);
    if (spec_.centred) {
        x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    createFailure_ = nullptr;
    HWND hwnd = CreateWindowExA(fs.exStyle, ClassName(), caption_.c_str(), fs.style, x, y, width, height, owner,
                                nullptr, GetModuleHandleA(nullptr), this);
    if (createFailure_) {
        std::exception_ptr failure = createFailure_;
        createFailure_ = nullptr;
        std::rethrow_exception(failure);
    }
    if (!hwnd) throw K4WindowError((ShortString("Cannot create window ") + caption_).View());
    const int monitorDpi = DpiOf(hwnd);
    if (monitorDpi != dpi_) ChangeDpi(monitorDpi, nullptr);
}

void Form::ChangeDpi(int dpi, const RECT* suggested) {
    if (!hwnd_ || dpi <= 0) return;
    dpi_ = dpi;
    for (auto& c : controls_) c->ApplyFont();
    RECT to;
    if (suggested) {
        to = *suggested;
    } else {
        // The frame keeps its present thickness around the design's client area scaled.
        RECT window, inside;
        GetWindowRect(hwnd_, &window);
        GetClientRect(hwnd_, &inside);
        const Size client = ScaleToDpi(designClient_, dpi);
        to = {window.left, window.top,
              window.left + (window.right - window.left) - inside.right + client.w,
              window.top + (window.bottom - window.top) - inside.bottom + client.h};
    }
    SetWindowPos(hwnd_, nullptr, to.left, to.top, to.right - to.left, to.bottom - to.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    for (auto& c : controls_) c->AutoSize();  // the labels measured in their new fonts
    LayoutAll();
}

void Form::CreateControls() {
    for (auto& c : controls_) c->Create(c->panel_ ? c->panel_->hwnd_ : hwnd_, spec_.font);
    OrderTabStops();
    LayoutAll();
}

void Form::OrderTabStops() {
    // Tab moves through sibling windows in their z-order, which is creation order
    // until changed: push the tab stops to the bottom in ascending tab order.
    std::vector<Control*> stops;
    for (auto& c : controls_)
        if (c->tabOrder_ >= 0) stops.push_back(c.get());
    // Insertion sort: stable (equal orders keep their table order), and a window has
    // only a handful of tab stops; the library's stable sort would add 2.5 KB.
    for (std::size_t i = 1; i < stops.size(); ++i)
        for (std::size_t j = i; j > 0 && stops[j - 1]->tabOrder_ > stops[j]->tabOrder_; --j)
            std::swap(stops[j - 1], stops[j]);
    for (Control* c : stops)
        SetWindowPos(c->hwnd_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Form::Show() {
    if (!hwnd_) Create();
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    HWND focus = nullptr;
    if (!focus_.empty()) focus = Item(focus_).Handle();
    if (!focus) focus = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (focus) ::SetFocus(focus);
}

void Form::Hide() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

int Form::ShowModal() {
    if (!hwnd_) Create();
    HWND previous = GetActiveWindow();
    modalResult_ = ModalNone;
    modal_ = true;
    {
        ThreadWindowsDisabled others(hwnd_);
        Show();
        MSG msg;
        while (modalResult_ == ModalNone && hwnd_) {
            BOOL got = GetMessageA(&msg, nullptr, 0, 0);
            if (got <= 0) {
                // The program is ending: hand the quit message on to the outer loop.
                if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            DispatchQueued(msg);
        }
        // The other windows are enabled again before this one hides, so that the
        // system gives the activation back to them and not to another program.
    }
    modal_ = false;
    int result = modalResult_ == ModalNone ? ModalCancel : modalResult_;
    Hide();
    if (previous && IsWindow(previous)) SetActiveWindow(previous);
    return result;
}

void Form::SetModalResult(int result) {
    modalResult_ = result;
    // Wakes the modal loop when this was set from somewhere other than a message.
    if (modal_ && hwnd_) PostMessageA(hwnd_, WM_NULL, 0, 0);
}

void Form::Close() {
    if (hwnd_) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void Form::SetCaption(std::string_view caption) {
    caption_ = std::string(caption);
    if (hwnd_) SetWindowTextA(hwnd_, caption_.c_str());
}

Size Form::ClientSize() const {
    RECT r{};
    if (hwnd_) GetClientRect(hwnd_, &r);
    return {r.right, r.bottom};
}

Control& Form::Item(std::string_view name) {
    for (auto& c : controls_)
        if (c->Name() == name) return *c;
    throw K4DesignError((ShortString("No control ") + name).View());
}

Control& Form::Item(int id) {
    if (Control* c = FindById(id)) return *c;
    throw K4DesignError((ShortString("No control id ") + IntegerText(id)).View());
}

void Form::DispatchQueued(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (IsFormWindow(root) && IsDialogMessageA(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

int Form::RunMessageLoop() {
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchQueued(msg);
    return static_cast<int>(msg.wParam);
}

}  // namespace ui
