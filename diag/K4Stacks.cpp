// Bounded stacks of byte entries, the pending error and the allocation count.
#include "K4Stacks.h"
#include <cstring>
#include <memory>

std::int32_t AllocatedBytes = 0;
bool PendingErrorSet = false;
ShortString PendingErrorText;

namespace {
constexpr const char* OverflowText = "K4 Hard stack over";
constexpr const char* UnderflowText = "K4 Hard Stack under zero";
}  // namespace

void SetPendingError(const ShortString& text) {
    if (PendingErrorSet) return;
    PendingErrorSet = true;
    PendingErrorText = text;
}

void StackClass::InitSlots(std::int32_t capacity) {
    if (capacity < 0) capacity = 0;  // a negative count cannot size a table
    Full = false;
    Empty = true;
    Capacity = capacity;
    Count = 0;
    SlotBytes = capacity * static_cast<std::int32_t>(sizeof(unsigned char*));
    // Cleared although nothing reads a slot at or above Count: a stray EntryAt
    // then meets a null rather than garbage.
    Slots = new unsigned char*[static_cast<std::size_t>(capacity)]();
}

void StackClass::FreeSlots() {
    delete[] Slots;
    Slots = nullptr;
    SlotBytes = 0;
    Full = false;
    Empty = true;
    Capacity = 0;
    Count = 0;
}

StackClass::~StackClass() { delete[] Slots; }

HardStack::~HardStack() {
    // Entries still held when the owner forgot Done are released, not lost.
    if (Slots) Done();
}

void HardStack::Init(std::int32_t capacity, std::int32_t elementSize) {
    InitSlots(capacity);
    ElementSize = elementSize < 0 ? 0 : elementSize;
}

void HardStack::Push(const void* source) {
    // Count >= Capacity also covers a stack set up with no slot at all, which
    // never becomes Full and has no slot for a first entry.
    if (Full || Count >= Capacity) {
        SetPendingError(OverflowText);
        return;
    }
    auto* block = new unsigned char[static_cast<std::size_t>(ElementSize)];
    Slots[Count] = block;
    AllocatedBytes += ElementSize;
    std::memcpy(block, source, static_cast<std::size_t>(ElementSize));
    ++Count;
    Full = Count >= Capacity;
    Empty = false;
}

void HardStack::Pop(void* destination, bool copyOut) {
    if (Empty || Count <= 0) {
        SetPendingError(UnderflowText);
        return;
    }
    --Count;
    if (copyOut) std::memcpy(destination, Slots[Count], static_cast<std::size_t>(ElementSize));
    delete[] Slots[Count];
    AllocatedBytes -= ElementSize;
    Slots[Count] = nullptr;
    Empty = Count == 0;
    Full = false;
}

void HardStack::ReadEntry(std::int32_t index, void* destination) const {
    if (index < 0 || index >= Count) return;
    std::memcpy(destination, Slots[index], static_cast<std::size_t>(ElementSize));
}

void HardStack::CopyFrom(const HardStack& other) {
    if (&other == this) return;
    // Whatever this stack still held is released first, so a copy onto a used
    // stack cannot lose its entries.
    if (Slots) Done();
    Init(other.Capacity, other.ElementSize);
    if (other.Count <= 0) return;
    auto scratch = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(ElementSize));
    for (std::int32_t i = 0; i < other.Count; ++i) {
        other.ReadEntry(i, scratch.get());
        Push(scratch.get());
    }
}

void HardStack::Clear() {
    while (!Empty && Count > 0) Pop(nullptr, false);
}

void HardStack::Done() {
    Clear();
    FreeSlots();
    ElementSize = 0;
}
