// Extraction passes over real cabinets: progress, contents, replaced files,
// subfolders, last-write times (and nothing else of the entries' attributes and times)
// and Unicode names.
#include <gtest/gtest.h>
#include <array>
#include "CabTestSupport.h"
#include "CabWriter.h"
#include "K4Paths.h"
#include "K4TextEncoding.h"
#include "K4CabNames.h"
#include "K4Error.h"
#include "UniqueHandle.h"

using namespace k4test;

namespace {
void ListThenExtract(const std::string& cabinet, const std::string& target) {
    RunPass(true, cabinet, target);
    RunPass(false, cabinet, target);
}

SYSTEMTIME LocalWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    FILETIME local;
    SYSTEMTIME st{};
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &st);
    return st;
}

ULONGLONG Ticks(const FILETIME& t) { return ULARGE_INTEGER{{t.dwLowDateTime, t.dwHighDateTime}}.QuadPart; }

// Whether setting a new file's last-write time alone leaves its creation time: Wine on
// Linux reports the last-write time as the creation time, Windows keeps them apart.
bool KeepsCreationTimeApart(const std::string& probe) {
    WriteAll(probe, "p");
    const FILETIME old{0, 0x01D00000};  // in 2014
    {
        UniqueFile file(CreateFileA(probe.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!SetFileTime(file.Get(), nullptr, nullptr, &old)) return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(probe.c_str(), GetFileExInfoStandard, &data) &&
           Ticks(data.ftCreationTime) != Ticks(old);
}

// Year, month, day, hour, minute and second, compared in one go.
using DateTime = std::array<WORD, 6>;
DateTime DateAndTime(const SYSTEMTIME& t) { return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}; }
}  // namespace

TEST(Extraction, ReportsPercentOfListedBytesAsEachFileStarts) {
    ScratchFolder target;
    ListThenExtract(DataPath("progress.cab"), target.Dir());
    EXPECT_EQ(LastErrorText, "");
    EXPECT_EQ(ReportedProgress, (std::vector<std::int32_t>{10, 30, 100}));
    for (const char* name : {"a100.bin", "b200.bin", "c700.bin"})
        EXPECT_EQ(ReadAll(target / name), ReadAll(DataPath(std::string("progress\\") + name))) << name;

    ListThenExtract(DataPath("tiny.cab"), target.Dir());
    EXPECT_EQ(ReportedProgress, (std::vector<std::int32_t>{12, 25, 100}));
    EXPECT_EQ(ReadAll(target / "six.txt"), "abcdef");
}

TEST(Extraction, WithoutAListingCreatesEveryFileButReportsNothing) {
    ScratchFolder target;
    ListingPass = true;
    ListedByteTotal = 0;
    RunPass(false, DataPath("tiny.cab"), target.Dir());
    EXPECT_EQ(LastErrorText, "");
    EXPECT_TRUE(ReportedProgress.empty());
    EXPECT_EQ(FolderEntries(target.Dir()), (std::vector<std::string>{"one.txt", "six.txt", "two.txt"}));
}

TEST(Extraction, ReplacesExistingFilesWithoutAsking) {
    ScratchFolder target;
    WriteAll(target / "six.txt", std::string(5000, 'z'));
    ListThenExtract(DataPath("tiny.cab"), target.Dir());
    EXPECT_EQ(LastErrorText, "");
    EXPECT_EQ(ReadAll(target / "six.txt"), "abcdef") << "the length follows the new content";
}

TEST(Extraction, CreatesMissingSubfoldersInsideTheTarget) {
    ScratchFolder target;
    ASSERT_TRUE(CreateDirectoryA((target / "sub").c_str(), nullptr)) << "one level exists already";
    ListThenExtract(DataPath("folders.cab"), target.Dir());
    EXPECT_EQ(LastErrorText, "");
    for (const char* name : {"top.txt", "sub\\inner.txt", "sub\\deeper\\leaf.txt", "other\\x.bin"})
        EXPECT_EQ(ReadAll(target / name), ReadAll(DataPath(std::string("folders\\") + name))) << name;
}

TEST(Extraction, ASubfolderThatCannotBeMadeEndsTheRun) {
    ScratchFolder target;
    WriteAll(target / "sub", "a file where the folder should go");
    RunPass(true, DataPath("folders.cab"), target.Dir());
    try {
        RunPass(false, DataPath("folders.cab"), target.Dir());
        FAIL() << "no failure raised";
    } catch (const K4FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + target.Dir() + "sub\\inner.txt");
    }
    EXPECT_TRUE(FileExists(target / "top.txt")) << "files extracted before stay";
    EXPECT_FALSE(FileExists(target / "other\\x.bin")) << "the run ended at the failing file";
    EXPECT_EQ(ReadAll(target / "sub"), "a file where the folder should go");
}

TEST(Extraction, FoldersAreMadeForEveryPassAndEveryReturnToThem) {
    // The engine checks a member's folders only when they differ from the previous
    // member's: going deeper, coming back, and a second pass into a new target must
    // all still find their folders made.
    ScratchFolder dir;
    const std::vector<cabw::Member> members = {{"a\\1.txt", "1"},      {"a\\2.txt", "2"}, {"a\\deep\\3.txt", "3"},
                                            {"a\\4.txt", "4"},      {"top.txt", "t"},  {"b\\5.txt", "5"},
                                            {"a\\6.txt", "6"}};
    WriteAll(dir / "f.cab", cabw::Build({.members = members}));
    for (const char* folder : {"first", "second"}) {
        const std::string target = dir / folder + "\\";
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
        ListThenExtract(dir / "f.cab", target);
        EXPECT_EQ(LastErrorText, "") << folder;
        for (const cabw::Member& member : members)
            EXPECT_EQ(ReadAll(target + member.name), member.data) << folder << " " << member.name;
    }
}

TEST(Extraction, LastWriteTimeIsTheCabinetsLocalTime) {
    ScratchFolder target;
    cabw::Member even{"even.txt", "e", (41 << 9) | (3 << 5) | 4, (5 << 11) | (6 << 5) | 4};
    cabw::Member odd{"odd.txt", "o", (44 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29};
    WriteAll(target / "t.cab", cabw::Build({.members = {even, odd}}));
    RunPass(false, target / "t.cab", target / "out");
    ASSERT_EQ(LastErrorText, "");   // TargetDir without separator: names join directly
    EXPECT_EQ(DateAndTime(LocalWriteTime(target / "outeven.txt")), (DateTime{2021, 3, 4, 5, 6, 8}));
    EXPECT_EQ(DateAndTime(LocalWriteTime(target / "outodd.txt")), (DateTime{2024, 12, 31, 23, 59, 58}))
        << "DOS times count two-second steps";
}

// The cabinet's attributes are not applied (a read-only member would refuse the next
// extraction over it), and only the last-write time is set: creation and last access
// keep the time the file was made.
TEST(Extraction, AttributesAreNotAppliedAndOnlyTheWriteTimeIsSet) {
    ScratchFolder target;
    const std::uint16_t date = (41 << 9) | (3 << 5) | 4, time = (5 << 11) | (6 << 5) | 4;
    const std::vector<cabw::Member> members = {
        {"readonly.txt", "r", date, time, FILE_ATTRIBUTE_READONLY},
        {"hidden.txt", "h", date, time, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        {"all.txt", "a", date, time, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE},
    };
    WriteAll(target / "a.cab", cabw::Build({.members = members}));
    FILETIME before;
    GetSystemTimeAsFileTime(&before);
    // A file system may keep times in steps of up to two seconds.
    const ULONGLONG earliest = Ticks(before) - 2 * 10000000ULL;
    for (int pass = 0; pass < 2; ++pass) {
        ListThenExtract(target / "a.cab", target.Dir());
        ASSERT_EQ(LastErrorText, "") << "pass " << pass;
    }
    const bool keepsCreation = KeepsCreationTimeApart(target / "probe.txt");
    for (const cabw::Member& member : members) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA((target / member.name).c_str(), GetFileExInfoStandard, &data)) << member.name;
        EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u)
            << member.name;
        EXPECT_EQ(DateAndTime(LocalWriteTime(target / member.name)), (DateTime{2021, 3, 4, 5, 6, 8})) << member.name;
        EXPECT_GE(Ticks(data.ftLastAccessTime), earliest) << member.name << ": access time not the cabinet's";
        if (keepsCreation) {
            EXPECT_GE(Ticks(data.ftCreationTime), earliest) << member.name << ": creation time not the cabinet's";
        }
    }
}

TEST(Extraction, AnImpossibleDateKeepsTheTimeOfCreation) {
    ScratchFolder target;
    const std::uint16_t fine = (5 << 11) | (6 << 5) | 4;
    cabw::Member zero{"zero.txt", "z", 0, 0};
    cabw::Member feb30{"feb30.txt", "f", (41 << 9) | (2 << 5) | 30, fine};
    cabw::Member hour25{"hour25.txt", "h", (41 << 9) | (3 << 5) | 4, (25 << 11)};
    WriteAll(target / "t.cab", cabw::Build({.members = {zero, feb30, hour25}}));
    SYSTEMTIME now;
    GetLocalTime(&now);
    RunPass(false, target / "t.cab", target.Dir());
    EXPECT_EQ(LastErrorText, "");
    for (const char* name : {"zero.txt", "feb30.txt", "hour25.txt"}) {
        const SYSTEMTIME st = LocalWriteTime(target / name);
        EXPECT_EQ(st.wYear, now.wYear) << name;
        EXPECT_EQ(st.wMonth, now.wMonth) << name;
    }
}

TEST(Extraction, UnicodeFlaggedNamesAreCreatedUnderTheirRealName) {
    ScratchFolder target;
    cabw::Member utf{"\xE6\x97\xA5\xE6\x9C\xAC\\caf\xC3\xA9.txt", "unicode", (41 << 9) | (3 << 5) | 4, 0, 0xA0};
    cabw::Member plain{"plain.txt", "bytes"};
    WriteAll(target / "u.cab", cabw::Build({.members = {utf, plain}}));
    ListThenExtract(target / "u.cab", target.Dir());
    EXPECT_EQ(LastErrorText, "");
    const std::wstring wide = WideFromCodePage(target.Dir(), CP_ACP) + L"\u65E5\u672C\\caf\u00E9.txt";
    EXPECT_NE(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES) << "created under its Unicode name";
    EXPECT_EQ(ReadAll(target / "plain.txt"), "bytes");
}
