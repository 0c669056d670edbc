// Replaces the global operator new and delete so that every block carries its size
// in a header, and counts live blocks and bytes. Aligned forms are left to the
// runtime: they neither come here nor free blocks from here.
#include "K4MemoryCount.h"
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {
// The header keeps the block's size and the alignment that operator new promises.
constexpr std::size_t kHeader = alignof(std::max_align_t) > sizeof(std::size_t) ? alignof(std::max_align_t)
                                                                                  : sizeof(std::size_t);
// Counters of the pointer's width: live blocks and bytes cannot exceed the address
// space, and on 32-bit x86 a 64-bit atomic is a lock cmpxchg8b loop on every new and
// delete where this is one lock xadd (and such loops have twice ended in a spurious
// single-step trap under the emulated 32-bit test machine).
constinit std::atomic<std::size_t> g_blocks{0};
constinit std::atomic<std::size_t> g_bytes{0};

void* Allocate(std::size_t size) noexcept {
    if (size > static_cast<std::size_t>(-1) - kHeader) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block) return nullptr;
    *reinterpret_cast<std::size_t*>(block) = size;
    g_blocks.fetch_add(1, std::memory_order_relaxed);
    g_bytes.fetch_add(size, std::memory_order_relaxed);
    return block + kHeader;
}

void* AllocateOrThrow(std::size_t size) {
    for (;;) {
        if (void* p = Allocate(size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

// The non-throwing forms try the new handler too, as the ordinary forms do.
void* AllocateOrNull(std::size_t size) noexcept {
    try {
        return AllocateOrThrow(size);
    } catch (...) {
        return nullptr;
    }
}

void Release(void* p) noexcept {
    if (!p) return;
    unsigned char* block = static_cast<unsigned char*>(p) - kHeader;
    std::size_t size = *reinterpret_cast<std::size_t*>(block);
    g_blocks.fetch_sub(1, std::memory_order_relaxed);
    g_bytes.fetch_sub(size, std::memory_order_relaxed);
    std::free(block);
}
}  // namespace

std::int64_t AllocatedBlockCount() { return static_cast<std::int64_t>(g_blocks.load(std::memory_order_relaxed)); }
std::int64_t AllocatedByteCount() { return static_cast<std::int64_t>(g_bytes.load(std::memory_order_relaxed)); }

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
