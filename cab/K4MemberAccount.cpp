// The account of which checked members were written whole.
#include "K4MemberAccount.h"
#include <algorithm>

void MemberAccount::Reset(std::vector<cabfmt::Member> members) {
    members_ = std::move(members);
    written_ = std::vector<unsigned char>(members_.size());   // all 0: none written yet
    next_ = writtenCount_ = 0;
}

std::size_t MemberAccount::Index(const char* stored) {
    // The library hands members over in the order of the file table; any other
    // order is looked up.
    if (next_ < members_.size() && members_[next_].name == stored) return next_++;
    for (std::size_t i = 0; i < members_.size(); ++i)
        if (!written_[i] && members_[i].name == stored) return i;
    return NoMember;
}

void MemberAccount::Written(std::size_t index) {
    if (index >= written_.size() || written_[index]) return;
    written_[index] = 1;
    ++writtenCount_;
}

const cabfmt::Member* MemberAccount::FirstUnwritten() const {
    const auto missing = std::find(written_.begin(), written_.end(), 0);
    return missing == written_.end() ? nullptr : &members_[static_cast<std::size_t>(missing - written_.begin())];
}
