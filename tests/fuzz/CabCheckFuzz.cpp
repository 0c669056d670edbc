// The libFuzzer target of the whole-cabinet check (format/), decoding included: any input
// must return, under AddressSanitizer and UndefinedBehaviorSanitizer, with one verdict;
// and the same input, cut into files, written as a cabinet must check and decode back.
#include <cstdio>
#include "CabCheckFuzz.h"
#include "WriterFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string disagreement = k4fuzz::CheckAllWays(data, size);
    if (!disagreement.empty()) {
        std::fprintf(stderr, "the check's verdicts differ:\n%s\n", disagreement.c_str());
        __builtin_trap();
    }
    const std::string roundTrip = k4fuzz::WriteCheckDecode(data, size);
    if (!roundTrip.empty()) {
        std::fprintf(stderr, "the writer's round trip fails: %s\n", roundTrip.c_str());
        __builtin_trap();
    }
    return 0;
}
