// One table of payload blocks, run by the packer's host tests (its payload reader and
// inspect's checks) and by the extractor's tests under Wine (its payload reader, then
// its cabinet check), so that both programs are seen to accept and refuse the same blocks.
// Each case is what follows the program image: the block and its trailer. Platform-free.
#pragma once
#include <climits>
#include <cstdint>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "PayloadBytes.h"
#include "SumRecordBytes.h"

namespace k4test {

enum class BlockVerdict {
    Accepted,        // the texts read, the cabinet copied and found sound
    PayloadRefused,  // the payload reader refuses the block: nothing is copied
    CabinetRefused,  // the block reads, but the cabinet check refuses what it holds
};

struct BlockCase {
    const char* what;
    std::string appended;   // block and trailer, behind any program image
    BlockVerdict verdict;
    std::string cabinet;    // the cabinet the block carries, as the extractor copies it
};

// A sound cabinet for the cases.
inline std::string SoundBlockCabinet() { return cabw::Build(cabw::OneFile("readme.txt", "a payload block case")); }

// The same member compressed, its first block's stream broken ("CK", then a deflate
// block of the reserved type) and no checksum stored that could tell.
inline std::string UndecodableBlockCabinet() {
    cabw::Cabinet cabinet = cabw::OneFile("readme.txt", "a payload block case");
    cabinet.mszip = true;
    cabinet.noChecksums = true;
    cabinet.editBlock = [](std::size_t, std::string& data, std::uint16_t&) { data[2] = '\xFF'; };
    return cabw::Build(cabinet);
}

inline std::vector<BlockCase> PayloadBlockCases() {
    using V = BlockVerdict;
    const std::string cab = SoundBlockCabinet();
    const std::string t255(255, 'T');
    const std::string texts = Counted("C:\\Target") + Counted("Caption") + Counted("Title");
    const std::string noSignature = "MSCX" + cab.substr(4);
    const std::string undecodable = UndecodableBlockCabinet();
    auto trailed = [](const std::string& block, std::int32_t trailer) { return block + Le32(trailer); };
    return {
        {"three texts and a cabinet", WithTrailer(texts + cab), V::Accepted, cab},
        {"three empty texts", Payload("", "", "", cab), V::Accepted, cab},
        {"a caption and a title of 255 bytes", Payload("C:\\T", t255, t255, cab), V::Accepted, cab},
        {"padding behind the cabinet", WithTrailer(texts + cab + std::string(7, '\0')), V::Accepted, cab},
        {"the sum record", WithTrailer(texts + Summed(cab, 3)), V::Accepted, cab},
        {"a trailer of 0", trailed(texts + cab, 0), V::PayloadRefused, ""},
        {"a trailer below the three lengths", trailed(texts + cab, 11), V::PayloadRefused, ""},
        {"a negative trailer", trailed(texts + cab, -1), V::PayloadRefused, ""},
        {"a trailer beyond the file", trailed(texts + cab, INT_MAX), V::PayloadRefused, ""},
        {"a negative first text length", WithTrailer(Le32(-1) + Counted("c") + Counted("t") + cab), V::PayloadRefused, ""},
        {"a negative third text length", WithTrailer(Counted("d") + Counted("c") + Le32(INT_MIN) + cab), V::PayloadRefused, ""},
        {"a text length of 256", WithTrailer(Le32(256) + std::string(256, 'x') + Counted("c") + Counted("t") + cab),
         V::PayloadRefused, ""},
        {"a text past the block", WithTrailer(Counted("d") + Counted("c") + Le32(200) + "short"), V::PayloadRefused, ""},
        {"nothing after the texts", WithTrailer(texts), V::PayloadRefused, ""},
        {"a cabinet of three bytes", WithTrailer(texts + "MSC"), V::CabinetRefused, "MSC"},
        {"a cabinet without its signature", WithTrailer(texts + noSignature), V::CabinetRefused, noSignature},
        {"a block that does not decode, no checksum", WithTrailer(texts + undecodable), V::CabinetRefused, undecodable},
        {"the sum record of a block that does not decode", WithTrailer(texts + Summed(undecodable)), V::CabinetRefused,
         undecodable},
    };
}

}  // namespace k4test
