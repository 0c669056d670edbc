// The whole-cabinet check on structure and checksums: sound cabinets from gcab and
// the tests' writer pass with their members; each kind of damage is named with
// where it is; reading stays within a bounded window.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "FormatTestSupport.h"
#include "HostileCabinets.h"

using namespace formattest;
using cabfmt::Fault;
using hostilecab::Spoiled;
using hostilecab::TwoFolders;

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

// The hostile catalogue (HostileCabinets.h): each cabinet refused, its fault named
// with where it is, and no member passed on.
TEST(CabFormatDamage, EveryHostileCabinetIsRefusedWithItsFaultNamed) {
    for (const hostilecab::Case& c : hostilecab::Cases()) {
        SCOPED_TRACE(c.what);
        const cabfmt::Result result = CheckBytes(c.bytes);
        EXPECT_EQ(result.fault, c.fault) << result.text;
        EXPECT_EQ(result.text, c.text);
        EXPECT_TRUE(result.members.empty());
    }
}

TEST(CabFormatDamage, CutShortAnywhereIsDamageNeverSound) {
    const std::string bytes = cabw::Build(TwoFolders());
    for (std::size_t cut = 0; cut < bytes.size(); cut += cut < 300 ? 1 : 97) {
        const cabfmt::Result result = CheckBytes(bytes.substr(0, cut));
        ASSERT_EQ(result.fault, Fault::Damaged) << "cut at " << cut << ": " << result.text;
    }
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
