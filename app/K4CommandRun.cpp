// The command step: the program's kind, its start through the shell's execute call,
// the wait for its whole process tree through a job object, and the temporary folder.
#include "K4CommandRun.h"
#include <objbase.h>
#include <shellapi.h>
#include "K4CommandSeams.h"
#include "K4LongPath.h"
#include "K4PeImage.h"
#include "K4Placement.h"
#include "K4TextEncoding.h"
#include "SystemLibrary.h"
#include "UniqueHandle.h"

namespace {

// How often the job is asked whether processes are left in it once the program has
// ended: a grandchild's end is noticed this late at most.
constexpr DWORD JobPollMilliseconds = 100;
// A file still held by a process that is ending: tried again this often, this long.
constexpr DWORD RemovalRetryMilliseconds = 250;
constexpr int RemovalAttempts = 20;   // five seconds

struct BlockingWaitImpl final : CommandWait {
    void Starting(std::string_view) override {}
    bool WaitFor(HANDLE handle, DWORD ms) override {
        if (!handle) {
            Sleep(ms);
            return false;
        }
        return WaitForSingleObject(handle, ms) == WAIT_OBJECT_0;
    }
};

// The program's file through the read-at interface the PE reading takes.
class HandleReadAt final : public cabfmt::ReadAt {
public:
    explicit HandleReadAt(HANDLE file) : file_(file) {
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
    }
    std::uint64_t Size() override { return size_; }
    bool Read(std::uint64_t offset, void* buffer, std::size_t count) override {
        if (offset > size_ || count > size_ - offset) return false;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD read = 0;
        return SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) &&
               ReadFile(file_, buffer, static_cast<DWORD>(count), &read, nullptr) && read == count;
    }

private:
    HANDLE file_;
    std::uint64_t size_ = 0;
};

bool EndsWithCaseBlind(const std::wstring& text, std::wstring_view suffix) {
    if (text.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        wchar_t c = text[text.size() - suffix.size() + i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// The job that holds this process and so every process started after it joined,
// unless one asks to break away (installers that do are let go: refusing would fail
// their start). Where the system keeps this process out of a new job (Windows 7 inside
// a job of its starter), there is none, and only the program itself is waited for.
class ProcessTree {
public:
    ProcessTree() {
        job_.Reset(CreateJobObjectA(nullptr, nullptr));
        if (!job_) return;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
        SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
        if (!AssignProcessToJobObject(job_.Get(), GetCurrentProcess())) job_.Reset();
    }

    // Whether the started program is in the job: not when it was started elevated (by
    // the system's service, outside it) or when there is no job.
    bool Holds(HANDLE process) const {
        BOOL in = FALSE;
        return job_ && IsProcessInJob(process, job_.Get(), &in) && in;
    }

    // Processes in the job besides this one; 0 when it cannot be asked.
    DWORD Others() const {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        if (!job_ || !QueryInformationJobObject(job_.Get(), JobObjectBasicAccountingInformation, &info, sizeof info,
                                                nullptr))
            return 0;
        return info.ActiveProcesses > 1 ? info.ActiveProcesses - 1 : 0;
    }

private:
    UniqueKernelHandle job_;
};

// The shell's execute call, from the system folder's shell32.dll: loaded only by an
// archive that runs a command, so that every other run loads what it always loaded.
bool ShellStart(SHELLEXECUTEINFOW& info, DWORD& error) {
    // The handler of an association may use COM: the thread becomes an apartment first,
    // as the call asks of its callers. ole32.dll stays loaded while that holds.
    static const HMODULE ole = syslib::Load("ole32.dll").Release();
    using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);
    if (const auto initialise = ole ? reinterpret_cast<CoInitializeExFn>(
                                          reinterpret_cast<void*>(GetProcAddress(ole, "CoInitializeEx")))
                                    : nullptr)
        initialise(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const UniqueModule shell = command_seams::shellExecute ? UniqueModule() : syslib::Load("shell32.dll");
    const auto execute = command_seams::shellExecute ? command_seams::shellExecute
                                                     : syslib::Proc<command_seams::ShellExecuteExFn>(shell, "ShellExecuteExW");
    if (!execute) {
        error = GetLastError();
        return false;
    }
    if (execute(&info)) return true;
    error = GetLastError();
    return false;
}

// What could not be removed: its path and the system's reason, in the code page.
void Left(std::vector<std::string>& left, const std::wstring& path, DWORD code) {
    std::string text = "\"" + NarrowFromWide(path, CP_ACP) + "\" (";
    text += SystemReason(code).View();
    left.push_back(text += ')');
}

// One pass over the tree under `folder` (ending in '\'), deepest first, the folder
// itself last, through the wide calls at any length. What stays goes into `left`
// (only the last pass's is reported).
void RemoveOnce(const std::wstring& folder, std::vector<std::string>& left) {
    const std::size_t before = left.size();
    {   // the search ends before the folder goes: an open search keeps it in use
        WIN32_FIND_DATAW entry;
        const UniqueSearch find(FindFirstFileW(PathToOpen(folder, L"*").c_str(), &entry));
        for (bool more = find.Valid(); more; more = FindNextFileW(find.Get(), &entry)) {
            const std::wstring name(entry.cFileName);
            if (name == L"." || name == L"..") continue;
            const std::wstring path = PathToOpen(folder, name);
            const DWORD attributes = entry.dwFileAttributes;
            // A link to a folder is removed as a link: what it points to is not ours.
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveOnce(folder + name + L'\\', left);
                continue;
            }
            if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
            if (!((attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str())))
                Left(left, folder + name, GetLastError());
        }
    }
    std::wstring self = folder;
    self.pop_back();
    if (!RemoveDirectoryW(PathToOpen(self, L"", ClassicFolderLimit).c_str()) && left.size() == before) {
        const DWORD code = GetLastError();
        // Not there (any more): nothing is left of it.
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) Left(left, folder, code);
    }
}

}  // namespace

namespace command_seams {
ShellExecuteExFn shellExecute = nullptr;
}  // namespace command_seams

CommandWait& BlockingWait() {
    static BlockingWaitImpl wait;
    return wait;
}

ProgramKind KindOfProgram(const std::wstring& path, DWORD& error) {
    UniqueFile file(CreateFileW(PathToOpen(L"", path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = GetLastError();
        return ProgramKind::Unreadable;
    }
    HandleReadAt reader(file.Get());
    if (peimage::PeHeaderOffset(reader)) return ProgramKind::Image;
    for (std::wstring_view extension : {L".bat", L".cmd", L".msi"})
        if (EndsWithCaseBlind(path, extension)) return ProgramKind::Associated;
    return ProgramKind::NotProgram;
}

CommandOutcome RunCommand(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder,
                          HWND owner, CommandWait& wait) {
    CommandOutcome outcome;
    // Joined before the start: the shell's call cannot start the program suspended, so
    // only a job this process is in already holds the program from its first instruction,
    // and with it every process it starts.
    const ProcessTree tree;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | (owner ? 0 : SEE_MASK_FLAG_NO_UI);
    info.hwnd = owner;
    info.lpFile = program.c_str();
    info.lpParameters = arguments.empty() ? nullptr : arguments.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellStart(info, outcome.error)) {
        outcome.how = outcome.error == ERROR_CANCELLED ? CommandOutcome::How::Refused : CommandOutcome::How::NotStarted;
        return outcome;
    }
    // No process: the shell handed the file to a program already running (a document
    // opened by exchange with it); there is nothing of ours to wait for.
    if (!info.hProcess) return outcome;
    const UniqueKernelHandle process(info.hProcess);
    outcome.wholeTree = tree.Holds(process.Get());
    while (!wait.WaitFor(process.Get(), INFINITE)) {
    }
    GetExitCodeProcess(process.Get(), &outcome.exitCode);
    if (outcome.wholeTree)
        while (tree.Others() > 0) wait.WaitFor(nullptr, JobPollMilliseconds);
    return outcome;
}

std::wstring MakeTemporaryFolder(DWORD& error) {
    wchar_t root[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, root);
    if (n == 0 || n > MAX_PATH) {
        error = n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        return {};
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring folder(root, n);
        folder += WideFromCodePage(OwnName().View(), CP_ACP);
        if (CreateDirectoryW(PathToOpen(folder, L"", ClassicFolderLimit).c_str(), nullptr)) return folder + L'\\';
        error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}

std::vector<std::string> RemoveFolderTree(const std::wstring& folder, CommandWait& wait) {
    std::vector<std::string> left;
    for (int attempt = 0; attempt < RemovalAttempts; ++attempt) {
        if (attempt > 0) wait.WaitFor(nullptr, RemovalRetryMilliseconds);
        left.clear();
        RemoveOnce(folder, left);
        if (left.empty()) break;
    }
    return left;
}
