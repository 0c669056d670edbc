// The file an extraction writes for one member, through its whole life: the target's
// check before the first file, the member's folders and file created (beside a file
// it replaces), a failed write reported, the file stamped, put in place whole, or
// removed when its data never arrived whole.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "K4CabFormat.h"
#include "K4NamedStream.h"
#include "K4StreamTable.h"
#include "ShortString.h"

class TargetFile {
public:
    static constexpr std::size_t NoMember = static_cast<std::size_t>(-1);

    // A new run into `target` (ending in its separator, or empty for the current
    // directory; any length), `shown` as messages show it: nothing created yet.
    void Begin(const std::wstring& target, const ShortString& shown);

    // After the cabinet's check, before anything is created: the target takes a new
    // file and its volume holds `members` (those replacing files count what they
    // free). A refusal is recorded (TargetRefusedCode) and the result is false.
    bool Check(const std::vector<cabfmt::Member>& members);

    // Creates the file of member number `member` (NoMember: not a checked one) under
    // `name` below the target (`path`: the two joined, in the form to open), its
    // folders first; `shownPath` names it in messages. Null when the system refused the
    // path (recorded, TargetPathRefusedCode); a file that cannot be created otherwise
    // raises K4FileError.
    std::unique_ptr<TNamedStream> Create(std::wstring_view name, const std::wstring& path, const ShortString& shownPath,
                                         std::size_t member);
    // The created file now lives in `slot` of the table and is to hold `size` bytes.
    void Opened(std::int32_t slot, std::uint32_t size);

    // At the member's end (`slot`, `stream` found by the library's handle): a file
    // written whole gets the cabinet's time, is closed and put in place (true: the
    // member counts as written); any other is removed (false).
    bool Finish(StreamTable& streams, std::int32_t slot, TNamedStream& stream, unsigned date, unsigned time);
    // Closes and deletes the file being written (its data never arrived whole) and
    // remembers its name for the error text.
    void Discard(StreamTable& streams);
    // A write into `stream` that fell short: records the member and the system's
    // reason (TargetWriteFailedCode). Called at once, while GetLastError holds it.
    static void WriteFailed(const TNamedStream& stream);

    // Whether `slot` holds the member being written, and that member.
    bool Holds(std::int32_t slot) const { return slot_ > 0 && slot == slot_; }
    std::size_t Member() const { return member_; }
    // Whether the system refused a member's path in this run (TargetPathRefusedCode).
    bool PathRefused() const { return pathRefused_; }
    // The last file discarded, as messages show it; empty when none was.
    const ShortString& Discarded() const { return discardedShown_; }

private:
    // Where the member's file is created: under its own name, or, where a file of that
    // name is there, under an unused name beside it (final_ then names the old file,
    // which Place replaces), so that a failed write never costs the old file. An old
    // file that cannot be written (locked, read-only) raises K4FileError. Only members
    // the check found replacing a file are looked up again: under Wine every lookup of
    // a missing name reads the whole folder.
    std::wstring PathToCreate(const std::wstring& path, const ShortString& shownPath, std::size_t member);
    // The member's whole file in place of the one it replaces; false (recorded) when
    // the system refuses, and then the new file is gone and the old one stays.
    bool Place(StreamTable& streams);
    bool MakeFolders(std::wstring_view name, const ShortString& shownPath);

    std::wstring target_;
    ShortString targetShown_;
    std::vector<unsigned char> replaces_;   // a file of the member's name was there at the check
    // The folder part of the last member whose folders were made or found (empty for
    // the target itself), so that members of one folder check it once per run.
    std::wstring madeFolder_;
    // The member being written: its slot, size, file, the name it replaces (empty:
    // written under its own name), its name in messages, its number.
    std::int32_t slot_ = 0;
    std::uint32_t size_ = 0;
    std::wstring path_;
    std::wstring final_;
    ShortString shown_;
    std::size_t member_ = NoMember;
    ShortString discardedShown_;
    bool pathRefused_ = false;
};
