// Engine state, error names and the decompressor's pass over the cabinet library.
#include "K4CabWork.h"
#include <cstring>
#include <string>
#include <memory>
#include "K4CabCallbacks.h"
#include "K4CabNames.h"
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
    if (CurrentDecompr == this) CurrentDecompr = nullptr;
}

void TDecompr::Open(const ShortString& cabinetPath, const ShortString& targetDir) {
    EmptyTable();
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
        CabError.erfOper = -1;
        LastErrorText = CabErrorName(CabError);
        RethrowCabException();
        return;
    }
    CurrentDecompr = this;
    CabInfo = {};
    // The probe: the library reads the cabinet through CabRead/CabSeek with this
    // stream's handle, which finds it in the table. Not shared: the file must not
    // change while it is being judged.
    auto probe = std::make_unique<TNamedStream>(CabinetPath, ModeReadNotShared);
    const INT_PTR probeId = probe->Id();
    AddStream(probe.release());
    const BOOL isCabinet = fdi.FDIIsCabinet(FdiHandle, probeId, &CabInfo);
    CabinetSize = CabInfo.cbCabinet;
    CabSetId = static_cast<std::int16_t>(CabInfo.setID);
    EmptyTable();
    RethrowCabException();
    if (!isCabinet) {
        CabError.erfOper = -1;
        LastErrorText = ShortString("Not a valid source \"") + CabinetPath + "\"";
    }
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
    cabinetFullPath_ = FullPathOf(cabinet);
    cabinetIdentity_ = IdentityOf(cabinet.c_str());
    wideTargetDir_ = WideFromCodePage(TargetDir.View(), CP_ACP);
    reportedPercent_ = -1;
    targetPath_.clear();
    madeFolder_.clear();
    discardedShown_ = ShortString();
    const BOOL copied = Fdi().FDICopy(FdiHandle, name.text, dir.text, 0, CabNotify, nullptr, this);
    cabinetFullPath_.clear();
    if (!copied) DiscardTarget();   // the member the library gave up on, if any
    // What the library left open after a failure is closed here, not leaked.
    ReleaseAllStreams();
    RecordRunFailure(copied != FALSE);
    RethrowCabException();
    if (ListingPass) LastCabinetSize = CabinetSize;
}

void TDecompr::Close() {
    if (!FdiHandle) return;
    Fdi().FDIDestroy(FdiHandle);
    FdiHandle = nullptr;
}

bool TDecompr::HasRoomForStream() {
    if (streamCount_ < MaxStreams) return true;
    CabError.erfOper = -1;
    LastErrorText = "Too many files: a cabinet may open at most 100000 streams in one pass";
    return false;
}

bool TDecompr::AddStream(TNamedStream* stream) {
    if (!stream) return false;
    if (!HasRoomForStream()) {
        delete stream;
        return false;
    }
    slots_[streamCount_] = stream;
    ++streamCount_;
    openSlots_[openCount_++] = streamCount_;
    return true;
}

TNamedStream* TDecompr::FindStream(INT_PTR handle, std::int32_t& slot) {
    // Open slots ascend, so this is the newest-first scan of the table without the
    // closed slots in between.
    for (std::int32_t i = openCount_ - 1; i >= 0; --i) {
        TNamedStream* stream = slots_[openSlots_[i] - 1];
        if (stream->Id() == handle) {
            slot = openSlots_[i];
            return stream;
        }
    }
    slot = 0;
    // The first failure of a run is the one worth showing: when the library stops
    // after an error it may still hand back handles of files it never got (a next
    // cabinet refused), and their names must not replace the reason it stopped.
    if (LastErrorText.Empty()) LastErrorText = CabErrorName(CabError);
    return nullptr;
}

void TDecompr::ReleaseStream(std::int32_t slot) {
    if (slot < 1 || slot > streamCount_ || !slots_[slot - 1]) return;
    delete slots_[slot - 1];
    slots_[slot - 1] = nullptr;
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
