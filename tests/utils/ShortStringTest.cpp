// Short strings: the 255-character cut on every join and the record layout.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "ShortString.h"

TEST(ShortString, ConstructionCutsAt255) {
    std::string long300(300, 'x');
    ShortString s(long300);
    EXPECT_EQ(s.Length(), 255u);
    EXPECT_EQ(s.View(), std::string(255, 'x'));
}

TEST(ShortString, JoinsCutAt255AndNeverWritePastTheRecord) {
    struct Guarded {
        ShortString s;
        char guard[8];
    } g;
    std::memset(g.guard, 0x5A, sizeof g.guard);
    g.s = ShortString(std::string(250, 'a'));
    g.s += "bcdefghij";
    g.s += 'z';
    EXPECT_EQ(g.s.Length(), 255u);
    EXPECT_EQ(g.s.View().substr(250), "bcdef");
    for (char c : g.guard) EXPECT_EQ(c, 0x5A);
}

TEST(ShortString, LayoutIsLengthByteThenCharacters) {
    ShortString s("abc");
    unsigned char raw[256];
    std::memcpy(raw, &s, sizeof raw);
    EXPECT_EQ(raw[0], 3);
    EXPECT_EQ(std::memcmp(raw + 1, "abc", 3), 0);
}

TEST(ShortString, CStrTerminatesA255CharacterText) {
    ShortString s(std::string(255, 'q'));
    auto c = s.CStr();
    EXPECT_EQ(std::strlen(c.c_str()), 255u);
}

TEST(ShortString, ConcatenationWithPlus) {
    ShortString a("Cannot open file ");
    ShortString b = a + "C:\\x.txt";
    EXPECT_EQ(b, "Cannot open file C:\\x.txt");
    EXPECT_EQ(a, "Cannot open file ");
}

TEST(ShortString, StdStringJoinsStayStdStrings) {
    std::string path = "C:\\T\\";
    auto joined = path + "file.txt";  // must not turn into a short string
    static_assert(std::is_same_v<decltype(joined), std::string>);
    std::string longer = std::string(250, 'a') + std::string(10, 'b');
    EXPECT_EQ(longer.size(), 260u);
    ShortString s("x");
    static_assert(std::is_same_v<decltype(s + std::string("y")), ShortString>);
    EXPECT_EQ(s + std::string("y"), "xy");
}
