// The extractor window driven through window messages across processes, and the
// build-time self-extractor taken apart.
#include "WindowDriver.h"
#include <cstdint>
#include <cstring>
#include "K4ExtractControls.h"
#include "WindowPaths.h"

namespace e2e {

namespace {

std::int32_t ReadLe32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return static_cast<std::int32_t>(v);
}

// One counted text at `at`; false when it does not fit before `end`.
bool ReadCounted(const std::string& bytes, std::size_t& at, std::size_t end, std::string& text) {
    if (end - at < 4) return false;
    std::int32_t len = ReadLe32(bytes, at);
    at += 4;
    if (len < 0 || static_cast<std::size_t>(len) > end - at) return false;
    text = bytes.substr(at, static_cast<std::size_t>(len));
    at += static_cast<std::size_t>(len);
    return true;
}
}  // namespace

std::string PackedWindowExtractor() { return Backslashed(window_paths::Packed); }
std::string PackedWindowInput() { return Backslashed(window_paths::Input); }

bool SplitPacked(const std::string& bytes, PackedParts& parts) {
    if (bytes.size() < 4) return false;
    const std::size_t end = bytes.size() - 4;
    std::int32_t block = ReadLe32(bytes, end);
    if (block < 12 || static_cast<std::size_t>(block) > end) return false;
    std::size_t at = end - static_cast<std::size_t>(block);
    parts.stub = bytes.substr(0, at);
    if (!ReadCounted(bytes, at, end, parts.target) || !ReadCounted(bytes, at, end, parts.caption) ||
        !ReadCounted(bytes, at, end, parts.title))
        return false;
    parts.cabinet = bytes.substr(at, end - at);
    // The block may carry padding behind the cabinet; the cabinet's header knows
    // its own length (CFHEADER.cbCabinet).
    if (parts.cabinet.size() < 12) return false;
    std::int32_t length = ReadLe32(parts.cabinet, 8);
    if (length < 12 || static_cast<std::size_t>(length) > parts.cabinet.size()) return false;
    parts.cabinet.resize(static_cast<std::size_t>(length));
    return true;
}

bool ExtractorWindow::Attach(const Process& process, const std::string& caption, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        hwnd_ = VisibleMainWindow(process.Id(), caption.c_str());
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
    return ListBoxLines(Control(extract_ids::ListBox1));
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
    return search.found ? WindowText(search.found) : std::string("(no label above the edit)");
}

bool ExtractorWindow::SetTarget(const std::string& text) const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(Control(extract_ids::LabeledEdit1), WM_SETTEXT, 0,
                               reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

void ExtractorWindow::PressStart() const { PostMessageA(Control(extract_ids::StartBtn), BM_CLICK, 0, 0); }

bool ConfirmBox(HWND box, DWORD timeoutMs) {
    PressButton(box, IDOK);
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
