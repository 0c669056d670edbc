// The benchmark's programs do what their numbers claim: the bare extractor and the
// copy produce the files, the driver works the extractor to its success box, and
// every one of them fails loudly (exit code, error line) instead of timing a failure.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "Driver.h"

namespace {

struct Outcome {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

std::string Beside(const std::string& program) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    return dir.substr(0, dir.find_last_of('\\') + 1) + program;
}

// Runs a command line to its end and captures what it prints.
Outcome RunCommand(const std::string& commandLine) {
    Outcome outcome;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return outcome;
    UniqueKernelHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = writer.Get();
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return outcome;
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    writer.Reset();
    // Read while the program runs, and stop when it has ended: a process it started
    // (one of Wine's own services among them) may hold the pipe open much longer.
    const DWORD start = GetTickCount();
    bool ended = false;
    while (!ended && GetTickCount() - start < 120000) {
        ended = WaitForSingleObject(process.Get(), 20) == WAIT_OBJECT_0;
        DWORD available = 0;
        while (PeekNamedPipe(reader.Get(), nullptr, 0, nullptr, &available, nullptr) && available) {
            char buf[4096];
            DWORD got = 0;
            if (!ReadFile(reader.Get(), buf, sizeof buf, &got, nullptr) || !got) break;
            outcome.output.append(buf, got);
        }
    }
    GetExitCodeProcess(process.Get(), &outcome.exitCode);
    return outcome;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

const char* const kMembers[] = {"readme.txt", "sub\\data.bin", "empty.txt"};

}  // namespace

TEST(BareExtractor, WritesEveryMemberWithItsContent) {
    k4test::ScratchFolder out;
    Outcome run = RunCommand(Quote(Beside("k4bench_fdi.exe")) + " " + Quote(e2e::TestCabinet()) + " " + Quote(out.Path()));
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("files=3 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("peak_kb="), std::string::npos) << run.output;
    EXPECT_EQ(k4test::ReadAll(out / "readme.txt"), "The files of the end-to-end cabinet.\r\n");
    EXPECT_EQ(k4test::ReadAll(out / "sub\\data.bin").size(), 16u * 5000u);
    EXPECT_TRUE(k4test::Exists(out / "empty.txt"));
}

TEST(BareExtractor, FailuresEndWithANonZeroCode) {
    k4test::ScratchFolder out;
    const std::string fdi = Quote(Beside("k4bench_fdi.exe"));
    EXPECT_EQ(RunCommand(fdi).exitCode, 2u) << "usage";
    EXPECT_EQ(RunCommand(fdi + " " + Quote(out / "missing.cab") + " " + Quote(out.Path())).exitCode, 1u);
    k4test::WriteAll(out / "sub", "a file where the folder should go");
    Outcome blocked = RunCommand(fdi + " " + Quote(e2e::TestCabinet()) + " " + Quote(out.Path()));
    EXPECT_EQ(blocked.exitCode, 1u);
    EXPECT_NE(blocked.output.find("cannot create"), std::string::npos) << blocked.output;
}

TEST(PlainCopy, CopiesOrFails) {
    k4test::ScratchFolder out;
    const std::string copy = Quote(Beside("k4bench_copy.exe"));
    Outcome run = RunCommand(copy + " " + Quote(e2e::TestCabinet()) + " " + Quote(out / "copy.cab"));
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(k4test::ReadAll(out / "copy.cab"), k4test::ReadAll(e2e::TestCabinet()));
    EXPECT_EQ(RunCommand(copy + " " + Quote(out / "missing") + " " + Quote(out / "x")).exitCode, 1u);
    EXPECT_EQ(RunCommand(copy).exitCode, 2u);
}

TEST(Driver, ExecTimesAProgramAndPassesItsFailureOn) {
    k4test::ScratchFolder out;
    const std::string drive = Quote(Beside("k4bench_drive.exe"));
    const std::string fdi = Beside("k4bench_fdi.exe");
    Outcome good = RunCommand(drive + " exec " + Quote(out.Path()) + " \"" + fdi + " " + e2e::TestCabinet() + " " +
                       out.Path() + "\"");
    EXPECT_EQ(good.exitCode, 0u) << good.output;
    EXPECT_NE(good.output.find("total_ms="), std::string::npos) << good.output;
    EXPECT_NE(good.output.find("exit=0"), std::string::npos) << good.output;
    Outcome bad = RunCommand(drive + " exec " + Quote(out.Path()) + " \"" + fdi + "\"");
    EXPECT_EQ(bad.exitCode, 1u);
    EXPECT_NE(bad.output.find("exit=2"), std::string::npos) << bad.output;
    EXPECT_EQ(RunCommand(drive).exitCode, 2u) << "usage";
}

TEST(Driver, WorksTheExtractorToItsSuccessBox) {
    k4test::ScratchFolder work;
    const std::string cabinet = k4test::ReadAll(e2e::TestCabinet());
    const std::string exe = e2e::MakeExtractor(work, "bench.exe", k4test::Payload("", "K4 bench test", "", cabinet));
    ASSERT_FALSE(exe.empty());
    const std::string drive = Quote(Beside("k4bench_drive.exe"));
    Outcome run = RunCommand(drive + " ours " + Quote(exe) + " " + Quote(work.Path()) + " " + Quote(work / "out") +
                      " \"K4 bench test\"");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("listed=3 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("ok=1"), std::string::npos) << run.output;
    for (const char* member : kMembers) EXPECT_TRUE(k4test::Exists(work / "out\\" + member)) << member;

    Outcome window = RunCommand(drive + " window " + Quote(exe) + " " + Quote(work.Path()) + " \"K4 bench test\"");
    EXPECT_EQ(window.exitCode, 0u) << window.output;
    EXPECT_NE(window.output.find("window_ms="), std::string::npos) << window.output;
}

TEST(Driver, AnExtractorThatCannotReadItsPayloadIsReportedNotAwaited) {
    k4test::ScratchFolder work;
    const std::string exe = e2e::MakeExtractor(work, "empty.exe", k4test::Le32(0));
    ASSERT_FALSE(exe.empty());
    const std::string drive = Quote(Beside("k4bench_drive.exe"));
    Outcome run = RunCommand(drive + " window " + Quote(exe) + " " + Quote(work.Path()) + " \"K4 bench test\"");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("error=no-window"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("box=Sorry Cannot Find Data"), std::string::npos) << run.output;
}
