// The extractor window driven through window messages across processes.
#include "WindowDriver.h"
#include <cstdint>
#include <cstring>
#include "K4ExtractControls.h"
#include "WindowPaths.h"

namespace e2e {

std::string PackedWindowExtractor() { return k4test::Backslashed(window_paths::Packed); }
std::string PackedWindowInput() { return k4test::Backslashed(window_paths::Input); }

bool ExtractorWindow::Attach(const Process& process, const std::string& caption, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        hwnd_ = probe::VisibleMainWindow(process.Id(), caption.c_str());
        // Shown means created (listing pass and refresh done), but the first paint
        // refreshes once more and hides the "K4B" marker for a moment: read the
        // controls only once the program waits for input.
        if (hwnd_) return process.WaitForIdle(timeoutMs);
        if (!process.Running() || GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
}

int ExtractorWindow::ProgressPosition() const {
    DWORD_PTR pos = 0;
    SendMessageTimeoutA(Control(extract_ids::ProgressBar1), WM_USER + 8 /* PBM_GETPOS */, 0, 0, SMTO_ABORTIFHUNG,
                        5000, &pos);
    return static_cast<int>(pos);
}

std::vector<std::string> ExtractorWindow::ListLines() const {
    return probe::ListBoxLines(Control(extract_ids::ListBox1));
}

std::string ExtractorWindow::EditLabel() const {
    struct Search {
        RECT edit;
        HWND found;
    } search{{}, nullptr};
    GetWindowRect(Control(extract_ids::LabeledEdit1), &search.edit);
    EnumChildWindows(
        hwnd_,
        [](HWND w, LPARAM lp) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            char cls[32] = {};
            GetClassNameA(w, cls, sizeof cls);
            RECT r;
            GetWindowRect(w, &r);
            if (_stricmp(cls, "Static") == 0 && r.left == s->edit.left && r.bottom + 3 == s->edit.top) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found ? probe::Text(search.found) : std::string("(no label above the edit)");
}

bool ExtractorWindow::SetTarget(const std::string& text) const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(Control(extract_ids::LabeledEdit1), WM_SETTEXT, 0,
                               reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

void ExtractorWindow::PressStart() const { PostMessageA(Control(extract_ids::StartBtn), BM_CLICK, 0, 0); }

bool ConfirmBox(HWND box, DWORD timeoutMs) {
    probe::PressButton(box, IDOK);
    DWORD start = GetTickCount();
    while (IsWindow(box)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

bool BoxHasIcon(HWND box) {
    bool found = false;
    EnumChildWindows(
        box,
        [](HWND w, LPARAM lp) CALLBACK -> BOOL {
            char cls[32] = {};
            GetClassNameA(w, cls, sizeof cls);
            LONG style = GetWindowLongA(w, GWL_STYLE);
            if (_stricmp(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(w) &&
                SendMessageA(w, STM_GETICON, 0, 0) != 0)
                *reinterpret_cast<bool*>(lp) = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

ULONGLONG LastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace e2e
