// The engine's work on each cabinet member: its listing line; in an extraction,
// refusing unsafe names and links to other cabinets, making subfolders, creating the
// target file, reporting progress, stamping its time, removing a file whose data never
// arrived complete, and the account of the pass at its end.
#include <cstring>
#include <memory>
#include "K4CabCallbacks.h"
#include "K4CabNames.h"
#include "K4Paths.h"
#include "K4TextEncoding.h"
#include "K4CabWork.h"
#include "K4Error.h"
#include "K4MemberNames.h"

namespace {
// Wide paths beyond this are refused like long single-byte ones: nothing is ever
// created under a cut name.
constexpr std::size_t MaxTargetPath = ShortString::MaxLength;

INT_PTR RefuseUnsafe(const ShortString& shownName) {
    RecordCabFailure(-1, ShortString("Unsafe file name \"") + shownName + "\"");
    return -1;
}

[[noreturn]] void FailCreate(std::string_view shownPath) {
    throw K4FileError(StreamFailureText(ModeCreate, shownPath).Str());
}
}  // namespace

INT_PTR ListMember(const FDINOTIFICATION& note) {
    const ShortString line = ListingLine(MemberDisplayName(note.psz1, note.attribs), note.cb);
    if (TargetListBox) TargetListBox->AddLine(line);
    ListedByteTotal = static_cast<std::int32_t>(static_cast<std::uint32_t>(ListedByteTotal) +
                                                static_cast<std::uint32_t>(note.cb));
    return 0;   // skip the member: a listing decompresses nothing
}

INT_PTR RefuseNextCabinet(const FDINOTIFICATION& note) {
    RecordCabFailure(-1, ShortString("Cabinet continues in another cabinet \"") + ShortString(note.psz1) + "\"");
    return -1;
}

bool TDecompr::MayOpen(const char* path) const {
    if (!cabinet_.Guarding()) return true;   // no run under way
    return path && cabinet_.Names(WideFromCodePage(path, CP_ACP));
}

INT_PTR TDecompr::CreateTarget(const FDINOTIFICATION& note) {
    const char* raw = note.psz1 ? note.psz1 : "";
    const bool utf = (note.attribs & _A_NAME_IS_UTF) != 0;
    const ShortString shownName = MemberDisplayName(raw, note.attribs);
    if (membername::IsUnsafe(raw)) return RefuseUnsafe(shownName);

    const std::wstring wideName = WideFromCodePage(raw, utf ? CP_UTF8 : CP_ACP);
    std::wstring widePath = wideTargetDir_;
    widePath += wideName;
    // Shown paths are cut at 255 characters, as every message that shows one is.
    const ShortString shownPath = TargetDir + shownName;
    const std::size_t length = utf ? widePath.size() : TargetDir.Length() + std::strlen(raw);
    if (length > MaxTargetPath) FailCreate(shownPath.View());
    if (cabinet_.Names(widePath)) return RefuseUnsafe(shownName);
    // Members of one folder come one after another: the folders of the previous
    // member are known to stand, and looking them up again costs a few file-system
    // calls per file, which adds up over tens of thousands of files.
    const std::size_t folderEnd = wideName.find_last_of(L"\\/");
    const std::wstring_view folder =
        folderEnd == std::wstring::npos ? std::wstring_view() : std::wstring_view(wideName).substr(0, folderEnd + 1);
    if (folder != madeFolder_) {
        if (!CreateMemberFolders(wideTargetDir_, wideName)) FailCreate(shownPath.View());
        madeFolder_ = folder;
    }
    if (!HasRoomForStream()) return -1;

    const std::size_t member = account_.Index(raw);
    std::unique_ptr<TNamedStream> stream;
    std::wstring createPath;
    try {
        // A file of that name is replaced by one written beside it (targetFinal_ set).
        createPath = PathToCreate(widePath, shownPath, member);
        stream = utf || !targetFinal_.empty()
                     ? std::make_unique<TNamedStream>(createPath, shownPath, ModeCreate)
                     : std::make_unique<TNamedStream>(TargetDir + std::string_view(raw), ModeCreate);
    } catch (const K4FileError&) {
        // The library holds the cabinet open for the whole copy, so creating over it
        // under another name (a hard link, a short name) fails on sharing; only then
        // is the identity worth a look.
        if (cabinet_.Is(widePath)) return RefuseUnsafe(shownName);
        throw;
    }
    const INT_PTR id = stream->Id();
    AddStream(std::move(stream));
    targetSlot_ = StreamCount();
    targetSize_ = static_cast<std::uint32_t>(note.cb);
    targetPath_ = createPath;
    targetShown_ = shownPath;
    targetMember_ = member;

    StartedBytes = static_cast<std::int32_t>(static_cast<std::uint32_t>(StartedBytes) + static_cast<std::uint32_t>(note.cb));
    ReportProgress();
    return id;
}

void TDecompr::ReportProgress() {
    if (ListedByteTotal == 0 || !ProgressHandler) return;
    // Tens of thousands of small files move the bar by the same percentage many
    // times over; the window hears of each new value once.
    const std::int32_t percent = ProgressPercent(StartedBytes, ListedByteTotal);
    if (percent == reportedPercent_) return;
    reportedPercent_ = percent;
    ProgressHandler(percent);
}

INT_PTR TDecompr::FinishTarget(const FDINOTIFICATION& note) {
    std::int32_t slot = 0;
    TNamedStream* stream = FindStream(note.hf, slot);
    if (!stream) return 0;
    if (slot == targetSlot_) {
        // Some versions of the library announce the end of a member even after its
        // data failed; a file shorter than its entry is not kept.
        LARGE_INTEGER size;
        if (!GetFileSizeEx(stream->Handle(), &size) || size.QuadPart != targetSize_) {
            DiscardTarget();
            return 0;
        }
    }
    // The cabinet keeps local time; an impossible date leaves the time of creation
    // rather than whatever a failed conversion would produce.
    FILETIME local, utc;
    if (ValidDosDateTime(note.date, note.time) && DosDateTimeToFileTime(note.date, note.time, &local) &&
        LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(stream->Handle(), nullptr, nullptr, &utc);
    ReleaseStream(slot);
    if (slot == targetSlot_) {
        if (!PlaceTarget()) return 0;
        account_.Written(targetMember_);
        targetSlot_ = 0;
        targetPath_.clear();
    }
    return 1;
}

void TDecompr::DiscardTarget() {
    if (targetPath_.empty()) return;
    if (targetSlot_ > 0 && StreamAt(targetSlot_)) ReleaseStream(targetSlot_);
    DeleteFileW(targetPath_.c_str());   // a replaced file is not touched: it stays
    discardedShown_ = targetShown_;
    targetSlot_ = 0;
    targetPath_.clear();
    targetFinal_.clear();
}

void TDecompr::RecordRunFailure(bool copied) {
    // A kept exception speaks for itself; the listing's errors are never shown.
    if (ListingPass || !LastErrorText.Empty() || CabExceptionPending()) return;
    // The library's code where it left one, the engine's own otherwise.
    const std::int32_t code = CabError.erfOper != 0 ? CabError.erfOper : -1;
    if (!discardedShown_.Empty()) {
        const ShortString reason = CabError.erfOper != 0 ? CabErrorName(CabError) : ShortString("FDIERROR_CORRUPT_CABINET");
        RecordCabFailure(code, reason + " while extracting \"" + discardedShown_ + "\"");
    } else if (!copied || !account_.AllWritten()) {
        // A failed copy, or a member the library passed over, must never look like
        // success to the caller, whatever the library's code says.
        const ShortString reason = CabError.erfOper != 0 ? CabErrorName(CabError) : ShortString("Extraction failed");
        const ShortString missing = FirstUnwrittenMember();
        RecordCabFailure(code, missing.Empty() ? reason : reason + ": \"" + missing + "\" was not extracted");
    }
}
