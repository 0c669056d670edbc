// A run without window: the run's steps (K4ExtractRun.h) as the window runs them, with
// every message and the outcome written as lines to the console of the starting
// process and to the log file, and the outcome as the exit code.
#include "K4QuietRun.h"
#include <windows.h>
#include <initializer_list>
#include <string>
#include "K4Application.h"
#include "K4ExtractRun.h"
#include "K4LongPath.h"
#include "K4Settings.h"
#include "K4Switches.h"
#include "K4TextEncoding.h"
#include "K4Utils.h"
#include "UniqueHandle.h"

namespace {

// The result line of each exit code.
constexpr const char* kResultText[] = {
    "every file listed",
    "command line not understood",
    "the archive or its cabinet is missing or damaged",
    "the target cannot be created or written",
    "a failure during the extraction",
};

constexpr std::string_view kNotUnderstood = "Switch not understood: ";

// Where the lines go: the starting process's console or its redirected output, and
// the log file.
class RunLog {
public:
    explicit RunLog(const std::string& logFile) {
        // Output a script redirected or piped arrives as the standard handle; a
        // program started from a console window has none (or a value that is no
        // handle of this process) and joins that console.
        out_ = GetStdHandle(STD_OUTPUT_HANDLE);
        if (GetFileType(out_) == FILE_TYPE_UNKNOWN) {
            out_ = nullptr;
            if (AttachConsole(ATTACH_PARENT_PROCESS)) {
                console_.Reset(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
                out_ = console_.Get();
            }
        }
        if (logFile.empty()) return;
        // Appended, so that runs of one deployment share a log; others may read it.
        // Named in UTF-8 (the switches' text), of any length.
        log_.Reset(CreateFileW(PathToOpen(L"", WideValue(logFile)).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        logFailed_ = !log_;
    }

    bool LogFailed() const { return logFailed_; }

    // One line of the parts, each written as it is (no copy joins them: every byte of
    // string handling is carried by every archive); on the output too unless told not.
    void Line(std::initializer_list<std::string_view> parts, bool toOutput = true) {
        for (HANDLE to : {toOutput ? out_ : nullptr, log_.Get()}) {
            for (std::string_view part : parts) Write(to, part);
            Write(to, "\r\n");
        }
    }

    static void Write(HANDLE to, std::string_view text) {
        DWORD written = 0;
        if (to && to != INVALID_HANDLE_VALUE) WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    HANDLE Out() const { return out_; }

private:
    HANDLE out_ = nullptr;
    UniqueFile console_;
    UniqueFile log_;
    bool logFailed_ = false;
};

// While it lives, the messages meant for boxes arrive here (the application layer's
// sink) and go to the lines as failures.
// (One base class each: a class of two bases brings the runtime's type information
// for multiple inheritance along, about 3 KB.)
class FailureLines final : public ui::MessageSink {
public:
    explicit FailureLines(RunLog& log) : log_(log) { ui::SetMessageSink(this); }
    ~FailureLines() { ui::SetMessageSink(nullptr); }
    FailureLines(const FailureLines&) = delete;
    FailureLines& operator=(const FailureLines&) = delete;

    void Failed(std::string_view text, std::string_view more = {}) { log_.Line({"Failed: ", text, more}); }
    bool Shown(bool, std::string_view text) override {
        Failed(text);
        return true;
    }

private:
    RunLog& log_;
};

// The listing pass's lines, counted; written only in a listing run, whose output
// holds its lines alone.
struct ListingLines final : ListLines {
    ListingLines(RunLog& log, bool listing) : log(log), listing(listing) {}
    void AddLine(const ShortString& line) override {
        ++count;
        if (listing) log.Line({line.View()});
    }
    RunLog& log;
    bool listing;
    std::int32_t count = 0;
};

// The result line (`text` in place of the code's own), on the output unless the run
// lists; the exit code.
int Result(RunLog& log, bool toOutput, StepResult result, std::string_view text = {}, std::string_view quoted = {}) {
    const auto code = static_cast<unsigned>(result);
    const ShortString number = IntegerText(code);
    if (text.empty()) text = kResultText[code];
    log.Line({"Exit code ", number.View(), ": ", text, quoted.empty() ? "" : " \"", quoted, quoted.empty() ? "" : "\""},
             toOutput);
    return static_cast<int>(code);
}

// The command's exit code as the program's, with the line that says whose it is.
int CommandResult(RunLog& log, const ExtractionRun& run) {
    const ShortString number = IntegerText(run.CommandExitCode());
    log.Line({"Exit code ", number.View(), ": the command's, ", run.CommandShown()});
    return static_cast<int>(run.CommandExitCode());
}

// The wait for the archive's command without window: blocking, its start a line.
struct CommandLines final : CommandWait {
    explicit CommandLines(RunLog& log) : log(log) {}
    void Starting(std::string_view shown) override { log.Line({"Running: ", shown}); }
    bool WaitFor(HANDLE handle, DWORD ms) override { return BlockingWait().WaitFor(handle, ms); }
    RunLog& log;
};

// The temporary folder removed (if the run made one), and each thing of it that stays a line.
void RemoveTemporaryTarget(RunLog& log, ExtractionRun& run) {
    run.RemoveTemporaryTarget(BlockingWait());
    for (const std::string& left : run.NotRemoved()) log.Line({"Not removed: ", left});
}

// The run itself, once the output is in place: the window's steps in the window's
// order, each failure's message as a line and its result as the exit code.
int ListOrExtract(const Switches& s, RunLog& log) {
    const bool resultShown = !s.list;
    ExtractionRun run;
    // /Q leaves no temporary cabinet behind, whatever the result: no later Start uses it.
    struct EndRun {
        ExtractionRun& run;
        bool quiet;
        ~EndRun() { run.End(quiet); }
    } end{run, s.quiet};
    ListingLines lines(log, s.list);
    try {
        StepOutcome outcome = run.Open(s);
        if (outcome.Done() && !run.HasCabinet()) return Result(log, resultShown, StepResult::Payload);
        // The listing pass, as the window runs it when it is made: the extraction's
        // progress is measured against its byte total.
        if (outcome.Done()) outcome = run.List(lines, nullptr);
        if (outcome.Done() && s.list) {
            log.Line({StatusLineText(lines.count, ListedByteTotal, LastCabinetSize).View()});
            if (CommandToRun.given) log.Line({CommandListingText()});
            return Result(log, resultShown, StepResult::Done);
        }
        CommandLines wait(log);
        if (outcome.Done()) outcome = run.Extract(nullptr, nullptr, &wait);
        if (!outcome.Done()) {
            ui::ShowPlainMessage(outcome.text.View());
            RemoveTemporaryTarget(log, run);
            return Result(log, resultShown, outcome.result);
        }
        RemoveTemporaryTarget(log, run);
        if (run.CommandRan()) return CommandResult(log, run);
        return Result(log, resultShown, StepResult::Done, "every file extracted into", run.TargetShown());
    } catch (...) {
        // The general error handler writes the failure's message as the window would show it.
        ui::HandleCurrentException();
        RemoveTemporaryTarget(log, run);
        return Result(log, resultShown, run.FailureResult());
    }
}

int RunWithoutWindow(const Switches& s) {
    RunLog log(s.logFile);
    FailureLines failures(log);
    if (s.help) {
        RunLog::Write(log.Out(), SwitchHelpText);
        return 0;
    }
    log.Line({"Started: ", GetCommandLineA()}, !s.list);
    // Without /Q a switch not understood has had its box, and the run goes on.
    if (log.LogFailed() || (s.quiet && !s.unknown.empty())) {
        if (log.LogFailed()) failures.Failed("cannot open the log file ", ShownValue(s.logFile));
        else failures.Failed(kNotUnderstood, ShownValue(s.unknown));
        return Result(log, !s.list, StepResult::CommandLine);
    }
    return ListOrExtract(s, log);
}

}  // namespace

bool RunFromSwitches(const Switches& s, int& exitCode) {
    exitCode = 0;
    if (!s.quiet) {
        if (!s.unknown.empty())
            ui::ShowPlainMessage(((std::string(kNotUnderstood) += ShownValue(s.unknown)) += "\r\n\r\n") += SwitchHelpText);
        if (s.help) {
            ui::ShowPlainMessage(SwitchHelpText);
            return true;
        }
    }
    if (!s.Windowless()) return false;
    exitCode = RunWithoutWindow(s);
    return true;
}
