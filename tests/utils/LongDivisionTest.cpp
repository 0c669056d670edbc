// The shift-and-subtract division against the compiler's own, at the edges of the
// 64-bit and 32-bit ranges and over a spread of values.
#include <gtest/gtest.h>
#include <cstdint>
#include <limits>
#include "K4LongDivision.h"

namespace {

constexpr std::uint64_t Max64 = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint32_t Max32 = std::numeric_limits<std::uint32_t>::max();

// Both ways: the one the build uses (DivideLong) and the shifting one, which 32-bit
// builds use and which is checked in 64-bit builds as well.
void ExpectLikeCompiler(std::uint64_t dividend, std::uint32_t divisor) {
    for (QuotientAndRest got : {DivideLong(dividend, divisor), DivideByShifting(dividend, divisor)}) {
        EXPECT_EQ(got.quotient, dividend / divisor) << dividend << " / " << divisor;
        EXPECT_EQ(got.rest, dividend % divisor) << dividend << " % " << divisor;
    }
}

TEST(DivideLong, AgreesWithTheCompilerAtTheRangesEdges) {
    for (std::uint64_t dividend : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{9}, std::uint64_t{10},
                                   std::uint64_t{Max32}, std::uint64_t{Max32} + 1, Max64 - 1, Max64})
        for (std::uint32_t divisor : {1u, 2u, 3u, 10u, 0x80000000u, Max32 - 1, Max32}) ExpectLikeCompiler(dividend, divisor);
}

TEST(DivideLong, AgreesWithTheCompilerOverASpreadOfValues) {
    std::uint64_t dividend = 0x9E3779B97F4A7C15u;
    std::uint32_t divisor = 0x7F4A7C15u;
    for (int i = 0; i < 2000; ++i) {
        dividend = dividend * 6364136223846793005u + 1442695040888963407u;
        divisor = divisor * 1664525u + 1013904223u;
        ExpectLikeCompiler(dividend >> (i % 64), (divisor >> (i % 32)) | 1u);
    }
}

TEST(DivideLong, WorksWhenCompiling) {
    static_assert(DivideLong(1234567890123456789u, 10).quotient == 123456789012345678u);
    static_assert(DivideLong(1234567890123456789u, 10).rest == 9);
    static_assert(DivideByShifting(1234567890123456789u, 10).quotient == 123456789012345678u);
    static_assert(DivideLongSigned(-7, 2) == -3, "truncated toward zero");
}

TEST(DivideLongSigned, TruncatesTowardZeroAsTheCompilerDoes) {
    constexpr std::int64_t Min64 = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();
    for (std::int64_t dividend : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{7}, std::int64_t{-7},
                                  std::int64_t{-4000000000}, Max, Min64 + 1})
        for (std::uint32_t divisor : {1u, 2u, 3u, 1000u, Max32})
            EXPECT_EQ(DivideLongSigned(dividend, divisor), dividend / static_cast<std::int64_t>(divisor))
                << dividend << " / " << divisor;
    EXPECT_EQ(DivideLongSigned(Min64, 2), Min64 / 2) << "the most negative dividend has a magnitude too";
}

}  // namespace
