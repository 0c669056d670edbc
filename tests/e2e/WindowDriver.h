// Drives the extractor window of a started self-extractor from a test program:
// its controls by id, list lines, texts and states.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "Driver.h"

namespace e2e {

// The self-extractor that k4pack packed at build time, and the folder it packed.
std::string PackedWindowExtractor();
std::string PackedWindowInput();

// The visible main window of a started extractor and its controls.
class ExtractorWindow {
public:
    // Waits for the process's visible main window with that caption.
    bool Attach(const Process& process, const std::string& caption, DWORD timeoutMs = DefaultTimeoutMs);
    HWND Handle() const { return hwnd_; }
    HWND Control(int id) const { return GetDlgItem(hwnd_, id); }

    std::string Text(int id) const { return probe::Text(Control(id)); }
    bool Visible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }
    bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    int ProgressPosition() const;
    // The list box's lines (read as UTF-16, which crosses processes, then ANSI).
    std::vector<std::string> ListLines() const;
    // The static control sitting right above the target edit: its label.
    std::string EditLabel() const;

    // Replaces the target edit's text as typing would (the window sees a change).
    bool SetTarget(const std::string& text) const;
    void PressStart() const;
    void Close() const { PostMessageA(hwnd_, WM_CLOSE, 0, 0); }

private:
    HWND hwnd_ = nullptr;
};

// Presses a message box's OK and waits until the box has gone.
bool ConfirmBox(HWND box, DWORD timeoutMs = DefaultTimeoutMs);

// Whether a message box shows an icon (the general error handler's boxes do,
// the plain boxes do not).
bool BoxHasIcon(HWND box);

// The last-write time of a file, or zero when it cannot be read.
ULONGLONG LastWriteTime(const std::string& path);

}  // namespace e2e
