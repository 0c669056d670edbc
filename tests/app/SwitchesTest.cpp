// The switches read from whole command lines: the program's name skipped however it
// is written, names case-blind after '/' or '-', quoted values, and what is not
// understood.
#include <gtest/gtest.h>
#include <string>
#include "K4Switches.h"

namespace {

struct Case {
    const char* commandLine;
    bool quiet, list, help;
    const char* target;  // null: no /T:
    const char* log;
    const char* unknown;
};

const Case kCases[] = {
    // The program's name alone, quoted or not, with blanks and a point in it.
    {"SETUP.EXE", false, false, false, nullptr, "", ""},
    {"\"C:\\My Setup\\SETUP.EXE\"", false, false, false, nullptr, "", ""},
    {"  C:\\Setup\\SETUP.EXE   ", false, false, false, nullptr, "", ""},
    // Names case-blind, '/' or '-', blanks and tabs between them.
    {"SETUP.EXE /Q", true, false, false, nullptr, "", ""},
    {"SETUP.EXE -q\t/l", true, true, false, nullptr, "", ""},
    {"\"C:\\A B\\SETUP.EXE\" /? ", false, false, true, nullptr, "", ""},
    {"\"C:\\A B\\SETUP.EXE\"/Q", true, false, false, nullptr, "", ""},
    // Values: quoted where they hold blanks, the quotes anywhere in the argument.
    {"SETUP.EXE /Q /T:\"C:\\My Files\"", true, false, false, "C:\\My Files", "", ""},
    {"SETUP.EXE \"/t:C:\\My Files\\\" -Q", true, false, false, "C:\\My Files\\", "", ""},
    {"SETUP.EXE /T:D:\\Out", false, false, false, "D:\\Out", "", ""},
    {"SETUP.EXE /log:\"C:\\Logs\\setup log.txt\" /Q", true, false, false, nullptr, "C:\\Logs\\setup log.txt", ""},
    {"SETUP.EXE /T:a /T:b", false, false, false, "b", "", ""},
    // The entry hands over the wide command line in UTF-8: values outside the code page
    // (C:\тест, D:\日本\log.txt) arrive byte for byte.
    {"SETUP.EXE /Q /T:C:\\\xD1\x82\xD0\xB5\xD1\x81\xD1\x82", true, false, false, "C:\\\xD1\x82\xD0\xB5\xD1\x81\xD1\x82", "", ""},
    {"SETUP.EXE /LOG:\"D:\\\xE6\x97\xA5\xE6\x9C\xAC\\log.txt\" /L", false, true, false, nullptr,
     "D:\\\xE6\x97\xA5\xE6\x9C\xAC\\log.txt", ""},
    // Not understood: the first one as given, once any switch of these is there; the
    // others are still read.
    {"SETUP.EXE /X /Q", true, false, false, nullptr, "", "/X"},
    {"SETUP.EXE /Q /QUIET /Y", true, false, false, nullptr, "", "/QUIET"},
    {"SETUP.EXE /T: /Q", true, false, false, nullptr, "", "/T:"},
    {"SETUP.EXE /LOG /Q", true, false, false, nullptr, "", "/LOG"},
    {"SETUP.EXE /L target", false, true, false, nullptr, "", "target"},
    {"SETUP.EXE /T:\"C:\\x\" / -", false, false, false, "C:\\x", "", "/"},
    {"SETUP.EXE /Q /T:\"C:\\open", true, false, false, nullptr, "", "/T:\"C:\\open"},
    {"SETUP.EXE -l /Q:1", false, true, false, nullptr, "", "/Q:1"},
    // Without any of them, arguments are left alone, as they always were.
    {"SETUP.EXE /S x.y", false, false, false, nullptr, "", ""},
    {"setup readme.txt", false, false, false, nullptr, "", ""},
    {"SETUP.EXE /T", false, false, false, nullptr, "", ""},
    {"SETUP.EXE /LOG: /Q:1", false, false, false, nullptr, "", ""},
};

}  // namespace

TEST(Switches, ReadFromTheCommandLine) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.commandLine);
        const Switches s = ParseSwitches(c.commandLine);
        EXPECT_EQ(s.quiet, c.quiet);
        EXPECT_EQ(s.list, c.list);
        EXPECT_EQ(s.help, c.help);
        EXPECT_EQ(s.hasTarget, c.target != nullptr);
        EXPECT_EQ(s.target, c.target ? c.target : "");
        EXPECT_EQ(s.logFile, c.log);
        EXPECT_EQ(s.unknown, c.unknown);
        EXPECT_EQ(s.Windowless(), c.quiet || c.list);
    }
}

// A value as the wide file calls take it and as the system code page shows it.
TEST(Switches, ValuesInUtf8AsWideAndAsShown) {
    EXPECT_EQ(WideValue("C:\\\xD1\x82\xD0\xB5\xD1\x81\xD1\x82"), L"C:\\\x0442\x0435\x0441\x0442");
    EXPECT_EQ(WideValue("C:\\Out"), L"C:\\Out");
    EXPECT_EQ(ShownValue("C:\\Out"), "C:\\Out");
    // Letters the code page lacks are shown as '?' (the test machines' code pages have no Cyrillic).
    EXPECT_EQ(ShownValue("C:\\\xD1\x82"), "C:\\?");
}

TEST(Switches, TheListNamesEverySwitchAndExitCode) {
    const std::string help = SwitchHelpText;
    for (const char* part : {"/Q", "/T:DIR", "/L", "/LOG:FILE", "/?", "0 done", "1 command line", "2 archive",
                             "3 target", "4 failure"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
}
