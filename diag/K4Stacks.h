// Bounded last-in, first-out stacks of fixed-size byte entries that never raise:
// overflow and underflow become the program's single pending error instead.
#pragma once
#include <cstdint>
#include "ShortString.h"

// Bytes currently held in stack entries over all stacks (plus short-lived buffers
// that other modules count here while they exist).
extern std::int32_t AllocatedBytes;

// The pending error: the first text recorded wins until the error report clears it.
extern bool PendingErrorSet;
extern ShortString PendingErrorText;
void SetPendingError(const ShortString& text);

// The slot table shared by every stack kind. Slot 0 holds the oldest entry, slot
// Count-1 the newest. The table is released by FreeSlots, never by the destructor
// of this base: entries have to go first, and only HardStack knows their size.
class StackClass {
public:
    std::int32_t Count = 0;
    std::int32_t Capacity = 0;
    std::int32_t SlotBytes = 0;
    unsigned char** Slots = nullptr;
    bool Full = false;
    bool Empty = false;

    StackClass() = default;
    StackClass(const StackClass&) = delete;
    StackClass& operator=(const StackClass&) = delete;

    void InitSlots(std::int32_t capacity);
    void FreeSlots();

protected:
    ~StackClass();
};

// A stack whose entries are separately allocated byte copies of ElementSize bytes.
// Calling order: Init (or CopyFrom), any operations, Done. A stack destroyed without
// Done still releases what it holds rather than losing it.
class HardStack : public StackClass {
public:
    std::int32_t ElementSize = 0;

    HardStack() = default;
    ~HardStack();

    void Init(std::int32_t capacity, std::int32_t elementSize);
    void Push(const void* source);
    void Pop(void* destination, bool copyOut);
    // No range check: the caller keeps 0 <= index < Count.
    void* EntryAt(std::int32_t index) const { return Slots[index]; }
    void ReadEntry(std::int32_t index, void* destination) const;
    void CopyFrom(const HardStack& other);
    void Clear();
    void Done();
};
