// Reading the cabinet format's test probes: only tests do (K4FormatSeams.h).
#include "K4FormatSeams.h"

namespace cabfmt {

std::uint64_t BlockSumsForTests() { return format_seams::blockSums; }
std::uint64_t DecodedBlocksForTests() { return format_seams::decodedBlocks; }

}  // namespace cabfmt
