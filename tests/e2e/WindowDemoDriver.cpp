// A small driver for the demonstration script: waits for an extractor window and
// prints what it lists, or presses its Start button and confirms the message box
// that follows, printing its text. Window messages only, as a user's clicks would do.
//   k4_window_demo_driver show  CAPTION   wait for the window, print title, list, status
//   k4_window_demo_driver start CAPTION   press Start, print and confirm the result box
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <string>
#include "K4ExtractControls.h"
#include "WindowProbe.h"

namespace {

constexpr DWORD kTimeoutMs = 30000;

template <class Found>
auto Poll(Found find) -> decltype(find()) {
    DWORD start = GetTickCount();
    for (;;) {
        if (auto found = find()) return found;
        if (GetTickCount() - start >= kTimeoutMs) return {};
        Sleep(50);
    }
}

HWND FindMain(const char* caption) {
    return Poll([&]() -> HWND {
        HWND w = FindWindowA("K4Form", caption);
        return w && IsWindowVisible(w) ? w : nullptr;
    });
}

HWND FindBox(DWORD pid) {
    return Poll([&]() -> HWND {
        for (HWND w : probe::ProcessWindows(pid, "#32770", nullptr))
            if (IsWindowVisible(w)) return w;
        return nullptr;
    });
}

void PrintList(HWND main) {
    std::printf("title:  %s\n", probe::ChildText(main, extract_ids::Label3).c_str());
    for (const std::string& line : probe::ListBoxLines(GetDlgItem(main, extract_ids::ListBox1)))
        std::printf("  | %s\n", line.c_str());
    std::printf("status: %s\n", probe::ChildText(main, extract_ids::Label1).c_str());
    std::printf("target: %s\n", probe::ChildText(main, extract_ids::LabeledEdit1).c_str());
}

int Start(HWND main) {
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    HWND start = GetDlgItem(main, extract_ids::StartBtn);
    if (!IsWindowEnabled(start)) {
        std::fprintf(stderr, "Start is disabled\n");
        return 1;
    }
    PostMessageA(start, BM_CLICK, 0, 0);
    HWND box = FindBox(pid);
    if (!box) {
        std::fprintf(stderr, "no message box after Start\n");
        return 1;
    }
    std::printf("box:    %s\n", probe::ChildText(box, 0xFFFF).c_str());
    probe::PressButton(box, IDOK);
    // The program ends after its success message: wait for its window to go.
    bool gone = Poll([&]() -> bool { return !IsWindow(main); });
    std::printf("window: %s\n", gone ? "closed" : "still open");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "show") != 0 && std::strcmp(argv[1], "start") != 0)) {
        std::fprintf(stderr, "usage: k4_window_demo_driver show|start CAPTION\n");
        return 2;
    }
    HWND main = FindMain(argv[2]);
    if (!main) {
        std::fprintf(stderr, "no window captioned \"%s\"\n", argv[2]);
        return 1;
    }
    if (std::strcmp(argv[1], "show") == 0) {
        PrintList(main);
        return 0;
    }
    return Start(main);
}
