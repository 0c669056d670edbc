// Files, folders, paths and text encodings as the program asks the system about them,
// and what a folder takes: free space, new files, sizes for people.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "K4Files.h"
#include "K4Placement.h"
#include "K4Paths.h"
#include "K4TextEncoding.h"
#include "TestFiles.h"

TEST(FileExists, TellsFilesFromFoldersAndFromNothing) {
    const k4test::ScratchFolder scratch;
    const std::string& folder = scratch.Path();
    const std::string file = scratch.Write("f.txt", "");
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(DirectoryExists(file));
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_FALSE(FileExists(folder)) << "a folder is not a file";
    EXPECT_FALSE(FileExists(folder + "\\missing"));
    EXPECT_FALSE(DirectoryExists(folder + "\\missing"));
    EXPECT_FALSE(FileExists(static_cast<const char*>(nullptr)));
}

TEST(OwnModulePath, NamesThisProgramsOwnFile) {
    const std::string path = OwnModulePath();
    ASSERT_GT(path.size(), 4u);
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(path.find("test_utils_files"), path.find_last_of("\\") + 1) << path;
}

TEST(LastErrorCode, AFailureWithoutACodeStillReadsAsAFailure) {
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorCode(), ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_EQ(LastErrorCode(), ERROR_GEN_FAILURE);
}

TEST(TextEncoding, RoundTripsThroughUtf8AndMarksWhatACodePageCannotShow) {
    const std::wstring wide = WideFromCodePage("caf\xc3\xa9 \xe6\x97\xa5", CP_UTF8);
    EXPECT_EQ(wide, L"caf\u00e9 \u65e5");
    EXPECT_EQ(NarrowFromWide(wide, CP_UTF8), "caf\xc3\xa9 \xe6\x97\xa5");
    EXPECT_EQ(NarrowFromWide(L"\u65e5", 1252), "?");
    EXPECT_EQ(WideFromCodePage("", CP_UTF8), L"");
}

TEST(SamePathText, IgnoresCaseOnly) {
    EXPECT_TRUE(SamePathText(L"C:\\Dir\\File.TXT", L"c:\\dir\\file.txt"));
    EXPECT_FALSE(SamePathText(L"C:\\dir\\file.txt", L"C:\\dir\\file.txt2"));
    EXPECT_FALSE(SamePathText(L"C:\\dir\\file", L"C:\\dir\\file "));
}

TEST(FullPathOf, ResolvesShortAndLongPathsAlike) {
    EXPECT_EQ(FullPathOf(L"C:\\a\\.\\b\\..\\c.txt"), L"C:\\a\\c.txt");
    EXPECT_EQ(FullPathOf(L""), L"");
    // Beyond MAX_PATH the first answer is only the size needed.
    const std::wstring deep = L"C:\\" + std::wstring(150, L'x') + L"\\" + std::wstring(150, L'y');
    EXPECT_EQ(FullPathOf(deep + L"\\z\\..\\f.txt"), deep + L"\\f.txt");
    const std::wstring exact = L"C:\\" + std::wstring(MAX_PATH - 4, L'e');   // MAX_PATH - 1 characters
    EXPECT_EQ(FullPathOf(exact), exact);
    EXPECT_EQ(FullPathOf(exact + L"e"), exact + L"e");
}

// Sizes for people: units of 1024, one decimal rounded to the nearest tenth.
TEST(SizeText, ReadsInTheLargestUnitWithOneDecimal) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 bytes"},           {1023, "1023 bytes"},        {1024, "1.0 KB"},
        {1536, "1.5 KB"},         {1024 * 1024 - 1, "1024.0 KB"}, {12 << 20, "12.0 MB"},
        {50541363, "48.2 MB"},    {3ull << 30, "3.0 GB"},      {5ull << 40, "5.0 TB"},
        {5000ull << 40, "5000.0 TB"}};
    for (const auto& [bytes, text] : cases) EXPECT_EQ(SizeText(bytes), text) << bytes;
}

// What a set of files takes at its peak: in whole clusters, a replaced file's room
// given back only after its replacement is written.
TEST(SpaceNeeded, CountsClustersAndReplacedFilesAfterTheirReplacement) {
    struct Case {
        std::vector<PlannedFile> files;
        std::uint32_t cluster;
        std::uint64_t needed;
    };
    const Case cases[] = {
        {{}, 4096, 0},
        {{{1, 0}, {4097, 0}}, 4096, 4096 + 8192},
        {{{1, 0}, {4097, 0}}, 0, 4098},                   // no unit known: bytes
        {{{0, 0}}, 4096, 0},                              // an empty file takes no cluster
        {{{100, 0}}, 3000, 100},                          // not a power of two: bytes
        {{{8192, 8192}, {8192, 8192}}, 4096, 8192},       // each replaces one as large
        {{{8192, 4096}, {8192, 0}}, 4096, 12288},         // the first gives 4096 back
        {{{4096, 0}, {4096, 40960}}, 4096, 8192},         // the old file stays while written
    };
    for (const Case& c : cases) EXPECT_EQ(SpaceNeeded(c.files, c.cluster), c.needed);
    EXPECT_EQ(OnDisk(1, 4096), 4096u);
    EXPECT_EQ(OnDisk(8192, 4096), 8192u);
}

// The system's words for an error it has no text for.
TEST(SystemReason, NamesAnErrorWithoutText) {
    EXPECT_EQ(SystemReason(0xDEADBEEF), "error 3735928559");
}
