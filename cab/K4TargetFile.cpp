// The life of the file an extraction writes for a member: the target's check, its
// creation beside a file it replaces, its time, its placing and its removal.
#include "K4TargetFile.h"
#include "K4CabNames.h"
#include "K4CabState.h"
#include "K4LongPath.h"
#include "K4Placement.h"
#include "K4TextEncoding.h"
#include "K4Utils.h"

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
            const DWORD attributes =
                folder_.empty() ? FILE_ATTRIBUTE_DIRECTORY
                                : GetFileAttributesW(PathToOpen(folder_, L"", ClassicFolderLimit).c_str());
            exists_ = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
            looked_ = true;
        }
        return exists_;
    }

private:
    std::wstring folder_;
    bool exists_ = false, looked_ = false;
};

// The member's wide name, as the extraction forms it.
std::wstring WideMemberName(const cabfmt::Member& m) { return WideFromCodePage(m.name, m.Utf() ? CP_UTF8 : CP_ACP); }

ShortString ReasonText(const char* what, const ShortString& shown, DWORD code) {
    ShortString text(what);
    text += " \"";
    text += shown;
    text += "\": ";
    text += SystemReason(code);
    return text;
}

// Errors by which the system refuses a path as such (its length, its form), as opposed
// to the file it names (locked, read-only, in the way). Creating a file or a folder
// finds nothing missing but its path: "not found" is a refusal of the path too (Wine
// says it for a name longer than its volume takes).
bool RefusesPath(DWORD code) {
    return code == ERROR_FILENAME_EXCED_RANGE || code == ERROR_INVALID_NAME || code == ERROR_BAD_PATHNAME ||
           code == ERROR_PATH_NOT_FOUND || code == ERROR_FILE_NOT_FOUND || code == ERROR_DIRECTORY;
}

// A path the system refused, with its reason.
void RecordRefusedPath(const ShortString& shownPath, DWORD code) {
    RecordCabFailure(TargetPathRefusedCode, ReasonText("Cannot create file", shownPath, code));
}

// The target's refusal, naming the folder and the system's reason or both sizes in
// readable units; empty when it takes a new file and holds `needed`.
ShortString TargetRefusal(const std::wstring& folder, const ShortString& shownFolder,
                          const std::vector<PlannedFile>& files) {
    const ShortString shown = shownFolder.Empty() ? CurrentFolder() : shownFolder;
    VolumeRoom room;
    std::uint64_t needed = 0;
    ShortString text;
    if (const std::int32_t err = ProbeNewFile(folder)) {
        text += "Cannot create a file in \"";
        text += shown;
        text += "\": ";
        text += SystemReason(static_cast<std::uint32_t>(err));
    } else if (RoomIn(folder, room) == 0 && (needed = SpaceNeeded(files, room.cluster)) > room.free) {
        // (A volume that does not say how much room it has is left to the writes.)
        // Figures that round to the same text are given in bytes: "4.0 MB (4.0 MB
        // free)" would not say what is missing.
        const bool close = SizeText(needed) == SizeText(room.free);
        text += "Not enough free space in \"";
        text += shown;
        text += "\" for ";
        text += close ? IntegerText(static_cast<std::int64_t>(needed)) + " bytes" : SizeText(needed);
        text += " (";
        text += close ? IntegerText(static_cast<std::int64_t>(room.free)) + " bytes" : SizeText(room.free);
        text += " free)";
    }
    return text;
}
}  // namespace

void TargetFile::Begin(const std::wstring& target, const ShortString& shown) {
    target_ = target;
    targetShown_ = shown;
    replaces_.clear();
    madeFolder_.clear();
    slot_ = 0;
    path_.clear();
    final_.clear();
    member_ = NoMember;
    discardedShown_ = ShortString();
    pathRefused_ = false;
}

bool TargetFile::Check(const std::vector<cabfmt::Member>& members) {
    // The members in the order the library writes them: the file table's.
    std::vector<PlannedFile> files(members.size());
    replaces_ = std::vector<unsigned char>(members.size());
    // Members come folder by folder, and a folder that is not there yet holds nothing to
    // replace: one look per folder spares a look per file when extracting somewhere new
    // (each costs the system a round of file-name lookups).
    FolderLook folders;
    for (std::size_t i = 0; i < files.size(); ++i) {
        files[i].size = members[i].size;
        std::wstring path = target_;   // appended: a '+' would bring another string routine
        path += WideMemberName(members[i]);
        replaces_[i] = folders.MayHoldFiles(path) && ExistingFileSize(PathToOpen(path, L""), files[i].replaces);
    }
    const ShortString refusal = TargetRefusal(target_, targetShown_, files);
    if (refusal.Empty()) return true;
    RecordCabFailure(TargetRefusedCode, refusal);
    return false;
}

bool TargetFile::MakeFolders(std::wstring_view name, const ShortString& shownPath) {
    // Members of one folder come one after another: the folders of the previous
    // member are known to stand, and looking them up again costs a few file-system
    // calls per file, which adds up over tens of thousands of files.
    const std::size_t folderEnd = name.find_last_of(L"\\/");
    const std::wstring_view folder = folderEnd == std::wstring::npos ? std::wstring_view() : name.substr(0, folderEnd + 1);
    if (folder == madeFolder_) return true;
    if (!CreateMemberFolders(target_, name)) {
        const DWORD code = GetLastError();
        if (!RefusesPath(code)) FailStream(ModeCreate, shownPath);
        RecordRefusedPath(shownPath, code);
        pathRefused_ = true;
        return false;
    }
    madeFolder_ = folder;
    return true;
}

std::unique_ptr<TNamedStream> TargetFile::Create(std::wstring_view name, const std::wstring& path,
                                                 const ShortString& shownPath, std::size_t member) {
    if (!MakeFolders(name, shownPath)) return nullptr;
    // A file of that name is replaced by one written beside it (final_ set).
    std::wstring createPath = PathToCreate(path, shownPath, member);
    const CreateFileArgs a = CreateArgsForMode(ModeCreate);
    UniqueFile file(CreateFileW(createPath.c_str(), a.access, a.share, nullptr, a.disposition, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) {
        const DWORD code = GetLastError();
        // A file standing where the member's folder should be is the file's fault, not
        // the path's.
        if (!RefusesPath(code) || (!madeFolder_.empty() && IsExistingFile(PathToOpen(
                                       target_, std::wstring_view(madeFolder_).substr(0, madeFolder_.size() - 1)))))
            FailStream(ModeCreate, shownPath);
        RecordRefusedPath(shownPath, code);
        pathRefused_ = true;
        return nullptr;
    }
    path_ = std::move(createPath);
    shown_ = shownPath;
    member_ = member;
    return std::make_unique<TNamedStream>(shownPath, std::move(file));
}

void TargetFile::Opened(std::int32_t slot, std::uint32_t size) {
    slot_ = slot;
    size_ = size;
}

std::wstring TargetFile::PathToCreate(const std::wstring& path, const ShortString& shownPath, std::size_t member) {
    final_.clear();
    if (member >= replaces_.size() || !replaces_[member] || !IsExistingFile(path)) return path;
    // The old file must take the write that replacing it is: one that is locked or
    // read-only fails here, as creating over it would, before anything is written.
    if (!UniqueFile(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)))
        FailStream(ModeCreate, shownPath);
    final_ = path;
    // Beside it: in the member's folder (madeFolder_, below the target).
    for (;;) {
        std::wstring beside = madeFolder_;
        beside += WideFromCodePage(OwnName().View(), CP_ACP);
        beside = PathToOpen(target_, beside);
        if (GetFileAttributesW(beside.c_str()) == INVALID_FILE_ATTRIBUTES) return beside;
    }
}

bool TargetFile::Finish(StreamTable& streams, std::int32_t slot, TNamedStream& stream, unsigned date, unsigned time) {
    const bool member = Holds(slot);
    if (member) {
        // Some versions of the library announce the end of a member even after its
        // data failed; a file shorter than its entry is not kept.
        LARGE_INTEGER size;
        if (!GetFileSizeEx(stream.Handle(), &size) || size.QuadPart != size_) {
            Discard(streams);
            return false;
        }
    }
    // The cabinet keeps local time; an impossible date leaves the time of creation
    // rather than whatever a failed conversion would produce.
    FILETIME local, utc;
    if (ValidDosDateTime(date, time) && DosDateTimeToFileTime(static_cast<WORD>(date), static_cast<WORD>(time), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(stream.Handle(), nullptr, nullptr, &utc);
    streams.Release(slot);
    if (!member) return true;
    if (!Place(streams)) return false;
    slot_ = 0;
    path_.clear();
    return true;
}

bool TargetFile::Place(StreamTable& streams) {
    if (final_.empty()) return true;
    if (MoveFileExW(path_.c_str(), final_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        final_.clear();
        return true;
    }
    RecordCabFailure(TargetWriteFailedCode, ReasonText("Cannot replace", shown_, GetLastError()));
    Discard(streams);
    return false;
}

void TargetFile::Discard(StreamTable& streams) {
    if (path_.empty()) return;
    if (slot_ > 0 && streams.At(slot_)) streams.Release(slot_);
    DeleteFileW(path_.c_str());   // a replaced file is not touched: it stays
    discardedShown_ = shown_;
    slot_ = 0;
    path_.clear();
    final_.clear();
}

void TargetFile::WriteFailed(const TNamedStream& stream) {
    const DWORD code = GetLastError();
    RecordCabFailure(TargetWriteFailedCode, ReasonText("Cannot write", stream.FileName, code ? code : ERROR_WRITE_FAULT));
}
