// The Windows edge's text, checked natively: UTF-8 <-> UTF-16 by their definitions (every
// length of sequence, the surrogate pairs, what either side cannot carry) and the
// extended-length form of paths (drive roots, shares, trailing separators, "." and "..",
// relative, rooted and drive-relative paths, names the system would otherwise rewrite).
#include <gtest/gtest.h>

#include "WindowsText.h"

using namespace k4pack;

TEST(WindowsText, Utf8AndUtf16RoundTripEveryLengthOfSequence) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"", u""},
        {"plain.txt", u"plain.txt"},
        {"\x7F", u"\x7F"},
        {"caf\xC3\xA9", u"caf\u00E9"},                          // two bytes
        {"\xDF\xBF", u"\u07FF"},                                // the last of two bytes
        {"\xE0\xA0\x80", u"\u0800"},                            // the first of three
        {"\xD1\x82\xD0\xB5\xD1\x81\xD1\x82", u"\u0442\u0435\u0441\u0442"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xEF\xBF\xBD", u"\uFFFD"},
        {"\xEE\x80\x80", u"\uE000"},                            // just past the surrogates
        {"\xF0\x9F\x98\x80.txt", u"\U0001F600.txt"},            // a surrogate pair
        {"\xF0\x90\x80\x80", u"\U00010000"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf16FromUtf8(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(Utf8FromUtf16(c.utf16), c.utf8) << c.utf8;
        EXPECT_EQ(ShownUtf16(c.utf16), c.utf8) << c.utf8;
    }
}

TEST(WindowsText, BytesThatAreNotUtf8AreRefused) {
    const char* bad[] = {
        "caf\xE9",            // a code page byte
        "\xC3",               // cut after the lead byte
        "\xE2\x82",           // cut inside
        "\x80",               // a continuation alone
        "\xC0\xAF",           // overlong '/'
        "\xC1\xBF",           // overlong
        "\xE0\x9F\xBF",       // overlong three bytes
        "\xF0\x8F\xBF\xBF",   // overlong four bytes
        "\xED\xA0\x80",       // a high surrogate encoded
        "\xED\xBF\xBF",       // a low surrogate encoded
        "\xF4\x90\x80\x80",   // over U+10FFFF
        "\xF8\x88\x80\x80\x80",
        "a\xC3(b",            // the continuation missing
    };
    for (const char* text : bad)
        EXPECT_EQ(Utf16FromUtf8(text), std::nullopt) << text;
}

TEST(WindowsText, UnpairedSurrogatesHaveNoUtf8AndAreShownAsReplacement) {
    struct Case {
        std::u16string utf16;
        std::string shown;
    };
    const Case cases[] = {
        {u"a\xD800", "a\xEF\xBF\xBD"},                // high at the end
        {u"\xDC00z", "\xEF\xBF\xBDz"},                // low alone
        {u"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80"},  // a high, then a pair
        {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // the wrong order
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8FromUtf16(c.utf16), std::nullopt) << c.shown;
        EXPECT_EQ(ShownUtf16(c.utf16), c.shown);
    }
}

TEST(WindowsText, PathsTakeTheExtendedLengthForm) {
    struct Case {
        const char* path;
        const char* current;
        const char* extended;  // null: no such form
    };
    const std::string longName(300, 'n');
    const Case cases[] = {
        {"C:\\", "D:\\w", "\\\\?\\C:\\"},
        {"c:/", "D:\\w", "\\\\?\\c:\\"},
        {"C:\\dir\\file.txt", "D:\\w", "\\\\?\\C:\\dir\\file.txt"},
        {"C:\\dir\\", "D:\\w", "\\\\?\\C:\\dir"},
        {"C:/dir//sub///f", "D:\\w", "\\\\?\\C:\\dir\\sub\\f"},
        {"C:\\a\\.\\b\\..\\c", "D:\\w", "\\\\?\\C:\\a\\c"},
        {"C:\\..\\..\\x", "D:\\w", "\\\\?\\C:\\x"},                   // ".." stays at the root
        {"C:\\dir\\trailing.", "D:\\w", "\\\\?\\C:\\dir\\trailing."},  // kept: a name, as on Linux
        {"C:\\dir\\con.txt", "D:\\w", "\\\\?\\C:\\dir\\con.txt"},      // no device
        {"C:\\dir\\name ", "D:\\w", "\\\\?\\C:\\dir\\name "},
        {"\\\\server\\share", "D:\\w", "\\\\?\\UNC\\server\\share\\"},
        {"\\\\server\\share\\", "D:\\w", "\\\\?\\UNC\\server\\share\\"},
        {"\\\\server\\share\\d\\f.txt", "D:\\w", "\\\\?\\UNC\\server\\share\\d\\f.txt"},
        {"//server/share/d/../f", "D:\\w", "\\\\?\\UNC\\server\\share\\f"},
        {"\\\\server\\share\\..\\..\\f", "D:\\w", "\\\\?\\UNC\\server\\share\\f"},
        {"\\\\server", "D:\\w", nullptr},
        {"\\\\server\\", "D:\\w", nullptr},
        {"\\\\?\\C:\\as\\is\\..", "D:\\w", "\\\\?\\C:\\as\\is\\.."},
        {"\\\\.\\pipe\\x", "D:\\w", "\\\\.\\pipe\\x"},
        {"file.txt", "D:\\w", "\\\\?\\D:\\w\\file.txt"},
        {"sub/f.txt", "D:\\w\\", "\\\\?\\D:\\w\\sub\\f.txt"},
        {"..\\f.txt", "D:\\w\\x", "\\\\?\\D:\\w\\f.txt"},
        {".", "D:\\w", "\\\\?\\D:\\w"},
        {"f.txt", "\\\\server\\share\\w", "\\\\?\\UNC\\server\\share\\w\\f.txt"},
        {"\\top\\f.txt", "D:\\w", "\\\\?\\D:\\top\\f.txt"},            // rooted: the current drive
        {"/top", "\\\\server\\share\\w", "\\\\?\\UNC\\server\\share\\top"},
        {"d:f.txt", "D:\\w", "\\\\?\\D:\\w\\f.txt"},                   // drive-relative, current drive
        {"E:f.txt", "D:\\w", "\\\\?\\E:\\f.txt"},                      // another drive: its root
        {"D:", "D:\\w", "\\\\?\\D:\\w"},
        {"", "D:\\w", nullptr},
        {"file.txt", "relative\\w", nullptr},
        {"file.txt", "", nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> got = ExtendedLengthPath(c.path, c.current);
        if (c.extended)
            EXPECT_EQ(got, std::optional<std::string>(c.extended)) << c.path << " in " << c.current;
        else
            EXPECT_EQ(got, std::nullopt) << c.path << " in " << c.current;
    }
    // Length is no limit, and nothing is added to a path already in the form.
    const std::string deep = "C:\\" + longName + "\\" + longName;
    EXPECT_EQ(ExtendedLengthPath(deep, "D:\\"), "\\\\?\\" + deep);
    EXPECT_EQ(ExtendedLengthPath(*ExtendedLengthPath(deep, "D:\\"), "D:\\"), "\\\\?\\" + deep);
}
