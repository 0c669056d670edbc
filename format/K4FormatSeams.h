// The cabinet format's test probes: how many data blocks' checksums the process has
// tested and how many compressed blocks it has decoded, which show that the check and
// the decoding ahead of it take each block once. Counted by the check
// (K4CabFormat.cpp) and the decoding (K4MszipDecode.cpp); only tests read them,
// through K4FormatSeams.cpp, which the extractor program never links.
#pragma once
#include <cstdint>

namespace cabfmt {

// Data blocks whose checksum this process has tested, by the check or by a decoding
// ahead of it.
std::uint64_t BlockSumsForTests();
// Compressed blocks decoded by every decoding of this process.
std::uint64_t DecodedBlocksForTests();

}  // namespace cabfmt

namespace format_seams {
extern std::uint64_t blockSums;
extern std::uint64_t decodedBlocks;
}  // namespace format_seams
