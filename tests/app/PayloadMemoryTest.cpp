// Memory use of the payload reader: the cabinet copy needs the same memory for any
// payload size, and no untrusted length is ever used to size an allocation. Its
// own program, because it counts every allocation through a replaced operator new.
#include <gtest/gtest.h>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>
#include "PayloadFixture.h"

namespace {
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};
std::atomic<std::size_t> g_largest{0};

// Each block carries its size in front, so delete can take it off the live count.
constexpr std::size_t Header = 16;

void* Allocate(std::size_t n) {
    void* p = std::malloc(n + Header);
    if (!p) throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = n;
    std::size_t live = g_live += n;
    std::size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    std::size_t largest = g_largest.load();
    while (n > largest && !g_largest.compare_exchange_weak(largest, n)) {
    }
    return static_cast<char*>(p) + Header;
}

void Release(void* p) {
    if (!p) return;
    void* block = static_cast<char*>(p) - Header;
    g_live -= *static_cast<std::size_t*>(block);
    std::free(block);
}

struct Usage {
    std::size_t peakGrowth, largest;
};
}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

using namespace payloadtest;

class PayloadMemory : public PayloadFixture {
protected:
    // Runs the reader and reports how far the live bytes rose above where they were.
    Usage Measure(const std::string& exe, bool expectEnded) {
        std::size_t before = g_live.load();
        g_peak = before;
        g_largest = 0;
        EXPECT_EQ(Read(exe), expectEnded);
        return {g_peak.load() - before, g_largest.load()};
    }
};

TEST_F(PayloadMemory, CopyingALargeCabinetNeedsOnlyOneFixedBlock) {
    const std::size_t cabSize = 24u * 1024 * 1024;
    std::string exe = WriteExe(Stub() + Payload("C:\\T", "c", "t", Cabinet(cabSize, 9)));
    Usage u = Measure(exe, false);
    EXPECT_LT(u.peakGrowth, 1024u * 1024) << "memory must not grow with the payload";
    EXPECT_EQ(k4test::ReadAll("DATAFILE.K4A").size(), cabSize);
}

TEST_F(PayloadMemory, CabinetsAroundTheCopyBlockArriveWhole) {
    // The copy goes in fixed blocks: lengths just below, at and above a block
    // boundary lose nothing, and the trailer after them is never copied.
    for (std::size_t cabSize : {65536u - 1, 65536u, 65536u + 1, 2u * 65536 + 1}) {
        std::string cabinet = Cabinet(cabSize, 5);
        std::string exe = WriteExe(Stub() + Payload("C:\\T", "c", "t", cabinet));
        Usage u = Measure(exe, false);
        EXPECT_LT(u.peakGrowth, 1024u * 1024) << cabSize;
        const std::string copied = k4test::ReadAll("DATAFILE.K4A");
        EXPECT_EQ(copied, cabinet) << cabSize;
    }
}

TEST_F(PayloadMemory, BadLengthsAllocateNothingOfTheirSize) {
    std::string tail = Counted("a") + Counted("b") + Counted("c") + Cabinet(64);
    std::string exeTrailer = WriteExe(Stub() + tail + Le32(INT_MAX), "T1.EXE");
    std::string bigText = Le32(INT_MAX - 16) + Counted("b") + Counted("c") + Cabinet(64);
    std::string exeText = WriteExe(Stub() + bigText + Le32(static_cast<std::int32_t>(bigText.size())), "T2.EXE");
    for (const std::string& exe : {exeTrailer, exeText}) {
        Usage u = Measure(exe, true);
        EXPECT_LT(u.largest, 1024u * 1024) << exe;
    }
}
