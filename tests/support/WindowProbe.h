// Windows seen from a test: found by thread, process, class, caption or control id,
// read and worked with ordinary window messages, which also cross process boundaries.
// probe::Driver works a modal window of the test's own thread from a second thread.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace probe {

// Window text through WM_GETTEXT, which works across processes (GetWindowText does not
// for controls of another process); empty when the window does not answer.
std::string Text(HWND hwnd);
std::string ClassOf(HWND hwnd);

// A descendant (inside panels too) with that control id.
HWND ById(HWND root, int id);
// The text of the direct child with that id (a message box's text is the child 0xFFFF).
std::string ChildText(HWND parent, int id);
// The first descendant of the class (and with the text, when one is given).
HWND FindChild(HWND parent, const char* className, const char* text = nullptr);

// A list box's lines; across processes Wine hands them over as UTF-16 only.
std::vector<std::string> ListBoxLines(HWND list);
// A multi-line edit's lines.
std::vector<std::string> MemoLines(HWND memo);

// The control's rectangle in its parent's client coordinates.
RECT RectInParent(HWND hwnd);
SIZE ClientSize(HWND hwnd);

// A key pressed where the window's thread has its focus.
void PressKey(DWORD thread, HWND fallback, WPARAM key);
// A mouse click inside the control.
void Click(HWND control);
// A dialog's button pressed by posting its command (IDOK for a message box's OK).
void PressButton(HWND dialog, int id);

// Top-level windows of the process with the class and caption (either null for any).
std::vector<HWND> ProcessWindows(DWORD processId, const char* className, const char* caption);
// A shown top-level window of the process with the caption that is not a dialog box
// ("#32770"): a program's main window once it is up; null if none is there now.
HWND VisibleMainWindow(DWORD processId, const char* caption);

// A visible top-level window of the given thread that the predicate accepts, waited
// for up to `seconds`; null when none came.
HWND WaitForWindow(DWORD thread, const std::function<bool(HWND)>& accept, int seconds = 10);
// Keeps asking a window to close until it is gone (a single request can be lost while
// the window is still settling), for at most `seconds`.
void ForceClose(HWND hwnd, int seconds = 60);
bool WaitUntilHidden(HWND hwnd, int seconds = 5);

// Runs `script` on a second thread against the first window of the calling thread that
// `accept` takes, while the test thread runs the window's modal loop: every message
// posted by the script is handled there, as a user's input would be. If the script
// leaves the window open, the window is closed by force so that the modal loop always
// ends; Closed() then says false.
class Driver {
public:
    Driver(std::function<bool(HWND)> accept, std::function<void(HWND)> script);
    ~Driver() { Join(); }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    void Join() {
        if (worker_.joinable()) worker_.join();
    }
    bool Found() { Join(); return found_; }
    bool Closed() { Join(); return closed_; }
    DWORD UiThread() const { return thread_; }

private:
    DWORD thread_;
    bool found_ = false;
    bool closed_ = false;
    std::thread worker_;
};

}  // namespace probe
