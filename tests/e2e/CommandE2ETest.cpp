// Installer archives through the real program: archives whose payload carries a run
// record, their cabinet holding the test command (command/K4RunChild.cpp), run with /Q,
// /L and through the window. The command records its working folder, arguments and how
// it was started into the folder K4_RUN_RECORD names (set here, inherited through the
// program), and leaves a grandchild that ends two seconds after it and writes a file.
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "CommandPaths.h"
#include "Driver.h"
#include "K4ExtractControls.h"
#include "K4RunRecord.h"
#include "SumRecordBytes.h"
#include "WatchedRun.h"
#include "WindowDriver.h"

using namespace e2e;
using namespace k4test;
namespace id = extract_ids;

namespace {

const char* const kCaption = "K4 command test";

// A full path as the system compares it: case-blind, without a trailing backslash.
std::string Folded(std::string path) {
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    for (char& c : path)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return path;
}

// The user's temporary folder's entries whose names begin with "~k4": the program's own.
std::vector<std::string> OwnTemporaryEntries() {
    char root[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof root, root);
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((std::string(root, n) + "~k4*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(entry.cFileName);
    while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

// What the command wrote: its working folder, arguments, start flags and own path.
struct CommandRecord {
    bool written = false;
    std::string folder, arguments, started, program;
};

class CommandE2E : public ::testing::Test {
protected:
    void SetUp() override {
        record_ = folder_ / "record";
        ASSERT_TRUE(CreateDirectoryA(record_.c_str(), nullptr));
        // Inherited by the program and so by the command it starts.
        ASSERT_TRUE(SetEnvironmentVariableA("K4_RUN_RECORD", record_.c_str()));
        ASSERT_TRUE(ReadBytes(Backslashed(command_paths::RunChild), child_));
        exe_ = folder_ / "pkg.exe";
    }
    void TearDown() override { SetEnvironmentVariableA("K4_RUN_RECORD", nullptr); }

    // The archive: the cabinet of `members` (the command's program among them, or not)
    // with the run record behind it, and a sum record behind that when `summed`.
    void Pack(const std::vector<cabw::Member>& members, const std::string& program, const std::string& arguments,
              std::uint32_t flags = 0, bool summed = true) {
        cabw::Cabinet cabinet;
        cabinet.members = members;
        const std::string cab = cabw::Build(cabinet);
        std::string behind = cab + RunRecord(program, arguments, flags);
        if (summed) behind += SumRecord(static_cast<std::uint32_t>(cab.size()), Crc32(cab));
        exe_ = MakeExtractor(folder_, "pkg.exe", Payload(folder_ / "payload target", kCaption, "Installer", behind));
    }
    static cabw::Member Member(const std::string& name, const std::string& data) {
        cabw::Member m;
        m.name = name;
        m.data = data;
        return m;
    }
    std::vector<cabw::Member> Installer(const std::string& program = "setup.exe") const {
        return {Member(program, child_), Member("docs\\readme.txt", "Read me.\r\n")};
    }

    RunSeen Run(const std::string& switches) { return RunWatched("\"" + exe_ + "\" " + switches, folder_.Path()); }

    CommandRecord Recorded() const {
        CommandRecord r;
        std::string text;
        if (!ReadBytes(record_ + "\\run-record.txt", text)) return r;
        const std::vector<std::string> lines = Lines(text);
        r.written = lines.size() >= 4;
        if (!r.written) return r;
        r.folder = lines[0];
        r.arguments = lines[1];
        r.started = lines[2];
        r.program = lines[3];
        return r;
    }
    bool GrandchildDone() const { return Exists(record_ + "\\grandchild-done.txt"); }
    void ClearRecord() {
        DeleteFileA((record_ + "\\run-record.txt").c_str());
        DeleteFileA((record_ + "\\grandchild-done.txt").c_str());
    }

    ScratchFolder folder_;
    std::string record_, child_, exe_;
};

}  // namespace

// /Q: the command runs from the extraction folder with its arguments as packed, the
// program waits for the grandchild it left and ends with the command's exit code
// unchanged, whatever it is; the log line says it is the command's.
TEST_F(CommandE2E, AQuietRunWaitsForTheWholeTreeAndEndsWithTheCommandsExitCode) {
    const std::string arguments = "/quiet \"two words\" --exit=";
    for (const DWORD code : {3010u, 0u, 1641u, 1603u}) {
        SCOPED_TRACE(code);
        ClearRecord();
        Pack(Installer("bin\\setup.exe"), "bin/setup.exe", arguments + std::to_string(code));
        const std::string out = folder_ / ("out " + std::to_string(code));
        const std::string log = folder_ / "command.log";
        DeleteFileA(log.c_str());
        const RunSeen seen = Run("/Q /T:\"" + out + "\" /LOG:\"" + log + "\"");
        EXPECT_EQ(seen.exitCode, code) << seen.output;
        EXPECT_TRUE(GrandchildDone()) << "the program ended before the command's grandchild";
        EXPECT_TRUE(seen.windows.empty()) << seen.windows.front();
        const CommandRecord r = Recorded();
        ASSERT_TRUE(r.written) << seen.output;
        EXPECT_EQ(Folded(r.folder), Folded(out)) << "the extraction folder is the working folder";
        EXPECT_EQ(r.arguments, arguments + std::to_string(code));
        EXPECT_EQ(Folded(r.program), Folded(out + "\\bin\\setup.exe"));
        EXPECT_EQ(ReadAll(out + "\\docs\\readme.txt"), "Read me.\r\n");
        const std::string shown = "\"" + out + "\\bin\\setup.exe\" " + arguments + std::to_string(code);
        EXPECT_EQ(Lines(seen.output),
                  (std::vector<std::string>{"Started: \"" + exe_ + "\" /Q /T:\"" + out + "\" /LOG:\"" + log + "\"",
                                            "Running: " + shown,
                                            "Exit code " + std::to_string(code) + ": the command's, " + shown}));
        EXPECT_EQ(ReadAll(log), seen.output);
        EXPECT_FALSE(Exists(folder_ / "DATAFILE.K4A"));
    }
}

// --run-temporary: the files go into a fresh folder under the temporary folder, which is
// gone once the command and its grandchild (whose working folder it was) have ended;
// /T: is refused with exit code 1 before anything is extracted.
TEST_F(CommandE2E, ATemporaryArchiveRemovesItsFolderAfterTheWholeTree) {
    const std::vector<std::string> before = OwnTemporaryEntries();
    Pack(Installer(), "setup.exe", "--exit=3010", runrecord::FlagTemporary);
    const RunSeen seen = Run("/Q");
    EXPECT_EQ(seen.exitCode, 3010u) << seen.output;
    EXPECT_TRUE(GrandchildDone());
    const CommandRecord r = Recorded();
    ASSERT_TRUE(r.written) << seen.output;
    char root[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof root, root);
    EXPECT_EQ(Folded(r.folder).rfind(Folded(std::string(root, n)) + "\\~K4", 0), 0u) << r.folder;
    EXPECT_FALSE(Exists(r.folder)) << "the temporary folder is removed";
    EXPECT_FALSE(Exists(r.folder + "\\setup.exe"));
    EXPECT_EQ(OwnTemporaryEntries(), before) << "nothing of the program's left in the temporary folder";
    EXPECT_EQ(seen.output.find("Not removed"), std::string::npos) << seen.output;

    ClearRecord();
    const std::string out = folder_ / "given";
    const RunSeen refused = Run("/Q /T:\"" + out + "\"");
    EXPECT_EQ(refused.exitCode, 1u) << refused.output;
    const std::vector<std::string> lines = Lines(refused.output);
    ASSERT_EQ(lines.size(), 3u) << refused.output;
    EXPECT_EQ(lines[1], "Failed: /T: cannot be given: this archive extracts into a temporary folder of its own");
    EXPECT_FALSE(Recorded().written) << "nothing ran";
    EXPECT_FALSE(Exists(out)) << "nothing extracted";
    EXPECT_FALSE(Exists(folder_ / "DATAFILE.K4A"));
    EXPECT_EQ(OwnTemporaryEntries(), before);
}

// A command that cannot run, after every file was extracted: its own message and exit
// code 4; a temporary folder is removed all the same.
TEST_F(CommandE2E, ACommandThatCannotRunFailsWithItsReasonAndExitCode4) {
    // A file that begins like a program image, whose headers the system cannot load.
    std::string broken = "MZ" + std::string(0x3A, '\0') + Le32(0x40) + "PE" + std::string(2, '\0') + std::string(200, '\x7f');
    const struct {
        const char* what;
        std::vector<cabw::Member> members;
        std::string program;
        std::uint32_t flags;
        std::string failure;  // the start of the message behind the program's path
    } cases[] = {
        {"a text file", {Member("setup.exe", "not a program\r\n")}, "setup.exe", 0, ": it is not a program"},
        {"a program image the system refuses", {Member("setup.exe", broken)}, "setup.exe", 0, ": "},
        {"a file the cabinet lacks", Installer(), "missing.exe", 0, ": "},
        {"a text file, temporary folder", {Member("setup.exe", "not a program\r\n")}, "setup.exe",
         runrecord::FlagTemporary, ": it is not a program"},
    };
    const std::vector<std::string> before = OwnTemporaryEntries();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pack(c.members, c.program, "/quiet", c.flags);
        const std::string out = folder_ / "failed";
        const RunSeen seen = Run(c.flags ? "/Q" : "/Q /T:\"" + out + "\"");
        EXPECT_EQ(seen.exitCode, 4u) << seen.output;
        EXPECT_TRUE(seen.windows.empty()) << seen.windows.front();
        const std::vector<std::string> lines = Lines(seen.output);
        ASSERT_GE(lines.size(), 3u) << seen.output;
        EXPECT_EQ(lines[lines.size() - 2].rfind("Failed: Cannot run \"", 0), 0u) << lines[lines.size() - 2];
        EXPECT_NE(lines[lines.size() - 2].find("\\" + c.program + "\"" + c.failure), std::string::npos)
            << lines[lines.size() - 2];
        EXPECT_EQ(lines.back().rfind("Exit code 4: ", 0), 0u) << lines.back();
        if (!c.flags) {
            EXPECT_TRUE(Exists(out + "\\setup.exe")) << "the files stay extracted";
        }
        EXPECT_EQ(OwnTemporaryEntries(), before);
    }
}

// /L lists the files and the command, and runs nothing.
TEST_F(CommandE2E, ListingShowsTheCommandAndRunsNothing) {
    Pack(Installer(), "setup.exe", "/quiet \"two words\"");
    const RunSeen seen = Run("/L");
    EXPECT_EQ(seen.exitCode, 0u) << seen.output;
    const std::vector<std::string> lines = Lines(seen.output);
    ASSERT_EQ(lines.size(), 4u) << seen.output;
    EXPECT_EQ(lines[2].rfind("2 files ", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3], "Command: setup.exe /quiet \"two words\"");
    EXPECT_FALSE(Recorded().written);

    Pack(Installer(), "setup.exe", "", runrecord::FlagTemporary);
    const RunSeen temporary = Run("/L");
    EXPECT_EQ(Lines(temporary.output).back(), "Command: setup.exe (in a temporary folder, removed afterwards)");
}

// The window: Start extracts and runs the command; while it runs the window says what
// it waits for, takes no Start and stays open when asked to close; then the success
// box names the command's exit code and the program ends.
TEST_F(CommandE2E, TheWindowWaitsForTheCommandThenNamesItsExitCode) {
    Pack(Installer(), "setup.exe", "--exit=3010");
    const std::string out = folder_ / "window out";
    Process process;
    ASSERT_TRUE(process.Start(exe_, "\"" + exe_ + "\"", folder_.Path()));
    ExtractorWindow window;
    ASSERT_TRUE(window.Attach(process, kCaption));
    EXPECT_TRUE(window.Visible(id::LabeledEdit1));
    ASSERT_TRUE(window.SetTarget(out));
    window.PressStart();
    std::string status;
    for (DWORD start = GetTickCount(); GetTickCount() - start < DefaultTimeoutMs && status.rfind("Waiting for ", 0) != 0;) {
        status = window.Text(id::Label1);
        Sleep(10);
    }
    EXPECT_EQ(status, "Waiting for \"" + out + "\\setup.exe\" --exit=3010 to end");
    EXPECT_FALSE(window.Enabled(id::StartBtn)) << "no Start while the command runs";
    window.Close();  // asked to close while the command runs: it stays
    const MessageBoxSeen box = WaitForMessageBox(process);
    ASSERT_NE(box.box, nullptr);
    EXPECT_TRUE(GrandchildDone()) << "the box came before the command's grandchild ended";
    EXPECT_EQ(box.text, "Ok Files have been extracted as \"" + out + "\\\"\r\nThe command ended with exit code 3010");
    EXPECT_TRUE(IsWindow(window.Handle())) << "the window stayed while the command ran";
    EXPECT_FALSE(window.Enabled(id::StartBtn));
    ASSERT_TRUE(ConfirmBox(box.box));
    ASSERT_TRUE(process.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(Folded(Recorded().folder), Folded(out));
}

// The window of a temporary archive shows no target to edit; its box follows the
// command, after which the folder is gone. A command that cannot run has its box, and
// the program ends.
TEST_F(CommandE2E, TheWindowOfATemporaryArchiveHasNoTargetAndAFailureEndsIt) {
    Pack(Installer(), "setup.exe", "--exit=0", runrecord::FlagTemporary);
    {
        Process process;
        ASSERT_TRUE(process.Start(exe_, "\"" + exe_ + "\"", folder_.Path()));
        ExtractorWindow window;
        ASSERT_TRUE(window.Attach(process, kCaption));
        EXPECT_FALSE(window.Visible(id::LabeledEdit1)) << "no target to edit";
        window.PressStart();
        const MessageBoxSeen box = WaitForMessageBox(process);
        ASSERT_NE(box.box, nullptr);
        EXPECT_EQ(box.text, "Ok Files have been extracted and the command has ended")
            << "names no removed folder, and no exit code 0";
        EXPECT_TRUE(GrandchildDone());
        const CommandRecord r = Recorded();
        ASSERT_TRUE(r.written);
        EXPECT_FALSE(Exists(r.folder)) << "removed before the box";
        ASSERT_TRUE(ConfirmBox(box.box));
        ASSERT_TRUE(process.WaitForExit(DefaultTimeoutMs));
    }
    Pack({Member("setup.exe", "not a program\r\n")}, "setup.exe", "");
    const std::string out = folder_ / "not a program";
    Process process;
    ASSERT_TRUE(process.Start(exe_, "\"" + exe_ + "\" /T:\"" + out + "\"", folder_.Path()));
    ExtractorWindow window;
    ASSERT_TRUE(window.Attach(process, kCaption));
    window.PressStart();
    const MessageBoxSeen box = WaitForMessageBox(process);
    EXPECT_EQ(box.text, "Cannot run \"" + out + "\\setup.exe\": it is not a program");
    ASSERT_TRUE(ConfirmBox(box.box));
    ASSERT_TRUE(process.WaitForExit(DefaultTimeoutMs)) << "the run is over";
}

// A program whose manifest asks for administrator rights: started through the shell's
// execute call, as the start flags the call leaves show (a plain process creation with
// an empty start-up record leaves none). Where the plain creation is refused with 740
// (elevation required), the archive's command runs all the same.
TEST_F(CommandE2E, AProgramAskingForAdministratorRightsIsStartedThroughTheShell) {
    std::string admin;
    ASSERT_TRUE(ReadBytes(Backslashed(command_paths::RunChildAdmin), admin));
    const std::string plain = folder_.Write("admin-plain.exe", admin);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = "\"" + plain + "\" --exit=7";
    const bool created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    const DWORD createError = created ? 0 : GetLastError();
    if (created) {
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        const CommandRecord direct = Recorded();
        EXPECT_EQ(direct.started, "flags 0 show 0") << "what a plain creation leaves";
        std::printf("[   NOTE   ] this system starts a program asking for administrator rights with the plain "
                    "process creation (Wine runs every program with those rights)\n");
        Sleep(2500);   // its grandchild's end
        ClearRecord();
    } else {
        EXPECT_EQ(createError, 740u) << "ERROR_ELEVATION_REQUIRED";
    }

    std::vector<cabw::Member> members{Member("setup.exe", admin)};
    Pack(members, "setup.exe", "--exit=3010");
    const std::string out = folder_ / "admin out";
    const RunSeen seen = Run("/Q /T:\"" + out + "\"");
    EXPECT_EQ(seen.exitCode, 3010u) << seen.output;
    const CommandRecord r = Recorded();
    ASSERT_TRUE(r.written) << seen.output;
    EXPECT_EQ(r.started, "flags 1 show 1") << "the shell's call shows the program as it was asked to";
}

// The archive k4pack --run packed at build time: /Q runs its setup.exe in the
// extraction folder with the arguments as written, waits for the grandchild too and
// ends with the command's exit code.
TEST_F(CommandE2E, AnArchivePackedByK4packRunsItsCommand) {
    exe_ = folder_.Write("pkg.exe", ReadAll(Backslashed(command_paths::Packed)));
    const std::string out = folder_ / "packed out";
    const RunSeen seen = Run("/Q /T:\"" + out + "\"");
    EXPECT_EQ(seen.exitCode, 3010u) << seen.output;
    EXPECT_TRUE(GrandchildDone());
    const CommandRecord r = Recorded();
    ASSERT_TRUE(r.written) << seen.output;
    EXPECT_EQ(Folded(r.folder), Folded(out));
    EXPECT_EQ(r.arguments, "/quiet \"two words\"");
    EXPECT_EQ(ReadAll(out + "\\docs\\readme.txt").rfind("Read me.", 0), 0u) << "the other file extracted";
    EXPECT_EQ(Lines(seen.output).back(), "Exit code 3010: the command's, \"" + out + "\\setup.exe\" /quiet \"two words\"");
}

// A program and a target outside the system code page: the wide calls carry both, the
// command's working folder and its own path arrive whole.
TEST_F(CommandE2E, AProgramAndATargetOutsideTheCodePageRun) {
    const std::string test = "\xd1\x82\xd0\xb5\xd1\x81\xd1\x82";  // "тест" in UTF-8
    cabw::Member program = Member("bin\\" + test + ".exe", child_);
    program.attribs = 0x20 | 0x80;  // archive, name in UTF-8
    Pack({program}, "bin/" + test + ".exe", "--exit=1641 " + test);
    const std::string out = folder_ / (test + " out");
    const RunSeen seen = Run("/Q /T:\"" + out + "\"");
    EXPECT_EQ(seen.exitCode, 1641u) << seen.output;
    EXPECT_TRUE(GrandchildDone());
    const CommandRecord r = Recorded();
    ASSERT_TRUE(r.written) << seen.output;
    EXPECT_EQ(Folded(r.folder), Folded(out));
    EXPECT_EQ(Folded(r.program), Folded(out + "\\bin\\" + test + ".exe"));
    EXPECT_EQ(r.arguments, "--exit=1641 " + test);
    EXPECT_EQ(Lines(seen.output).back(),
              Shown("Exit code 1641: the command's, \"" + out + "\\bin\\" + test + ".exe\" --exit=1641 " + test));
}
