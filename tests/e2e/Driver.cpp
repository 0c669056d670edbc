// Extractor copies with payloads, processes and the program's windows and boxes for
// the end-to-end tests.
#include "Driver.h"
#include "E2EPaths.h"

namespace e2e {

using k4test::Backslashed;

std::string ExtractorExe() { return Backslashed(paths::Extractor); }
std::string TestCabinet() { return Backslashed(paths::Cabinet); }

std::string MakeExtractor(const k4test::ScratchFolder& folder, const std::string& name, const std::string& appended) {
    return folder.Write(name, k4test::ReadAll(ExtractorExe()) + appended);
}

Process::~Process() { Kill(); }

bool Process::Start(const std::string& application, const std::string& commandLine, const std::string& currentDir) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;  // CreateProcessA may write into its command line
    // No handles inherited: the test's own output pipe must not outlive the test.
    if (!CreateProcessA(application.empty() ? nullptr : application.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi))
        return false;
    UniqueKernelHandle thread(pi.hThread);
    process_.Reset(pi.hProcess);
    id_ = pi.dwProcessId;
    return true;
}

bool Process::Running() const { return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }

bool Process::WaitForExit(DWORD timeoutMs) {
    return process_ && WaitForSingleObject(process_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

bool Process::WaitForIdle(DWORD timeoutMs) const {
    return process_ && WaitForInputIdle(process_.Get(), timeoutMs) == 0;
}

DWORD Process::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_.Get(), &code);
    return code;
}

void Process::Kill() {
    if (!Running()) return;
    TerminateProcess(process_.Get(), 0xDEAD);
    WaitForSingleObject(process_.Get(), 5000);
}

HWND FindProcessWindow(const Process& process, const char* className, const char* caption, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = probe::ProcessWindows(process.Id(), className, caption);
        if (!found.empty()) return found.front();
        if (!process.Running() || GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(50);
    }
}

MessageBoxSeen WaitForMessageBox(const Process& process, DWORD timeoutMs) {
    MessageBoxSeen seen;
    seen.box = FindProcessWindow(process, "#32770", AppTitle, timeoutMs);
    if (seen.box) seen.text = probe::ChildText(seen.box, 0xFFFF);
    return seen;
}

std::string ExtractThroughWindow(const Process& process, HWND window, const std::string& target) {
    HWND edit = probe::FindChild(window, "Edit");
    HWND start = probe::FindChild(window, "Button", "Start");
    if (!edit || !start) return "(no target edit or Start button)";
    if (!SendMessageTimeoutA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()), SMTO_ABORTIFHUNG, 5000,
                             nullptr))
        return "(the target edit does not answer)";
    PostMessageA(start, BM_CLICK, 0, 0);
    const MessageBoxSeen done = WaitForMessageBox(process);
    if (!done.box) return "(no box after Start)";
    probe::PressButton(done.box, IDOK);
    return done.text;
}

}  // namespace e2e
