// Engine state, error names and the decompressor's pass over the cabinet library.
#include "K4CabWork.h"
#include <cstring>
#include <string>
#include <memory>
#include "K4CabCallbacks.h"
#include "K4CabinetFile.h"
#include "K4Paths.h"
#include "K4TextEncoding.h"
#include "K4Utils.h"

bool ListingPass = false;
ListLines* TargetListBox = nullptr;
TProgressHandler ProgressHandler = nullptr;
TDecompr* CurrentDecompr = nullptr;
ShortString LastErrorText;
std::int32_t ListedByteTotal = 0;
std::int32_t LastCabinetSize = 0;
std::int32_t CabSetId = 0;
ERF CabError = {};

void ClearCabError() {
    LastErrorText = ShortString();
    CabError.erfOper = 0;
}

void RecordCabFailure(std::int32_t code, const ShortString& text) {
    if (!LastErrorText.Empty()) return;
    CabError.erfOper = code;
    LastErrorText = text;
}

ShortString CabErrorName(ERF err) {
    static constexpr const char* names[] = {
        "",
        "FDIERROR_CABINET_NOT_FOUND",
        "FDIERROR_NOT_A_CABINET",
        "FDIERROR_UNKNOWN_CABINET_VERSION",
        "FDIERROR_CORRUPT_CABINET",
        "FDIERROR_ALLOC_FAIL",
        "FDIERROR_BAD_COMPR_TYPE",
        "FDIERROR_MDI_FAIL",
        "FDIERROR_TARGET_FILE",
        "FDIERROR_RESERVE_MISMATCH",
        "FDIERROR_WRONG_CABINET",
        "FDIERROR_USER_ABORT",
    };
    if (err.erfOper >= 0 && err.erfOper <= 11) return ShortString(names[err.erfOper]);
    return ShortString("UNKNOWN CAB ERROR ") + IntegerText(err.erfOper);
}

TDecompr::TDecompr() = default;

TDecompr::~TDecompr() {
    ReleaseAllStreams();
    Close();
}

void TDecompr::Open(const ShortString& cabinetPath, const ShortString& targetDir) {
    EmptyTable();
    probeFailed_ = false;
    CopyBegun = false;
    CabinetPath = cabinetPath;
    TargetDir = targetDir;
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
    // From here until Close the callbacks find their streams through this object.
    CurrentDecompr = this;
    CabInfo = {};
    // The probe: the library reads the cabinet through CabRead/CabSeek with this
    // stream's handle, which finds it in the table. Not shared: the file must not
    // change while it is being judged; a decoding taken up already keeps writers
    // out, and holds the file open for reading.
    auto probe = std::make_unique<TNamedStream>(CabinetPath, decoding_ ? ModeReadShared : ModeReadNotShared);
    const INT_PTR probeId = probe->Id();
    AddStream(std::move(probe));
    const BOOL isCabinet = fdi.FDIIsCabinet(FdiHandle, probeId, &CabInfo);
    CabinetSize = CabInfo.cbCabinet;
    CabSetId = static_cast<std::int16_t>(CabInfo.setID);
    EmptyTable();
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
    const std::wstring cabinet = WideFromCodePage(CabinetPath.View(), CP_ACP);
    cabinet_.Take(cabinet);
    wideTargetDir_ = WideFromCodePage(TargetDir.View(), CP_ACP);
    reportedPercent_ = -1;
    targetPath_.clear();
    targetFinal_.clear();
    madeFolder_.clear();
    discardedShown_ = ShortString();
    // Nothing is created from a cabinet that fails its probe or its check: the
    // library decodes damaged data without complaint, and may crash on it. Nor in a
    // target that would be found unwritable or full only part way.
    if (!ListingPass && (probeFailed_ || !CheckCabinet() || !CheckTarget())) {
        cabinet_.Forget();
        return;
    }
    CopyBegun = true;
    const BOOL copied = Fdi().FDICopy(FdiHandle, name.text, dir.text, 0, CabNotify, nullptr, this);
    ReleaseDecoding();
    cabinet_.Forget();
    if (!copied) DiscardTarget();   // the member the library gave up on, if any
    // What the library left open after a failure is closed here, not leaked.
    ReleaseAllStreams();
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

bool TDecompr::HasRoomForStream() {
    if (streamCount_ < MaxStreams) return true;
    RecordCabFailure(-1, "Too many files: a cabinet may open at most 100000 streams in one pass");
    return false;
}

bool TDecompr::AddStream(std::unique_ptr<TNamedStream> stream) {
    if (!stream || !HasRoomForStream()) return false;
    slots_[streamCount_] = std::move(stream);
    ++streamCount_;
    openSlots_[openCount_++] = streamCount_;
    return true;
}

TNamedStream* TDecompr::FindStream(INT_PTR handle, std::int32_t& slot) {
    // Open slots ascend, so this is the newest-first scan of the table without the
    // closed slots in between.
    for (std::int32_t i = openCount_ - 1; i >= 0; --i) {
        TNamedStream* stream = slots_[openSlots_[i] - 1].get();
        if (stream->Id() == handle) {
            slot = openSlots_[i];
            return stream;
        }
    }
    slot = 0;
    RecordCabFailure(CabError.erfOper, CabErrorName(CabError));
    return nullptr;
}

void TDecompr::ReleaseStream(std::int32_t slot) {
    if (slot < 1 || slot > streamCount_ || !slots_[slot - 1]) return;
    slots_[slot - 1].reset();
    // The newest streams close first, so the search from the end is short.
    for (std::int32_t i = openCount_ - 1; i >= 0; --i) {
        if (openSlots_[i] != slot) continue;
        std::memmove(openSlots_ + i, openSlots_ + i + 1, sizeof(std::int32_t) * static_cast<std::size_t>(openCount_ - i - 1));
        --openCount_;
        break;
    }
}

void TDecompr::ReleaseAllStreams() {
    while (openCount_ > 0) ReleaseStream(openSlots_[openCount_ - 1]);
}

void TDecompr::EmptyTable() {
    ReleaseAllStreams();
    streamCount_ = 0;
}
