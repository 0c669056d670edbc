// Drives a modal window of the test's own thread from a second thread: waits for
// it, reads its controls with window messages and presses keys and buttons. The
// modal loop runs on the test thread meanwhile, so every message posted here is
// handled there, as a user's input would be.
#pragma once
#include <windows.h>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace probe {

// Controls of a form get the ids 100, 101, ... in the order of its control table.
inline int ControlId(int tableIndex) { return 100 + tableIndex; }

inline std::string Text(HWND hwnd) {
    char buffer[1024] = {};
    LRESULT n = SendMessageA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

inline std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

// A descendant (inside panels too) with that control id.
inline HWND ById(HWND root, int id) {
    struct Search { int id; HWND found; } search{id, nullptr};
    EnumChildWindows(root, [](HWND h, LPARAM p) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        if (GetDlgCtrlID(h) != s->id) return TRUE;
        s->found = h;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline std::vector<std::string> MemoLines(HWND memo) {
    std::vector<std::string> lines;
    if (GetWindowTextLengthA(memo) == 0) return lines;
    auto count = SendMessageA(memo, EM_GETLINECOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char buffer[1024] = {};
        *reinterpret_cast<WORD*>(buffer) = sizeof buffer - 1;
        LRESULT n = SendMessageA(memo, EM_GETLINE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        lines.emplace_back(buffer, static_cast<std::size_t>(n));
    }
    return lines;
}

// The control's rectangle in its parent's client coordinates.
inline RECT RectInParent(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline SIZE ClientSize(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return {r.right, r.bottom};
}

// A key pressed where the window's thread has its focus.
inline void PressKey(DWORD thread, HWND fallback, WPARAM key) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = GetGUIThreadInfo(thread, &info) && info.hwndFocus ? info.hwndFocus : fallback;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

inline void Click(HWND control) {
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// A visible top-level window of the given thread that the predicate accepts,
// waited for up to `seconds`; null when none came.
inline HWND WaitForWindow(DWORD thread, const std::function<bool(HWND)>& accept, int seconds = 10) {
    struct Search { const std::function<bool(HWND)>* accept; HWND found; } search{&accept, nullptr};
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        EnumThreadWindows(thread, [](HWND h, LPARAM p) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            if (!IsWindowVisible(h) || !(*s->accept)(h)) return TRUE;
            s->found = h;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

// Keeps asking a window to close until it is gone (a single request can be lost
// while the window is still settling), for at most `seconds`.
inline void ForceClose(HWND hwnd, int seconds = 60) {
    for (int i = 0; i < seconds * 4 && IsWindow(hwnd); ++i) {
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

inline bool WaitUntilHidden(HWND hwnd, int seconds = 5) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Runs `script` on a second thread against the first window of the calling
// thread that `accept` takes. If the script leaves the window open, the window
// is closed by force so that the test thread's modal loop always ends; Closed()
// then says false.
class Driver {
public:
    Driver(std::function<bool(HWND)> accept, std::function<void(HWND)> script)
        : thread_(GetCurrentThreadId()),
          worker_([this, accept = std::move(accept), script = std::move(script)] {
              // Generous waits: a loaded machine may take long to show the window,
              // and a modal loop left running would hang the test for good.
              HWND window = WaitForWindow(thread_, accept, 60);
              if (!window) return;
              found_ = true;
              script(window);
              closed_ = WaitUntilHidden(window);
              if (!closed_) ForceClose(window);
          }) {}
    ~Driver() { Join(); }
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
