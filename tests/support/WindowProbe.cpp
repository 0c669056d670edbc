// Window searches and reads by message, and the second-thread driver of modal windows.
#include "WindowProbe.h"
#include <chrono>

namespace probe {

namespace {

// Calls `accept` for each window of an enumeration until it returns true.
template <class Accept>
struct Search {
    Accept accept;
    HWND found = nullptr;
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM self) {
        auto* search = reinterpret_cast<Search*>(self);
        if (!search->accept(hwnd)) return TRUE;
        search->found = hwnd;
        return FALSE;
    }
};

template <class Accept>
HWND FirstChild(HWND parent, Accept accept) {
    Search<Accept> search{accept};
    EnumChildWindows(parent, &Search<Accept>::Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace

std::string Text(HWND hwnd) {
    char buffer[4096] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                             5000, &copied))
        return std::string();
    return std::string(buffer, copied < sizeof buffer ? copied : sizeof buffer - 1);
}

std::string ClassOf(HWND hwnd) {
    char name[256] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

HWND ById(HWND root, int id) {
    return FirstChild(root, [id](HWND h) { return GetDlgCtrlID(h) == id; });
}

std::string ChildText(HWND parent, int id) {
    HWND child = GetDlgItem(parent, id);
    return child ? Text(child) : std::string();
}

HWND FindChild(HWND parent, const char* className, const char* text) {
    return FirstChild(parent, [className, text](HWND h) {
        return _stricmp(ClassOf(h).c_str(), className) == 0 && (!text || Text(h) == text);
    });
}

std::vector<std::string> ListBoxLines(HWND list) {
    std::vector<std::string> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (length < 0) break;
        std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
        const LRESULT got = SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()));
        wide.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        std::string line(wide.size() * 2 + 1, '\0');
        const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), line.data(),
                                          static_cast<int>(line.size()), nullptr, nullptr);
        line.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> MemoLines(HWND memo) {
    std::vector<std::string> lines;
    if (GetWindowTextLengthA(memo) == 0) return lines;
    const LRESULT count = SendMessageA(memo, EM_GETLINECOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char buffer[1024] = {};
        *reinterpret_cast<WORD*>(buffer) = sizeof buffer - 1;   // EM_GETLINE reads its room from here
        const LRESULT n = SendMessageA(memo, EM_GETLINE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        lines.emplace_back(buffer, static_cast<std::size_t>(n));
    }
    return lines;
}

RECT RectInParent(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE ClientSize(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return {r.right, r.bottom};
}

void PressKey(DWORD thread, HWND fallback, WPARAM key) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = GetGUIThreadInfo(thread, &info) && info.hwndFocus ? info.hwndFocus : fallback;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

void Click(HWND control) {
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

void PressButton(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

std::vector<HWND> ProcessWindows(DWORD processId, const char* className, const char* caption) {
    struct Wanted {
        DWORD processId;
        const char* className;
        const char* caption;
        std::vector<HWND> found;
    } wanted{processId, className, caption, {}};
    EnumWindows(
        [](HWND w, LPARAM p) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Wanted*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == s->processId && (!s->className || ClassOf(w) == s->className) &&
                (!s->caption || Text(w) == s->caption))
                s->found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&wanted));
    return wanted.found;
}

HWND VisibleMainWindow(DWORD processId, const char* caption) {
    for (HWND w : ProcessWindows(processId, nullptr, caption))
        if (IsWindowVisible(w) && ClassOf(w) != "#32770") return w;
    return nullptr;
}

HWND WaitForWindow(DWORD thread, const std::function<bool(HWND)>& accept, int seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        Search<std::function<bool(HWND)>> search{[&accept](HWND h) { return IsWindowVisible(h) && accept(h); }};
        EnumThreadWindows(thread, &decltype(search)::Visit, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Pause(50);
    }
    return nullptr;
}

void ForceClose(HWND hwnd, int seconds) {
    for (int i = 0; i < seconds * 4 && IsWindow(hwnd); ++i) {
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        Pause(250);
    }
}

bool WaitUntilHidden(HWND hwnd, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) return true;
        Pause(50);
    }
    return false;
}

Driver::Driver(std::function<bool(HWND)> accept, std::function<void(HWND)> script)
    : thread_(GetCurrentThreadId()),
      worker_([this, accept = std::move(accept), script = std::move(script)] {
          // Generous waits: a loaded machine may take long to show the window, and a
          // modal loop left running would hang the test for good.
          HWND window = WaitForWindow(thread_, accept, 60);
          if (!window) return;
          found_ = true;
          script(window);
          closed_ = WaitUntilHidden(window);
          if (!closed_) ForceClose(window);
      }) {}

}  // namespace probe
