// The cabinet engine: TDecompr, one pass of the system cabinet library over one
// cabinet file (the engine's shared state and error names in K4CabState.h).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include "K4CabinetIdentity.h"
#include "K4CabState.h"
#include "k4cabstructs.h"
#include "K4MemberAccount.h"
#include "K4NamedStream.h"
#include "K4StreamTable.h"
#include "K4TargetFile.h"
#include "ShortString.h"

class CabinetDecoding;

// One pass over one cabinet: Open, Run, Close, then destroy. Failures are texts in
// LastErrorText; a file that cannot be opened or created raises K4FileError out of
// Open or Run, and memory exhaustion std::bad_alloc, after the library returned.
// Large (the stream table is inside the object): create it with std::make_unique.
class TDecompr {
public:
    static constexpr std::int32_t MaxStreams = StreamTable::MaxStreams;

    TDecompr();
    // Releases what a pass that ended by a raised failure left behind: the library
    // context, streams still open, and CurrentDecompr if it refers to this object.
    ~TDecompr();
    TDecompr(const TDecompr&) = delete;
    TDecompr& operator=(const TDecompr&) = delete;

    // `targetDir` ends in its separator (or is empty for the current directory); the
    // wide one may be of any length and hold any character, the single-byte one is
    // read in the system code page.
    void Open(const ShortString& cabinetPath, const std::wstring& targetDir);
    void Open(const ShortString& cabinetPath, const ShortString& targetDir);
    void Run();
    void Close();

    // The stream table (StreamTable): registering, finding and freeing open streams.
    bool AddStream(std::unique_ptr<TNamedStream> stream) { return streams_.Add(std::move(stream)); }
    TNamedStream* FindStream(INT_PTR handle, std::int32_t& slot) { return streams_.Find(handle, slot); }
    void ReleaseStream(std::int32_t slot) { streams_.Release(slot); }
    std::int32_t StreamCount() const { return streams_.Count(); }
    TNamedStream* StreamAt(std::int32_t slot) const { return streams_.At(slot); }
    bool HasRoomForStream() { return streams_.HasRoom(); }

    // The extraction pass's work on a member, for the notification callback: create
    // its target file (returns its handle, or -1 to stop the copy), and stamp and
    // close it at its end (1, or 0 for an unknown handle).
    INT_PTR CreateTarget(const FDINOTIFICATION& note);
    INT_PTR FinishTarget(const FDINOTIFICATION& note);
    // Whether the library may open `path` during this run: only the cabinet itself.
    bool MayOpen(const char* path) const;
    // The decoding of this pass's cabinet begun ahead (in the window's idle time),
    // which holds the cabinet open; set before Open. It stays the caller's; the
    // check finishes it. Without one the check decodes everything itself.
    void TakeUpDecoding(CabinetDecoding* decoding) { decoding_ = decoding; }

    HFDI FdiHandle = nullptr;
    FDICABINETINFO CabInfo = {};
    ShortString CabinetPath;
    ShortString TargetDir;   // as messages show it (system code page, cut at 255)
    std::int32_t StartedBytes = 0;
    std::int32_t CabinetSize = 0;
    // Set by Run once the cabinet passed its probe and check and the library began
    // copying: a failure before it is the cabinet's, one after it the extraction's.
    bool CopyBegun = false;

private:
    // Before an extraction creates anything: the cabinet's check (recorded when it
    // fails), then the target's.
    bool CheckBeforeCopy();
    void RecordRunFailure(bool copied);
    void ReportProgress();
    // Lets go of the cabinet as checked: the pass is over, or a check failed.
    void ReleaseDecoding();

    StreamTable streams_;
    // Run state: the cabinet being read, guarded, the target folder as the wide
    // calls take it, the last percentage reported, and the file being written.
    CabinetIdentity cabinet_;
    std::wstring wideTargetDir_;
    std::int32_t reportedPercent_ = -1;
    TargetFile target_;

    // The cabinet as checked (held open by its decoding, so it cannot change before
    // the library reads it; the decoding is this object's own when none was taken
    // up), and the account of its members.
    CabinetDecoding* decoding_ = nullptr;
    std::unique_ptr<CabinetDecoding> ownDecoding_;
    MemberAccount account_;
    bool probeFailed_ = false;   // Open found no cabinet: its text stands
};
