// The benchmark's driver under Wine: starts a program, times it from the start of its
// process, and reads the child's peak working set before it ends. For the extractor it
// works the window as a user would: waits for the list, sets the target, presses
// Start, waits for the success box and presses OK.
//   k4bench_drive exec   WORKDIR COMMANDLINE           any program, start to exit
//   k4bench_drive ours   EXE WORKDIR TARGET CAPTION [IDLE_MS]
//                                                       the extractor, start to exit; with
//                                                       IDLE_MS, Start pressed that long after
//                                                       the window showed (the idle decoding
//                                                       done), not at once
//   k4bench_drive window EXE WORKDIR CAPTION            the extractor, start to window
// Each prints one line of key=value pairs; times in milliseconds, memory in KiB.
#include <windows.h>
#include <psapi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "Driver.h"
#include "K4ExtractControls.h"

namespace {

// Polling costs the machine what the measured program needs (every look is a round
// of calls to the Wine server), so the interval grows with the wait: about 1% of the
// time waited so far, between 5 and 100 ms, keeps both the cost and the error small.
constexpr DWORD MinPollMs = 5;
constexpr DWORD MaxPollMs = 100;
constexpr DWORD TimeoutMs = 30 * 60 * 1000;

class Clock {
public:
    Clock() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    double Ms() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_, start_;
};

// The peak working set of a process, read through a handle of our own (the driver's
// Process keeps its handle to itself); 0 when the system does not tell.
unsigned long long PeakKb(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!process || !GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize / 1024;
}

HANDLE QueryHandle(DWORD pid) { return OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid); }

template <class Find>
auto PollFor(const e2e::Process& process, Find find) -> decltype(find()) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (auto found = find()) return found;
        const DWORD waited = GetTickCount() - start;
        if (!process.Running() || waited >= TimeoutMs) return {};
        Sleep(waited / 100 < MinPollMs ? MinPollMs : waited / 100 > MaxPollMs ? MaxPollMs : waited / 100);
    }
}

HWND FindBox(const e2e::Process& process) {
    std::vector<HWND> boxes = probe::ProcessWindows(process.Id(), "#32770", e2e::AppTitle);
    return boxes.empty() ? nullptr : boxes.front();
}

HWND WaitForBox(const e2e::Process& process) {
    return PollFor(process, [&] { return FindBox(process); });
}

// The main window, or null when the process ended or showed a message box first (a
// payload it cannot read): that box would wait for a user for ever.
HWND WaitForMainWindow(const e2e::Process& process, const char* caption, std::string& boxText) {
    HWND box = nullptr;
    HWND window = PollFor(process, [&]() -> HWND {
        if ((box = FindBox(process))) return box;
        return probe::VisibleMainWindow(process.Id(), caption);
    });
    if (!box) return window;
    boxText = probe::ChildText(box, 0xFFFF);
    probe::PressButton(box, IDOK);
    return nullptr;
}

int Fail(const char* what, const std::string& box = std::string()) {
    std::printf("error=%s\n", what);
    if (!box.empty()) std::printf("box=%s\n", box.c_str());
    return 1;
}

// Any program, with the driver's own standard handles, from process start to exit.
int RunExec(const char* workDir, const char* commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;
    std::fflush(stdout);
    Clock clock;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, workDir, &si, &pi))
        return Fail("start");
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    const double total = clock.Ms();
    DWORD code = 1;
    GetExitCodeProcess(process.Get(), &code);
    // Wine forgets an ended process's counters; the programs print their own peak.
    std::printf("total_ms=%.1f exit=%lu", total, code);
    if (const unsigned long long peak = PeakKb(process.Get())) std::printf(" peak_kb=%llu", peak);
    std::printf("\n");
    return code == 0 ? 0 : 1;
}

// The extractor started in its work folder and waited for until its window shows
// (payload copied, list filled), timed from the start.
struct StartedExtractor {
    e2e::Process process;
    Clock clock;
    UniqueKernelHandle query;
    HWND window = nullptr;
    double windowMs = 0;
};

int StartAndWaitForWindow(StartedExtractor& run, const std::string& exe, const char* workDir, const char* caption) {
    if (!run.process.Start(exe, "\"" + exe + "\"", workDir)) return Fail("start");
    run.query.Reset(QueryHandle(run.process.Id()));
    std::string boxText;
    run.window = WaitForMainWindow(run.process, caption, boxText);
    run.windowMs = run.clock.Ms();
    return run.window ? 0 : Fail("no-window", boxText);
}

int RunOurs(const std::string& exe, const char* workDir, const char* target, const char* caption, DWORD idleMs) {
    StartedExtractor run;
    if (const int failed = StartAndWaitForWindow(run, exe, workDir, caption)) return failed;
    const HWND window = run.window;
    if (idleMs) Sleep(idleMs);
    const LRESULT listed = SendMessageA(GetDlgItem(window, extract_ids::ListBox1), LB_GETCOUNT, 0, 0);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(window, extract_ids::LabeledEdit1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target),
                        SMTO_ABORTIFHUNG, 5000, &result);
    const double startMs = run.clock.Ms();
    PostMessageA(GetDlgItem(window, extract_ids::StartBtn), BM_CLICK, 0, 0);
    HWND box = WaitForBox(run.process);
    const double boxMs = run.clock.Ms();
    if (!box) return Fail("no-box");
    const std::string text = probe::ChildText(box, 0xFFFF);
    const unsigned long long peak = PeakKb(run.query.Get());
    probe::PressButton(box, IDOK);
    if (!run.process.WaitForExit(TimeoutMs)) return Fail("no-exit");
    const double total = run.clock.Ms();
    const bool ok = text.rfind("Ok Files have been extracted as ", 0) == 0;
    std::printf("total_ms=%.1f window_ms=%.1f extract_ms=%.1f listed=%ld peak_kb=%llu ok=%d\n", total, run.windowMs,
                boxMs - startMs, static_cast<long>(listed), peak, ok ? 1 : 0);
    if (!ok) std::printf("box=%s\n", text.c_str());
    return ok ? 0 : 1;
}

int RunWindow(const std::string& exe, const char* workDir, const char* caption) {
    StartedExtractor run;
    if (const int failed = StartAndWaitForWindow(run, exe, workDir, caption)) return failed;
    const unsigned long long peak = PeakKb(run.query.Get());
    PostMessageA(run.window, WM_CLOSE, 0, 0);
    if (!run.process.WaitForExit(TimeoutMs)) return Fail("no-exit");
    std::printf("window_ms=%.1f peak_kb=%llu\n", run.windowMs, peak);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "exec") == 0) return RunExec(argv[2], argv[3]);
    if ((argc == 6 || argc == 7) && std::strcmp(argv[1], "ours") == 0)
        return RunOurs(argv[2], argv[3], argv[4], argv[5], argc == 7 ? static_cast<DWORD>(std::atol(argv[6])) : 0);
    if (argc == 5 && std::strcmp(argv[1], "window") == 0) return RunWindow(argv[2], argv[3], argv[4]);
    std::fprintf(stderr,
                 "usage: k4bench_drive exec WORKDIR COMMANDLINE\n"
                 "       k4bench_drive ours EXE WORKDIR TARGET CAPTION [IDLE_MS]\n"
                 "       k4bench_drive window EXE WORKDIR CAPTION\n");
    return 2;
}
