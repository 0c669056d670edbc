// One run of the extractor, step by step, the same for the window and a run without
// window: the payload and the temporary cabinet, the listing pass, the target, the
// check and extraction pass, the result, and the end that lets go of the cabinet and
// removes it. Each step returns an outcome; the window turns it into a message box,
// a run without window into its exit code.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "K4CabinetFile.h"
#include "K4CommandRun.h"
#include "K4CabWork.h"
#include "K4Settings.h"
#include "K4Switches.h"
#include "ShortString.h"

// What a step ended with; the values are the exit codes of a run without window.
enum class StepResult : unsigned char {
    Done = 0,
    CommandLine = 1,  // a switch not understood
    Payload = 2,      // the payload or its cabinet missing or damaged
    Target = 3,       // the target directory cannot be created or written
    Extraction = 4,   // a failure while the files were written
};

struct StepOutcome {
    StepResult result = StepResult::Done;
    ShortString text;  // the failure's message; empty when done
    bool Done() const { return result == StepResult::Done; }
};

// Where the extraction pass has ended and its result is not yet taken: the window
// refreshes itself there.
class PassEnd {
public:
    virtual void PassEnded() = 0;

protected:
    ~PassEnd() = default;
};

// The run over the settings (K4Settings.h) and the engine. Failures the engine raises
// (K4FileError, std::bad_alloc) leave the steps; FailureResult says what they stand for.
class ExtractionRun {
public:
    ExtractionRun() = default;
    // Ends the run as End(false) does.
    ~ExtractionRun();
    ExtractionRun(const ExtractionRun&) = delete;
    ExtractionRun& operator=(const ExtractionRun&) = delete;

    // The payload's texts into the settings and its cabinet into the temporary cabinet,
    // then the target: /T: in place of the payload's, the default where neither gives
    // one. Payload with the reader's message, or Target where no folder took the cabinet.
    StepOutcome Open(const Switches& switches);
    // Whether the temporary cabinet is there to list and extract.
    bool HasCabinet() const { return !CabFilePath.empty(); }

    // The listing pass: a line a member into `lines`; Payload with the engine's failure.
    StepOutcome List(ListLines& lines, TProgressHandler progress);

    // The cabinet decoded ahead, holding it open until the extraction pass ends:
    // begun (in mode 2, when none is) and stepped; a failure of the decoding itself
    // drops it, which leaves the whole check to the pass.
    bool BeginDecoding();  // true when it began
    bool DecodeSlice(std::uint32_t blocks);
    void DropDecoding();
    const CabinetDecoding* Decoding() const { return decoding_.get(); }

    // The target the passes use, of any length and in any characters: Open sets it from
    // /T: (or the payload's text in the system code page); the window sets its edit's.
    void SetTarget(const std::string& codePageText);
    // The target as the system code page shows it (characters it lacks as '?').
    std::string TargetShown() const;

    // Start: the target made ready, the check and extraction pass (in mode 2), then the
    // steps after it. `passEnd`, where given, is told when the pass is over. Done once
    // every member was written and the temporary cabinet is removed, and the archive's
    // command (if it has one) has run to its end, waited for through `wait` (the
    // blocking wait where none is given), its prompts owned by `owner`; otherwise the
    // failure, with the engine's text left in LastErrorText.
    StepOutcome Extract(TProgressHandler progress, PassEnd* passEnd = nullptr, CommandWait* wait = nullptr,
                        HWND owner = nullptr);
    // Whether Extract got past the target: a failure before it ends the window's run.
    bool TargetReady() const { return stage_ == StepResult::Extraction; }
    // Whether Extract reached the command (every file extracted): whatever its outcome,
    // the run is over.
    bool CommandTried() const { return commandTried_; }
    // Whether the command ran to its end, and its exit code then.
    bool CommandRan() const { return commandRan_; }
    DWORD CommandExitCode() const { return commandExitCode_; }
    // Its command line as started, in the system code page (empty before).
    const std::string& CommandShown() const { return commandShown_; }

    // Removes the temporary folder of an archive that extracts into one, if this run
    // made it and it is still there (Extract does after the command, and after a
    // failed pass); what could not be removed stays in NotRemoved.
    void RemoveTemporaryTarget(CommandWait& wait);
    const std::vector<std::string>& NotRemoved() const { return notRemoved_; }

    // What a failure raised out of the last step stands for: the step's result, and in
    // the extraction pass the one its engine reached (Payload while it still probed
    // and checked the cabinet, Target when the target's check refused it, Extraction
    // once the library had begun copying).
    StepResult FailureResult() const;

    // The one end of the run: the cabinet released as ReleaseCabinet does, and a
    // temporary target still there removed.
    void End(bool removeHere);

private:
    // The one end of the cabinet: lets go of the decoding's hold on it, then removes
    // the temporary folder with its cabinet, and with `removeHere` the temporary
    // cabinet in the current folder as well.
    void ReleaseCabinet(bool removeHere);
    // One pass of the engine over the cabinet: listing into `lines`, or extracting
    // where `lines` is null. The decoding ahead is taken up and let go with it.
    void RunPass(ListLines* lines, TProgressHandler progress);
    StepOutcome PrepareTarget();
    // The steps after the extraction pass, in order (each may end the run with its
    // outcome).
    StepOutcome AfterExtraction(CommandWait& wait, HWND owner);
    // The archive's command from the extracted files, waited for to its end.
    StepOutcome RunArchiveCommand(CommandWait& wait, HWND owner);

    std::wstring target_;
    std::unique_ptr<TDecompr> engine_;
    std::unique_ptr<CabinetDecoding> decoding_;
    StepResult stage_ = StepResult::Payload;
    bool copyBegun_ = false;   // the last pass reached the library's copy
    bool placed_ = false;      // the temporary cabinet was written by this run
    std::wstring temporaryTarget_;   // the temporary folder this run extracts into
    std::vector<std::string> notRemoved_;
    std::string commandShown_;
    bool commandTried_ = false;
    bool commandRan_ = false;
    DWORD commandExitCode_ = 0;
};

// The archive's command as /L shows it: the member and its arguments, and where it runs.
std::string CommandListingText();

// A message with a quoted part (a path, a command), the whole cut at 255 characters.
ShortString QuotedText(std::string_view before, std::string_view quoted, std::string_view after = {});

// ExtractPath, or the default target where it is empty.
void DefaultTargetWhereNone();

// The status line "files, bytes(cabinet size)" under the list.
ShortString StatusLineText(std::int32_t files, std::int32_t bytes, std::int32_t cabinetBytes);
