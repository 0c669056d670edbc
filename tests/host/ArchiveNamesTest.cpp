// Names the packer must never store, the harmless names next to them, and the checks over a
// whole set of names: the extractor's rules (format/) with the packer's own on top.
#include <gtest/gtest.h>

#include "cabinet/ArchiveNames.h"
#include "K4CabFormat.h"
#include "K4MemberNames.h"
#include "PackError.h"

using namespace k4pack;

TEST(ExtractPrefix, FollowsHowTheExtractorCompletesItsTargetDirectory) {
    EXPECT_EQ(ExtractPrefix(""), "C:\\Buf\\");
    EXPECT_EQ(ExtractPrefix("\\"), "");
    EXPECT_EQ(ExtractPrefix("C:\\Out"), "C:\\Out\\");
    EXPECT_EQ(ExtractPrefix("C:\\Out\\"), "C:\\Out\\");
}

namespace {
bool Refused(const std::string& name) {
    try {
        CheckArchiveNames({name}, "");
        return false;
    } catch (const PackError&) {
        return true;
    }
}
}  // namespace

TEST(CheckArchiveNames, RefusesNamesThatLeaveTheTargetOrCannotBeCreated) {
    // clang-format off
    const char* hostile[] = {
        "",                    // nothing to create
        "\\abs.txt",           // root of the current drive
        "\\\\server\\share\\x",  // network path
        "C:x.txt",             // drive-relative
        "C:\\x.txt",           // drive-qualified
        "file.txt:stream",     // alternate data stream
        "..",
        "..\\up.txt",
        "sub\\..\\..\\up.txt",
        ".\\here.txt",
        "sub\\.",
        "sub/../../x.txt",     // Windows reads the slash as a separator
        "a?b", "a*b", "a<b", "a>b", "a|b", "a\"b",
        "tab\tname", "bell\x07",
        "trailing.", "trailing ", "sub.\\x.txt",
        "con", "CON", "con.txt", "sub\\Con.tar.gz", "aux .txt", "nul", "PRN",
        "com1", "COM9.log", "lpt1", "LPT0", "com0", "sub\\deep\\lpt9.txt",
    };
    // clang-format on
    for (const char* name : hostile)
        EXPECT_TRUE(Refused(name)) << '"' << name << '"';
}

TEST(CheckArchiveNames, AcceptsOrdinaryNamesThatMerelyLookAlike) {
    const char* harmless[] = {
        "readme.txt",
        "sub\\deep\\data.bin",
        "console.txt",
        "CONX",
        "connect\\a.txt",
        "COM10",
        "LPT",
        "com1x.txt",
        ".hidden",
        "a.b.c",
        "name with spaces.txt",
        "..dots.txt",
        "x\\y\\z\\w.v",
        "nul_ptr.h",
    };
    for (const char* name : harmless)
        EXPECT_FALSE(Refused(name)) << name;
}

// A name the extractor would refuse never gets into a cabinet.
TEST(CheckArchiveNames, RefusesEveryNameTheExtractorRefuses) {
    const char* refusedOnExtraction[] = {
        "\\x", "/x", "x:y", "a\\b:stream", ". .\\x", "...\\x", "a/../x", "conin$", "CONOUT$",
        "COM1 .txt", "COM0", "lpt0.txt", "COM\xB9", "com\xC2\xB2.txt", "Aux.log.txt", "dir \\inner.txt",
        "a?b", "a|b", "bell\x07", "sub\\end.", "space ",
    };
    for (const char* name : refusedOnExtraction) {
        ASSERT_TRUE(membername::IsUnsafe(name) || !membername::IsCreatable(name)) << name;
        EXPECT_TRUE(Refused(name)) << name;
    }
}

// The packer's own rule: the extractor creates such a name (a cabinet given with --cab may
// hold it), but from this file system it arrives as UTF-8 and would be created under
// another name.
TEST(CheckArchiveNames, NonAsciiIsRefusedForNamesFromThisFileSystem) {
    const std::string utf8 = "caf\xC3\xA9.txt";
    EXPECT_TRUE(Refused(utf8));
    cabfmt::Member member;
    member.name = utf8;
    EXPECT_TRUE(cabfmt::NameIsSafe(member, ExtractorCheckOptions("")));
}

TEST(CheckArchiveNames, PathLengthCountsTheTargetDirectory) {
    // Default prefix "C:\Buf\" has 7 characters: names up to 248 fit in 255.
    EXPECT_NO_THROW(CheckArchiveNames({std::string(248, 'n')}, ""));
    EXPECT_THROW(CheckArchiveNames({std::string(249, 'n')}, ""), PackError);
    // "C:\Out" gains a backslash: 7 characters again; a 100-character target leaves 154.
    EXPECT_NO_THROW(CheckArchiveNames({"sub\\" + std::string(244, 'n')}, "C:\\Out"));
    const std::string longTarget = "C:\\" + std::string(97, 't');
    EXPECT_NO_THROW(CheckArchiveNames({std::string(154, 'n')}, longTarget));
    EXPECT_THROW(CheckArchiveNames({std::string(155, 'n')}, longTarget),
                 PackError);
}

TEST(CheckArchiveNames, RefusesNamesThatMeetOnWindows) {
    EXPECT_THROW(CheckArchiveNames({"Read.me", "READ.ME"}, ""), PackError);
    EXPECT_THROW(CheckArchiveNames({"sub", "sub\\x.txt"}, ""), PackError);
    EXPECT_THROW(CheckArchiveNames({"SUB\\x.txt", "sub"}, ""), PackError);
    EXPECT_THROW(CheckArchiveNames({"a\\b\\c.txt", "A\\B"}, ""), PackError);
    // One folder spelled in two cases is one folder on Windows: no clash.
    EXPECT_NO_THROW(CheckArchiveNames({"Sub\\a.txt", "SUB\\b.txt", "sub.txt"}, ""));
    EXPECT_THROW(CheckArchiveNames({"ok.txt", "..\\bad.txt"}, ""), PackError);
}

TEST(CheckArchiveNames, AtMost65535Files) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kMaxCabinetFiles; ++i)
        names.push_back(std::to_string(i) + ".f");
    EXPECT_NO_THROW(CheckArchiveNames(names, ""));
    names.push_back("one-more");
    EXPECT_THROW(CheckArchiveNames(names, ""), PackError);
}
