// The table of open streams, found by the handles the cabinet library holds.
#include "K4StreamTable.h"
#include <cstring>
#include "K4CabState.h"

bool StreamTable::HasRoom() {
    if (count_ < MaxStreams) return true;
    RecordCabFailure(-1, "Too many files: a cabinet may open at most 100000 streams in one pass");
    return false;
}

bool StreamTable::Add(std::unique_ptr<TNamedStream> stream) {
    if (!stream || !HasRoom()) return false;
    slots_[count_] = std::move(stream);
    ++count_;
    openSlots_[openCount_++] = count_;
    return true;
}

TNamedStream* StreamTable::Find(INT_PTR handle, std::int32_t& slot) {
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

void StreamTable::Release(std::int32_t slot) {
    if (slot < 1 || slot > count_ || !slots_[slot - 1]) return;
    slots_[slot - 1].reset();
    // The newest streams close first, so the search from the end is short.
    for (std::int32_t i = openCount_ - 1; i >= 0; --i) {
        if (openSlots_[i] != slot) continue;
        std::memmove(openSlots_ + i, openSlots_ + i + 1, sizeof(std::int32_t) * static_cast<std::size_t>(openCount_ - i - 1));
        --openCount_;
        break;
    }
}

void StreamTable::ReleaseAll() {
    while (openCount_ > 0) Release(openSlots_[openCount_ - 1]);
}

void StreamTable::Empty() {
    ReleaseAll();
    count_ = 0;
}
