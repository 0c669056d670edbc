// The built extractor with payloads appended: the temporary cabinet it leaves, the
// one message for every bad payload, and starts under other names and arguments.
#include <gtest/gtest.h>
#include <string>
#include "Driver.h"
#include "K4Files.h"

using namespace e2e;
using namespace k4test;

namespace {

class PayloadE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ReadBytes(TestCabinet(), cabinet_)) << TestCabinet();
        ASSERT_EQ(cabinet_.substr(0, 4), "MSCF");
        ASSERT_TRUE(ReadBytes(ExtractorExe(), stub_)) << ExtractorExe();
    }

    // Starts the program with the scratch folder as current directory.
    void Start(const std::string& exe, const std::string& commandLine) {
        ASSERT_FALSE(exe.empty());
        ASSERT_TRUE(process_.Start(exe, commandLine, folder_.Path())) << commandLine;
    }

    // No box: the program ends by itself or shows its main window (captioned with
    // the payload's second text), and the cabinet alone is in place.
    void ExpectUnpacked(const char* caption) {
        // A box would wait for the user: stop waiting as soon as one shows.
        DWORD start = GetTickCount();
        while (!process_.WaitForExit(50)) {
            MessageBoxSeen box = WaitForMessageBox(process_, 0);
            if (box.box) FAIL() << "a box instead of the end: " << box.text;
            if (probe::VisibleMainWindow(process_.Id(), caption)) break;
            if (GetTickCount() - start > DefaultTimeoutMs) FAIL() << "neither ended nor showed its window";
        }
        if (!process_.Running()) {
            EXPECT_EQ(process_.ExitCode(), 0u);
        }
        std::string written;
        ASSERT_TRUE(ReadBytes(folder_ / "DATAFILE.K4A", written));
        EXPECT_EQ(written.size(), cabinet_.size()) << "the cabinet, without the trailer";
        EXPECT_TRUE(written == cabinet_) << "the cabinet, byte for byte";
    }

    // The program shows the one message, and ends once it is confirmed.
    void ExpectSorry(const char* what) {
        MessageBoxSeen box = WaitForMessageBox(process_);
        ASSERT_NE(box.box, nullptr) << what << ": no box; exit code " << process_.ExitCode();
        EXPECT_EQ(box.text, "Sorry Cannot Find Data") << what;
        EXPECT_FALSE(process_.WaitForExit(300)) << what << ": the box waits for the user";
        probe::PressButton(box.box, IDOK);
        ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs)) << what;
        EXPECT_EQ(process_.ExitCode(), 1u) << what << ": ended by the message, not by a crash";
    }

    // An executable with the given bytes appended, started with its quoted path.
    void RunWith(const std::string& appended, const char* name = "SETUP.EXE") {
        std::string exe = MakeExtractor(folder_, name, appended);
        Start(exe, "\"" + exe + "\"");
    }

    ScratchFolder folder_;
    Process process_;
    std::string cabinet_;
    std::string stub_;
};

}  // namespace

TEST_F(PayloadE2E, GoodPayloadLeavesTheCabinetAndEndsWithoutABox) {
    std::string payload = Payload("C:\\Target", "My caption", "A title line", cabinet_);
    RunWith(payload);
    ExpectUnpacked("My caption");
}

TEST_F(PayloadE2E, EmptyTextsAreAValidPayload) {
    std::string payload = Payload("", "", "", cabinet_);
    RunWith(payload);
    ExpectUnpacked("");
}

TEST_F(PayloadE2E, StubWithoutPayload) {
    RunWith("");
    ExpectSorry("the program as built");
    EXPECT_FALSE(Exists(folder_ / "DATAFILE.K4A"));
}

TEST_F(PayloadE2E, TextLongerThan255) {
    RunWith(Payload("C:\\T", std::string(256, 'c'), "t", cabinet_));
    ExpectSorry("caption of 256");
    EXPECT_FALSE(Exists(folder_ / "DATAFILE.K4A"));
}

TEST_F(PayloadE2E, TrailerLargerThanTheFile) {
    std::string block = Counted("a") + Counted("b") + Counted("c") + cabinet_;
    auto tooLong = static_cast<std::int32_t>(stub_.size() + block.size() + 1);
    RunWith(block + Le32(tooLong));
    ExpectSorry("trailer reaching before the file");
}

TEST_F(PayloadE2E, NegativeTrailer) {
    RunWith(Counted("a") + Counted("b") + Counted("c") + cabinet_ + Le32(-1));
    ExpectSorry("trailer -1");
}

// The cabinet is what follows the third text up to the trailer: a block without one
// ends the start in the message, and no temporary cabinet is written.
TEST_F(PayloadE2E, NothingLeftForTheCabinet) {
    const struct {
        const char* what;
        std::string appended;
    } cases[] = {
        {"the third text takes the trailer's own bytes", WithTrailer(Le32(0) + Le32(0) + Le32(4))},
        {"texts followed by an empty cabinet", Payload("C:\\Target", "My caption", "A title line", "")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunWith(c.appended);
        ExpectSorry(c.what);
        EXPECT_FALSE(Exists(folder_ / "DATAFILE.K4A"));
    }
}

// A temporary file that cannot be written in the current folder is no missing
// payload: it goes into the temporary folder, and the window shows (the folders that
// take it nowhere: tests/e2e/PlacementE2ETest.cpp).
TEST_F(PayloadE2E, TemporaryFileThatCannotBeWritten) {
    ASSERT_TRUE(CreateDirectoryA((folder_ / "DATAFILE.K4A").c_str(), nullptr));
    RunWith(Payload("a", "Placed elsewhere", "c", cabinet_));
    const HWND window = FindProcessWindow(process_, nullptr, "Placed elsewhere");
    ASSERT_NE(window, nullptr) << "a folder in the temporary file's place; box: " << WaitForMessageBox(process_, 0).text;
    EXPECT_TRUE(DirectoryExists(folder_ / "DATAFILE.K4A")) << "left as it was";
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process_.ExitCode(), 0u);
}

TEST_F(PayloadE2E, RenamedToAnotherExtension) {
    std::string payload = Payload("a", "Renamed", "c", cabinet_);
    RunWith(payload, "setup.scr");
    ExpectUnpacked("Renamed");
}

TEST_F(PayloadE2E, NameWithSpacesAndArguments) {
    std::string payload = Payload("a", "Renamed", "c", cabinet_);
    std::string exe = MakeExtractor(folder_, "My Setup Program.exe", payload);
    Start(exe, "\"" + exe + "\" /S x.y");
    ExpectUnpacked("Renamed");
}

TEST_F(PayloadE2E, StartedWithoutADirectoryAndAnArgumentWithAPoint) {
    std::string payload = Payload("a", "Renamed", "c", cabinet_);
    std::string exe = MakeExtractor(folder_, "SETUP.EXE", payload);
    Start(exe, "setup readme.txt");
    ExpectUnpacked("Renamed");
}
