// Every MSZIP block of a cabinet decoded once with zlib before the cabinet library
// decodes anything: the library decodes a broken stream without a word (or crashes
// on it), and the format's 32-bit XOR sums miss many kinds of damage. Resumable in
// steps of bounded size, so a window can decode in its idle time.
#pragma once
#include <cstdint>
#include <memory>
#include "K4CabFormat.h"

namespace cabfmt {
namespace detail {
class Checker;
}

class Decoding {
public:
    // Steps in blocks, each at most 32 KB of output; this many: to the end.
    static constexpr std::uint32_t AllBlocks = 0xFFFFFFFF;

    // Reads through `source`, which must outlive the decoding and keep the same bytes.
    explicit Decoding(ReadAt& source);
    ~Decoding();
    Decoding(const Decoding&) = delete;
    Decoding& operator=(const Decoding&) = delete;

    // Goes on for at most `blocks` compressed blocks (the first step reads the header
    // and the folder table before them); true once the decoding has finished,
    // soundly or at a fault.
    bool Step(std::uint32_t blocks);
    bool Finished() const;
    // The fault that ended it (Fault::None while sound): Damaged (at FaultAt) or
    // Unreadable. The whole check (cabfmt::Check) gives it its text.
    Fault FaultFound() const;
    struct Where {
        std::uint32_t folder = 0, block = 0;   // counted from 0
        bool outside = false;                  // the block lies outside the cabinet; else it cannot be decoded
    };
    const Where& FaultAt() const;
    // The first blocks of a folder that it found sound by every test the check makes
    // of a block (within the cabinet, a size from 1 to 32768, true to its checksum or
    // stored without one): the bytes are at hand when they are decoded, so the check
    // need not read them again. Where they end and how much they hold.
    struct Checked {
        std::uint32_t blocks = 0;
        std::uint64_t end = 0;            // the offset behind the last of them
        std::uint64_t uncompressed = 0;   // their bytes once decoded
    };
    const Checked& CheckedAhead(std::uint32_t folder) const;

private:
    friend class detail::Checker;   // which, once it has tested every sum itself, stops the decoding's
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace cabfmt
