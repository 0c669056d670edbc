// The program's own exceptions: their text held in place, cut at 255 characters.
#include <gtest/gtest.h>
#include <string>
#include "K4Error.h"

TEST(K4Error, KeepsItsTextUpTo255Characters) {
    EXPECT_STREQ(K4Error("Cannot open file C:\\a.txt").what(), "Cannot open file C:\\a.txt");
    EXPECT_STREQ(K4Error("").what(), "");
    std::string longText(300, 'x');
    EXPECT_EQ(std::string(K4FileError(longText).what()), std::string(255, 'x'));
    std::string exact(255, 'y');
    EXPECT_EQ(std::string(K4Error(exact).what()), exact);
    const std::exception& asStd = K4DesignError("No control X");
    EXPECT_STREQ(asStd.what(), "No control X") << "the general error handler reads it as a std::exception";
}
