// The engine's texts and arithmetic: error names, open-flag translation, listing
// lines, the rounded percentage, the member-name safety check and DOS dates.
#include <gtest/gtest.h>
#include <fcntl.h>
#include "CabTestSupport.h"
#include "K4CabNames.h"

using namespace k4test;

namespace {
ShortString NameOf(int code) {
    ERF err{};
    err.erfOper = code;
    return CabErrorName(err);
}
}  // namespace

TEST(CabErrorName, NamesTheLibraryCodesAndNumbersEverythingElse) {
    EXPECT_EQ(NameOf(0), "");
    EXPECT_EQ(NameOf(1), "FDIERROR_CABINET_NOT_FOUND");
    EXPECT_EQ(NameOf(4), "FDIERROR_CORRUPT_CABINET");
    EXPECT_EQ(NameOf(8), "FDIERROR_TARGET_FILE");
    EXPECT_EQ(NameOf(11), "FDIERROR_USER_ABORT");
    EXPECT_EQ(NameOf(12), "UNKNOWN CAB ERROR 12");
    EXPECT_EQ(NameOf(-1), "UNKNOWN CAB ERROR -1");
    EXPECT_EQ(NameOf(INT32_MIN), "UNKNOWN CAB ERROR -2147483648");
}

TEST(CabErrorName, ClearCabErrorKeepsTypeAndFlag) {
    CabError = ERF{4, 7, TRUE};
    LastErrorText = "FDIERROR_CORRUPT_CABINET";
    ClearCabError();
    EXPECT_EQ(LastErrorText, "");
    EXPECT_EQ(CabError.erfOper, 0);
    EXPECT_EQ(CabError.erfType, 7);
    EXPECT_EQ(CabError.fError, TRUE);
    CabError = ERF{};
}

TEST(OpenFlagsToMode, OnlyCreateWriteAndExclusiveCount) {
    EXPECT_EQ(OpenFlagsToMode(_O_RDONLY | _O_BINARY | _O_SEQUENTIAL), 0x40);
    EXPECT_EQ(OpenFlagsToMode(_O_WRONLY), 0x41);
    EXPECT_EQ(OpenFlagsToMode(_O_EXCL), 0x10);
    EXPECT_EQ(OpenFlagsToMode(_O_WRONLY | _O_EXCL), 0x11);
    EXPECT_EQ(OpenFlagsToMode(_O_CREAT), 0xFFFF);
    EXPECT_EQ(OpenFlagsToMode(_O_CREAT | _O_RDWR), 0xFFFF);
    EXPECT_EQ(OpenFlagsToMode(_O_CREAT | _O_EXCL | _O_WRONLY), 0xFFFF);
    EXPECT_EQ(OpenFlagsToMode(_O_RDWR), 0x40);
    EXPECT_EQ(OpenFlagsToMode(_O_TRUNC | _O_APPEND), 0x40);
    EXPECT_EQ(OpenFlagsToMode(0x10000 | _O_CREAT), 0xFFFF);
    EXPECT_EQ(OpenFlagsToMode(0x10000 | _O_WRONLY), 0x41) << "bits above 16 are ignored";
    EXPECT_EQ(OpenFlagsToMode(static_cast<int>(0xFFFF0000u)), 0x40);
}

TEST(ListingLine, NameColumnIsAlways45Characters) {
    EXPECT_EQ(ListingLine(std::string(44, 'a'), 1).Str(), std::string(44, 'a') + "        1");
    EXPECT_EQ(ListingLine(std::string(45, 'b'), 1).Str(), std::string(44, 'b') + "        1");
    EXPECT_EQ(ListingLine(std::string(255, 'c'), 1).Str(), std::string(44, 'c') + "        1");
    EXPECT_EQ(ListingLine("", 1).Str(), std::string(45, ' ') + "       1");
    EXPECT_EQ(ListingLine("readme.txt", 1234).Str(), "readme.txt" + std::string(35, ' ') + "    1234");
}

TEST(ListingLine, SizeColumnPadsToEightButNeverCuts) {
    EXPECT_EQ(ListingLine("x", 0).Str().substr(45), "       0");
    EXPECT_EQ(ListingLine("x", 12345678).Str().substr(45), "12345678");
    EXPECT_EQ(ListingLine("x", 123456789).Str().substr(45), "123456789");
    EXPECT_EQ(ListingLine("x", -5).Str().substr(45), "      -5");
    EXPECT_EQ(ListingLine("x", INT32_MIN).Str().substr(45), "-2147483648");
}

TEST(ProgressPercent, RoundsHalvesToEvenNeighbour) {
    EXPECT_EQ(ProgressPercent(1, 8), 12);    // 12.5
    EXPECT_EQ(ProgressPercent(3, 8), 38);    // 37.5
    EXPECT_EQ(ProgressPercent(5, 8), 62);    // 62.5
    EXPECT_EQ(ProgressPercent(2, 8), 25);
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(2, 3), 67);
    EXPECT_EQ(ProgressPercent(8, 8), 100);
}

TEST(ProgressPercent, StaysExactBeyondThirtyTwoBitProducts) {
    // 30 MB of 40 MB: the product 3e9 does not fit 32 bits.
    EXPECT_EQ(ProgressPercent(30000000, 40000000), 75);
    EXPECT_EQ(ProgressPercent(2000000000, 2000000000), 100);
    // The total is read as unsigned: 3 GB listed, 1.5 GB started.
    EXPECT_EQ(ProgressPercent(1500000000, static_cast<std::int32_t>(3000000000u)), 50);
    EXPECT_EQ(ProgressPercent(INT32_MAX, 1), INT32_MAX) << "out of range values are held, not undefined";
    EXPECT_EQ(ProgressPercent(INT32_MIN, 1), INT32_MIN);
}

TEST(ProgressPercent, NegativeCountsRoundToTheNearestAndHalvesToEven) {
    EXPECT_EQ(ProgressPercent(-1, 8), -12);  // -12.5
    EXPECT_EQ(ProgressPercent(-3, 8), -38);  // -37.5
    EXPECT_EQ(ProgressPercent(-1, 3), -33);  // -33.3
    EXPECT_EQ(ProgressPercent(-2, 3), -67);  // -66.7
    EXPECT_EQ(ProgressPercent(0, 5), 0);
}

TEST(DosDateTime, OnlyRealMomentsAreValid) {
    auto date = [](unsigned y, unsigned m, unsigned d) { return ((y - 1980) << 9) | (m << 5) | d; };
    auto time = [](unsigned h, unsigned mi, unsigned s) { return (h << 11) | (mi << 5) | (s / 2); };
    EXPECT_TRUE(ValidDosDateTime(date(2021, 3, 4), time(5, 6, 8)));
    EXPECT_TRUE(ValidDosDateTime(date(2000, 2, 29), time(23, 59, 58)));
    EXPECT_TRUE(ValidDosDateTime(date(1980, 1, 1), 0));
    EXPECT_FALSE(ValidDosDateTime(0, 0)) << "month 0, day 0";
    EXPECT_FALSE(ValidDosDateTime(date(2021, 13, 1), 0));
    EXPECT_FALSE(ValidDosDateTime(date(2021, 2, 29), 0));
    EXPECT_FALSE(ValidDosDateTime(date(2100, 2, 29), 0));
    EXPECT_FALSE(ValidDosDateTime(date(2021, 4, 31), 0));
    EXPECT_FALSE(ValidDosDateTime(date(2021, 3, 4), time(24, 0, 0)));
    EXPECT_FALSE(ValidDosDateTime(date(2021, 3, 4), time(1, 60, 0)));
    EXPECT_FALSE(ValidDosDateTime(date(2021, 3, 4), (1 << 11) | 30)) << "60 seconds";
}
