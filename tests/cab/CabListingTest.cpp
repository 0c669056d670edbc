// Listing passes over real cabinets: the fixed-width lines, the byte total, the
// cabinet size, the set identifier, and what a listing leaves alone.
#include <gtest/gtest.h>
#include <windows.h>
#include "CabTestSupport.h"
#include "CabWriter.h"
#include "LeBytes.h"
#include "UniqueHandle.h"

using namespace k4test;

TEST(Listing, LinesCutOrFillNamesTo44AndRightAlignSizes) {
    ScratchFolder target;
    LineRecorder list;
    RunPass(true, DataPath("names.cab"), target.Dir(), &list);
    EXPECT_EQ(LastErrorText, "");
    const std::vector<std::string> expected = {
        std::string(44, 'n') + " " + "       0",
        std::string(44, 'm') + " " + "       5",
        std::string(44, 'k') + " " + "   12345",
        "readme.txt" + std::string(35, ' ') + "    1234",
    };
    EXPECT_EQ(list.lines, expected);
    EXPECT_EQ(ListedByteTotal, 0 + 5 + 12345 + 1234);
    EXPECT_EQ(LastCabinetSize, static_cast<std::int32_t>(ReadAll(DataPath("names.cab")).size()));
    EXPECT_TRUE(FolderEntries(target.Dir()).empty()) << "a listing creates no file";
    EXPECT_TRUE(ReportedProgress.empty());
}

TEST(Listing, SizesComeFromTheEntriesWithoutDecompressing) {
    // Entries claim sizes their cabinet holds no data for: a listing never reads it.
    ScratchFolder dir;
    cabw::Member big{.name = "big.iso", .data = "", .date = 0, .time = 0, .declaredSize = 123456789};
    cabw::Member empty{.name = "", .data = "", .date = 0, .time = 0, .declaredSize = 0};
    cabw::Member real{"real.txt", "abc"};
    WriteAll(dir / "c.cab", cabw::Build({.members = {big, empty, real}}));
    LineRecorder list;
    RunPass(true, dir / "c.cab", dir.Dir(), &list);
    ASSERT_EQ(list.lines.size(), 3u);
    EXPECT_EQ(list.lines[0], "big.iso" + std::string(38, ' ') + "123456789");
    EXPECT_EQ(list.lines[1], std::string(45, ' ') + "       0");
    EXPECT_EQ(ListedByteTotal, 123456789 + 3);
}

TEST(Listing, TotalWrapsAt32Bits) {
    ScratchFolder dir;
    cabw::Member a{.name = "a", .data = "", .date = 0, .time = 0, .declaredSize = 0x7FFFFFFF};
    cabw::Member b{"b", "xy"};
    WriteAll(dir / "c.cab", cabw::Build({.members = {a, b}}));
    RunPass(true, dir / "c.cab", dir.Dir());
    EXPECT_EQ(ListedByteTotal, INT32_MIN + 1);
}

// A cabinet of 2 GiB or more: the size the library reports is read as 32-bit signed.
// The cabinet's header and entries are real, the rest of its length a hole in a sparse
// file, which a listing never reads.
TEST(Listing, CabinetOf2GiBOrMoreHasANegativeSize) {
    ScratchFolder dir;
    const std::uint32_t size = 0x80000000u + 512;
    std::string cab = cabw::Build(cabw::OneFile("a.txt", "abc"));
    PutLe(cab, 8, size);  // the header's cabinet size
    const std::string path = dir / "big.cab";
    WriteAll(path, cab);
    {
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file.Valid());
        LARGE_INTEGER end;
        end.QuadPart = size;
        ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()));
    }
    LineRecorder list;
    RunPass(true, path, dir.Dir(), &list);
    EXPECT_EQ(LastErrorText, "");
    EXPECT_EQ(list.lines.size(), 1u);
    EXPECT_EQ(ListedByteTotal, 3);
    EXPECT_EQ(LastCabinetSize, INT32_MIN + 512);
}

TEST(Listing, UnicodeNamesAreShownInTheSystemCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "expects the Western code page";
    ScratchFolder dir;
    cabw::Member utf{"caf\xC3\xA9 \xE6\x97\xA5.txt", "1", 0, 0, 0xA0};
    cabw::Member plain{"caf\xE9.txt", "2"};
    WriteAll(dir / "c.cab", cabw::Build({.members = {utf, plain}}));
    LineRecorder list;
    RunPass(true, dir / "c.cab", dir.Dir(), &list);
    ASSERT_EQ(list.lines.size(), 2u);
    EXPECT_EQ(list.lines[0].substr(0, 10), "caf\xE9 ?.txt");
    EXPECT_EQ(list.lines[1].substr(0, 8), "caf\xE9.txt");
}

TEST(Listing, SetIdentifierIsReadAsSigned16Bits) {
    ScratchFolder dir;
    std::string cab = ReadAll(DataPath("tiny.cab"));
    cabw::PatchSetId(cab, 23);
    WriteAll(dir / "23.cab", cab);
    cabw::PatchSetId(cab, 32768);
    WriteAll(dir / "big.cab", cab);
    RunPass(true, dir / "23.cab", dir.Dir());
    EXPECT_EQ(CabSetId, 23);
    RunPass(true, dir / "big.cab", dir.Dir());
    EXPECT_EQ(CabSetId, -32768);
}

TEST(Listing, ExtractionKeepsTheListedTotalAndCabinetSize) {
    ScratchFolder target;
    RunPass(true, DataPath("progress.cab"), target.Dir());
    ASSERT_EQ(ListedByteTotal, 1000);
    LastCabinetSize = -7;
    RunPass(false, DataPath("tiny.cab"), target.Dir());
    EXPECT_EQ(ListedByteTotal, 1000) << "an extraction pass leaves the listed total alone";
    EXPECT_EQ(LastCabinetSize, -7) << "only a listing's Run sets the cabinet size";
    ListingPass = true;
    auto pass = std::make_unique<TDecompr>();
    pass->Open(ShortString(DataPath("tiny.cab")), ShortString(target.Dir()));
    EXPECT_EQ(ListedByteTotal, 0) << "a listing's Open starts the total afresh";
    EXPECT_EQ(LastCabinetSize, -7);
    pass->Run();
    EXPECT_EQ(LastCabinetSize, static_cast<std::int32_t>(ReadAll(DataPath("tiny.cab")).size()));
    pass->Close();
}
