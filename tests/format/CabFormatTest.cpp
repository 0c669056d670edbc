// The whole-cabinet check on structure and checksums: sound cabinets from gcab and
// the tests' writer pass with their members; each kind of damage is named with
// where it is; reading stays within a bounded window.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "FormatTestSupport.h"

using namespace formattest;
using cabfmt::Fault;

namespace {

// Three members in two folders, small blocks so that each folder has several.
cabw::Cabinet TwoFolders() {
    cabw::Cabinet cabinet = cabw::OneFile("one.txt", std::string(2500, '1'));
    cabinet.members.push_back(cabw::OneFile("two.txt", std::string(700, '2')).members[0]);
    cabw::Member third = cabw::OneFile("sub\\three.bin", std::string(3100, '3')).members[0];
    third.folder = 1;
    cabinet.members.push_back(third);
    cabinet.folders = 2;
    cabinet.blockSize = 1000;
    return cabinet;
}

// Damage of varying bits: complementing whole words an even number of times would
// leave a XOR checksum unchanged, as the format accepts.
std::string Spoiled(std::string bytes, std::size_t at, std::size_t count) {
    for (std::size_t i = at; i < at + count && i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ (1 + i * 37 % 255));
    return bytes;
}

}  // namespace

TEST(CabFormatSound, WriterCabinetsPassWithTheirMembersInTableOrder) {
    cabw::Cabinet cabinet = TwoFolders();
    for (bool checksums : {true, false}) {
        SCOPED_TRACE(checksums ? "with checksums" : "without checksums");
        cabinet.noChecksums = !checksums;
        const cabfmt::Result result = CheckBytes(cabw::Build(cabinet));
        ASSERT_TRUE(result.Sound()) << result.text;
        EXPECT_TRUE(result.text.empty());
        ASSERT_EQ(result.members.size(), 3u);
        EXPECT_EQ(result.members[0].name, "one.txt");
        EXPECT_EQ(result.members[2].name, "sub\\three.bin");
        EXPECT_EQ(result.members[2].size, 3100u);
        EXPECT_EQ(result.members[2].folder, 1u);
    }
}

TEST(CabFormatSound, BlockReservesPassWhetherOrNotTheChecksumCoversThem) {
    for (bool covered : {true, false}) {
        cabw::Cabinet cabinet = TwoFolders();
        cabinet.blockReserve = 6;
        cabinet.checksumCoversReserve = covered;
        const cabfmt::Result result = CheckBytes(cabw::Build(cabinet));
        EXPECT_TRUE(result.Sound()) << result.text;
    }
}

TEST(CabFormatSound, GcabCabinetsPassCompressedOrNot) {
    for (const char* name : {"mszip.cab", "stored.cab"}) {
        SCOPED_TRACE(name);
        const std::string bytes = GcabCabinet(name);
        ASSERT_GT(bytes.size(), 1000u) << "the cabinet made at build time";
        const cabfmt::Result result = CheckBytes(bytes);
        ASSERT_TRUE(result.Sound()) << result.text;
        ASSERT_EQ(result.members.size(), 2u);
        EXPECT_EQ(result.members[0].name, "text.txt");
        EXPECT_EQ(result.members[1].size, 90000u);
    }
}

// gcab stores a checksum in every block: spoiling bytes inside the compressed data
// is found wherever it falls, though the library would decode the damage silently.
TEST(CabFormatDamage, SpoiledBytesInGcabDataFailTheirBlocksChecksum) {
    const std::string bytes = GcabCabinet("mszip.cab");
    ASSERT_GT(bytes.size(), 2000u);
    for (std::size_t at : {bytes.size() / 2, bytes.size() - 70, std::size_t{200}}) {
        SCOPED_TRACE(at);
        const cabfmt::Result result = CheckBytes(Spoiled(bytes, at, 64));
        EXPECT_EQ(result.fault, Fault::Damaged);
        EXPECT_NE(result.text.find("of folder 1 fails its checksum"), std::string::npos) << result.text;
        EXPECT_TRUE(result.members.empty());
    }
}

TEST(CabFormatDamage, ASpoiledBlockInTheSecondFolderIsNamed) {
    cabw::Cabinet cabinet = TwoFolders();
    cabinet.badChecksumBlocks = {5};   // folders hold 4 and 4 blocks: the second of folder 2
    const cabfmt::Result result = CheckBytes(cabw::Build(cabinet));
    EXPECT_EQ(result.fault, Fault::Damaged);
    EXPECT_EQ(result.text, "Damaged cabinet: data block 2 of folder 2 fails its checksum");
}

TEST(CabFormatDamage, EachStructuralFaultIsNamedWithWhereItIs) {
    struct Case {
        const char* what;
        void (*spoil)(cabw::Cabinet&);
        const char* text;
    };
    const Case cases[] = {
        {"member in a missing folder", [](cabw::Cabinet& c) { c.members[1].folderIndex = 4; },
         "Damaged cabinet: \"two.txt\" names folder 5, which the cabinet does not have"},
        {"member continued from an earlier cabinet", [](cabw::Cabinet& c) { c.members[0].folderIndex = 0xFFFD; },
         "Damaged cabinet: \"one.txt\" is continued from or into another cabinet"},
        {"member continued into a later cabinet", [](cabw::Cabinet& c) { c.members[2].folderIndex = 0xFFFE; },
         "Damaged cabinet: \"sub\\three.bin\" is continued from or into another cabinet"},
        {"member past its folder's data", [](cabw::Cabinet& c) { c.members[1].declaredOffset = 2600; },
         "Damaged cabinet: \"two.txt\" lies outside its folder's data"},
        {"offset and size that wrap 32 bits", [](cabw::Cabinet& c) {
             c.members[1].declaredOffset = 0xFFFFFFF0u;
             c.members[1].declaredSize = 0x20;
         },
         "Damaged cabinet: \"two.txt\" lies outside its folder's data"},
        {"file table past the end", [](cabw::Cabinet& c) { c.declaredFilesStart = 0x10000000; },
         "Damaged cabinet: file entry 1 lies outside the cabinet"},
        {"more file entries than written", [](cabw::Cabinet& c) { c.declaredFiles = 400; },
         nullptr},
        {"more blocks than written", [](cabw::Cabinet& c) { c.declaredBlocks = 50; },
         nullptr},
        {"folder data past the end", [](cabw::Cabinet& c) { c.declaredDataStart = 0x7FFFFFF0; },
         "Damaged cabinet: data block 1 of folder 1 lies outside the cabinet"},
        {"fewer blocks than the members need", [](cabw::Cabinet& c) { c.declaredBlocks = 2; },
         "Damaged cabinet: \"one.txt\" lies outside its folder's data"},
        {"unknown compression", [](cabw::Cabinet& c) { c.declaredCompression = 7; },
         "Damaged cabinet: folder 1 uses an unknown compression (7)"},
        {"LZX with an impossible window", [](cabw::Cabinet& c) { c.declaredCompression = 0x0303; },
         "Damaged cabinet: folder 1 uses an unknown compression (771)"},
        {"unknown version", [](cabw::Cabinet& c) { c.versionMinor = 2; },
         "Damaged cabinet: unknown format version 1.2"},
        {"stated size below the header", [](cabw::Cabinet& c) { c.declaredLength = 30; },
         "Damaged cabinet: its stated size of 30 bytes is smaller than its header"},
        {"stated size past the file", [](cabw::Cabinet& c) { c.declaredLength = 0x7FFFFFF0; },
         nullptr},
        {"a last block continued elsewhere", [](cabw::Cabinet& c) { c.lastBlockContinues = true; },
         "Damaged cabinet: data block 4 of folder 2 is continued in another cabinet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cabw::Cabinet cabinet = TwoFolders();
        c.spoil(cabinet);
        const cabfmt::Result result = CheckBytes(cabw::Build(cabinet));
        EXPECT_EQ(result.fault, Fault::Damaged) << result.text;
        EXPECT_EQ(result.text.rfind("Damaged cabinet: ", 0), 0u) << result.text;
        if (c.text) {
            EXPECT_EQ(result.text, c.text);
        }
        EXPECT_TRUE(result.members.empty());
    }
}

TEST(CabFormatDamage, ABlockOverTheFormatsLimit) {
    cabw::Cabinet cabinet = cabw::OneFile("big.bin", std::string(40000, 'x'));
    cabinet.blockSize = 40000;
    EXPECT_EQ(CheckBytes(cabw::Build(cabinet)).text,
              "Damaged cabinet: data block 1 of folder 1 holds 40000 bytes, more than 32768");
}

TEST(CabFormatDamage, CutShortAnywhereIsDamageNeverSound) {
    const std::string bytes = cabw::Build(TwoFolders());
    for (std::size_t cut = 0; cut < bytes.size(); cut += cut < 300 ? 1 : 97) {
        const cabfmt::Result result = CheckBytes(bytes.substr(0, cut));
        ASSERT_EQ(result.fault, Fault::Damaged) << "cut at " << cut << ": " << result.text;
    }
    EXPECT_EQ(CheckBytes(bytes.substr(0, 20)).text, "Damaged cabinet: the header is cut short");
    EXPECT_EQ(CheckBytes(bytes.substr(0, 1000)).text,
              "Damaged cabinet: cut short: 1000 of its " + std::to_string(bytes.size()) + " bytes are present");
}

TEST(CabFormatDamage, NotACabinetAtAll) {
    std::string bytes = cabw::Build(TwoFolders());
    bytes[0] = 'X';
    EXPECT_EQ(CheckBytes(bytes).text, "Damaged cabinet: no cabinet signature");
}

// Sets of cabinets: this archive carries exactly one, so a cabinet that begins or
// ends in another is refused with the other's name.
TEST(CabFormatSets, LinksToOtherCabinetsAreRefusedByName) {
    cabw::Cabinet prev = TwoFolders();
    prev.flags = cabw::FlagPrevCabinet;
    prev.prevCabinet = "first.cab";
    prev.prevDisk = "disk 1";
    cabfmt::Result result = CheckBytes(cabw::Build(prev));
    EXPECT_EQ(result.fault, Fault::ContinuedFromPrev);
    EXPECT_EQ(result.text, "Cabinet continues from another cabinet \"first.cab\"");

    cabw::Cabinet next = TwoFolders();
    next.flags = cabw::FlagNextCabinet;
    next.nextCabinet = "third.cab";
    next.nextDisk = "disk 3";
    result = CheckBytes(cabw::Build(next));
    EXPECT_EQ(result.fault, Fault::ContinuedToNext);
    EXPECT_EQ(result.text, "Cabinet continues in another cabinet \"third.cab\"");
}

TEST(CabFormatReading, AFailedReadIsReportedAsSuch) {
    MemoryCabinet cabinet(cabw::Build(TwoFolders()));
    cabinet.failFrom = 0;
    const cabfmt::Result result = cabfmt::Check(cabinet);
    EXPECT_EQ(result.fault, Fault::Unreadable);
    EXPECT_EQ(result.text, "Cannot read the cabinet");
}

// A large cabinet is read once, in reads of bounded size: memory stays flat.
TEST(CabFormatReading, ALargeCabinetIsStreamedThroughABoundedWindow) {
    cabw::Cabinet cabinet;
    for (int i = 0; i < 5; ++i) {
        std::string data(1000000, '\0');
        for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<char>((k * 7 + i) % 251);
        cabinet.members.push_back(cabw::OneFile("big" + std::to_string(i), data).members[0]);
    }
    const std::string bytes = cabw::Build(cabinet);
    MemoryCabinet source(bytes);
    const cabfmt::Result result = cabfmt::Check(source);
    ASSERT_TRUE(result.Sound()) << result.text;
    EXPECT_LE(source.largestRead, std::size_t{1} << 20);
    EXPECT_LT(source.bytesRead, bytes.size() + bytes.size() / 4) << "each byte read about once";
}

TEST(CabFormatChecksum, AgreesWithTheBytewiseDefinitionForEveryLengthAndSeed) {
    std::string bytes;
    for (int i = 0; i < 64; ++i) bytes.push_back(static_cast<char>(i * 53 + 11));
    for (std::size_t length = 0; length <= bytes.size(); ++length)
        for (std::uint32_t seed : {0u, 0xDEADBEEFu})
            ASSERT_EQ(cabfmt::Checksum(bytes.data(), length, seed), cabw::Checksum(bytes.data(), length, seed))
                << "length " << length;
}
