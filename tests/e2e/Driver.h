// Drives the real extractor from a test program: scratch folders, executables with
// payloads appended, started processes, and their windows found and worked through
// ordinary window messages (which also cross process boundaries).
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "UniqueHandle.h"

namespace e2e {

// --- files -------------------------------------------------------------------

// The built x86_64 extractor and the cabinet made at build time (Wine paths).
// A build-time host path given as Z:/... with backslashes, as the file functions want.
std::string Backslashed(std::string path);
std::string ExtractorExe();
std::string TestCabinet();

// The whole file, or false when it cannot be read.
bool ReadBytes(const std::string& path, std::string& bytes);
std::string ReadBytesOrEmpty(const std::string& path);
bool WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);

// A new empty folder in the temporary folder, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// --- payload -----------------------------------------------------------------

std::string Le32(std::int32_t value);
// A 4-byte length and the text's bytes.
std::string Counted(const std::string& text);
// The three counted texts and the cabinet, followed by the trailer holding their length.
std::string Payload(const std::string& text1, const std::string& text2, const std::string& text3,
                    const std::string& cabinet);
// The given block followed by a trailer holding its length.
std::string WithTrailer(const std::string& block);
// Copies the extractor to folder\name and appends the given bytes; the full path.
std::string MakeExtractor(const ScratchFolder& folder, const std::string& name, const std::string& appended);

// --- processes ---------------------------------------------------------------

// A started program; one still running at the end is killed.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // CreateProcessA with the given application (may be empty: then the system
    // finds it from the command line), command line and current directory.
    bool Start(const std::string& application, const std::string& commandLine, const std::string& currentDir);
    DWORD Id() const { return id_; }
    bool Running() const;
    // True when the process has ended within the time.
    bool WaitForExit(DWORD timeoutMs);
    // True when the process's window thread waits for input with nothing pending:
    // every message it had, its first paint included, has been handled.
    bool WaitForIdle(DWORD timeoutMs) const;
    DWORD ExitCode() const;
    void Kill();

private:
    UniqueKernelHandle process_;
    DWORD id_ = 0;
};

// --- windows -----------------------------------------------------------------

inline constexpr DWORD DefaultTimeoutMs = 20000;
inline constexpr const char* AppTitle = "V4OvudEvuvuruda";

// Top-level windows of the process with the class and caption (either may be null
// for any), polled until one is there, the process has ended, or the time is up.
HWND FindProcessWindow(const Process& process, const char* className, const char* caption,
                       DWORD timeoutMs = DefaultTimeoutMs);
std::vector<HWND> ProcessWindows(DWORD processId, const char* className, const char* caption);

// A shown top-level window of the process with the caption that is not a dialog
// box ("#32770"): the program's main window once it is up; null if none is there now.
HWND VisibleMainWindow(DWORD processId, const char* caption);

// Window text through WM_GETTEXT, which works across processes (GetWindowText does
// not for controls of another process).
std::string WindowText(HWND window);
std::string ChildText(HWND parent, int id);
// The first child window of the class (and with the text, when one is given).
HWND FindChild(HWND parent, const char* className, const char* text = nullptr);
// A list box's lines; across processes Wine hands them over as UTF-16 only.
std::vector<std::string> ListBoxLines(HWND list);

// A message box of the application: a "#32770" window captioned with the title,
// whose text is the child with id 0xFFFF.
struct MessageBoxSeen {
    HWND box = nullptr;
    std::string text;
};
MessageBoxSeen WaitForMessageBox(const Process& process, DWORD timeoutMs = DefaultTimeoutMs);

// Presses a button of a dialog (IDOK for a message box's OK) by posting its command.
void PressButton(HWND dialog, int id);

}  // namespace e2e
