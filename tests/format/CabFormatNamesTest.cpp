// The whole-cabinet check on members' names: every name that must not or cannot be
// created, and every pair of members that would land in one file, is refused
// before anything is written, and named as the caller shows names.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "FormatTestSupport.h"

using namespace formattest;
using cabfmt::Fault;

namespace {

cabw::Cabinet Named(const std::vector<std::string>& names, std::uint16_t attribs = 0x20) {
    cabw::Cabinet cabinet;
    for (const std::string& name : names) {
        cabw::Member m = cabw::OneFile(name, "data of " + name).members[0];
        m.attribs = attribs;
        cabinet.members.push_back(m);
    }
    return cabinet;
}

cabfmt::Result CheckNames(const std::vector<std::string>& names, const cabfmt::Options& options = {},
                          std::uint16_t attribs = 0x20) {
    return CheckBytes(cabw::Build(Named(names, attribs)), options);
}

}  // namespace

TEST(CabFormatNames, UnsafeOrUncreatableNamesAreRefusedAfterSoundOnes) {
    for (const char* bad : {"..\\up.txt", "C:\\abs.txt", "\\root.txt", "con.txt", "a?b", "pipe|d", "trail.",
                            "trail ", "ctl\x01", "sub.\\x", ""}) {
        SCOPED_TRACE(testing::PrintToString(bad));
        const cabfmt::Result result = CheckNames({"first.txt", bad});
        EXPECT_EQ(result.fault, Fault::UnsafeName);
        EXPECT_EQ(result.text, "Unsafe file name \"" + std::string(bad) + "\"");
        EXPECT_TRUE(result.members.empty()) << "nothing is handed on to extract";
    }
}

TEST(CabFormatNames, Utf8NamesMustBeWellFormed) {
    const std::uint16_t utf = 0x20 | cabfmt::AttribNameIsUtf;
    EXPECT_TRUE(CheckNames({"caf\xc3\xa9.txt"}, {}, utf).Sound());
    for (const char* bad : {"..\xc0\xaf" "escape.txt", "\xed\xa0\x80.txt", "cut\xe2\x82"}) {
        const cabfmt::Result result = CheckNames({bad}, {}, utf);
        EXPECT_EQ(result.fault, Fault::UnsafeName) << testing::PrintToString(bad);
    }
    // The same bytes without the flag are single-byte text, judged as such.
    EXPECT_TRUE(CheckNames({"cut\xe2\x82"}).Sound());
}

TEST(CabFormatNames, LengthsAreLimitedInTheUnitsTheSystemCounts) {
    cabfmt::Options options;
    options.maxNameLength = 10;
    options.maxUtfNameLength = 4;
    EXPECT_TRUE(CheckNames({"0123456789"}, options).Sound());
    EXPECT_EQ(CheckNames({"0123456789a"}, options).fault, Fault::UnsafeName);
    const std::uint16_t utf = 0x20 | cabfmt::AttribNameIsUtf;
    EXPECT_TRUE(CheckNames({"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"}, options, utf).Sound()) << "8 bytes, 4 units";
    EXPECT_EQ(CheckNames({"abc\xf0\x9f\x98\x80"}, options, utf).fault, Fault::UnsafeName) << "a pair counts twice";
}

TEST(CabFormatNames, NamesThatLandInOneFileAreDuplicates) {
    struct Case {
        std::vector<std::string> names;
        const char* named;
    };
    const Case cases[] = {
        {{"a.txt", "b.txt", "a.txt"}, "a.txt"},
        {{"Readme.TXT", "README.txt"}, "README.txt"},
        {{"sub\\x.txt", "sub/x.txt"}, "sub/x.txt"},
        {{"sub\\\\x.txt", "sub\\x.txt"}, "sub\\x.txt"},
        {{"lib", "lib\\inner.dll"}, "lib"},
        {{"lib\\inner.dll", "LIB"}, "LIB"},
        {{"a\\b\\c.txt", "x.txt", "A\\B"}, "A\\B"},
        {{"z.txt", "y.txt", "Z.TXT", "Y.TXT"}, "Z.TXT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        const cabfmt::Result result = CheckNames(c.names);
        EXPECT_EQ(result.fault, Fault::DuplicateName);
        EXPECT_EQ(result.text, std::string("Duplicate file name \"") + c.named + "\"");
    }
}

TEST(CabFormatNames, NamesThatMerelyResembleEachOtherAreDistinct) {
    const cabfmt::Result result =
        CheckNames({"a.txt", "a.txt2", "ab\\c", "a\\bc", "a\\b\\c", "a\\b\\d", "b\\c", "A.TX", "sub\\a.txt"});
    EXPECT_TRUE(result.Sound()) << result.text;
    EXPECT_EQ(result.members.size(), 9u);
}

// The caller decides how letters fold and how names read: the extractor folds as
// the file system does and shows names in the system code page.
TEST(CabFormatNames, FoldingAndShowingAreTheCallersChoice) {
    cabfmt::Options options;
    options.foldName = [](std::string_view stored, bool) {
        std::string out(stored);
        if (out == "\xe9.txt") out = "\xc9.txt";   // a letter beyond ASCII folded
        return out;
    };
    options.showName = [](std::string_view stored, bool) { return "<" + std::string(stored) + ">"; };
    const cabfmt::Result result = CheckNames({"\xc9.txt", "\xe9.txt"}, options);
    EXPECT_EQ(result.text, "Duplicate file name \"<\xe9.txt>\"");
    EXPECT_TRUE(CheckNames({"\xc9.txt", "\xe9.txt"}).Sound()) << "ASCII folding alone keeps them apart";
}
