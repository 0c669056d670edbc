// The decoding of every MSZIP block within the whole-cabinet check: sound cabinets
// of gcab and of the tests' writer decode, each block once, also in steps; broken
// streams are named with their block and folder, whether or not their checksums
// still hold; other compressions keep only their checksums.
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "FormatTestSupport.h"
#include "K4FormatSeams.h"
#include "K4MszipDecode.h"

using namespace formattest;
using cabfmt::Fault;

namespace {

// Letters that compress to about half, repeating often enough that blocks refer
// back into the blocks before them.
std::string Text(std::size_t size, unsigned seed) {
    std::string text;
    unsigned state = seed;
    while (text.size() < size) {
        state = state * 1103515245u + 12345u;
        const std::size_t length = 3 + (state >> 16) % 9;
        for (std::size_t i = 0; i < length && text.size() < size; ++i)
            text.push_back(static_cast<char>('a' + (state >> (8 + i)) % 26));
        if ((state >> 20) % 3 == 0 && text.size() > 2000) text += text.substr(text.size() - 1500, 200);
    }
    return text.substr(0, size);
}

// Three members in two MSZIP folders of 4 and 4 blocks.
cabw::Cabinet TwoMszipFolders() {
    cabw::Cabinet cabinet = cabw::OneFile("one.txt", Text(2500, 1));
    cabinet.members.push_back(cabw::OneFile("two.txt", Text(700, 2)).members[0]);
    cabw::Member third = cabw::OneFile("three.txt", Text(3100, 3)).members[0];
    third.folder = 1;
    cabinet.members.push_back(third);
    cabinet.folders = 2;
    cabinet.blockSize = 1000;
    cabinet.mszip = true;
    return cabinet;
}

// The data blocks of a cabinet without reserves: where each one's data starts,
// its size, and where its checksum is.
struct Block {
    std::size_t data, size, checksum;
};
std::vector<Block> BlocksOf(const std::string& bytes) {
    auto le16 = [&](std::size_t at) { return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at]) |
                                                                       static_cast<unsigned char>(bytes[at + 1]) << 8); };
    std::vector<Block> blocks;
    const std::size_t folders = le16(26);
    for (std::size_t f = 0; f < folders; ++f) {
        const std::size_t entry = 36 + 8 * f;
        std::size_t at = le16(entry) | le16(entry + 2) << 16;
        for (std::size_t b = le16(entry + 4); b > 0; --b) {
            blocks.push_back({at + 8, le16(at + 4), at});
            at += 8 + le16(at + 4);
        }
    }
    return blocks;
}

std::string Xored(std::string bytes, std::size_t at, std::size_t count, char value) {
    for (std::size_t i = at; i < at + count; ++i) bytes[i] = static_cast<char>(bytes[i] ^ value);
    return bytes;
}

// Each byte changed differently: such damage changes the XOR sum.
std::string Spoiled(std::string bytes, std::size_t at, std::size_t count) {
    for (std::size_t i = at; i < at + count; ++i) bytes[i] = static_cast<char>(bytes[i] ^ (1 + i * 37 % 255));
    return bytes;
}

// A whole block that repeats the whole block before it: one reference 32 KB back.
std::string ReferringBack() {
    const std::string half = Text(32768, 9);
    cabw::Cabinet twice = cabw::OneFile("twice.txt", half + half);
    twice.mszip = true;
    return cabw::Build(twice).substr(cabw::BlockDataStart(twice, 1), cabw::BlockDataSize(twice, 1));
}

std::string Undecodable(std::size_t block, std::size_t folder) {
    return "Damaged cabinet: data block " + std::to_string(block) + " of folder " + std::to_string(folder) +
           " cannot be decoded";
}

// The compressed blocks the process decodes from its making on (one decoding at a time
// in these tests).
class DecodedSince {
public:
    std::uint64_t operator()() const { return cabfmt::DecodedBlocksForTests() - start_; }

private:
    std::uint64_t start_ = cabfmt::DecodedBlocksForTests();
};

std::uint64_t DecodeAll(const std::string& bytes) {
    MemoryCabinet source(bytes);
    cabfmt::Decoding decoding(source);
    const DecodedSince decoded;
    while (!decoding.Step(3)) {
    }
    return decoded();
}

}  // namespace

TEST(CabFormatDecode, SoundCabinetsDecodeEveryCompressedBlockOnce) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    cabw::Cabinet unsummed = TwoMszipFolders();
    unsummed.noChecksums = true;
    cabw::Cabinet reserved = TwoMszipFolders();
    reserved.blockReserve = 5;
    cabw::Cabinet large = cabw::OneFile("large.txt", Text(300000, 4));
    large.mszip = true;
    const Case cases[] = {
        {"writer, two folders", cabw::Build(TwoMszipFolders())},
        {"writer, no checksums", cabw::Build(unsummed)},
        {"writer, block reserves", cabw::Build(reserved)},
        {"writer, full blocks", cabw::Build(large)},
        {"gcab mszip.cab", GcabCabinet("mszip.cab")},
        {"gcab x.cab", GcabCabinet("x.cab")},
        {"gcab big.cab", GcabCabinet("big.cab")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_GT(c.bytes.size(), 1000u);
        const cabfmt::Result result = CheckBytes(c.bytes);
        ASSERT_TRUE(result.Sound()) << result.text;
        EXPECT_FALSE(result.members.empty());
        const std::size_t blocks = std::string(c.what) == "writer, block reserves" ? 8 : BlocksOf(c.bytes).size();
        EXPECT_EQ(DecodeAll(c.bytes), blocks);
    }
    EXPECT_EQ(DecodeAll(GcabCabinet("stored.cab")), 0u) << "stored blocks are not decoded";
}

// Damage the format's sums cannot see: 64 bytes XORed with one value change every
// byte position (taken modulo 4) an even number of times, and a sum of 0 means
// "none". The two reported cabinets among them, damaged exactly as reported.
TEST(CabFormatDecode, DamageThatKeepsTheChecksumIsFoundByDecoding) {
    const std::string x = GcabCabinet("x.cab"), big = GcabCabinet("big.cab"), mszip = GcabCabinet("mszip.cab");
    ASSERT_GT(BlocksOf(x).size(), 2u);
    const Block second = BlocksOf(x)[1];
    std::size_t middleBlock = 0;
    for (const Block& b : BlocksOf(big))
        if (b.checksum <= big.size() / 2) ++middleBlock;
    ASSERT_GT(middleBlock, 1u);
    const Block spoiled = BlocksOf(mszip)[1];
    std::string unsummed = mszip;
    unsummed.replace(spoiled.checksum, 4, 4, '\0');
    struct Case {
        const char* what;
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"x.cab: 64 bytes XOR 0x5A at the middle of the second block's data",
         Xored(x, second.data + second.size / 2, 64, 0x5A), Undecodable(2, 1)},
        {"big.cab: 64 bytes XOR 0x5A at the middle of the file", Xored(big, big.size() / 2, 64, 0x5A),
         Undecodable(middleBlock, 1)},
        {"a run of 8 bytes XOR 0xFF", Xored(mszip, spoiled.data + 40, 8, '\xFF'), Undecodable(2, 1)},
        {"a sum of 0 and spoiled bytes", Spoiled(unsummed, spoiled.data + 100, 16), Undecodable(2, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const cabfmt::Result result = CheckBytes(c.bytes);
        EXPECT_EQ(result.fault, Fault::Damaged);
        EXPECT_EQ(result.text, c.text);
        EXPECT_TRUE(result.members.empty());
    }
}

// Streams broken as a writer or a forger might, each block's checksum true to its
// broken bytes.
TEST(CabFormatDecode, EachBrokenStreamIsNamedWithItsBlockAndFolder) {
    using Edit = std::function<void(std::string & data, std::uint16_t & uncompressed)>;
    struct Case {
        const char* what;
        std::size_t block;   // 0-based over both folders
        Edit edit;
        const char* text;
        // Added to the next block's stated size: the folder's total stays whole.
        int nextBlockMore = 0;
    };
    const Case cases[] = {
        {"no CK signature", 0, [](std::string& d, std::uint16_t&) { d[1] = 'X'; },
         "Damaged cabinet: data block 1 of folder 1 cannot be decoded"},
        {"nothing but the signature", 1, [](std::string& d, std::uint16_t&) { d = "CK"; },
         "Damaged cabinet: data block 2 of folder 1 cannot be decoded"},
        {"an empty block", 2, [](std::string& d, std::uint16_t&) { d.clear(); },
         "Damaged cabinet: data block 3 of folder 1 cannot be decoded"},
        {"the stream cut short", 5, [](std::string& d, std::uint16_t&) { d.resize(d.size() - 3); },
         "Damaged cabinet: data block 2 of folder 2 cannot be decoded"},
        {"bytes after the stream's end", 3, [](std::string& d, std::uint16_t&) { d += "CK"; },
         "Damaged cabinet: data block 4 of folder 1 cannot be decoded"},
        {"one byte more stated than the stream holds", 4, [](std::string&, std::uint16_t& u) { ++u; },
         "Damaged cabinet: data block 1 of folder 2 cannot be decoded"},
        {"one byte less stated than the stream holds", 5, [](std::string&, std::uint16_t& u) { --u; },
         "Damaged cabinet: data block 2 of folder 2 cannot be decoded", 1},
        {"its last deflate block not marked last", 6, [](std::string& d, std::uint16_t&) { d[2] &= ~1; },
         "Damaged cabinet: data block 3 of folder 2 cannot be decoded"},
        {"a block that refers back past its folder's start", 4,
         [](std::string& d, std::uint16_t& u) {
             d = ReferringBack();
             u = 32768;
         },
         "Damaged cabinet: data block 1 of folder 2 cannot be decoded"},
        {"a block that refers back past a block shorter than 32 KB", 1,
         [](std::string& d, std::uint16_t& u) {
             d = ReferringBack();
             u = 32768;
         },
         "Damaged cabinet: data block 2 of folder 1 cannot be decoded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cabw::Cabinet cabinet = TwoMszipFolders();
        cabinet.editBlock = [&c](std::size_t block, std::string& data, std::uint16_t& uncompressed) {
            if (block == c.block) c.edit(data, uncompressed);
            if (block == c.block + 1) uncompressed = static_cast<std::uint16_t>(uncompressed + c.nextBlockMore);
        };
        const cabfmt::Result result = CheckBytes(cabw::Build(cabinet));
        EXPECT_EQ(result.fault, Fault::Damaged);
        if (c.text) {
            EXPECT_EQ(result.text, c.text);
        } else {
            EXPECT_EQ(result.text.rfind("Damaged cabinet: data block ", 0), 0u) << result.text;
        }
        EXPECT_TRUE(result.members.empty());
    }
}

// The structure and the sums are judged first: their faults are named as before.
TEST(CabFormatDecode, AStructuralFaultIsNamedBeforeABrokenStream) {
    cabw::Cabinet cabinet = TwoMszipFolders();
    cabinet.badChecksumBlocks = {6};
    cabinet.editBlock = [](std::size_t block, std::string& data, std::uint16_t&) {
        if (block == 1) data[1] = 'X';
    };
    EXPECT_EQ(CheckBytes(cabw::Build(cabinet)).text, "Damaged cabinet: data block 3 of folder 2 fails its checksum");
}

// A window decodes in its idle time a few blocks at a time; the check at Start takes
// up where it stopped, and decodes nothing twice.
TEST(CabFormatDecode, StepsGoBlockByBlockAndTheCheckTakesUpWhereTheyStopped) {
    const std::string bytes = cabw::Build(TwoMszipFolders());
    for (int before : {0, 1, 3, 8, 20}) {
        SCOPED_TRACE(before);
        MemoryCabinet source(bytes);
        cabfmt::Decoding decoding(source);
        const DecodedSince decoded;
        int steps = 0;
        for (; steps < before && !decoding.Step(1); ++steps)
            EXPECT_EQ(decoded(), static_cast<std::uint64_t>(steps + 1));
        EXPECT_EQ(decoding.Finished(), before >= 8);
        const cabfmt::Result result = cabfmt::Check(source, {}, decoding);
        ASSERT_TRUE(result.Sound()) << result.text;
        EXPECT_EQ(result.members.size(), 3u);
        EXPECT_TRUE(decoding.Finished());
        EXPECT_EQ(decoded(), 8u) << "each block once";
    }
}

// The blocks a decoding ahead has checked are not read again by the check (each
// block's sum is tested once), and a block that fails one of the check's own tests
// is still the check's fault, named before any stream's, wherever the decoding stood.
TEST(CabFormatDecode, EachBlockIsCheckedOnceWhereverTheDecodingStood) {
    struct Damage {
        const char* what;
        std::size_t badSum;   // a block whose checksum is spoiled, or none
        std::function<void(std::size_t, std::string&, std::uint16_t&)> edit;
        std::string text;
    };
    const std::size_t none = 99;
    const Damage cases[] = {
        {"a spoiled sum", 6, {}, "Damaged cabinet: data block 3 of folder 2 fails its checksum"},
        {"a spoiled sum behind a broken stream", 6,
         [](std::size_t block, std::string& data, std::uint16_t&) {
             if (block == 1) data[1] = 'X';
         },
         "Damaged cabinet: data block 3 of folder 2 fails its checksum"},
        {"a block of 0 bytes", none,
         [](std::size_t block, std::string&, std::uint16_t& size) {
             if (block == 5) size = 0;
         },
         "Damaged cabinet: data block 2 of folder 2 is continued in another cabinet"},
    };
    const std::string sound = cabw::Build(TwoMszipFolders());
    const cabfmt::Result plain = CheckBytes(sound);
    for (int before : {0, 3, 8}) {
        SCOPED_TRACE(before);
        MemoryCabinet source(sound);
        cabfmt::Decoding decoding(source);
        const std::uint64_t sumsBefore = cabfmt::BlockSumsForTests();
        for (int step = 0; step < before; ++step) decoding.Step(1);
        EXPECT_EQ(decoding.CheckedAhead(0).blocks + decoding.CheckedAhead(1).blocks, static_cast<std::uint32_t>(before));
        const cabfmt::Result result = cabfmt::Check(source, {}, decoding);
        ASSERT_TRUE(result.Sound()) << result.text;
        EXPECT_EQ(result.members.size(), plain.members.size());
        for (std::size_t i = 0; i < result.members.size(); ++i)
            EXPECT_EQ(result.members[i].name, plain.members[i].name);
        EXPECT_EQ(cabfmt::BlockSumsForTests() - sumsBefore, 8u) << "each block's sum once";

        for (const Damage& d : cases) {
            SCOPED_TRACE(d.what);
            cabw::Cabinet damaged = TwoMszipFolders();
            if (d.badSum != none) damaged.badChecksumBlocks = {d.badSum};
            if (d.edit) damaged.editBlock = d.edit;
            MemoryCabinet badSource(cabw::Build(damaged));
            cabfmt::Decoding badDecoding(badSource);
            for (int step = 0; step < before; ++step) badDecoding.Step(1);
            EXPECT_EQ(cabfmt::Check(badSource, {}, badDecoding).text, d.text);
        }
    }
}

TEST(CabFormatDecode, AFaultFoundInStepsIsTheChecksFault) {
    cabw::Cabinet cabinet = TwoMszipFolders();
    cabinet.editBlock = [](std::size_t block, std::string& data, std::uint16_t&) {
        if (block == 2) data[0] = 'Q';
    };
    MemoryCabinet source(cabw::Build(cabinet));
    cabfmt::Decoding decoding(source);
    const DecodedSince decoded;
    EXPECT_FALSE(decoding.Step(2));
    EXPECT_EQ(decoding.FaultFound(), Fault::None);
    EXPECT_TRUE(decoding.Step(2));
    EXPECT_EQ(decoding.FaultFound(), Fault::Damaged);
    EXPECT_EQ(decoding.FaultAt().folder, 0u);
    EXPECT_EQ(decoding.FaultAt().block, 2u);
    EXPECT_FALSE(decoding.FaultAt().outside);
    EXPECT_EQ(decoded(), 2u);
    EXPECT_EQ(cabfmt::Check(source, {}, decoding).text, Undecodable(3, 1));
    EXPECT_EQ(decoded(), 2u) << "not decoded again";
}

// Quantum and LZX have no decoder here: their blocks keep the checksum check alone.
TEST(CabFormatDecode, QuantumAndLzxBlocksKeepOnlyTheirChecksums) {
    for (std::uint16_t compression : {std::uint16_t{0x0A12}, std::uint16_t{0x0F03}}) {
        SCOPED_TRACE(compression);
        cabw::Cabinet cabinet = TwoMszipFolders();
        cabinet.mszip = false;
        cabinet.declaredCompression = compression;
        EXPECT_TRUE(CheckBytes(cabw::Build(cabinet)).Sound());
        EXPECT_EQ(DecodeAll(cabw::Build(cabinet)), 0u);
        cabinet.badChecksumBlocks = {1};
        EXPECT_EQ(CheckBytes(cabw::Build(cabinet)).text, "Damaged cabinet: data block 2 of folder 1 fails its checksum");
    }
}

TEST(CabFormatDecode, ReadingStaysBoundedAndAFailedReadIsReported) {
    cabw::Cabinet cabinet = cabw::OneFile("large.txt", Text(3000000, 5));
    cabinet.mszip = true;
    const std::string bytes = cabw::Build(cabinet);
    MemoryCabinet source(bytes);
    cabfmt::Decoding decoding(source);
    while (!decoding.Step(10)) {
    }
    EXPECT_EQ(decoding.FaultFound(), Fault::None);
    EXPECT_LE(source.largestRead, 65535u + 8u) << "a block at a time";
    EXPECT_LT(source.bytesRead, bytes.size() + bytes.size() / 8) << "each block read once";

    MemoryCabinet failing(bytes);
    failing.failFrom = BlocksOf(bytes)[2].checksum;
    cabfmt::Decoding cut(failing);
    const DecodedSince decoded;
    while (!cut.Step(1)) {
    }
    EXPECT_EQ(cut.FaultFound(), Fault::Unreadable);
    EXPECT_EQ(decoded(), 2u);
    EXPECT_EQ(cabfmt::Check(failing, {}, cut).text, "Cannot read the cabinet");
}
