// Scratch folders, payload files, processes and cross-process window access for the
// end-to-end tests.
#include "Driver.h"
#include <atomic>
#include "E2EPaths.h"

namespace e2e {

namespace {

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = dir + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}
}  // namespace

std::string Backslashed(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string ExtractorExe() { return Backslashed(paths::Extractor); }
std::string TestCabinet() { return Backslashed(paths::Cabinet); }

bool ReadBytes(const std::string& path, std::string& bytes) {
    bytes.clear();
    UniqueFile h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             0, nullptr));
    if (!h) return false;
    char buf[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(h.Get(), buf, sizeof buf, &got, nullptr) != FALSE) && got) bytes.append(buf, got);
    return ok;
}

std::string ReadBytesOrEmpty(const std::string& path) {
    std::string bytes;
    ReadBytes(path, bytes);
    return bytes;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    UniqueFile h(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok && written == bytes.size();
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

ScratchFolder::ScratchFolder() {
    static std::atomic<int> counter{0};
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    for (;;) {
        path_ = std::string(temp) + "k4e2e-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        if (CreateDirectoryA(path_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::string Le32(std::int32_t value) {
    auto u = static_cast<std::uint32_t>(value);
    return {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF), static_cast<char>((u >> 16) & 0xFF),
            static_cast<char>(u >> 24)};
}

std::string Counted(const std::string& text) { return Le32(static_cast<std::int32_t>(text.size())) + text; }

std::string WithTrailer(const std::string& block) { return block + Le32(static_cast<std::int32_t>(block.size())); }

std::string Payload(const std::string& text1, const std::string& text2, const std::string& text3,
                    const std::string& cabinet) {
    return WithTrailer(Counted(text1) + Counted(text2) + Counted(text3) + cabinet);
}

std::string MakeExtractor(const ScratchFolder& folder, const std::string& name, const std::string& appended) {
    std::string stub;
    if (!ReadBytes(ExtractorExe(), stub)) return std::string();
    std::string path = folder / name;
    return WriteBytes(path, stub + appended) ? path : std::string();
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

std::vector<HWND> ProcessWindows(DWORD processId, const char* className, const char* caption) {
    struct Search {
        DWORD pid;
        const char* className;
        const char* caption;
        std::vector<HWND> found;
    } search{processId, className, caption, {}};
    EnumWindows(
        [](HWND w, LPARAM lp) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid != s->pid) return TRUE;
            char cls[256] = {};
            GetClassNameA(w, cls, sizeof cls);
            if (s->className && std::string(cls) != s->className) return TRUE;
            if (s->caption && WindowText(w) != s->caption) return TRUE;
            s->found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindProcessWindow(const Process& process, const char* className, const char* caption, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = ProcessWindows(process.Id(), className, caption);
        if (!found.empty()) return found.front();
        if (!process.Running() || GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(50);
    }
}

HWND VisibleMainWindow(DWORD processId, const char* caption) {
    for (HWND w : ProcessWindows(processId, nullptr, caption)) {
        char cls[256] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (IsWindowVisible(w) && std::string(cls) != "#32770") return w;
    }
    return nullptr;
}

std::string WindowText(HWND window) {
    char buf[4096] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000,
                             &copied))
        return std::string();
    return std::string(buf, copied < sizeof buf ? copied : sizeof buf - 1);
}

std::string ChildText(HWND parent, int id) {
    HWND child = GetDlgItem(parent, id);
    return child ? WindowText(child) : std::string();
}

HWND FindChild(HWND parent, const char* className, const char* text) {
    struct Search {
        const char* className;
        const char* text;  // null: any
        HWND found;
    } search{className, text, nullptr};
    EnumChildWindows(
        parent,
        [](HWND w, LPARAM lp) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            char cls[64] = {};
            GetClassNameA(w, cls, sizeof cls);
            if (_stricmp(cls, s->className) != 0 || (s->text && WindowText(w) != s->text)) return TRUE;
            s->found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::string> ListBoxLines(HWND list) {
    std::vector<std::string> lines;
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT len = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (len < 0) break;
        std::wstring wide(static_cast<std::size_t>(len) + 1, L'\0');
        LRESULT got = SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()));
        wide.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        std::string line(wide.size() * 2 + 1, '\0');
        int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), line.data(),
                                    static_cast<int>(line.size()), nullptr, nullptr);
        line.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        lines.push_back(line);
    }
    return lines;
}

MessageBoxSeen WaitForMessageBox(const Process& process, DWORD timeoutMs) {
    MessageBoxSeen seen;
    seen.box = FindProcessWindow(process, "#32770", AppTitle, timeoutMs);
    if (seen.box) seen.text = ChildText(seen.box, 0xFFFF);
    return seen;
}

void PressButton(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

}  // namespace e2e
