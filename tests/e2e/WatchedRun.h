// Runs of the real program watched from outside: started with a command line (its
// output through a pipe or none), every visible top-level window of it recorded while it
// runs and its boxes answered, its exit code; and the text helpers the runs' checks use.
#pragma once
#include <windows.h>
#include <algorithm>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include "Driver.h"
#include "UniqueHandle.h"
#include "WindowDriver.h"

namespace e2e {

inline std::wstring Utf16(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(std::max(0, MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                                        wide.data(), static_cast<int>(wide.size())))));
    return wide;
}

// UTF-8 text as the program's single-byte output shows it: in the system code page.
inline std::string Shown(const std::string& utf8) {
    const std::wstring wide = Utf16(utf8);
    std::string narrow(wide.size() * 2, '\0');
    narrow.resize(static_cast<std::size_t>(std::max(0, WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                                                          narrow.data(), static_cast<int>(narrow.size()),
                                                                          nullptr, nullptr))));
    return narrow;
}

// A file at a full path of any length and in any characters (UTF-8).
inline bool ReadAnyPath(const std::string& path, std::string& bytes) {
    UniqueFile file(CreateFileW((L"\\\\?\\" + Utf16(path)).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    bytes.clear();
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
    return true;
}

// Makes the folders of `path` (full, UTF-8) above its last one.
inline void MakeParents(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    const std::string parent = path.substr(0, path.rfind('\\'));
    for (std::size_t at = parent.find('\\', 3);; at = parent.find('\\', at + 1)) {
        CreateDirectoryW((L"\\\\?\\" + Utf16(parent.substr(0, at))).c_str(), nullptr);
        if (at == std::string::npos) break;
    }
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// What a run left: its exit code, what it wrote to its output, and every visible
// top-level window of it seen while it ran (class, caption and a box's text).
struct RunSeen {
    DWORD exitCode = STILL_ACTIVE;
    std::string output;
    std::vector<std::string> windows;
};

enum class Output { Pipe, None };

// Starts the command line (UTF-8; the system finds the program in it) and watches the
// process's top-level windows until it ends. A visible message box is recorded and
// answered, so that a run that shows one still ends.
// The command line as UTF-16, for one that no UTF-8 text can give.
inline RunSeen RunWatched(std::wstring cmd, const std::string& dir, Output output = Output::Pipe) {
    RunSeen seen;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueFile readEnd, writeEnd;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (output == Output::Pipe) {
        HANDLE r = nullptr, w = nullptr;
        if (!CreatePipe(&r, &w, &inherit, 0)) return seen;
        readEnd.Reset(r);
        writeEnd.Reset(w);
        SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = w;
    }
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, output == Output::Pipe, 0, nullptr, Utf16(dir).c_str(), &si,
                        &pi)) {
        seen.windows.push_back("(not started)");
        return seen;
    }
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    writeEnd.Reset();
    std::thread reader([&] {
        char buffer[4096];
        DWORD n = 0;
        while (readEnd && ReadFile(readEnd.Get(), buffer, sizeof buffer, &n, nullptr) && n > 0)
            seen.output.append(buffer, n);
    });
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.Get(), 2) == WAIT_TIMEOUT) {
        for (HWND w : probe::ProcessWindows(pi.dwProcessId, nullptr, nullptr)) {
            if (!IsWindowVisible(w)) continue;
            const bool box = probe::ClassOf(w) == "#32770";
            seen.windows.push_back(probe::ClassOf(w) + " " + probe::Text(w) + (box ? ": " + probe::ChildText(w, 0xFFFF) : ""));
            if (box) ConfirmBox(w, 5000);
        }
        if (GetTickCount() - start > 60000) {
            seen.windows.push_back("(still running after a minute)");
            TerminateProcess(process.Get(), 0xDEAD);
        }
    }
    reader.join();
    GetExitCodeProcess(process.Get(), &seen.exitCode);
    return seen;
}

inline RunSeen RunWatched(const std::string& commandLine, const std::string& dir, Output output = Output::Pipe) {
    return RunWatched(Utf16(commandLine), dir, output);
}


}  // namespace e2e
