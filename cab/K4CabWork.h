// The cabinet engine: the state the window and the engine share, the error names,
// and TDecompr, one pass of the system cabinet library over one cabinet file.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "K4CabFormat.h"
#include "K4CabinetIdentity.h"
#include "k4cabstructs.h"
#include "K4MemberAccount.h"
#include "K4NamedStream.h"
#include "ShortString.h"

// A list of text lines that a listing pass appends to (the window's list box).
struct ListLines {
    virtual void AddLine(const ShortString& line) = 0;

protected:
    ~ListLines() = default;
};

using TProgressHandler = void (*)(std::int32_t percent);
class CabinetDecoding;

// Engine state; one engine per process, used from the GUI thread only.
extern bool ListingPass;
extern ListLines* TargetListBox;
extern TProgressHandler ProgressHandler;
extern class TDecompr* CurrentDecompr;
extern ShortString LastErrorText;
extern std::int32_t ListedByteTotal;
extern std::int32_t LastCabinetSize;
extern std::int32_t CabSetId;
extern ERF CabError;

// The code in CabError.erfOper when an extraction was refused before it wrote
// anything because its target folder takes no new file or lacks the room
// (LastErrorText says which); and when a file could not be written or put in place
// during the extraction.
inline constexpr std::int32_t TargetRefusedCode = -20;
inline constexpr std::int32_t TargetWriteFailedCode = -21;

// Empties LastErrorText and sets CabError.erfOper to 0 (erfType, fError untouched).
void ClearCabError();
// Records a failure of the engine: `code` in CabError.erfOper and `text` in
// LastErrorText. The first failure of a pass is the one shown: whatever follows it
// (a library stopping after a refusal hands back handles it never got) is its
// consequence, so a recorded failure is never replaced.
void RecordCabFailure(std::int32_t code, const ShortString& text);
// The text of err.erfOper: "" for 0, the FDIERROR_ name for 1..11, otherwise
// "UNKNOWN CAB ERROR " and the code.
ShortString CabErrorName(ERF err);

// The listing pass's work on a member: its line appended to TargetListBox and its
// size to ListedByteTotal; returns 0, so the library skips it.
INT_PTR ListMember(const FDINOTIFICATION& note);
// A member that goes on in a next cabinet: refused by name (returns -1). The archive
// carries exactly one cabinet, and the library would open a file named inside it.
INT_PTR RefuseNextCabinet(const FDINOTIFICATION& note);

// One pass over one cabinet: Open, Run, Close, then destroy. Failures are texts in
// LastErrorText; a file that cannot be opened or created raises K4FileError out of
// Open or Run, and memory exhaustion std::bad_alloc, after the library returned.
// Large (the stream table is inside the object): create it with std::make_unique.
class TDecompr {
public:
    static constexpr std::int32_t MaxStreams = 100000;

    TDecompr();
    // Releases what a pass that ended by a raised failure left behind: the library
    // context, streams still open, and CurrentDecompr if it refers to this object.
    ~TDecompr();
    TDecompr(const TDecompr&) = delete;
    TDecompr& operator=(const TDecompr&) = delete;

    void Open(const ShortString& cabinetPath, const ShortString& targetDir);
    void Run();
    void Close();

    // Registers an open stream in the next slot, which owns it from then on. A full
    // table frees the stream, records the failure in LastErrorText and returns false.
    bool AddStream(std::unique_ptr<TNamedStream> stream);
    // The newest open stream with the given handle and its slot; null (slot 0) when
    // there is none, and then LastErrorText = CabErrorName(CabError) unless an
    // earlier failure is already recorded there.
    TNamedStream* FindStream(INT_PTR handle, std::int32_t& slot);
    // Frees the stream in `slot` (closing its file) and nulls the slot.
    void ReleaseStream(std::int32_t slot);

    // The stream table: the highest slot used since it was last emptied, and the
    // stream in a slot (1..StreamCount(); null once closed).
    std::int32_t StreamCount() const { return streamCount_; }
    TNamedStream* StreamAt(std::int32_t slot) const { return slots_[slot - 1].get(); }
    // Whether one more stream fits; a full table records the failure in LastErrorText.
    bool HasRoomForStream();

    // The extraction pass's work on a member, for the notification callback: create
    // its target file (returns its handle, or -1 to stop the copy), and stamp and
    // close it at its end (1, or 0 for an unknown handle).
    INT_PTR CreateTarget(const FDINOTIFICATION& note);
    INT_PTR FinishTarget(const FDINOTIFICATION& note);
    // Whether the library may open `path` during this run: only the cabinet itself.
    bool MayOpen(const char* path) const;

    // Before an extraction pass creates anything: the whole cabinet checked against
    // its format (structure, every block's checksum, every compressed block decoded,
    // the members' names). A fault is recorded in LastErrorText and the result is
    // false; a cabinet that cannot be opened raises K4FileError.
    bool CheckCabinet();
    // After the cabinet's check, before anything is created: the target takes a new
    // file and its volume holds the members (those replacing files count what they
    // free). A refusal is recorded (TargetRefusedCode) and the result is false.
    bool CheckTarget();
    // A write into `stream` that fell short: records the member and the system's
    // reason (TargetWriteFailedCode). Called at once, while GetLastError holds it.
    void WriteFailed(const TNamedStream& stream);
    // The decoding of this pass's cabinet begun ahead (in the window's idle time),
    // which holds the cabinet open; set before Open. It stays the caller's; the
    // check finishes it. Without one the check decodes everything itself.
    void TakeUpDecoding(CabinetDecoding* decoding) { decoding_ = decoding; }

    HFDI FdiHandle = nullptr;
    FDICABINETINFO CabInfo = {};
    ShortString CabinetPath;
    ShortString TargetDir;
    std::int32_t StartedBytes = 0;
    std::int32_t CabinetSize = 0;
    // Set by Run once the cabinet passed its probe and check and the library began
    // copying: a failure before it is the cabinet's, one after it the extraction's.
    bool CopyBegun = false;

private:
    void EmptyTable();
    void ReleaseAllStreams();
    // Closes and deletes the member being written (its data never arrived whole)
    // and remembers its name for the error text.
    void DiscardTarget();
    // Where a member's file is created: under its own name, or, where a file of that
    // name is there, under an unused name beside it (targetFinal_ then names the old
    // file, which PlaceTarget replaces), so that a failed write never costs the old
    // file. An old file that cannot be written (locked, read-only) raises K4FileError.
    // Only members the target's check found replacing a file are looked up again:
    // under Wine every lookup of a missing name reads the whole folder.
    std::wstring PathToCreate(const std::wstring& widePath, const ShortString& shownPath, std::size_t member);
    // The member's whole file in place of the one it replaces; false (recorded) when
    // the system refuses, and then the new file is gone and the old one stays.
    bool PlaceTarget();
    void RecordRunFailure(bool copied);
    void ReportProgress();

    // The first checked member not written whole, as messages show names; empty
    // when every one was.
    ShortString FirstUnwrittenMember() const;

    // OpenStreams: the count and the 100000 slots (slot n at index n - 1); each slot
    // owns its stream, in the space of a plain pointer.
    std::int32_t streamCount_ = 0;
    std::unique_ptr<TNamedStream> slots_[MaxStreams];
    // The slots that hold a stream, ascending: FindStream scans these newest first,
    // so a lookup never passes over the closed slots of files already extracted.
    std::int32_t openCount_ = 0;
    std::int32_t openSlots_[MaxStreams];

    // Run state: the cabinet being read, guarded, the target folder as the wide
    // calls take it, the last percentage reported, and the member being written.
    CabinetIdentity cabinet_;
    std::wstring wideTargetDir_;
    std::int32_t reportedPercent_ = -1;
    std::int32_t targetSlot_ = 0;
    std::uint32_t targetSize_ = 0;
    std::wstring targetPath_;
    std::wstring targetFinal_;   // the name it replaces; empty: written under its own
    ShortString targetShown_;
    ShortString discardedShown_;
    // The folder part of the last member whose folders were made or found (empty for
    // the target itself), so that members of one folder check it once per run.
    std::wstring madeFolder_;

    // Lets go of the cabinet as checked: the pass is over, or the check failed.
    void ReleaseDecoding();

    // The cabinet as checked (held open by its decoding, so it cannot change before
    // the library reads it; the decoding is this object's own when none was taken
    // up), and the account of its members.
    CabinetDecoding* decoding_ = nullptr;
    std::unique_ptr<CabinetDecoding> ownDecoding_;
    MemberAccount account_;
    std::vector<unsigned char> replaces_;   // a file of the member's name was there at the check
    std::size_t targetMember_ = MemberAccount::NoMember;
    bool probeFailed_ = false;   // Open found no cabinet: its text stands
};
