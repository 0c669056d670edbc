// The extraction's steps over the engine and the settings, without any window.
#include "K4ExtractSteps.h"
#include <windows.h>
#include "K4Files.h"
#include "K4LongPath.h"
#include "K4TextEncoding.h"
#include "K4Settings.h"
#include "K4Utils.h"

namespace {
// Whether the last pass reached the library's copy; read after its engine object went.
bool g_copyBegun = false;
}  // namespace

namespace {
bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

StepOutcome PrepareTarget(std::wstring& target) {
    if (!target.empty() && target.back() == L'\\') target.pop_back();
    const std::wstring path = PathToOpen(target, L"", ClassicFolderLimit);
    if (!target.empty() && !IsFolder(path) && !CreateDirectoryW(path.c_str(), nullptr)) {
        ShortString text("Error creating path \"");
        text += NarrowFromWide(target, CP_ACP);
        text += '"';
        return {StepResult::Target, text};
    }
    if (!target.empty() && IsFolder(path) && target.back() != L'\\') target += L'\\';
    return {};
}

void RunEnginePass(std::unique_ptr<TDecompr>& owner, TProgressHandler progress, const std::wstring& target,
                   CabinetDecoding* ahead) {
    ProgressHandler = progress;
    ClearCabError();
    g_copyBegun = false;
    // The pass's engine object goes when the pass ends, also when the engine raises
    // a failure: its destructor releases the library context and open streams, and
    // the engine's reference to it.
    struct ReleaseOnExit {
        std::unique_ptr<TDecompr>& owner;
        ~ReleaseOnExit() {
            if (owner) g_copyBegun = owner->CopyBegun;
            owner.reset();
        }
    } release{owner};
    owner = std::make_unique<TDecompr>();
    owner->TakeUpDecoding(ahead);
    owner->Open(ShortString(CabFilePath), target);
    owner->Run();
    owner->Close();
}

StepResult PassFailureResult() {
    // The target's own check runs after the cabinet's, before the copy; a path the
    // system refuses during the copy is the target's fault too.
    if (CabError.erfOper == TargetRefusedCode || CabError.erfOper == TargetPathRefusedCode) return StepResult::Target;
    return g_copyBegun ? StepResult::Extraction : StepResult::Payload;
}

StepOutcome FinishExtraction() {
    if (!LastErrorText.Empty()) return {PassFailureResult(), LastErrorText};
    DeleteFileA(DataFileName.CStr());
    return {};
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
