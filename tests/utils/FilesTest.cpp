// Files, folders, paths and text encodings as the program asks the system about them.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "K4Files.h"
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
