// Drives the real extractor from a test program: executables with payloads appended,
// started processes, and their windows and message boxes waited for. Scratch folders,
// files, payload bytes and window reads come from the test support.
#pragma once
#include <windows.h>
#include <string>
#include "PayloadBytes.h"
#include "TestFiles.h"
#include "UniqueHandle.h"
#include "WindowProbe.h"

namespace e2e {

// The built extractor and the cabinet made at build time (Wine paths).
std::string ExtractorExe();
std::string TestCabinet();
// Copies the extractor to folder\name and appends the given bytes; the full path.
std::string MakeExtractor(const k4test::ScratchFolder& folder, const std::string& name, const std::string& appended);

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

// A top-level window of the process with the class and caption (either may be null
// for any), polled until one is there, the process has ended, or the time is up.
HWND FindProcessWindow(const Process& process, const char* className, const char* caption,
                       DWORD timeoutMs = DefaultTimeoutMs);

// A message box of the application: a "#32770" window captioned with the title,
// whose text is the child with id 0xFFFF.
struct MessageBoxSeen {
    HWND box = nullptr;
    std::string text;
};
MessageBoxSeen WaitForMessageBox(const Process& process, DWORD timeoutMs = DefaultTimeoutMs);

// Types the target into the extractor window's edit, presses Start and answers the box
// that follows with OK; that box's text, or what went wrong on the way.
std::string ExtractThroughWindow(const Process& process, HWND window, const std::string& target);

// The first of `names` (relative paths) whose file in `target` is missing or differs in
// its bytes from the one in `source`, with what is wrong; empty when all are the same.
template <typename Names>
std::string FirstDifferentFile(const std::string& source, const std::string& target, const Names& names) {
    for (const auto& name : names) {
        std::string expected, extracted;
        if (!k4test::ReadBytes(source + "\\" + name, expected)) return std::string(name) + ": the source cannot be read";
        if (!k4test::ReadBytes(target + "\\" + name, extracted)) return std::string(name) + ": not extracted";
        if (extracted != expected) return std::string(name) + ": other bytes";
    }
    return {};
}

}  // namespace e2e
