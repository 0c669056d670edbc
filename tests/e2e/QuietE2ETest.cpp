// Runs chosen by switches, through the real program: /Q and /L without any window
// (every top-level window of the process watched for the whole run), their output
// through a pipe and a console, the /LOG: lines and an exit code for each kind of
// failure; and the switches' boxes and /T: in front of the window.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include "CabWriter.h"
#include "Driver.h"
#include "K4ExtractControls.h"
#include "PlacementPaths.h"
#include "UniqueHandle.h"
#include "WatchedRun.h"
#include "WindowDriver.h"

using namespace e2e;
using namespace k4test;
namespace id = extract_ids;

namespace {

const char* const kCaption = "K4 window test";
const char* const kMembers[] = {"readme.txt", "empty.txt", "docs\\manual.txt",
                                "a_member_name_longer_than_the_name_column_of_the_list.txt"};

class QuietE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ReadBytes(PackedWindowExtractor(), packed_));
        ASSERT_TRUE(SplitPayload(packed_, parts_));
        exe_ = folder_ / "SETUP.EXE";
        WriteAll(exe_, packed_);
    }

    // The same program with the payload's target text replaced.
    void WithPayloadTarget(const std::string& target) {
        WriteAll(exe_, parts_.image + Payload(target, parts_.caption, parts_.title, parts_.cabinet));
    }

    // The program's own name, quoted, then the switches.
    RunSeen Run(const std::string& switches, Output output = Output::Pipe) {
        return RunWatched("\"" + exe_ + "\" " + switches, folder_.Path(), output);
    }

    void ExpectExtracted(const std::string& dir) {
        for (const char* name : kMembers) {
            std::string got;
            ASSERT_TRUE(ReadAnyPath(dir + name, got)) << dir + name;
            EXPECT_TRUE(got == ReadAll(PackedWindowInput() + "\\" + name)) << dir + name << " differs";
        }
        EXPECT_FALSE(Exists(folder_ / "DATAFILE.K4A")) << "the temporary cabinet is removed";
    }

    std::string packed_;
    PayloadParts parts_;
    ScratchFolder folder_;
    std::string exe_;
};

}  // namespace

// The target of the payload or of /T: (with blanks, outside the system code page,
// of 300 characters in three folders), the program named with and without quotes:
// every file byte for byte, exit code 0, no window at any time.
TEST_F(QuietE2E, QuietRunsExtractWithoutAnyWindow) {
    struct Case {
        const char* how;
        bool quotedProgram;
        bool payloadTarget;  // the target in the payload, or in /T:
        std::string dir;     // UTF-8, its parents made; empty: "Some Dir N"
    };
    const std::string three = folder_ / (std::string(100, 'x') + "\\" + std::string(100, 'y') + "\\");
    const Case cases[] = {{"payload target, quoted program", true, true, ""},
                          {"/T: with blanks, unquoted program", false, false, ""},
                          {"/T: with blanks, quoted program", true, false, ""},
                          {"/T: outside the code page", true, false, folder_ / "\xd1\x82\xd0\xb5\xd1\x81\xd1\x82\\"},
                          {"/T: of 300 characters", true, false, three + std::string(300 - three.size(), 'z') + "\\"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const std::string dir = c.dir.empty() ? folder_ / ("Some Dir " + std::to_string(&c - cases)) + "\\" : c.dir;
        MakeParents(dir);
        std::string switches = "/Q";
        if (c.payloadTarget) WithPayloadTarget(dir);
        else switches = "-q /t:\"" + dir.substr(0, dir.size() - 1) + "\"";
        const std::string program = c.quotedProgram ? "\"" + exe_ + "\"" : exe_;
        const RunSeen seen = RunWatched(program + " " + switches, folder_.Path());
        EXPECT_EQ(seen.exitCode, 0u) << seen.output;
        EXPECT_TRUE(seen.windows.empty()) << seen.windows.front();
        ExpectExtracted(dir);
        EXPECT_EQ(Lines(seen.output),
                  (std::vector<std::string>{"Started: " + Shown(program + " " + switches),
                                            "Exit code 0: every file extracted into \"" + Shown(dir) + "\""}));
        WriteAll(exe_, packed_);
    }
}

// Each exit code from a real cause, with its lines on the output and in the log, and
// never a window.
TEST_F(QuietE2E, EachFailureHasItsExitCodeAndLogLines) {
    std::string cut = packed_;
    cut.resize(cut.size() - 4);
    cut += Le32(static_cast<std::uint32_t>(cut.size()));  // a trailer naming more than the file
    // k4pack's sum record follows the cabinet: spoiled with it, the archive is refused at
    // start; without it, the cabinet's own check finds the damage at Start.
    std::string summed = parts_.cabinet;
    summed[GetLe(summed, 8) - 20] ^= 0x55;  // inside the last data block
    const std::string damaged = summed.substr(0, GetLe(summed, 8));
    const std::string file = folder_.Write("a file", "not a folder");
    const std::string locked = folder_ / "locked";
    ASSERT_TRUE(CreateDirectoryA(locked.c_str(), nullptr));
    UniqueFile lock(CreateFileA((locked + "\\readme.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);
    // A drive letter that names no drive here.
    std::string drive = "?:";
    for (char d = 'Y'; d > 'D'; --d)
        if (!(GetLogicalDrives() & (1u << (d - 'A')))) drive[0] = d;

    struct Case {
        const char* what;
        std::string program;  // the program's bytes
        std::string switches;
        DWORD code;
        std::string failure;  // the start of its "Failed: " line
    };
    const std::string missingParent = folder_ / "new1\\new2";
    // A name the volume refuses: Wine keeps names in UTF-8 on a Linux file system, which
    // takes at most 255 bytes in a name; 150 letters é (0xE9 in the code page) are 150 bytes in
    // the cabinet and 300 there.
    cabw::Cabinet tooLong;
    tooLong.members.push_back({});
    tooLong.members[0].name = std::string(150, '\xE9') + ".txt";
    tooLong.members[0].data = "refused";
    const std::string refused = folder_ / "refused";
    std::vector<Case> cases = {
        {"unknown switch", packed_, "/Q /X", 1, "Switch not understood: /X"},
        {"malformed switch", packed_, "/T: /Q", 1, "Switch not understood: /T:"},
        {"payload cut short", cut, "/Q", 2, "Sorry Cannot Find Data"},
        {"damaged cabinet", parts_.image + Payload(parts_.target, parts_.caption, parts_.title, damaged), "/Q", 2,
         "Damaged cabinet: data block "},
        {"damaged archive", parts_.image + Payload(parts_.target, parts_.caption, parts_.title, summed), "/Q", 2,
         "The archive is damaged: its cabinet does not match its checksum"},
        {"missing parent", packed_, "/Q /T:" + missingParent, 3, "Error creating path \"" + missingParent + "\""},
        {"a file in the target's place", packed_, "/Q /T:\"" + file + "\"", 3, "Error creating path \"" + file + "\""},
        {"missing drive", packed_, "/Q /T:" + drive + "\\Out", 3, "Error creating path \"" + drive + "\\Out\""},
        {"locked member file", packed_, "/Q /T:" + locked, 4, "Cannot create file " + locked + "\\readme.txt."},
        {"a path the system refuses", parts_.image + Payload(parts_.target, parts_.caption, parts_.title, cabw::Build(tooLong)),
         "/Q /T:" + refused, 3, "Cannot create file \"" + refused + "\\" + std::string(150, '\xE9') + ".txt\": "},
    };
    // A volume without room: the 4 MiB one that scripts/fixture-mounts.sh mounts.
    const std::string small = Backslashed(placement_paths::Mounts) + "\\small";
    if (Exists(small + "\\.k4-mounted")) {
        cabw::Cabinet large;
        large.members.push_back({});
        large.members[0].name = "large.bin";
        large.members[0].data = std::string(5 << 20, 'x');
        cases.push_back({"no room", parts_.image + Payload(parts_.target, parts_.caption, parts_.title, cabw::Build(large)),
                         "/Q /T:" + small, 3, "Not enough free space in \"" + small + "\\\""});
    } else {
        std::printf("[   NOTE   ] no small volume under %s (scripts/fixture-mounts.sh): no case without room\n",
                    small.c_str());
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(exe_, c.program);
        const std::string log = folder_ / "setup log.txt";
        DeleteFileA(log.c_str());
        const std::string switches = c.switches + " /LOG:\"" + log + "\"";
        const RunSeen seen = Run(switches);
        EXPECT_EQ(seen.exitCode, c.code) << seen.output;
        EXPECT_TRUE(seen.windows.empty()) << seen.windows.front();
        const std::vector<std::string> lines = Lines(seen.output);
        ASSERT_EQ(lines.size(), 3u) << seen.output;
        EXPECT_EQ(lines[0], "Started: \"" + exe_ + "\" " + switches);
        EXPECT_EQ(lines[1].rfind("Failed: " + c.failure, 0), 0u) << lines[1];
        EXPECT_EQ(lines[2].rfind("Exit code " + std::to_string(c.code) + ": ", 0), 0u) << lines[2];
        EXPECT_EQ(ReadAll(log), seen.output) << "the log holds the same lines";
    }
    lock.Reset();
    EXPECT_EQ(ReadAll(locked + "\\readme.txt"), "") << "the locked file stays as it was";
}

// /Q leaves no temporary cabinet in the current folder, whatever the result: a failure
// at the cabinet's check, at the target, while writing, and a listing.
TEST_F(QuietE2E, AQuietRunLeavesNoTemporaryCabinetAfterAnyResult) {
    std::string damaged = parts_.cabinet;
    damaged[GetLe(damaged, 8) - 20] ^= 0x55;  // inside the last data block, found at the check
    damaged.resize(GetLe(damaged, 8));        // without the sum record, which the start would check
    const std::string locked = folder_ / "locked";
    ASSERT_TRUE(CreateDirectoryA(locked.c_str(), nullptr));
    UniqueFile lock(CreateFileA((locked + "\\readme.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);
    const struct {
        const char* what;
        std::string program;
        std::string switches;
        DWORD code;
    } cases[] = {
        {"damaged cabinet", parts_.image + Payload(parts_.target, parts_.caption, parts_.title, damaged), "/Q", 2},
        {"missing parent", packed_, "/Q /T:" + folder_ / "new1\\new2", 3},
        {"locked member file", packed_, "/Q /T:" + locked, 4},
        {"listing", packed_, "/Q /L", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(exe_, c.program);
        const RunSeen seen = Run(c.switches);
        EXPECT_EQ(seen.exitCode, c.code) << seen.output;
        EXPECT_TRUE(seen.windows.empty()) << seen.windows.front();
        EXPECT_FALSE(Exists(folder_ / "DATAFILE.K4A"));
    }
}

// /L lists as the window does and extracts nothing; /? on the console; a log is
// appended to, not replaced.
TEST_F(QuietE2E, ListingIsWhatTheWindowShows) {
    Process window;
    ASSERT_TRUE(window.Start(exe_, "\"" + exe_ + "\"", folder_.Path()));
    ExtractorWindow shown;
    ASSERT_TRUE(shown.Attach(window, kCaption));
    std::vector<std::string> expected = shown.ListLines();
    expected.push_back(shown.Text(id::Label1));
    shown.Close();
    ASSERT_TRUE(window.WaitForExit(DefaultTimeoutMs));
    ASSERT_EQ(expected.size(), std::size(kMembers) + 1);

    const std::string log = folder_ / "list.log";
    for (const char* switches : {"/L", "/q /l"}) {
        SCOPED_TRACE(switches);
        const RunSeen seen = Run(std::string(switches) + " /LOG:" + log);
        EXPECT_EQ(seen.exitCode, 0u);
        EXPECT_TRUE(seen.windows.empty()) << seen.windows.front();
        EXPECT_EQ(Lines(seen.output), expected);
        EXPECT_FALSE(Exists("C:\\K4Window\\readme.txt")) << "nothing extracted";
    }
    // Both runs' lines, each between its start and its result.
    const std::vector<std::string> logged = Lines(ReadAll(log));
    ASSERT_EQ(logged.size(), 2 * (expected.size() + 2));
    for (std::size_t run = 0; run < 2; ++run) {
        const std::size_t at = run * (expected.size() + 2);
        EXPECT_EQ(logged[at].rfind("Started: ", 0), 0u);
        EXPECT_EQ(std::vector<std::string>(logged.begin() + at + 1, logged.begin() + at + 1 + expected.size()), expected);
        EXPECT_EQ(logged[at + expected.size() + 1], "Exit code 0: every file listed");
    }

    const RunSeen help = Run("/Q /?");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_TRUE(help.windows.empty()) << help.windows.front();
    EXPECT_NE(help.output.find("/T:DIR"), std::string::npos) << help.output;
    EXPECT_NE(help.output.find("Exit codes"), std::string::npos) << help.output;
}

// Started from a console without redirected output, the program writes its lines
// into that console: here a screen buffer of the test's own console (made for the
// test when it has none), read back afterwards. Started with neither, it tells
// through its exit code alone.
TEST_F(QuietE2E, FromAConsoleTheLinesAreSeenThereWithoutOneTheExitCodeTells) {
    UniqueFile active(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    CONSOLE_SCREEN_BUFFER_INFO info;
    const bool hadConsole = active && GetConsoleScreenBufferInfo(active.Get(), &info);
    if (!hadConsole) {
        // Wine's console of a program started from a Unix shell has no screen buffer
        // to read back: a console of the test's own takes its place.
        FreeConsole();
        ASSERT_TRUE(AllocConsole());
    }
    UniqueFile screen(CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr));
    ASSERT_TRUE(screen);
    ASSERT_TRUE(SetConsoleScreenBufferSize(screen.Get(), COORD{400, 50})) << "rows wide enough for a whole line";
    ASSERT_TRUE(SetConsoleActiveScreenBuffer(screen.Get()));
    const std::string dir = folder_ / "from console";
    const RunSeen seen = Run("/Q /T:\"" + dir + "\"", Output::None);
    if (hadConsole) SetConsoleActiveScreenBuffer(active.Get());
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen.Get(), &info));
    std::vector<std::string> rows;
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        std::string row(info.dwSize.X, ' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterA(screen.Get(), row.data(), info.dwSize.X, COORD{0, y}, &read);
        row.resize(row.find_last_not_of(' ') + 1);
        if (!row.empty()) rows.push_back(row);
    }
    if (!hadConsole) FreeConsole();
    EXPECT_EQ(seen.exitCode, 0u);
    EXPECT_TRUE(seen.windows.empty()) << seen.windows.front();
    ExpectExtracted(dir + "\\");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "Started: \"" + exe_ + "\" /Q /T:\"" + dir + "\"");
    EXPECT_EQ(rows[1], "Exit code 0: every file extracted into \"" + dir + "\\\"");

    // The console made here is gone again: no console to join, no output given.
    if (hadConsole) GTEST_SKIP() << "the test's own console stays; no run without one here";
    const RunSeen done = Run("/Q /T:\"" + dir + " 2\"", Output::None);
    EXPECT_EQ(done.exitCode, 0u);
    EXPECT_TRUE(done.windows.empty()) << done.windows.front();
    ExpectExtracted(dir + " 2\\");
    const RunSeen refused = Run("/Q /nonsense", Output::None);
    EXPECT_EQ(refused.exitCode, 1u);
    EXPECT_TRUE(refused.windows.empty()) << refused.windows.front();
}

// Without /Q: a switch not understood beside known ones, and /?, each have a box (the
// watcher sees it), then the window as usual, or the end; /T: stands in the target
// edit. Arguments without any known switch change nothing (PayloadE2ETest).
TEST_F(QuietE2E, WithoutQuietTheSwitchesShowBoxes) {
    const RunSeen help = Run("/?");
    EXPECT_EQ(help.exitCode, 0u);
    ASSERT_EQ(help.windows.size(), 1u);
    EXPECT_EQ(help.windows[0].rfind("#32770 V4OvudEvuvuruda: Switches:", 0), 0u) << help.windows[0];

    // The unknown switch's box is answered by the watcher; the listing follows.
    const RunSeen listed = Run("/L /what");
    EXPECT_EQ(listed.exitCode, 0u);
    ASSERT_EQ(listed.windows.size(), 1u);
    EXPECT_EQ(listed.windows[0].rfind("#32770 V4OvudEvuvuruda: Switch not understood: /what\r\n", 0), 0u)
        << listed.windows[0];
    EXPECT_NE(listed.windows[0].find("/LOG:FILE"), std::string::npos) << "what is known";
    EXPECT_EQ(Lines(listed.output).size(), std::size(kMembers) + 1);

    Process process;
    const std::string target = folder_ / "My Files";
    ASSERT_TRUE(process.Start(exe_, "\"" + exe_ + "\" /x /T:\"" + target + "\"", folder_.Path()));
    const MessageBoxSeen box = WaitForMessageBox(process);
    ASSERT_NE(box.box, nullptr);
    EXPECT_EQ(box.text.rfind("Switch not understood: /x\r\n", 0), 0u) << box.text;
    ASSERT_TRUE(ConfirmBox(box.box));
    ExtractorWindow window;
    ASSERT_TRUE(window.Attach(process, kCaption));
    EXPECT_EQ(window.Text(id::LabeledEdit1), target);
    window.PressStart();
    const MessageBoxSeen done = WaitForMessageBox(process);
    EXPECT_EQ(done.text, "Ok Files have been extracted as \"" + target + "\\\"");
    ExpectExtracted(target + "\\");
    ASSERT_TRUE(ConfirmBox(done.box));
    ASSERT_TRUE(process.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process.ExitCode(), 0u);
}
