// The extraction's dealings with its target folder: before the first file, whether
// the folder takes a new file and holds the members; during the copy, a file that
// replaces another written beside it and put in place whole, and a failed write
// reported with the member's name and the system's reason.
#include <string>
#include "K4CabWork.h"
#include "K4Error.h"
#include "K4Placement.h"
#include "K4TextEncoding.h"

namespace {
// The size of the file at `path`, when there is a file (not a folder) of that name.
bool ExistingFileSize(const std::wstring& path, std::uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
}

bool IsExistingFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether files may stand in the folder part of `path` (up to its last separator):
// a relative path's own folder (the current one) may always hold some.
class FolderLook {
public:
    bool MayHoldFiles(const std::wstring& path) {
        const std::size_t cut = path.find_last_of(L"\\/");
        const std::wstring_view folder(path.data(), cut == std::wstring::npos ? 0 : cut);
        if (!looked_ || folder != folder_) {
            folder_.assign(folder);
            const DWORD attributes = folder_.empty() ? FILE_ATTRIBUTE_DIRECTORY : GetFileAttributesW(folder_.c_str());
            exists_ = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
            looked_ = true;
        }
        return exists_;
    }

private:
    std::wstring folder_;
    bool exists_ = false, looked_ = false;
};

// The member's wide name, as CreateTarget forms it.
std::wstring WideMemberName(const cabfmt::Member& m) { return WideFromCodePage(m.name, m.Utf() ? CP_UTF8 : CP_ACP); }

ShortString ReasonText(const char* what, const ShortString& shown, DWORD code) {
    ShortString text(what);
    text += " \"";
    text += shown;
    text += "\": ";
    text += SystemReason(code);
    return text;
}
}  // namespace

bool TDecompr::CheckTarget() {
    // The members in the order the library writes them: the file table's.
    const std::vector<cabfmt::Member>& members = account_.Members();
    std::vector<PlannedFile> files(members.size());
    replaces_ = std::vector<unsigned char>(members.size());
    // Members come folder by folder, and a folder that is not there yet holds nothing to
    // replace: one look per folder spares a look per file when extracting somewhere new
    // (each costs the system a round of file-name lookups).
    FolderLook folders;
    for (std::size_t i = 0; i < files.size(); ++i) {
        files[i].size = members[i].size;
        std::wstring path = wideTargetDir_;   // appended: a '+' would bring another string routine
        path += WideMemberName(members[i]);
        replaces_[i] = folders.MayHoldFiles(path) && ExistingFileSize(path, files[i].replaces);
    }
    const ShortString refusal = ::CheckTarget(TargetDir, files);
    if (refusal.Empty()) return true;
    ReleaseDecoding();
    RecordCabFailure(TargetRefusedCode, refusal);
    return false;
}

std::wstring TDecompr::PathToCreate(const std::wstring& widePath, const ShortString& shownPath, std::size_t member) {
    targetFinal_.clear();
    if (member >= replaces_.size() || !replaces_[member] || !IsExistingFile(widePath)) return widePath;
    // The old file must take the write that replacing it is: one that is locked or
    // read-only fails here, as creating over it would, before anything is written.
    if (!UniqueFile(CreateFileW(widePath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr)))
        throw K4FileError(StreamFailureText(ModeCreate, shownPath.View()).Str());
    targetFinal_ = widePath;
    // Beside it: in the member's folder (madeFolder_, below the target).
    for (;;) {
        std::wstring beside = wideTargetDir_;
        beside += madeFolder_;
        beside += WideFromCodePage(OwnName().View(), CP_ACP);
        if (GetFileAttributesW(beside.c_str()) == INVALID_FILE_ATTRIBUTES) return beside;
    }
}

bool TDecompr::PlaceTarget() {
    if (targetFinal_.empty()) return true;
    if (MoveFileExW(targetPath_.c_str(), targetFinal_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        targetFinal_.clear();
        return true;
    }
    RecordCabFailure(TargetWriteFailedCode, ReasonText("Cannot replace", targetShown_, GetLastError()));
    DiscardTarget();
    return false;
}

void TDecompr::WriteFailed(const TNamedStream& stream) {
    const DWORD code = GetLastError();
    RecordCabFailure(TargetWriteFailedCode, ReasonText("Cannot write", stream.FileName, code ? code : ERROR_WRITE_FAULT));
}
