// The test cabinet writer against real cabinets: its checksum agrees with the
// checksums gcab stores, and the system cabinet library lists and extracts what it
// writes, and refuses a block whose checksum it spoiled.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "CabTestSupport.h"
#include "CabWriter.h"
#include "Driver.h"
#include "K4CabWork.h"
#include "K4Error.h"

using namespace e2e;
using namespace k4test;

namespace {

// One pass of the engine over `cabinet`, a listing when lines are given; the error
// text it leaves.
std::string Pass(const std::string& cabinet, const std::string& target, LineRecorder* lines) {
    RunPass(lines != nullptr, cabinet, target, lines);
    return LastErrorText.Str();
}

class WriterTest : public ::testing::Test {
protected:
    std::string Write(const cabw::Cabinet& cabinet) {
        std::string path = folder_ / "w.cab";
        WriteAll(path, cabw::Build(cabinet));
        return path;
    }
    ScratchFolder folder_;
};

}  // namespace

TEST(CabWriterChecksum, AgreesWithEveryBlockGcabWrote) {
    std::string cab;
    ASSERT_TRUE(ReadBytes(TestCabinet(), cab));
    ASSERT_EQ(GetLe(cab, 26, 2), 1u) << "one folder";
    std::size_t at = GetLe(cab, 36);   // the folder's first data block
    const unsigned blocks = GetLe(cab, 40, 2);
    ASSERT_GT(blocks, 1u) << "the test cabinet spans several blocks";
    for (unsigned i = 0; i < blocks; ++i) {
        const std::uint32_t stored = GetLe(cab, at);
        const std::size_t size = GetLe(cab, at + 4, 2);
        ASSERT_NE(stored, 0u) << "gcab stores checksums";
        // Odd and even lengths: the last block ends on any byte count.
        EXPECT_EQ(cabw::BlockChecksum(cab.substr(at + 4, 4), cab.substr(at + 8, size)), stored) << "block " << i;
        at += 8 + size;
    }
    EXPECT_EQ(at, GetLe(cab, 8)) << "the blocks end at the cabinet's end";
}

TEST_F(WriterTest, TheLibraryListsAndExtractsWhatItWrites) {
    cabw::Cabinet cabinet;
    cabinet.blockSize = 1000;  // several blocks, the last one short
    for (int i = 0; i < 3; ++i) {
        cabw::Member m;
        m.name = std::string(1, 'f').append(std::to_string(i)).append(".txt");
        m.data = std::string(1001 + 517 * i, static_cast<char>('a' + i));
        cabinet.members.push_back(m);
    }
    const std::string cab = Write(cabinet);
    LineRecorder lines;
    EXPECT_EQ(Pass(cab, "", &lines), "");
    ASSERT_EQ(lines.lines.size(), 3u);
    EXPECT_EQ(lines.lines[2].substr(0, 6), "f2.txt");
    EXPECT_EQ(ListedByteTotal, 1001 + 1518 + 2035);
    EXPECT_EQ(LastCabinetSize, static_cast<std::int32_t>(cabw::Build(cabinet).size()));

    ASSERT_TRUE(CreateDirectoryA((folder_ / "out").c_str(), nullptr));
    EXPECT_EQ(Pass(cab, folder_ / "out\\", nullptr), "");
    for (const cabw::Member& m : cabinet.members) EXPECT_EQ(ReadAll(folder_ / ("out\\" + m.name)), m.data);
}

TEST_F(WriterTest, TheLibraryRefusesASpoiledChecksumAndAcceptsNone) {
    cabw::Cabinet cabinet = cabw::OneFile("x.txt", std::string(3000, 'q'));
    cabinet.blockSize = 1000;
    cabinet.badChecksumBlocks = {1};
    ASSERT_TRUE(CreateDirectoryA((folder_ / "out").c_str(), nullptr));
    EXPECT_NE(Pass(Write(cabinet), folder_ / "out\\", nullptr), "");

    cabinet.badChecksumBlocks.clear();
    cabinet.noChecksums = true;
    EXPECT_EQ(Pass(Write(cabinet), folder_ / "out\\", nullptr), "");
    EXPECT_EQ(ReadAll(folder_ / "out\\x.txt"), std::string(3000, 'q'));
}

TEST_F(WriterTest, SetLinksAndOverridesLandInTheirFields) {
    cabw::Cabinet cabinet = cabw::OneFile("a", "xyz");
    cabinet.flags = cabw::FlagNextCabinet;
    cabinet.nextCabinet = "next.cab";
    cabinet.nextDisk = "disk";
    cabinet.declaredFiles = 9;
    cabinet.members[0].declaredSize = 0xFFFFFFF0u;
    const std::string b = cabw::Build(cabinet);
    EXPECT_EQ(GetLe(b, 28, 2), 9u);
    EXPECT_EQ(b.substr(36, 14), std::string("next.cab\0disk\0", 14));
    EXPECT_EQ(GetLe(b, 16), 36u + 14 + 8) << "file entries after the links and the folder";
    EXPECT_EQ(GetLe(b, 36 + 14), cabw::DataStart(cabinet));
    EXPECT_EQ(GetLe(b, GetLe(b, 16)), 0xFFFFFFF0u);
    EXPECT_EQ(b.substr(cabw::DataStart(cabinet) + 8), "xyz");
}
