// The name rules every member must pass before anything is created.
#include <gtest/gtest.h>
#include <string>
#include "K4MemberNames.h"

TEST(MemberNames, RefusesEveryNameThatLeavesTheTargetOrOpensADevice) {
    const char* unsafe[] = {
        "", "\\x", "/x", "\\\\server\\share\\x", "C:x", "C:\\x", "c:/x", "x:y", "a\\b:stream",
        "..", "..\\x", "../x", "a\\..\\..\\x", "a/../x", "a\\..", ". .\\x", "...\\x", ".\\x",
        "CON", "con", "nul.txt", "Aux.log.txt", "PRN", "COM1", "com9.bin", "LPT1", "lpt9.x",
        "sub\\aux", "sub/Con.txt", "a\\NUL\\b.txt", "COM1 .txt", "conin$", "CONOUT$",
        "COM0", "lpt0.txt",
        // Superscript digits, which Windows reads as device digits: in the Windows
        // Latin-1 code page and in UTF-8.
        "COM\xB9", "lpt\xB2.txt", "com\xB3", "COM\xC2\xB9", "sub\\LPT\xC2\xB3.log",
    };
    for (const char* name : unsafe) EXPECT_TRUE(membername::IsUnsafe(name)) << '"' << name << '"';
}

TEST(MemberNames, AcceptsOrdinaryNamesThatMerelyResembleUnsafeOnes) {
    const char* safe[] = {
        "a.txt", "sub\\file.txt", "sub/file.txt", "a..b", "..a", "a..", ".hidden", "a\\.b",
        "console.txt", "CON_1", "COM10", "LPT", "nully", "sub\\\\x", "x y\\z",
        "COM\xC2", "COM\xC2" "9", "LPT\xB4", "COM\xC2\xB9x",
    };
    for (const char* name : safe) EXPECT_FALSE(membername::IsUnsafe(name)) << '"' << name << '"';
}

TEST(MemberNames, NamesWindowsCannotCreateAreRefused) {
    const char* refused[] = {"a?b", "a|b", "a\"b", "a<b", "a>b", "a*b", "tab\there", "bell\x07", "dot.",
                             "space ", "dir.\\inner.txt", "dir \\inner.txt", "sub\\end."};
    for (const char* name : refused) EXPECT_FALSE(membername::IsCreatable(name)) << '"' << name << '"';
    const char* created[] = {"a.txt", ".hidden", "a b.txt", "sub\\x.y\\z", "caf\xc3\xa9", "sub\\\\x", "\x7f"};
    for (const char* name : created) EXPECT_TRUE(membername::IsCreatable(name)) << '"' << name << '"';
}

TEST(MemberNames, OnlyWellFormedUtf8IsValid) {
    const char* valid[] = {"", "plain", "caf\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xef\xbf\xbd"};
    for (const char* text : valid) EXPECT_TRUE(membername::IsValidUtf8(text)) << text;
    const char* invalid[] = {
        "\xc0\xaf",              // overlong "/"
        "\xe0\x80\xaf",          // overlong "/" in three bytes
        "\xc1\xbf",              // overlong
        "\xed\xa0\x80",          // a surrogate
        "\xf4\x90\x80\x80",      // above U+10FFFF
        "\xf5\x80\x80\x80",      // no such lead
        "\x80",                  // a lone continuation
        "caf\xc3",               // cut short
        "\xe2\x82",              // cut short
        "\xc3\x28",              // a lead without its continuation
    };
    for (const char* text : invalid) EXPECT_FALSE(membername::IsValidUtf8(text)) << testing::PrintToString(text);
}

TEST(MemberNames, Utf16LengthCountsSurrogatePairsTwice) {
    EXPECT_EQ(membername::Utf16Length(""), 0u);
    EXPECT_EQ(membername::Utf16Length("abc"), 3u);
    EXPECT_EQ(membername::Utf16Length("caf\xc3\xa9"), 4u);
    EXPECT_EQ(membername::Utf16Length("\xe2\x82\xac"), 1u);
    EXPECT_EQ(membername::Utf16Length("a\xf0\x9f\x98\x80"), 3u);
}
