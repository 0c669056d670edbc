// One table of run records behind a sound cabinet, for the shared block reading
// (payloadblock::ReadBlock, the extractor's) and the packer's payload reader, so that
// both programs are seen to find the same command, or to refuse the same damaged
// record, or to see no record where there is none. Each case is what follows the program
// image: the block and its trailer. Platform-free.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "PayloadBlockCases.h"
#include "PayloadBytes.h"
#include "SumRecordBytes.h"

namespace k4test {

struct RunCase {
    const char* what;
    std::string appended;   // block and trailer, behind any program image
    bool refused;           // the block is refused for its damaged record: nothing runs
    bool runs;              // read, it carries this command
    std::string program;
    std::string arguments;
    bool temporary;
};

inline std::vector<RunCase> RunRecordCases() {
    const std::string cab = SoundBlockCabinet();
    const std::string texts = Counted("C:\\Target") + Counted("Caption") + Counted("Title");
    const std::string setup = "sub\\setup.exe", quiet = "/quiet \"C:\\a b\"";
    const std::string record = RunRecord(setup, quiet);
    const std::string sum = SumRecord(static_cast<std::uint32_t>(cab.size()), Crc32(cab));
    const std::string longest = std::string(247, 'p') + "\\a b.exe";  // 255 bytes
    const std::string longArguments(runrecord::MaxArgumentsLength, 'a');
    const std::string utf8 = "/dir=C:\\Gr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC";
    // The record's bytes with one changed, `from` the record's end.
    auto flipped = [&](std::size_t from) {
        std::string damaged = record;
        damaged[damaged.size() - from] ^= 0x01;
        return damaged;
    };
    const std::size_t tail = runrecord::TailSize;
    return {
        {"no record", WithTrailer(texts + Summed(cab, 3)), false, false, "", "", false},
        {"a command before the trailer", WithTrailer(texts + cab + record), false, true, setup, quiet, false},
        {"a command between the padding and the sum record",
         WithTrailer(texts + cab + std::string(5, '\0') + RunRecord(setup, quiet, runrecord::FlagTemporary) + sum),
         false, true, setup, quiet, true},
        {"a program without arguments", WithTrailer(texts + cab + RunRecord("a.exe", "") + sum), false, true, "a.exe",
         "", false},
        {"the longest program and arguments", WithTrailer(texts + cab + RunRecord(longest, longArguments)), false, true,
         longest, longArguments, false},
        {"UTF-8 arguments", WithTrailer(texts + cab + RunRecord("setup.exe", utf8)), false, true, "setup.exe", utf8,
         false},
        {"a marker with one byte changed is no record", WithTrailer(texts + cab + flipped(1)), false, false, "", "",
         false},
        {"a changed program byte", WithTrailer(texts + cab + flipped(record.size())), true, false, "", "", false},
        {"a changed argument byte", WithTrailer(texts + cab + flipped(tail + 1)), true, false, "", "", false},
        {"a changed sum", WithTrailer(texts + cab + flipped(tail - runrecord::CrcField)), true, false, "", "", false},
        {"a changed flag", WithTrailer(texts + cab + flipped(tail - runrecord::FlagsField)), true, false, "", "", false},
        {"an unknown flag with its sum", WithTrailer(texts + cab + RunRecord("a.exe", "", 4)), true, false, "", "", false},
        {"no program", WithTrailer(texts + cab + RunRecord("", "/x")), true, false, "", "", false},
        {"a program of 256 bytes", WithTrailer(texts + cab + RunRecord(std::string(256, 'p'), "")), true, false, "", "",
         false},
        {"arguments of 8192 bytes", WithTrailer(texts + cab + RunRecord("a.exe", longArguments + "a")), true, false, "",
         "", false},
        {"a record reaching into the cabinet's signature", WithTrailer(texts + "MSC" + RunRecord("a.exe", "")), true,
         false, "", "", false},
    };
}

}  // namespace k4test
