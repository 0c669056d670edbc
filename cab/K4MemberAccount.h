// The extraction's account of the checked cabinet's members: which of them the
// library handed over and were written whole. Success rests on it: the library may
// pass over a member it cannot place without failing the copy.
#pragma once
#include <cstddef>
#include <vector>
#include "K4CabFormat.h"

class MemberAccount {
public:
    static constexpr std::size_t NoMember = static_cast<std::size_t>(-1);

    // Starts over with these members (in the order of the file table), none written.
    void Reset(std::vector<cabfmt::Member> members);
    const std::vector<cabfmt::Member>& Members() const { return members_; }

    // The member stored under this name and not yet written; NoMember when none.
    std::size_t Index(const char* stored);
    // Counts a member as written whole (once, whatever the calls).
    void Written(std::size_t index);
    bool AllWritten() const { return writtenCount_ == members_.size(); }
    // The first member not written; null when all were.
    const cabfmt::Member* FirstUnwritten() const;

private:
    std::vector<cabfmt::Member> members_;
    // One flag a member, as bytes: std::vector<bool>'s bit handling adds about 1 KB
    // to the program.
    std::vector<unsigned char> written_;
    std::size_t next_ = 0, writtenCount_ = 0;
};
