// Program launch: the error entry of each kind of failed start, the counted
// command-line copy, and real starts of a windowed and of a console child program:
// handles inherited, and the bounded wait for one that never becomes ready for input.
#include <gtest/gtest.h>
#include <windows.h>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include "K4AboutSeams.h"
#include "K4ErrorForm.h"
#include "K4ExternalProcess.h"
#include "K4Messages.h"
#include "TestFiles.h"
#include "UniqueHandle.h"

namespace {

std::string ChildPath() { return k4test::ProgramFolder() + "\\k4_test_child.exe"; }
std::string ConsoleChildPath() { return k4test::ProgramFolder() + "\\k4_test_console_child.exe"; }

// Starting a program waits behind whatever keeps the Wine server busy, such as a
// test writing 20,000 files beside this one: the waits below are long, and end as
// soon as what they wait for happens.
constexpr int PatientTries = 600;   // 60 s in steps of 100 ms

// Waits for a top-level window with exactly this caption.
HWND FindCaption(const std::string& caption) {
    for (int i = 0; i < PatientTries; ++i) {
        if (HWND h = FindWindowA("K4TestChild", caption.c_str())) return h;
        Sleep(100);
    }
    return nullptr;
}

// Closes the child's window and waits until it is gone.
void CloseChild(HWND hwnd) {
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    for (int i = 0; i < PatientTries && IsWindow(hwnd); ++i) Sleep(100);
}

// Waits until a child holds its NAME-running mutex; false when it never did.
bool ChildRuns(const std::string& name) {
    for (int i = 0; i < PatientTries; ++i) {
        if (UniqueKernelHandle(OpenMutexA(SYNCHRONIZE, FALSE, (name + "-running").c_str()))) return true;
        Sleep(100);
    }
    return false;
}

std::string OnlyEntry() {
    EXPECT_EQ(ErrorStack->Count, 1);
    if (ErrorStack->Count != 1) return {};
    ShortString record;
    ErrorStack->ReadEntry(0, &record);
    return record.Str();
}

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearErrors();
        std::string record41(50, ' ');
        record41.replace(0, 12, "Cannot start");
        messages_ = dir_.Write("msgs.dat", std::string(41 * 50, ' ') + record41);
        MessageFileName = messages_;
        before_ = AllocatedBytes;
    }
    void TearDown() override {
        SetLaunchObserverForTests(nullptr);
        MessageFileName = ShortString();
        ClearErrors();
        EXPECT_EQ(AllocatedBytes, before_);
    }
    k4test::ScratchFolder dir_;
    std::string messages_;
    std::int32_t before_ = 0;
};

TEST_F(LaunchTest, EmptyCommandLineRecordsAnEntryWithAnEmptyCommandPart) {
    std::int32_t seen = 0;
    SetLaunchObserverForTests([&](const char*, std::int32_t code) { seen = code; });
    ExecuteProgram("");
    ASSERT_NE(seen, 0);
    EXPECT_EQ(OnlyEntry(), "Cannot start - execute  " + std::to_string(seen));
}

TEST_F(LaunchTest, MissingProgramEndsWithFileNotFoundInDecimal) {
    std::string command = (dir_ / "missing.exe") + " /x";
    ExecuteProgram(command);
    EXPECT_EQ(OnlyEntry(), "Cannot start - execute " + command + " 2");
    EXPECT_EQ(AllocatedBytes, before_ + 256);  // the log entry only; the copy is gone
}

TEST_F(LaunchTest, UnreadableMessageFileStandsFirstInTheEntry) {
    MessageFileName = (dir_ / "nomsgs.dat");
    std::string command = (dir_ / "missing.exe");
    ExecuteProgram(command);
    EXPECT_EQ(OnlyEntry(), "error reading message file \"" + (dir_ / "nomsgs.dat") +
                               "\" - index 41 err 2 - execute " + command + " 2");
}

TEST_F(LaunchTest, LongEntryIsCutAt255) {
    std::string command = (dir_ / "missing.exe ") + std::string(200, 'a');
    ExecuteProgram(command.substr(0, 255));
    std::string entry = OnlyEntry();
    EXPECT_EQ(entry.size(), 255u);
    EXPECT_EQ(entry, ("Cannot start - execute " + command).substr(0, 255));
}

TEST_F(LaunchTest, FullLengthCommandLineIsPassedWholeAndCountedWhileItExists) {
    std::string head = ChildPath() + " ";
    ASSERT_LT(head.size(), 200u);
    std::string caption(255 - head.size(), 'c');
    caption.back() = 'Z';
    std::string command = head + caption;
    std::size_t copied = 0;
    std::int32_t during = 0;
    SetLaunchObserverForTests([&](const char* copy, std::int32_t code) {
        copied = std::strlen(copy);
        during = AllocatedBytes;
        EXPECT_EQ(code, 0);
    });
    ExecuteProgram(command);
    EXPECT_EQ(copied, 255u);
    EXPECT_EQ(during, before_ + 256);
    EXPECT_EQ(AllocatedBytes, before_);
    // The start records nothing, and the call returns while the program still runs.
    EXPECT_FALSE(ErrorsPending());
    HWND child = FindCaption(caption);
    ASSERT_NE(child, nullptr);
    CloseChild(child);
}

TEST_F(LaunchTest, UnquotedPathWithSpacesStartsTheProgramItNames) {
    std::string folder = (dir_ / "k4 child dir");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::string program = folder + "\\k4 child.exe";
    ASSERT_TRUE(CopyFileA(ChildPath().c_str(), program.c_str(), FALSE));
    ExecuteProgram(program + " spaced start");
    EXPECT_FALSE(ErrorsPending());
    HWND child = FindCaption("spaced start");
    ASSERT_NE(child, nullptr);
    CloseChild(child);
    for (int i = 0; i < PatientTries && !DeleteFileA(program.c_str()); ++i) Sleep(100);
    RemoveDirectoryA(folder.c_str());
}

// The launch's wait for the new program's input idleness must end for a program that
// has no window and never waits for input. The launch runs on a second thread and is
// given far longer than its own bound on that wait; a launch that hangs (waiting for
// the program to end, say) fails here instead of holding the test, because the child
// is told to end before the thread is joined.
TEST_F(LaunchTest, AProgramWithoutAWindowDoesNotHoldTheLaunch) {
    const std::string name = "k4-console-child-" + std::to_string(GetCurrentProcessId());
    UniqueKernelHandle quit(CreateEventA(nullptr, TRUE, FALSE, (name + "-quit").c_str()));
    ASSERT_TRUE(quit);
    const std::string command = ConsoleChildPath() + " " + name;
    std::future<void> launch = std::async(std::launch::async, [&command] { ExecuteProgram(ShortString(command)); });
    const bool returned = launch.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    const bool running = ChildRuns(name);
    SetEvent(quit.Get());
    launch.wait();
    EXPECT_TRUE(returned) << "the launch still waited after 60 s";
    EXPECT_TRUE(running) << "the console child never came up";
    EXPECT_FALSE(ErrorsPending());
}

// The started program inherits the caller's inheritable handles: the child sets the
// event whose handle value it is given, which exists in its process only if inherited.
TEST_F(LaunchTest, TheProgramInheritsInheritableHandles) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueKernelHandle event(CreateEventA(&inheritable, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    const std::string arguments = "signal " + std::to_string(reinterpret_cast<UINT_PTR>(event.Get()));
    ExecuteProgram(ChildPath() + " " + arguments);
    EXPECT_FALSE(ErrorsPending());
    EXPECT_EQ(WaitForSingleObject(event.Get(), PatientTries * 100), WAIT_OBJECT_0) << "the handle was not inherited";
    HWND child = FindCaption(arguments);
    ASSERT_NE(child, nullptr) << "the child ended early: it could not set the event";
    CloseChild(child);
}

// A windowed program that never becomes ready for input holds the launch for its
// whole bound of 10 seconds, not longer, and is still running when the launch returns.
TEST_F(LaunchTest, AWindowedProgramThatNeverBecomesIdleHoldsTheLaunchTenSeconds) {
    const std::string name = "k4-never-idle-" + std::to_string(GetCurrentProcessId());
    UniqueKernelHandle quit(CreateEventA(nullptr, TRUE, FALSE, (name + "-quit").c_str()));
    ASSERT_TRUE(quit);
    const std::string command = ChildPath() + " never-idle " + name;
    const ULONGLONG start = GetTickCount64();
    std::future<ULONGLONG> launch = std::async(std::launch::async, [&command] {
        ExecuteProgram(ShortString(command));
        return GetTickCount64();
    });
    const bool returned = launch.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    const bool running = ChildRuns(name);
    SetEvent(quit.Get());
    const ULONGLONG waited = launch.get() - start;
    EXPECT_TRUE(returned) << "the launch still waited after 60 s";
    EXPECT_TRUE(running) << "the child was not running when the launch returned";
    // The tick count moves in steps of up to 16 ms.
    EXPECT_GE(waited + 16, LaunchIdleTimeout) << "the launch did not wait for the program to become idle";
    EXPECT_FALSE(ErrorsPending());
}

}  // namespace
