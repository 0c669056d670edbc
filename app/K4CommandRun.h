// The command of an installer archive, started once its files are extracted: the
// extracted program by its full path, in the extraction folder, through the shell's
// execute call (which asks for administrator rights where the program's manifest wants
// them), and waited for together with every process it started. Also the temporary
// folder such an archive may extract into, and its removal.
#pragma once
#include <windows.h>
#include <string>
#include <string_view>
#include <vector>

// How the caller spends the time the command runs: a run without window blocks, the
// window goes on handling its messages.
class CommandWait {
public:
    // The command is about to start; `shown` is its command line as the code page shows it.
    virtual void Starting(std::string_view shown) = 0;
    // Waits until `handle` is signalled, `ms` milliseconds have passed, or (the window)
    // messages were handled; true when signalled. A null handle only waits.
    virtual bool WaitFor(HANDLE handle, DWORD ms) = 0;
    // The command and its processes have ended (or it never started).
    virtual void Ended() {}

protected:
    ~CommandWait() = default;
};

// The plain wait of a run without window: blocks, nothing else.
CommandWait& BlockingWait();

// What a file is to the command step: a program image by its first bytes ("MZ", and
// "PE\0\0" where the DOS header's e_lfanew points), a batch file or an installer package
// that the system's association starts (by its extension), something else, or a file
// that cannot be read (`error` then the system's code).
enum class ProgramKind { Image, Associated, NotProgram, Unreadable };
ProgramKind KindOfProgram(const std::wstring& path, DWORD& error);

// How the command ended.
struct CommandOutcome {
    enum class How {
        Ended,       // it ran; exitCode is its exit code
        NotStarted,  // the system refused to start it; error says why
        Refused,     // the user refused the request for administrator rights
    };
    How how = How::Ended;
    DWORD exitCode = 0;
    DWORD error = 0;
    // Whether the wait covered every process it started (the job took them), or only
    // the program itself (an elevated one, or a system that kept this process out of a job).
    bool wholeTree = false;
};

// Starts `program` (a full path) with `arguments` (passed as written) in `folder`,
// handles not inherited; `owner` is the window the system's prompts belong to (null:
// no window, no error boxes of the shell). Returns when the program and every process
// it started have ended.
CommandOutcome RunCommand(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder,
                          HWND owner, CommandWait& wait);

// A new folder of the program's own under the user's temporary folder: its full path
// ending in '\', or empty with `error` set.
std::wstring MakeTemporaryFolder(DWORD& error);

// Removes `folder` and everything in it. A file that cannot be removed yet (still in
// use by a process that is ending) is tried again for a few seconds. What stays: one
// text each, its path and the system's reason, in the system code page.
std::vector<std::string> RemoveFolderTree(const std::wstring& folder, CommandWait& wait);
