// Runs the extractor on one hostile payload in a scratch tree and records what it
// showed and what it changed.
#include "HostileRun.h"
#include <gtest/gtest.h>
#include <cstdio>

using namespace e2e;
using namespace k4test;

namespace hostile {

namespace {

constexpr DWORD AfterBoxMs = 400;    // a second box would follow the first this soon
constexpr DWORD RunTimeoutMs = 20000;

std::string Describe(const WIN32_FIND_DATAA& fd, const std::string& full) {
    // A folder's own time moves with every file made in it: only its kind counts.
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "folder";
    char head[96];
    std::snprintf(head, sizeof head, "attr %lx size %lu time %lx%08lx", fd.dwFileAttributes & ~FILE_ATTRIBUTE_ARCHIVE,
                  fd.nFileSizeLow, fd.ftLastWriteTime.dwHighDateTime, fd.ftLastWriteTime.dwLowDateTime);
    std::string text = head;
    if (fd.nFileSizeHigh == 0 && fd.nFileSizeLow < 65536) {
        std::string content;
        ReadBytes(full, content);
        text += " content " + content;
    }
    return text;
}

// Every entry below dir, keyed by its path relative to the walk's start.
void Walk(const std::string& dir, const std::string& relative, const std::vector<std::string>& skip, Snapshot& out) {
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string rel = relative.empty() ? name : relative + "\\" + name;
        bool skipped = false;
        for (const std::string& s : skip) skipped = skipped || _stricmp(s.c_str(), rel.c_str()) == 0;
        if (skipped) continue;
        out[rel] = Describe(fd, dir + "\\" + name);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Walk(dir + "\\" + name, rel, skip, out);
    } while (FindNextFileA(find, &fd));
    FindClose(find);
}

struct ChildSearch {
    const char* className;
    const char* text;  // null: any
    HWND found;
};

// The status line: the label whose text reads "<count> files ...".
std::string StatusLine(HWND window) {
    ChildSearch search{"Static", nullptr, nullptr};
    EnumChildWindows(
        window,
        [](HWND w, LPARAM lp) CALLBACK -> BOOL {
            char cls[64] = {};
            GetClassNameA(w, cls, sizeof cls);
            if (_stricmp(cls, "Static") != 0) return TRUE;
            const std::string text = probe::Text(w);
            if (text.find(" files ") == std::string::npos) return TRUE;
            reinterpret_cast<ChildSearch*>(lp)->found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found ? probe::Text(search.found) : std::string();
}

// Answers boxes with OK until none follows: each text is recorded.
void AnswerBoxes(const Process& process, DWORD firstWaitMs, Outcome& outcome) {
    DWORD wait = firstWaitMs;
    for (int i = 0; i < 8; ++i) {
        MessageBoxSeen box = WaitForMessageBox(process, wait);
        if (!box.box) return;
        outcome.boxes.push_back(box.text);
        probe::PressButton(box.box, IDOK);
        // Gone before the next look, so the same box is not read twice.
        for (int n = 0; n < 100 && IsWindow(box.box); ++n) Sleep(20);
        wait = AfterBoxMs;
    }
}

void OpenAndCloseAbout(const Process& process, HWND window, Outcome& outcome) {
    HWND about = probe::FindChild(window, "Button", "About");
    if (!about) return;
    PostMessageA(about, BM_CLICK, 0, 0);
    HWND box = FindProcessWindow(process, nullptr, "About Vemra Selfextractor", 10000);
    if (!box) return;
    outcome.aboutShown = true;
    Sleep(200);  // the build line is read while the window opens
    PostMessageA(box, WM_CLOSE, 0, 0);
    for (int n = 0; n < 250 && IsWindow(box); ++n) Sleep(20);
}

void TypeTargetAndStart(HWND window, const Options& options, Outcome& outcome) {
    HWND edit = probe::FindChild(window, "Edit", nullptr);
    HWND start = probe::FindChild(window, "Button", "Start");
    if (!edit || !start) return;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(options.target.c_str()), SMTO_ABORTIFHUNG, 5000,
                        &result);
    outcome.targetTyped = probe::Text(edit) == options.target;
    if (!outcome.targetTyped || !IsWindowEnabled(start)) return;
    PostMessageA(start, BM_CLICK, 0, 0);
}

void RemoveAll(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
        DeleteFileA(p.c_str());
        RemoveDirectoryA(p.c_str());
    }
}

}  // namespace

Arena::Arena() {
    CreateDirectoryA(Work().c_str(), nullptr);
    CreateDirectoryA((root_ / "work\\other").c_str(), nullptr);
    WriteAll(root_ / "above.txt", "sentinel above the target\r\n");
    WriteAll(root_ / "work\\beside.txt", "sentinel beside the target\r\n");
    WriteAll(root_ / "work\\other\\keep.txt", "sentinel in a folder beside the target\r\n");
}

Snapshot Arena::Outside() const {
    Snapshot snapshot;
    Walk(Root(), "", {"work\\target", "work\\DATAFILE.K4A"}, snapshot);
    return snapshot;
}

std::vector<std::string> Arena::TargetFiles() const {
    Snapshot inside;
    Walk(root_ / "work\\target", "", {}, inside);
    std::vector<std::string> files;
    for (const auto& [path, what] : inside)
        if (what != "folder") files.push_back(path);
    return files;
}

std::vector<std::string> Differences(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> lines;
    for (const auto& [path, what] : before) {
        auto it = after.find(path);
        if (it == after.end()) lines.push_back("removed " + path);
        else if (it->second != what) lines.push_back("changed " + path);
    }
    for (const auto& [path, what] : after)
        if (!before.count(path)) lines.push_back("added " + path);
    return lines;
}

std::string PayloadFor(const std::string& cabinet, const Options& options) {
    return Payload(DecoyTarget, options.caption, "Hostile input", cabinet);
}

Outcome RunProgram(const Arena& arena, const std::string& payload, const Options& options) {
    Outcome outcome;
    std::string stub;
    if (!ReadBytes(ExtractorExe(), stub)) return outcome;
    const std::string exe = arena.Work() + "\\SETUP.EXE";
    WriteAll(exe, stub + payload);
    outcome.before = arena.Outside();
    Process process;
    // Wine has refused a start once in many hundred runs with nothing wrong in the
    // file; one more try tells such a hiccup from a program that cannot start.
    bool started = process.Start(exe, "\"" + exe + "\"", arena.Work());
    if (!started) {
        Sleep(500);
        started = process.Start(exe, "\"" + exe + "\"", arena.Work());
    }
    if (!started) {
        outcome.notStarted = "CreateProcess failed twice, system error " + std::to_string(GetLastError());
        outcome.after = arena.Outside();
        return outcome;
    }

    HWND window = nullptr;
    const DWORD start = GetTickCount();
    while (!window && process.Running() && GetTickCount() - start < RunTimeoutMs) {
        AnswerBoxes(process, 0, outcome);   // a box before the window: the payload failed
        // Any caption: a payload read wrongly would name the window differently.
        window = probe::VisibleMainWindow(process.Id(), nullptr);
        if (!window) Sleep(30);
    }
    if (window) {
        outcome.windowShown = true;
        outcome.lines = probe::ListBoxLines(probe::FindChild(window, "ListBox", nullptr));
        outcome.status = StatusLine(window);
        if (options.openAbout) OpenAndCloseAbout(process, window, outcome);
        if (options.pressStart) {
            TypeTargetAndStart(window, options, outcome);
            AnswerBoxes(process, outcome.targetTyped ? RunTimeoutMs : 0, outcome);
        }
        // Still open after its boxes (an error leaves the window up): close it, and
        // answer whatever it shows on the way out.
        if (process.Running() && IsWindow(window)) PostMessageA(window, WM_CLOSE, 0, 0);
    }
    AnswerBoxes(process, AfterBoxMs, outcome);
    // Generous: an ending process waits behind whatever keeps the Wine server busy.
    outcome.ended = process.WaitForExit(30000);
    outcome.exitCode = process.ExitCode();
    process.Kill();
    outcome.after = arena.Outside();
    return outcome;
}

std::string SuccessText(const std::string& target) { return "Ok Files have been extracted as \"" + target + "\""; }

void ExpectContained(const Outcome& outcome, const std::vector<std::string>& outside) {
    ASSERT_EQ(outcome.notStarted, "") << "the program never ran";
    EXPECT_TRUE(outcome.ended) << "still running after its window was closed";
    // 0: the window closed; 1: ended by a fatal message. Anything else is a crash
    // (an exception code) or our kill.
    EXPECT_TRUE(outcome.exitCode == 0 || outcome.exitCode == 1) << "exit code " << std::hex << outcome.exitCode;
    EXPECT_FALSE(outcome.before.empty()) << "the scratch tree was never looked at";
    for (const std::string& change : Differences(outcome.before, outcome.after)) ADD_FAILURE() << "outside the target: " << change;
    bool failed = false;
    for (const std::string& box : outcome.boxes) {
        const bool success = box.rfind("Ok Files have been extracted", 0) == 0;
        EXPECT_FALSE(failed && success) << "success after a failure: " << box;
        failed = failed || !success;
    }
    EXPECT_FALSE(Exists(DecoyTarget)) << "the payload's own target was used";
    RemoveAll({DecoyTarget});
    for (const std::string& path : outside) {
        EXPECT_FALSE(Exists(path)) << "written outside: " << path;
        RemoveAll({path});
    }
}

}  // namespace hostile
