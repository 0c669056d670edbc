// Program launch through CreateProcessA with a counted command-line copy.
#include "K4ExternalProcess.h"
#include <cstring>
#include <memory>
#include "K4AboutSeams.h"
#include "K4ErrorLog.h"
#include "K4Messages.h"
#include "K4Stacks.h"
#include "K4Utils.h"
#include "UniqueHandle.h"

LaunchObserver about_seams::launchObserver;

namespace {

// The writable, zero-terminated command line CreateProcessA requires (it may
// write into it), counted in AllocatedBytes for exactly as long as it exists.
class CommandLineCopy {
public:
    explicit CommandLineCopy(const ShortString& text)
        : bytes_(static_cast<std::int32_t>(text.Length()) + 1),
          chars_(std::make_unique<char[]>(static_cast<std::size_t>(bytes_))) {
        std::memcpy(chars_.get(), text.Data(), text.Length());
        AllocatedBytes += bytes_;
    }
    ~CommandLineCopy() { AllocatedBytes -= bytes_; }
    CommandLineCopy(const CommandLineCopy&) = delete;
    CommandLineCopy& operator=(const CommandLineCopy&) = delete;

    char* Data() { return chars_.get(); }

private:
    std::int32_t bytes_;
    std::unique_ptr<char[]> chars_;
};

}  // namespace

ShortString LaunchErrorText(const ShortString& commandLine, std::int32_t code) {
    ShortString text = MessageText(LaunchFailedMessage);
    text += " - execute ";
    text += commandLine;
    text += ' ';
    text += IntegerText(code);
    return text;
}

void ExecuteProgram(ShortString commandLine) {
    CommandLineCopy copy(commandLine);
    STARTUPINFOA startup{};  // no flags: the program comes up in its own default way
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    BOOL started = CreateProcessA(nullptr, copy.Data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &info);
    // Read before any other call can overwrite it.
    auto code = started ? 0 : static_cast<std::int32_t>(GetLastError());
    UniqueKernelHandle process(info.hProcess);  // null after a failed start
    UniqueKernelHandle thread(info.hThread);
    if (about_seams::launchObserver) about_seams::launchObserver(copy.Data(), code);
    if (started) {
        // The outcome (ready, time-out, no window) does not matter: the wait only
        // gives the program time to come up.
        WaitForInputIdle(process.Get(), LaunchIdleTimeout);
    } else if (code != 0) {
        PushError(LaunchErrorText(commandLine, code));
    }
}
