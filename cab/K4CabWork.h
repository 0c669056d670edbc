// The cabinet engine: the state the window and the engine share, the error names,
// and TDecompr, one pass of the system cabinet library over one cabinet file.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "K4CabFormat.h"
#include "k4cabstructs.h"
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

private:
    struct FileIdentity {
        DWORD volume = 0, indexHigh = 0, indexLow = 0;
        bool known = false;
        bool operator==(const FileIdentity& o) const;
    };
    static FileIdentity IdentityOf(const wchar_t* path);

    void EmptyTable();
    void ReleaseAllStreams();
    // Whether a target path is the cabinet being read: by its full name, and by
    // file identity for other names of the same file.
    bool NamesTheCabinet(const std::wstring& targetPath) const;
    bool IsTheCabinet(const std::wstring& targetPath) const;
    // Closes and deletes the member being written (its data never arrived whole)
    // and remembers its name for the error text.
    void DiscardTarget();
    void RecordRunFailure(bool copied);
    void ReportProgress();

    // The checked members and which of them were written whole.
    static constexpr std::size_t NoMember = static_cast<std::size_t>(-1);
    std::size_t MemberIndex(const char* stored);
    void MemberWritten(std::size_t index);
    bool AllMembersWritten() const;
    ShortString FirstUnwrittenMember() const;

    // OpenStreams: the count and the 100000 slots (slot n at index n - 1); each slot
    // owns its stream, in the space of a plain pointer.
    std::int32_t streamCount_ = 0;
    std::unique_ptr<TNamedStream> slots_[MaxStreams];
    // The slots that hold a stream, ascending: FindStream scans these newest first,
    // so a lookup never passes over the closed slots of files already extracted.
    std::int32_t openCount_ = 0;
    std::int32_t openSlots_[MaxStreams];

    // Run state: the cabinet as the library opens it, the target folder as the wide
    // calls take it, the last percentage reported, and the member being written.
    std::wstring cabinetFullPath_;
    std::wstring wideTargetDir_;
    std::int32_t reportedPercent_ = -1;
    FileIdentity cabinetIdentity_;
    std::int32_t targetSlot_ = 0;
    std::uint32_t targetSize_ = 0;
    std::wstring targetPath_;
    ShortString targetShown_;
    ShortString discardedShown_;
    // The folder part of the last member whose folders were made or found (empty for
    // the target itself), so that members of one folder check it once per run.
    std::wstring madeFolder_;

    // Lets go of the cabinet as checked: the pass is over, or the check failed.
    void ReleaseDecoding();

    // The extraction's account: the cabinet as checked (held open by its decoding, so
    // it cannot change before the library reads it; the decoding is this object's own
    // when none was taken up), its members in table order, and which of them were
    // written whole (one flag a member, as bytes: std::vector<bool>'s bit handling
    // adds about 1 KB to the program).
    CabinetDecoding* decoding_ = nullptr;
    std::unique_ptr<CabinetDecoding> ownDecoding_;
    std::vector<cabfmt::Member> expected_;
    std::vector<unsigned char> written_;
    std::size_t nextMember_ = 0, writtenCount_ = 0;
    std::size_t targetMember_ = NoMember;
    bool probeFailed_ = false;   // Open found no cabinet: its text stands
};
