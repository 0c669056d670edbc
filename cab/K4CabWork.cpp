// The decompressor's pass over the cabinet library: probe, checks, the copy, and the
// engine's part in each member's extraction.
#include "K4CabWork.h"
#include <memory>
#include <string>
#include "K4CabCallbacks.h"
#include "K4CabCheck.h"
#include "K4CabinetFile.h"
#include "K4CabNames.h"
#include "K4Error.h"
#include "K4LongPath.h"
#include "K4MemberNames.h"
#include "K4TextEncoding.h"

namespace {
INT_PTR RefuseUnsafe(const ShortString& shownName) {
    RecordCabFailure(-1, ShortString("Unsafe file name \"") + shownName + "\"");
    return -1;
}
}  // namespace

TDecompr::TDecompr() = default;

TDecompr::~TDecompr() {
    streams_.ReleaseAll();
    Close();
}

void TDecompr::Open(const ShortString& cabinetPath, const ShortString& targetDir) {
    Open(cabinetPath, WideFromCodePage(targetDir.View(), CP_ACP));
}

void TDecompr::Open(const ShortString& cabinetPath, const std::wstring& targetDir) {
    streams_.Empty();
    probeFailed_ = false;
    CopyBegun = false;
    CabinetPath = cabinetPath;
    wideTargetDir_ = targetDir;
    TargetDir = ShortString(NarrowFromWide(targetDir, CP_ACP));
    CabSetId = 0;
    if (ListingPass) ListedByteTotal = 0;
    CabinetSize = 0;
    StartedBytes = 0;
    ForgetCabException();
    const FdiEntryPoints& fdi = Fdi();
    FdiHandle = fdi.FDICreate ? fdi.FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek,
                                              cpuUNKNOWN, &CabError)
                              : nullptr;
    if (!FdiHandle) {
        RecordCabFailure(-1, CabErrorName(ERF{-1, 0, FALSE}));
        RethrowCabException();
        return;
    }
    // From here until Close the file callbacks, which the library hands no user
    // pointer, find their streams through this object.
    CurrentDecompr = this;
    CabInfo = {};
    // The probe: the library reads the cabinet through CabRead/CabSeek with this
    // stream's handle, which finds it in the table. Not shared: the file must not
    // change while it is being judged; a decoding taken up already keeps writers
    // out, and holds the file open for reading.
    auto probe = std::make_unique<TNamedStream>(CabinetPath, decoding_ ? ModeReadShared : ModeReadNotShared);
    const INT_PTR probeId = probe->Id();
    streams_.Add(std::move(probe));
    const BOOL isCabinet = fdi.FDIIsCabinet(FdiHandle, probeId, &CabInfo);
    CabinetSize = CabInfo.cbCabinet;
    CabSetId = static_cast<std::int16_t>(CabInfo.setID);
    streams_.Empty();
    RethrowCabException();
    probeFailed_ = !isCabinet;
    if (!isCabinet) RecordCabFailure(-1, ShortString("Not a valid source \"") + CabinetPath + "\"");
}

void TDecompr::Run() {
    if (!FdiHandle) return;
    // Directory part: up to and including the last '\' or ':'; the library joins
    // the two again when it opens the cabinet.
    const std::string_view path = CabinetPath.View();
    const std::size_t cut = path.find_last_of("\\:");
    const std::size_t dirLength = cut == std::string_view::npos ? 0 : cut + 1;
    ShortString::CString dir = ShortString(path.substr(0, dirLength)).CStr();
    ShortString::CString name = ShortString(path.substr(dirLength)).CStr();

    ForgetCabException();
    cabinet_.Take(WideFromCodePage(CabinetPath.View(), CP_ACP));
    reportedPercent_ = -1;
    target_.Begin(wideTargetDir_, TargetDir);
    // Nothing is created from a cabinet that fails its probe or its check: the
    // library decodes damaged data without complaint, and may crash on it. Nor in a
    // target that would be found unwritable or full only part way.
    if (!ListingPass && (probeFailed_ || !CheckBeforeCopy())) {
        cabinet_.Forget();
        return;
    }
    CopyBegun = true;
    // The notification callback finds this object through the library's user pointer.
    const BOOL copied = Fdi().FDICopy(FdiHandle, name.text, dir.text, 0, CabNotify, nullptr, this);
    ReleaseDecoding();
    cabinet_.Forget();
    if (!copied) target_.Discard(streams_);   // the member the library gave up on, if any
    // The library writes its own code (a user abort) over the engine's when it stops.
    if (target_.PathRefused()) CabError.erfOper = TargetPathRefusedCode;
    // What the library left open after a failure is closed here, not leaked.
    streams_.ReleaseAll();
    RecordRunFailure(copied != FALSE);
    RethrowCabException();
    if (ListingPass) LastCabinetSize = CabinetSize;
}

void TDecompr::Close() {
    if (CurrentDecompr == this) CurrentDecompr = nullptr;
    if (!FdiHandle) return;
    Fdi().FDIDestroy(FdiHandle);
    FdiHandle = nullptr;
}

bool TDecompr::CheckBeforeCopy() {
    account_.Reset({});
    // Decoded ahead in the window's idle time, or here from the start.
    if (!decoding_) {
        ownDecoding_ = std::make_unique<CabinetDecoding>(CabinetPath.CStr().text);
        if (!ownDecoding_->Opened()) {
            ownDecoding_.reset();
            FailStream(ModeReadShared, CabinetPath);
        }
        decoding_ = ownDecoding_.get();
    }
    cabfmt::Result result = CheckCabinet(*decoding_);
    if (!result.Sound()) {
        ReleaseDecoding();
        RecordCabFailure(-1, ShortString(result.text));
        return false;
    }
    account_.Reset(std::move(result.members));
    if (target_.Check(account_.Members())) return true;
    ReleaseDecoding();
    return false;
}

void TDecompr::ReleaseDecoding() {
    ownDecoding_.reset();
    decoding_ = nullptr;
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
    // Shown paths are cut at 255 characters, as every message that shows one is; the
    // paths created are not.
    const ShortString shownPath = TargetDir + shownName;
    if (cabinet_.Names(widePath)) return RefuseUnsafe(shownName);
    if (!streams_.HasRoom()) return -1;

    // From the classic limit on, the long form.
    const std::wstring openPath = PathToOpen(wideTargetDir_, wideName);
    std::unique_ptr<TNamedStream> stream;
    try {
        stream = target_.Create(wideName, openPath, shownPath, account_.Index(raw));
    } catch (const K4FileError&) {
        // The library holds the cabinet open for the whole copy, so creating over it
        // under another name (a hard link, a short name) fails on sharing; only then
        // is the identity worth a look.
        if (cabinet_.Is(openPath)) return RefuseUnsafe(shownName);
        throw;
    }
    if (!stream) return -1;   // the system refused the path: recorded
    const INT_PTR id = stream->Id();
    streams_.Add(std::move(stream));
    target_.Opened(streams_.Count(), static_cast<std::uint32_t>(note.cb));

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
    TNamedStream* stream = streams_.Find(note.hf, slot);
    if (!stream) return 0;
    const bool member = target_.Holds(slot);
    const std::size_t index = target_.Member();
    if (!target_.Finish(streams_, slot, *stream, note.date, note.time)) return 0;
    if (member) account_.Written(index);
    return 1;
}

void TDecompr::RecordRunFailure(bool copied) {
    // A kept exception speaks for itself; the listing's errors are never shown.
    if (ListingPass || !LastErrorText.Empty() || CabExceptionPending()) return;
    // The library's code where it left one, the engine's own otherwise.
    const std::int32_t code = CabError.erfOper != 0 ? CabError.erfOper : -1;
    const ShortString& discarded = target_.Discarded();
    if (!discarded.Empty()) {
        const ShortString reason = CabError.erfOper != 0 ? CabErrorName(CabError) : ShortString("FDIERROR_CORRUPT_CABINET");
        RecordCabFailure(code, reason + " while extracting \"" + discarded + "\"");
    } else if (!copied || !account_.AllWritten()) {
        // A failed copy, or a member the library passed over, must never look like
        // success to the caller, whatever the library's code says.
        const ShortString reason = CabError.erfOper != 0 ? CabErrorName(CabError) : ShortString("Extraction failed");
        const cabfmt::Member* m = account_.FirstUnwritten();
        const ShortString missing = m ? ShownMemberName(*m) : ShortString();
        RecordCabFailure(code, missing.Empty() ? reason : reason + ": \"" + missing + "\" was not extracted");
    }
}
