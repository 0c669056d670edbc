// Hostile member names through the real program: every name that leaves the target,
// names a device, cannot be held by Windows or clashes with another member's is
// refused by name before anything is created, even members before it.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "HostileRun.h"

using namespace hostile;

namespace {

// Absolute places the names below aim at, outside the scratch tree.
const std::vector<std::string> kAbsolute = {"C:\\k4hostile-root.txt", "C:\\k4hostile-drive.txt"};

std::string Unsafe(const std::string& name) { return "Unsafe file name \"" + name + "\""; }

class HostileName : public ::testing::TestWithParam<const char*> {
protected:
    // A cabinet with a harmless member followed by the hostile one.
    Outcome RunNamed(const std::string& name, const std::string& target) {
        cabw::Cabinet cabinet = cabw::OneFile("first.txt", "extracted before the hostile name\r\n");
        cabw::Member hostile;
        hostile.name = name;
        hostile.data = "hostile content\r\n";
        cabinet.members.push_back(hostile);
        Options options;
        options.target = target;
        Outcome outcome = RunProgram(arena_, PayloadFor(cabw::Build(cabinet), options), options);
        EXPECT_TRUE(outcome.windowShown);
        EXPECT_TRUE(outcome.targetTyped);
        ExpectContained(outcome, kAbsolute);
        return outcome;
    }
    Arena arena_;
};

}  // namespace

// Names that climb out, are absolute, name a drive or a stream, or a device.
class RefusedName : public HostileName {};

TEST_P(RefusedName, IsRefusedByNameAndNothingOfItIsWritten) {
    const std::string name = GetParam();
    Outcome outcome = RunNamed(name, arena_.Target());
    EXPECT_EQ(outcome.boxes, std::vector<std::string>{Unsafe(name)});
    // Judged before the first file: not even the harmless member before it is written.
    EXPECT_TRUE(arena_.TargetFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(
    LeavingTheTarget, RefusedName,
    ::testing::Values("\\k4hostile-root.txt", "/k4hostile-root.txt", "C:k4hostile-rel.txt", "C:\\k4hostile-drive.txt",
                      "c:/k4hostile-drive.txt", "..\\above.txt", "../above.txt", "sub\\..\\..\\beside.txt",
                      "sub/../../../above.txt", "..", ".", "...", ". .\\x.txt", "\\\\127.0.0.1\\share\\x.txt",
                      "\\\\?\\C:\\k4hostile-drive.txt", "file.txt:stream", "sub\\file.txt::$DATA"));

// Each reserved device name once, cycling through extension, position and case; the
// digit 0 and the superscript digits (Windows Latin-1) count as device digits too.
INSTANTIATE_TEST_SUITE_P(
    Devices, RefusedName,
    ::testing::Values("CON", "prn.txt", "sub\\AUX", "Nul.tar.gz", "COM1", "com2.log", "a\\COM3\\b.txt", "COM4 .txt",
                      "Com5", "COM6.", "x\\com7", "COM8.bin\\y", "COM9", "LPT1", "lpt2.txt", "a\\LPT3", "LPT4.doc",
                      "Lpt5", "LPT6\\z.txt", "lpt7.x", "LPT8", "d\\lpt9.txt\\e", "COM0", "lpt0.txt",
                      "COM\xB9", "sub\\lpt\xB2.log"));

// Names that Windows cannot hold as file names, or would silently change (trailing
// dots and spaces): refused by name before anything is created.
class UnholdableName : public HostileName {};

TEST_P(UnholdableName, IsRefusedBeforeAnythingIsWritten) {
    const std::string name = GetParam();
    Outcome outcome = RunNamed(name, arena_.Target());
    EXPECT_EQ(outcome.boxes, std::vector<std::string>{Unsafe(name)});
    EXPECT_TRUE(arena_.TargetFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(Characters, UnholdableName,
                         ::testing::Values("star*.txt", "what?.txt", "quote\".txt", "less<.txt", "more>.txt",
                                           "pipe|.txt", "bell\x07.txt", "tab\t.txt", "newline\n.txt", "esc\x1b",
                                           "sub\\ctl\x01\\x.txt", "dot.", "space ", "dir. \\inner.txt",
                                           "sub\\end.\\x.txt"));

// A name that reaches past the classic path limit below the target is no hostile name:
// it is extracted (through the long form), inside the target like every other.
TEST_F(HostileName, ANameBeyondTheClassicPathLimitIsExtractedInsideTheTarget) {
    const std::string name = "deep\\" + std::string(240, 'n') + ".txt";
    Outcome outcome = RunNamed(name, arena_.Target());
    ASSERT_EQ(outcome.boxes.size(), 1u);
    EXPECT_EQ(outcome.boxes[0].rfind("Ok Files have been extracted as ", 0), 0u) << outcome.boxes[0];
    EXPECT_FALSE(arena_.TargetFiles().empty());
}

TEST_F(HostileName, NamesThatLandInOneFileAreRefused) {
    cabw::Cabinet cabinet = cabw::OneFile("dup.txt", "first copy");
    cabinet.members.push_back(cabw::OneFile("DUP.TXT", "second copy, longer").members[0]);
    cabinet.members.push_back(cabw::OneFile("sub\\x.txt", "x1").members[0]);
    cabinet.members.push_back(cabw::OneFile("sub/x.txt", "x2").members[0]);
    Options options;
    options.target = arena_.Target();
    Outcome outcome = RunProgram(arena_, PayloadFor(cabw::Build(cabinet), options), options);
    ExpectContained(outcome, kAbsolute);
    EXPECT_EQ(outcome.boxes, std::vector<std::string>{"Duplicate file name \"DUP.TXT\""});
    EXPECT_TRUE(arena_.TargetFiles().empty());
}

// Letters beyond ASCII fold as the file system folds them: "\u00c9" and "\u00e9"
// are one file.
TEST_F(HostileName, NamesEqualBeyondAsciiAreRefused) {
    cabw::Cabinet cabinet = cabw::OneFile("caf\xc3\x89.txt", "upper");
    cabinet.members.push_back(cabw::OneFile("caf\xc3\xa9.txt", "lower").members[0]);
    for (cabw::Member& m : cabinet.members) m.attribs |= 0x80;   // names in UTF-8
    Options options;
    options.target = arena_.Target();
    Outcome outcome = RunProgram(arena_, PayloadFor(cabw::Build(cabinet), options), options);
    ExpectContained(outcome, kAbsolute);
    ASSERT_EQ(outcome.boxes.size(), 1u);
    EXPECT_EQ(outcome.boxes[0].rfind("Duplicate file name \"caf", 0), 0u) << outcome.boxes[0];
    EXPECT_TRUE(arena_.TargetFiles().empty());
}

// The temporary cabinet itself, when the target is the current directory: given
// as that directory, or as a lone backslash (which the window turns into none).
TEST_F(HostileName, TheTemporaryCabinetIsNeverOverwritten) {
    for (const char* name : {"DATAFILE.K4A", "datafile.k4a", "DATAFILE.K4A.", "DATAFILE.K4A "}) {
        for (const std::string& target : {arena_.Work() + "\\", std::string("\\")}) {
            SCOPED_TRACE(std::string(name) + " into " + target);
            cabw::Cabinet cabinet = cabw::OneFile(name, "would replace the cabinet being read");
            Options options;
            options.target = target;
            const std::string payload = PayloadFor(cabw::Build(cabinet), options);
            Outcome outcome = RunProgram(arena_, payload, options);
            ExpectContained(outcome, kAbsolute);
            EXPECT_EQ(outcome.boxes, std::vector<std::string>{Unsafe(name)});
            // The cabinet, as the program wrote it at start.
            EXPECT_TRUE(k4test::ReadAll(arena_.Work() + "\\DATAFILE.K4A") == cabw::Build(cabinet));
        }
    }
}
