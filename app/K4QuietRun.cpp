// A run without window: the payload read, the listing pass and the extraction's steps
// as Start runs them, with every message and the outcome written as lines to the
// console of the starting process and to the log file.
#include "K4QuietRun.h"
#include <windows.h>
#include <initializer_list>
#include <memory>
#include <string>
#include "K4Application.h"
#include "K4CabinetPlace.h"
#include "K4ExtractSteps.h"
#include "K4Files.h"
#include "K4LongPath.h"
#include "K4Payload.h"
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
// the log file. Messages for boxes arrive here as lines (the application layer's
// sink), and so do the listing's lines (the engine's list of lines).
// (One base class each: a class of two bases brings the runtime's type information
// for multiple inheritance along, about 3 KB.)
class RunOutput final : public app::MessageSink {
public:
    // A listing's output holds its lines only; start and result go to the log alone.
    RunOutput(const std::string& logFile, bool listing) : listing_(listing) {
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
    void SetStage(StepResult stage) { stage_ = stage; }
    StepResult Stage() const { return stage_; }

    // One line of the parts, each written as it is (no copy joins them: every byte of
    // string handling is carried by every archive).
    void Line(std::initializer_list<std::string_view> parts, bool toOutput = true) {
        for (HANDLE to : {toOutput ? out_ : nullptr, log_.Get()}) {
            for (std::string_view part : parts) Write(to, part);
            Write(to, "\r\n");
        }
    }

    void Started() { Line({"Started: ", GetCommandLineA()}, !listing_); }
    void Failed(std::string_view text, std::string_view more = {}) { Line({"Failed: ", text, more}); }

    // The result line (`text` in place of the code's own); the exit code.
    int Result(StepResult result, std::string_view text = {}, std::string_view quoted = {}) {
        const auto code = static_cast<unsigned>(result);
        const ShortString number = IntegerText(code);
        if (text.empty()) text = kResultText[code];
        Line({"Exit code ", number.View(), ": ", text, quoted.empty() ? "" : " \"", quoted, quoted.empty() ? "" : "\""},
             !listing_);
        return static_cast<int>(code);
    }

    // The listing pass's lines.
    struct Lines final : ListLines {
        explicit Lines(RunOutput& out) : out(out) {}
        void AddLine(const ShortString& line) override {
            ++count;
            if (out.listing_) out.Line({line.View()});
        }
        RunOutput& out;
        std::int32_t count = 0;
    };
    Lines lines{*this};

    bool Shown(bool, std::string_view text) override {
        Failed(text);
        return true;
    }
    // A message's end of the program (the payload reader's) ends with the stage's code;
    // a temporary cabinet that found no folder to take it is a place without room.
    unsigned EndCode(unsigned code) override {
        if (!code) return 0;
        return static_cast<unsigned>(
            Result(stage_ == StepResult::Payload && !PlacementFailureText().Empty() ? StepResult::Target : stage_));
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
    bool listing_;
    StepResult stage_ = StepResult::Payload;
};

// The run itself, once the output is in place.
int ListOrExtract(const Switches& s, RunOutput& out) {
    std::unique_ptr<TDecompr> engine;
    try {
        out.SetStage(StepResult::Payload);
        LocateOwnExecutable(ExeDirectory, ExeFileName);
        DataFileName = "DATAFILE.K4A";
        ReadPayload();  // a refusal has written its message and ended the program
        if (!FileExists(DataFileName.Str())) return out.Result(StepResult::Payload);
        CabFilePath = DataFileName.Str();  // in the current directory or the temporary folder
        // /T: as given, whatever its characters and length; the payload's text in the
        // system code page.
        std::wstring target = s.hasTarget ? WideValue(s.target) : WideFromCodePage(ExtractPath, CP_ACP);
        if (target.empty()) target = L"C:\\Buf\\";  // as the window's refresh puts it

        // The listing pass, as the window runs it when it is made: the extraction's
        // progress is measured against its byte total.
        ListingPass = true;
        TargetListBox = &out.lines;
        RunEnginePass(engine, nullptr, target);
        if (!LastErrorText.Empty()) {
            app::ShowPlainMessage(LastErrorText.View());
            return out.Result(StepResult::Payload);
        }
        if (s.list) {
            out.Line({StatusLineText(out.lines.count, ListedByteTotal, LastCabinetSize).View()});
            return out.Result(StepResult::Done);
        }

        // Start's steps.
        out.SetStage(StepResult::Target);
        ListingPass = false;
        const StepOutcome prepared = PrepareTarget(target);
        if (!prepared.Done()) {
            app::ShowPlainMessage(prepared.text.View());
            return out.Result(prepared.result);
        }
        out.SetStage(StepResult::Extraction);
        if (RunMode == 2) RunEnginePass(engine, nullptr, target);
        const StepOutcome done = FinishExtraction();
        if (!done.Done()) {
            app::ShowPlainMessage(done.text.View());
            return out.Result(done.result);
        }
        return out.Result(StepResult::Done, "every file extracted into", NarrowFromWide(target, CP_ACP));
    } catch (...) {
        // The general error handler writes the failure's message as the window would show it.
        app::HandleCurrentException();
        const StepResult stage = out.Stage();
        return out.Result(stage == StepResult::Extraction ? PassFailureResult() : stage);
    }
}

int RunWithoutWindow(const Switches& s) {
    RunOutput out(s.logFile, s.list);
    app::SetMessageSink(&out);
    struct Unset {
        ~Unset() { app::SetMessageSink(nullptr); }
    } unset;
    if (s.help) {
        RunOutput::Write(out.Out(), SwitchHelpText);
        return 0;
    }
    out.Started();
    // Without /Q a switch not understood has had its box, and the run goes on.
    if (out.LogFailed() || (s.quiet && !s.unknown.empty())) {
        if (out.LogFailed()) out.Failed("cannot open the log file ", ShownValue(s.logFile));
        else out.Failed(kNotUnderstood, ShownValue(s.unknown));
        return out.Result(StepResult::CommandLine);
    }
    return ListOrExtract(s, out);
}

}  // namespace

bool RunFromSwitches(const Switches& s, int& exitCode) {
    exitCode = 0;
    if (!s.quiet) {
        if (!s.unknown.empty())
            app::ShowPlainMessage(((std::string(kNotUnderstood) += ShownValue(s.unknown)) += "\r\n\r\n") += SwitchHelpText);
        if (s.help) {
            app::ShowPlainMessage(SwitchHelpText);
            return true;
        }
    }
    if (!s.Windowless()) return false;
    exitCode = RunWithoutWindow(s);
    return true;
}
