// The callbacks handed to the system cabinet library: memory, the five file
// callbacks over the running decompressor's stream table (the library hands them no
// user pointer: they find it as CurrentDecompr), and the notification callback,
// which hands each member to the engine the library's user pointer names.
#include "K4CabCallbacks.h"
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include "K4CabMembers.h"
#include "K4CabSeams.h"
#include "K4CabWork.h"

CabHeapAllocFn cab_seams::heapAlloc = std::malloc;

namespace {
std::exception_ptr keptException;

// Called in a catch block: keeps the first exception of a run, since later ones are
// usually consequences of it.
void KeepCurrentException() noexcept {
    if (!keptException) keptException = std::current_exception();
}

TNamedStream* StreamOf(INT_PTR hf) {
    if (!CurrentDecompr) return nullptr;
    std::int32_t slot = 0;
    return CurrentDecompr->FindStream(hf, slot);
}

}  // namespace

void ForgetCabException() noexcept { keptException = nullptr; }
bool CabExceptionPending() noexcept { return static_cast<bool>(keptException); }

void RethrowCabException() {
    if (!keptException) return;
    std::exception_ptr e = keptException;
    keptException = nullptr;
    std::rethrow_exception(e);
}

void* DIAMONDAPI CabAlloc(ULONG cb) noexcept {
    if (static_cast<std::int32_t>(cb) <= 0) return nullptr;
    try {
        void* block = cab_seams::heapAlloc(cb);
        if (!block) throw std::bad_alloc();
        return block;
    } catch (...) {
        KeepCurrentException();
        return nullptr;
    }
}

void DIAMONDAPI CabFree(void* pv) noexcept { std::free(pv); }

INT_PTR DIAMONDAPI CabOpen(char* pszFile, int oflag, int) noexcept {
    try {
        if (!CurrentDecompr || CabExceptionPending()) return -1;
        if (!CurrentDecompr->MayOpen(pszFile)) {
            RecordCabFailure(-1, ShortString("Refused to open \"") + ShortString(pszFile) + "\"");
            return -1;
        }
        if (!CurrentDecompr->HasRoomForStream()) return -1;
        auto stream = std::make_unique<TNamedStream>(ShortString(pszFile), OpenFlagsToMode(oflag));
        const INT_PTR id = stream->Id();
        return CurrentDecompr->AddStream(std::move(stream)) ? id : -1;
    } catch (...) {
        KeepCurrentException();
        return -1;
    }
}

UINT DIAMONDAPI CabRead(INT_PTR hf, void* pv, UINT cb) noexcept {
    try {
        TNamedStream* stream = StreamOf(hf);
        return static_cast<UINT>(stream ? stream->Read(pv, cb) : -1);
    } catch (...) {
        KeepCurrentException();
        return static_cast<UINT>(-1);
    }
}

UINT DIAMONDAPI CabWrite(INT_PTR hf, void* pv, UINT cb) noexcept {
    try {
        TNamedStream* stream = StreamOf(hf);
        if (!stream) return static_cast<UINT>(-1);
        const std::int32_t done = stream->Write(pv, cb);
        // The library names a failed write as a damaged cabinet; the engine names the
        // member and the system's reason (a full disk, a lost drive).
        if (done != static_cast<std::int32_t>(cb)) TargetFile::WriteFailed(*stream);
        return static_cast<UINT>(done);
    } catch (...) {
        KeepCurrentException();
        return static_cast<UINT>(-1);
    }
}

int DIAMONDAPI CabClose(INT_PTR hf) noexcept {
    try {
        if (!CurrentDecompr) return 0;
        std::int32_t slot = 0;
        if (CurrentDecompr->FindStream(hf, slot)) CurrentDecompr->ReleaseStream(slot);
    } catch (...) {
        KeepCurrentException();
    }
    return 0;
}

LONG DIAMONDAPI CabSeek(INT_PTR hf, LONG dist, int seektype) noexcept {
    try {
        TNamedStream* stream = StreamOf(hf);
        return stream ? stream->Seek(dist, seektype) : -1;
    } catch (...) {
        KeepCurrentException();
        return -1;
    }
}

INT_PTR DIAMONDAPI CabNotify(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin) noexcept {
    try {
        // After a kept failure nothing more is done: -1 makes the library stop.
        if (CabExceptionPending() || !pfdin) return -1;
        // The engine that called FDICopy, as it handed itself over.
        TDecompr* engine = static_cast<TDecompr*>(pfdin->pv);
        switch (fdint) {
        case fdintCABINET_INFO: return 0;
        case fdintPARTIAL_FILE: return 1;
        case fdintCOPY_FILE:
            if (ListingPass) return ListMember(*pfdin);
            return engine ? engine->CreateTarget(*pfdin) : -1;
        case fdintCLOSE_FILE_INFO: return engine ? engine->FinishTarget(*pfdin) : 0;
        case fdintNEXT_CABINET: return RefuseNextCabinet(*pfdin);
        default: return 1;
        }
    } catch (...) {
        KeepCurrentException();
        return -1;
    }
}
