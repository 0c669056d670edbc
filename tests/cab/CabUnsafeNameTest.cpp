// Hostile names inside a cabinet: nothing is ever created outside the target, on a
// device or over the cabinet being read; the pass refuses the name before its first
// file and says so, while a listing still shows it.
#include <gtest/gtest.h>
#include "CabTestSupport.h"
#include "CabWriter.h"

using namespace k4test;

namespace {
// Extracts [before.txt, name, after.txt] into <dir>\in\t\ and returns the error text.
std::string ExtractBetween(const ScratchFolder& dir, const std::string& name) {
    const std::string target = dir / "in\\t\\";
    CreateDirectoryA((dir / "in").c_str(), nullptr);
    CreateDirectoryA(target.c_str(), nullptr);
    WriteAll(dir / "h.cab", cabw::Build({.members = {{"before.txt", "b"}, {name, "hostile"}, {"after.txt", "a"}}}));
    RunPass(true, dir / "h.cab", target);
    RunPass(false, dir / "h.cab", target);
    EXPECT_FALSE(FileExists(target + "before.txt")) << name << ": refused before the first file";
    EXPECT_FALSE(FileExists(target + "after.txt")) << name;
    return LastErrorText.Str();
}
}  // namespace

TEST(UnsafeNames, EveryKindStopsThePassAndNamesTheMember) {
    const char* names[] = {
        "\\x.txt", "/x.txt",                        // absolute
        "C:x.txt", "C:\\x.txt", "Z:/x.txt",         // drive-qualified
        "..\\x.txt", "../x.txt", "a\\..\\..\\x.txt", "a/../../x.txt", "a\\..",   // climbing
        "x.txt:stream", "a:b",                      // colons
        "CON", "nul.txt", "sub\\Aux.log", "com1", "LPT9.txt", "Prn .txt", "a/NUL/b.txt",   // devices
    };
    for (const char* name : names) {
        ScratchFolder dir;
        EXPECT_EQ(ExtractBetween(dir, name), std::string("Unsafe file name \"") + name + "\"");
        EXPECT_FALSE(FileExists(dir / "in\\x.txt")) << name;
        EXPECT_FALSE(FileExists(dir / "x.txt")) << name;
        EXPECT_TRUE(FolderEntries(dir / "in\\t").empty()) << name;
    }
}

TEST(UnsafeNames, AListingStillShowsThem) {
    ScratchFolder dir;
    WriteAll(dir / "h.cab", cabw::Build({.members = {{"..\\evil.txt", "e"}, {"CON", "c"}}}));
    LineRecorder list;
    RunPass(true, dir / "h.cab", dir.Dir(), &list);
    EXPECT_EQ(LastErrorText, "");
    ASSERT_EQ(list.lines.size(), 2u);
    EXPECT_EQ(list.lines[0].substr(0, 12), "..\\evil.txt ");
    EXPECT_EQ(list.lines[1].substr(0, 4), "CON ");
}

TEST(UnsafeNames, TheCabinetBeingReadIsNeverOverwritten) {
    ScratchFolder dir;
    CurrentDirectory inDir(dir.Path());
    for (const char* member : {"DATAFILE.K4A", "datafile.k4a"}) {
        const std::string cab = cabw::Build({.members = {{"first.txt", "1"}, {member, "overwrite"}}});
        WriteAll("DATAFILE.K4A", cab);
        RunPass(true, "DATAFILE.K4A", "");
        RunPass(false, "DATAFILE.K4A", "");
        EXPECT_EQ(LastErrorText.Str(), std::string("Unsafe file name \"") + member + "\"");
        EXPECT_EQ(ReadAll("DATAFILE.K4A"), cab);
        EXPECT_TRUE(FileExists("first.txt"));
    }
}

TEST(UnsafeNames, AnotherNameForTheCabinetIsRecognisedByIdentity) {
    ScratchFolder dir;
    const std::string cab = cabw::Build({.members = {{"link.bin", "overwrite"}}});
    WriteAll(dir / "c.cab", cab);
    CreateDirectoryA((dir / "t").c_str(), nullptr);
    if (!CreateHardLinkA((dir / "t\\link.bin").c_str(), (dir / "c.cab").c_str(), nullptr))
        GTEST_SKIP() << "no hard links on this file system";
    RunPass(false, dir / "c.cab", dir / "t\\");
    EXPECT_EQ(LastErrorText, "Unsafe file name \"link.bin\"");
    EXPECT_EQ(ReadAll(dir / "c.cab"), cab);
}
