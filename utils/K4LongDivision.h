// 64-bit division by a 32-bit divisor in shifts and subtractions. 32-bit code turns
// every 64-bit '/' and '%' into calls to the compiler's runtime library (libgcc's
// division helpers, about 2 KB in the extractor program that every archive carries);
// the program's few 64-bit divisions (number texts, the progress percentage, the
// layout of a centred control) use this instead. 64 steps a division in 32-bit
// code: for texts and layouts, not for loops over data. Platform-free: the cabinet format check uses it
// in the packer too.
#pragma once
#include <cstdint>

struct QuotientAndRest {
    std::uint64_t quotient;
    std::uint32_t rest;
};

// dividend / divisor and dividend % divisor in shifts and subtractions; the divisor
// must not be 0. One copy for all callers: inlined, its loop would be repeated at each.
[[gnu::noinline]] constexpr QuotientAndRest DivideByShifting(std::uint64_t dividend, std::uint32_t divisor) {
    std::uint64_t quotient = 0, rest = 0;
    for (int bit = 63; bit >= 0; --bit) {
        rest = rest << 1 | (dividend >> bit & 1);  // below 2 * divisor: no overflow
        if (rest >= divisor) {
            rest -= divisor;
            quotient |= std::uint64_t{1} << bit;
        }
    }
    return {quotient, static_cast<std::uint32_t>(rest)};
}

// dividend / divisor and dividend % divisor; the divisor must not be 0. 64-bit code
// has the division as an instruction; 32-bit code divides by shifting.
constexpr QuotientAndRest DivideLong(std::uint64_t dividend, std::uint32_t divisor) {
    if constexpr (sizeof(void*) >= 8)
        return {dividend / divisor, static_cast<std::uint32_t>(dividend % divisor)};
    else
        return DivideByShifting(dividend, divisor);
}

// The signed quotient, truncated toward zero as '/' truncates.
constexpr std::int64_t DivideLongSigned(std::int64_t dividend, std::uint32_t divisor) {
    const bool negative = dividend < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(dividend) : static_cast<std::uint64_t>(dividend);
    const std::uint64_t quotient = DivideLong(magnitude, divisor).quotient;
    return negative ? -static_cast<std::int64_t>(quotient) : static_cast<std::int64_t>(quotient);
}
