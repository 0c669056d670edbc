// A window built from a control table: one window class, one static window
// procedure that dispatches to named handlers and keeps C++ exceptions inside it,
// anchor layout on resize, modal and modeless runs, and the message loops.
#pragma once
#include <windows.h>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include "K4Control.h"

namespace ui {

enum class Border {
    Dialog,    // fixed size, caption and system menu only
    Single,    // fixed size, with minimise and maximise boxes
    Sizeable,  // resizable frame, with minimise and maximise boxes
};

struct FormSpec {
    std::string_view caption;
    // Lengths in design pixels (96 per inch), scaled to the window's resolution.
    Size client;            // client area
    bool centred = false;   // centred on the screen, else placed at x, y
    int x = 0, y = 0;       // top-left corner of the window on the screen
    Border border = Border::Dialog;
    FontSpec font{"MS Sans Serif", 8};
    Colour colour = Colour::System(COLOR_BTNFACE);
    Colour textColour = Colour::System(COLOR_WINDOWTEXT);
    std::string_view focus;  // control focused when shown; empty: the first tab stop
};

enum ModalResult : int { ModalNone = 0, ModalOk = IDOK, ModalCancel = IDCANCEL };

class Form {
public:
    // Builds the control objects (no windows yet); the table is checked here:
    // duplicate names or ids, ids of 0 to 2 (IDOK, IDCANCEL) or above 0xFFFF, or a
    // parent that is not an earlier panel throw K4DesignError.
    Form(const FormSpec& spec, std::span<const ControlSpec> controls);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    ~Form();

    // Creates the window and its controls, hidden, and runs OnCreate (inside the
    // window's creation; an exception there is shown and creation goes on).
    // `owner` keeps an owned window above it. Throws K4WindowError when
    // the system refuses the window.
    void Create(HWND owner = nullptr);
    // The main window: its destruction ends the message loop.
    void SetMainWindow(bool main) { main_ = main; }

    void Show();
    void Hide();
    // Shows the window modally: every other window of the thread is disabled
    // until it closes; returns the modal result (ModalCancel when closed).
    int ShowModal();
    void SetModalResult(int result);
    // Asks the window to close (as its close box does); takes effect once the
    // running handler has returned to the message loop.
    void Close();
    // While held, a close asked for (close box, Alt+F4, WM_CLOSE) is ignored: the window
    // stays until its running work has ended.
    void HoldClose(bool hold) { closeHeld_ = hold; }

    HWND Handle() const { return hwnd_; }
    // Lays the window out again for `dpi` (its monitor's changed, WM_DPICHANGED):
    // fonts made again, the window moved to `suggested` (the system's rectangle for
    // the new resolution) or, without one, its client area made the design's scaled.
    void ChangeDpi(int dpi, const RECT* suggested);
    void SetCaption(std::string_view caption);
    Size ClientSize() const;

    // The control of that name; K4DesignError when the table has none.
    Control& Item(std::string_view name);
    // The control of that id (a window's id enum): windows bind their controls by id
    // once, when built, so that a misspelt id fails to compile and a missing one
    // throws K4DesignError there, not at some later use.
    Control& Item(int id);

    // Window events, run from the window procedure.
    std::function<void()> OnCreate;  // controls exist, window not yet visible
    std::function<void()> OnShow;    // about to become visible
    std::function<void()> OnPaint;   // inside the window's paint
    std::function<void()> OnClose;   // close asked for, before the window goes

    // Dispatch a message queue entry: keyboard navigation (Tab, Enter for the
    // default button, Esc for the cancel button) for windows of this layer.
    static void DispatchQueued(MSG& msg);
    // Runs the message loop until the program's quit message; returns its code.
    static int RunMessageLoop();

private:
    friend class Control;
    friend int DpiForTests(const Form& form);   // the tests' probe (K4UiSeams.h)
    static const char* ClassName();
    static bool IsFormWindow(HWND hwnd);
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnCreateMessage();
    LRESULT OnCommand(HWND hwnd, WPARAM wp, LPARAM lp);
    LRESULT OnControlColour(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool OnDrawItem(const DRAWITEMSTRUCT& item);
    LRESULT OnEraseBackground(HWND hwnd, HDC dc);
    bool OnSetCursor(HWND over, WORD hitTest);
    LRESULT OnGetDefaultId();
    bool OnActivate(WORD state);
    void OnFinalDestroy(HWND hwnd);
    int NewId(int wanted) const;
    void CreateControls();
    void OrderTabStops();
    void Paint(HWND hwnd);
    void CloseRequested();
    void LayoutAll();
    void LayoutControl(Control& control);
    Control* FindByHandle(HWND hwnd) const;
    Control* FindById(int id) const;
    Control* FindFlag(unsigned flag) const;
    void PressButton(Control* button);

    FormSpec spec_;
    std::string caption_;
    std::string focus_;
    std::exception_ptr createFailure_;
    Size designClient_;
    int dpi_ = 96;  // the resolution the controls are laid out for
    std::vector<std::unique_ptr<Control>> controls_;
    HWND hwnd_ = nullptr;
    HWND savedFocus_ = nullptr;
    bool main_ = false;
    bool modal_ = false;
    bool closeHeld_ = false;
    int modalResult_ = ModalNone;
    UniqueBrush brush_;
};

}  // namespace ui
