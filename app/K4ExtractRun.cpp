// The run's steps over the engine and the settings, without any window.
#include "K4ExtractRun.h"
#include <windows.h>
#include "K4CabinetPlace.h"
#include "K4Files.h"
#include "K4LongPath.h"
#include "K4MemberNames.h"
#include "K4Payload.h"
#include "K4PayloadBlock.h"
#include "K4Placement.h"
#include "K4TextEncoding.h"
#include "K4Utils.h"

namespace {

// The archive's command against the switches: its program must name a file the
// extraction can write (a path inside the target), and an archive that extracts into
// a temporary folder takes no target.
StepOutcome CheckCommand(const Switches& switches) {
    if (!CommandToRun.given) return {};
    if (membername::IsUnsafe(NarrowFromWide(CommandToRun.program, CP_UTF8)))
        return {StepResult::Payload,
                QuotedText("The archive's command names no file of the archive: ", NarrowFromWide(CommandToRun.program, CP_ACP))};
    if (CommandToRun.temporary && switches.hasTarget)
        return {StepResult::CommandLine,
                ShortString("/T: cannot be given: this archive extracts into a temporary folder of its own")};
    return {};
}

// A folder's full path, ending in '\' (the current directory for an empty one).
std::wstring FullFolder(const std::wstring& folder) {
    const std::wstring given = folder.empty() ? std::wstring(L".") : folder;
    std::wstring full(GetFullPathNameW(given.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.empty()) full = given;
    if (full.back() != L'\\') full += L'\\';
    return full;
}

// The command's arguments after `text` (its program, however shown), in the code page.
void AppendCommandArguments(std::string& text) {
    if (!CommandToRun.arguments.empty()) (text += ' ') += NarrowFromWide(CommandToRun.arguments, CP_ACP);
}

}  // namespace

ExtractionRun::~ExtractionRun() { End(false); }

StepOutcome ExtractionRun::Open(const Switches& switches) {
    stage_ = StepResult::Payload;
    DataFileName = payloadblock::TemporaryCabinetName;
    if (const std::int32_t err = ReadPayload())
        return {err == NoPlaceForCabinet ? StepResult::Target : StepResult::Payload, ShortString(PayloadRefusalText(err))};
    placed_ = true;
    if (const StepOutcome refused = CheckCommand(switches); !refused.Done()) {
        End(true);
        return refused;
    }
    // /T: in place of text 1, as given, whatever its characters and length; the window
    // shows it in the system code page.
    if (switches.hasTarget) ExtractPath = ShownValue(switches.target);
    DefaultTargetWhereNone();
    target_ = switches.hasTarget && !switches.target.empty() ? WideValue(switches.target)
                                                            : WideFromCodePage(ExtractPath, CP_ACP);
    // In the current directory, or the temporary folder's full path.
    if (FileExists(DataFileName.Str())) CabFilePath = DataFileName.Str();
    return {};
}

StepOutcome ExtractionRun::List(ListLines& lines, TProgressHandler progress) {
    RunPass(&lines, progress);
    if (!LastErrorText.Empty()) return {StepResult::Payload, LastErrorText};
    return {};
}

bool ExtractionRun::BeginDecoding() {
    if (RunMode != 2 || decoding_) return false;
    decoding_ = std::make_unique<CabinetDecoding>(CabFilePath.c_str());
    // Not opened: the pass opens it again, and reports what stands in its way.
    if (!decoding_->Opened()) decoding_.reset();
    return decoding_ != nullptr;
}

void ExtractionRun::DropDecoding() { decoding_.reset(); }

bool ExtractionRun::DecodeSlice(std::uint32_t blocks) { return !decoding_ || decoding_->Step(blocks); }

StepOutcome ExtractionRun::Extract(TProgressHandler progress, PassEnd* passEnd, CommandWait* wait, HWND owner) {
    stage_ = StepResult::Target;
    const StepOutcome target = PrepareTarget();
    if (!target.Done()) return target;
    stage_ = StepResult::Extraction;
    if (RunMode == 2) RunPass(nullptr, progress);
    decoding_.reset();   // a pass has released it; without one, the decoding still holds the cabinet
    if (passEnd) passEnd->PassEnded();
    return AfterExtraction(wait ? *wait : BlockingWait(), owner);
}

StepOutcome ExtractionRun::AfterExtraction(CommandWait& wait, HWND owner) {
    if (!LastErrorText.Empty()) {
        // A temporary folder serves one Start: the next makes a fresh one.
        RemoveTemporaryTarget(wait);
        return {FailureResult(), LastErrorText};
    }
    ReleaseCabinet(true);
    if (!CommandToRun.given) return {};
    const StepOutcome ran = RunArchiveCommand(wait, owner);
    wait.Ended();
    RemoveTemporaryTarget(wait);
    return ran;
}

StepOutcome ExtractionRun::RunArchiveCommand(CommandWait& wait, HWND owner) {
    commandTried_ = true;
    const std::wstring folder = FullFolder(target_);
    const std::wstring program = folder + CommandToRun.program;
    const std::string shownProgram = NarrowFromWide(program, CP_ACP);
    commandShown_ = "\"" + shownProgram + "\"";
    AppendCommandArguments(commandShown_);
    // Why it did not run; empty once it ran.
    ShortString reason;
    DWORD error = 0;
    const ProgramKind kind = KindOfProgram(program, error);
    if (kind == ProgramKind::NotProgram) {
        reason = "it is not a program";
    } else if (kind == ProgramKind::Unreadable) {
        reason = SystemReason(error);
    } else {
        wait.Starting(commandShown_);
        const CommandOutcome outcome = RunCommand(program, CommandToRun.arguments, folder, owner, wait);
        if (outcome.how == CommandOutcome::How::Refused) reason = "the request for administrator rights was refused";
        else if (outcome.how == CommandOutcome::How::NotStarted) reason = SystemReason(outcome.error);
        commandExitCode_ = outcome.exitCode;
    }
    if (!reason.Empty()) return {StepResult::Extraction, QuotedText("Cannot run ", shownProgram, ": ") + reason};
    commandRan_ = true;
    return {};
}

void ExtractionRun::RemoveTemporaryTarget(CommandWait& wait) {
    if (temporaryTarget_.empty()) return;
    std::vector<std::string> left = RemoveFolderTree(temporaryTarget_, wait);
    notRemoved_.insert(notRemoved_.end(), left.begin(), left.end());
    temporaryTarget_.clear();
}

StepResult ExtractionRun::FailureResult() const {
    if (stage_ != StepResult::Extraction) return stage_;
    // The target's own check runs after the cabinet's, before the copy; a path the
    // system refuses during the copy is the target's fault too.
    if (CabError.erfOper == TargetRefusedCode || CabError.erfOper == TargetPathRefusedCode) return StepResult::Target;
    return copyBegun_ ? StepResult::Extraction : StepResult::Payload;
}

void ExtractionRun::End(bool removeHere) {
    ReleaseCabinet(removeHere);
    RemoveTemporaryTarget(BlockingWait());
}

void ExtractionRun::ReleaseCabinet(bool removeHere) {
    // The hold goes first: the system deletes no file that is held open.
    decoding_.reset();
    engine_.reset();
    if (removeHere && placed_) DeleteFileA(DataFileName.CStr());
    placed_ = placed_ && !removeHere;
    RemoveTemporaryCabinet();
}

void ExtractionRun::RunPass(ListLines* lines, TProgressHandler progress) {
    // The engine's mode: set here alone, for this pass.
    ListingPass = lines != nullptr;
    TargetListBox = lines;
    ProgressHandler = progress;
    ClearCabError();
    copyBegun_ = false;
    // The pass's engine object goes when the pass ends, also when the engine raises
    // a failure: its destructor releases the library context and open streams, and
    // the engine's reference to it; the decoding done ahead holds the cabinet until
    // then. The list the engine appends to is the caller's for this pass only.
    struct ReleaseOnExit {
        ExtractionRun& run;
        ~ReleaseOnExit() {
            if (run.engine_) run.copyBegun_ = run.engine_->CopyBegun;
            run.engine_.reset();
            run.decoding_.reset();
            TargetListBox = nullptr;
        }
    } release{*this};
    engine_ = std::make_unique<TDecompr>();
    engine_->TakeUpDecoding(decoding_.get());
    engine_->Open(ShortString(CabFilePath), target_);
    engine_->Run();
    engine_->Close();
}

namespace {
bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

void ExtractionRun::SetTarget(const std::string& codePageText) { target_ = WideFromCodePage(codePageText, CP_ACP); }

std::string ExtractionRun::TargetShown() const { return NarrowFromWide(target_, CP_ACP); }

StepOutcome ExtractionRun::PrepareTarget() {
    if (CommandToRun.temporary) {
        // A fresh folder for every Start; the user's target does not apply.
        DWORD error = 0;
        temporaryTarget_ = MakeTemporaryFolder(error);
        if (temporaryTarget_.empty())
            return {StepResult::Target, ShortString("Cannot create a temporary folder: ") + SystemReason(error)};
        target_ = temporaryTarget_;
        ExtractPath = TargetShown();
        return {};
    }
    if (!target_.empty() && target_.back() == L'\\') target_.pop_back();
    const std::wstring path = PathToOpen(target_, L"", ClassicFolderLimit);
    if (!target_.empty() && !IsFolder(path) && !CreateDirectoryW(path.c_str(), nullptr)) {
        ShortString text("Error creating path \"");
        text += TargetShown();
        text += '"';
        return {StepResult::Target, text};
    }
    if (!target_.empty() && IsFolder(path) && target_.back() != L'\\') target_ += L'\\';
    // The window's success message names the target as the code page shows it.
    ExtractPath = TargetShown();
    return {};
}

ShortString QuotedText(std::string_view before, std::string_view quoted, std::string_view after) {
    ShortString text(before);
    text += '"';
    text += quoted;
    text += '"';
    text += after;
    return text;
}

std::string CommandListingText() {
    std::string text = "Command: " + NarrowFromWide(CommandToRun.program, CP_ACP);
    AppendCommandArguments(text);
    if (CommandToRun.temporary) text += " (in a temporary folder, removed afterwards)";
    return text;
}

void DefaultTargetWhereNone() {
    if (ExtractPath.empty()) ExtractPath = payloadblock::DefaultTarget;
}

ShortString StatusLineText(std::int32_t files, std::int32_t bytes, std::int32_t cabinetBytes) {
    // Appended in place: every '+' of short strings copies the whole 256-byte record.
    ShortString line = IntegerText(files);
    line += ' ';
    line += FilesWord;
    line += ' ';
    line += IntegerText(bytes);
    line += '(';
    line += IntegerText(cabinetBytes);
    line += ')';
    return line;
}
