// A small windowed program for launch tests: its window caption is whatever
// follows the program's name on its command line, so a test can tell by the
// caption that it started and received the whole line. It ends on WM_CLOSE, or
// by itself after 30 seconds so that a failed test leaves nothing behind.
// Two arguments change what it does:
//   signal N ...     first sets the event whose handle value is N (decimal), which
//                    it can only when it inherited that handle from its starter
//   never-idle NAME  makes its window but never reads a message, so it never becomes
//                    ready for input; holds the mutex NAME-running while it runs and
//                    ends when the event NAME-quit is set (or after 120 seconds)
#include <windows.h>
#include <cstdlib>
#include <string>

namespace {

// The text after "<name>.exe" and one space (or after the closing quote of a quoted
// name); the program's path may contain spaces and is not quoted by every caller.
std::string Arguments(const char* commandLine) {
    std::string line(commandLine);
    std::string lower(line);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::size_t at = lower.rfind(".exe");
    if (at == std::string::npos) return {};
    at += 4;
    if (at < line.size() && line[at] == '"') ++at;
    if (at < line.size() && line[at] == ' ') ++at;
    return line.substr(at);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.lpszClassName = "K4TestChild";
    RegisterClassA(&wc);
    std::string caption = Arguments(GetCommandLineA());
    if (caption.rfind("signal ", 0) == 0) {
        const auto handle = static_cast<UINT_PTR>(std::strtoull(caption.c_str() + 7, nullptr, 10));
        if (!SetEvent(reinterpret_cast<HANDLE>(handle))) return 3;
    }
    HWND hwnd = CreateWindowExA(0, "K4TestChild", caption.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 1;
    if (caption.rfind("never-idle ", 0) == 0) {
        const std::string name = caption.substr(11);
        HANDLE running = CreateMutexA(nullptr, FALSE, (name + "-running").c_str());
        HANDLE quit = OpenEventA(SYNCHRONIZE, FALSE, (name + "-quit").c_str());
        if (!running || !quit) return 1;
        WaitForSingleObject(quit, 120000);  // not a wait for messages: never idle
        CloseHandle(quit);
        CloseHandle(running);
        return 0;
    }
    SetTimer(hwnd, 1, 30000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
