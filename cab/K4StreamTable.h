// The engine's table of open streams (OpenStreams): the cabinet library names a file
// by the handle it was given, and the table finds the stream behind it.
#pragma once
#include <cstdint>
#include <memory>
#include "K4NamedStream.h"

class StreamTable {
public:
    static constexpr std::int32_t MaxStreams = 100000;

    StreamTable() = default;
    StreamTable(const StreamTable&) = delete;
    StreamTable& operator=(const StreamTable&) = delete;

    // Registers an open stream in the next slot, which owns it from then on. A full
    // table frees the stream, records the failure in LastErrorText and returns false.
    bool Add(std::unique_ptr<TNamedStream> stream);
    // The newest open stream with the given handle and its slot; null (slot 0) when
    // there is none, and then LastErrorText = CabErrorName(CabError) unless an
    // earlier failure is already recorded there.
    TNamedStream* Find(INT_PTR handle, std::int32_t& slot);
    // Frees the stream in `slot` (closing its file) and nulls the slot.
    void Release(std::int32_t slot);
    // Frees every stream still open; then the table starts again at slot 1.
    void ReleaseAll();
    void Empty();

    // The highest slot used since the table was last emptied, and the stream in a
    // slot (1..Count(); null once closed).
    std::int32_t Count() const { return count_; }
    TNamedStream* At(std::int32_t slot) const { return slots_[slot - 1].get(); }
    // Whether one more stream fits; a full table records the failure in LastErrorText.
    bool HasRoom();

private:
    // The count and the 100000 slots (slot n at index n - 1); each slot owns its
    // stream, in the space of a plain pointer.
    std::int32_t count_ = 0;
    std::unique_ptr<TNamedStream> slots_[MaxStreams];
    // The slots that hold a stream, ascending: Find scans these newest first, so a
    // lookup never passes over the closed slots of files already extracted.
    std::int32_t openCount_ = 0;
    std::int32_t openSlots_[MaxStreams];
};
