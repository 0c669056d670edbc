// Short-string routines: fill and trim bounds, byte-wise upper case and whole-number texts.
#include <gtest/gtest.h>
#include <string>
#include "K4Utils.h"

TEST(FillRoutines, SpaceStringHasAtLeastOneSpaceAndAtMost255) {
    EXPECT_EQ(SpaceString(0), " ");
    EXPECT_EQ(SpaceString(-7), " ");
    EXPECT_EQ(SpaceString(1), " ");
    EXPECT_EQ(SpaceString(50).Str(), std::string(50, ' '));
    EXPECT_EQ(SpaceString(255).Str(), std::string(255, ' '));
    EXPECT_EQ(SpaceString(1000).Length(), 255u);
}

TEST(FillRoutines, FillStringIsEmptyForZeroOrLessAndCutAt255) {
    EXPECT_EQ(FillString('x', 0), "");
    EXPECT_EQ(FillString('x', -3), "");
    EXPECT_EQ(FillString('x', 3), "xxx");
    EXPECT_EQ(FillString('\0', 2).Length(), 2u);
    EXPECT_EQ(FillString('#', 300).Str(), std::string(255, '#'));
}

TEST(TrimSpaces, RemovesOnlyTheSpaceCharacterAtBothEnds) {
    EXPECT_EQ(TrimSpaces("  a b  "), "a b");
    EXPECT_EQ(TrimSpaces("     "), "");
    EXPECT_EQ(TrimSpaces(""), "");
    EXPECT_EQ(TrimSpaces("\tx\t"), "\tx\t");
    EXPECT_EQ(TrimSpaces(" \tx "), "\tx");
    EXPECT_EQ(TrimSpaces(ShortString(std::string(255, ' '))), "");
}

TEST(UpperCase, ChangesOnlyLowerLettersAndTheUpperBytes) {
    auto up = [](int b) { return static_cast<unsigned char>(UpCaseChar(static_cast<char>(b))); };
    EXPECT_EQ(up('a'), 'A');
    EXPECT_EQ(up('z'), 'Z');
    EXPECT_EQ(up(0xE0), 0xC0);
    EXPECT_EQ(up(0xF7), 0xD7);
    EXPECT_EQ(up(0xFF), 0xDF);
    const int stay[] = {'A', 'Z', '0', '9', '`', '{', '.', '\\', ':', ' ', 0x00, 0x7F, 0x80, 0x9A, 0xC0, 0xDF};
    for (int b : stay)
        EXPECT_EQ(up(b), b) << "byte " << b << " stays";
}

TEST(IntegerText, EveryValueInDecimalWithItsSign) {
    EXPECT_EQ(IntegerText(0), "0");
    EXPECT_EQ(IntegerText(7), "7");
    EXPECT_EQ(IntegerText(-7), "-7");
    EXPECT_EQ(IntegerText(10), "10");
    EXPECT_EQ(IntegerText(1000000), "1000000");
    EXPECT_EQ(IntegerText(-100), "-100");
    EXPECT_EQ(IntegerText(INT32_MIN), "-2147483648");
    EXPECT_EQ(IntegerText(4294967295LL), "4294967295");
    EXPECT_EQ(IntegerText(INT64_MAX), "9223372036854775807");
    EXPECT_EQ(IntegerText(INT64_MIN), "-9223372036854775808") << "the magnitude of the most negative value has no positive twin";
}
