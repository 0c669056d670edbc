// The extractor window through the real program: a self-extractor packed by k4pack,
// started in a scratch folder, read and worked through window messages. Covers the
// listing, the target edit, extraction with time stamps and the program's end,
// and every failure: engine errors, raised file failures, uncreatable paths.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "Driver.h"
#include "K4CabFormat.h"
#include "MemoryCabinet.h"
#include "K4ExtractControls.h"
#include "WindowDriver.h"

using namespace e2e;
using namespace k4test;
namespace id = extract_ids;

namespace {

const char* const kCaption = "K4 window test";
const char* const kLongName = "a_member_name_longer_than_the_name_column_of_the_list.txt";

struct Member {
    std::string name;  // inside the cabinet
    std::string bytes;
};

// The line a listing gives a member: name cut or filled to 44, a space, the size
// right-aligned in 8.
std::string ListLine(const Member& m) {
    std::string name = m.name.substr(0, 44);
    name.resize(44, ' ');
    std::string size = std::to_string(m.bytes.size());
    return name + " " + std::string(size.size() < 8 ? 8 - size.size() : 0, ' ') + size;
}

class WindowE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ReadBytes(PackedWindowExtractor(), packed_)) << PackedWindowExtractor();
        ASSERT_TRUE(SplitPayload(packed_, parts_));
        ASSERT_EQ(parts_.cabinet.substr(0, 4), "MSCF");
        // The packer pads behind the cabinet; the cabinet's header knows its own length.
        const std::uint32_t length = GetLe(parts_.cabinet, 8);
        ASSERT_LE(length, parts_.cabinet.size());
        parts_.cabinet.resize(length);
        for (const char* name : {"readme.txt", "empty.txt", "docs\\manual.txt", kLongName}) {
            Member m{name, {}};
            ASSERT_TRUE(ReadBytes(PackedWindowInput() + "\\" + name, m.bytes)) << name;
            members_.push_back(m);
        }
    }

    // Starts a copy of the packed program (or of a variant) in the scratch folder
    // and waits for its window.
    void Start(const std::string& bytes = std::string(), const std::string& caption = kCaption) {
        exe_ = folder_ / "SETUP.EXE";
        WriteAll(exe_, bytes.empty() ? packed_ : bytes);
        ASSERT_TRUE(process_.Start(exe_, "\"" + exe_ + "\"", folder_.Path()));
        ASSERT_TRUE(window_.Attach(process_, caption)) << "no window; box: " << WaitForMessageBox(process_, 0).text;
    }

    // Presses Start and returns the box that follows.
    MessageBoxSeen StartAndWaitForBox() {
        window_.PressStart();
        return WaitForMessageBox(process_);
    }

    void ExpectReady() {
        EXPECT_TRUE(window_.Enabled(id::StartBtn));
        EXPECT_TRUE(window_.Enabled(id::LabeledEdit1));
        EXPECT_EQ(window_.ListLines().size(), members_.size()) << "the list keeps its lines";
        EXPECT_EQ(window_.ProgressPosition(), 0);
    }

    // Every member in `dir`, byte for byte, with the time stamp of its source.
    void ExpectExtracted(const std::string& dir) {
        for (const Member& m : members_) {
            std::string path = dir + m.name;
            std::string got;
            ASSERT_TRUE(ReadBytes(path, got)) << path;
            EXPECT_TRUE(got == m.bytes) << path << " differs";
            EXPECT_EQ(LastWriteTime(path), LastWriteTime(PackedWindowInput() + "\\" + m.name)) << path;
        }
    }

    void ConfirmAndExpectEnd(const MessageBoxSeen& box, DWORD code) {
        ASSERT_NE(box.box, nullptr);
        EXPECT_FALSE(BoxHasIcon(box.box)) << "a plain box has no icon";
        probe::PressButton(box.box, IDOK);
        ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs)) << "the program goes on after: " << box.text;
        EXPECT_EQ(process_.ExitCode(), code);
    }

    std::string packed_;
    PayloadParts parts_;
    std::vector<Member> members_;
    ScratchFolder folder_;
    std::string exe_;
    Process process_;
    ExtractorWindow window_;
};

}  // namespace

TEST_F(WindowE2E, ListsTheCabinetAndAppliesTheSettings) {
    Start();
    // The list keeps the cabinet's own order: its file table, read here by the
    // format check, each member's line from its source file.
    formattest::MemoryCabinet source(parts_.cabinet);
    const cabfmt::Result table = cabfmt::Check(source);
    ASSERT_TRUE(table.Sound()) << table.text;
    std::vector<std::string> expected;
    std::int32_t total = 0;
    for (const cabfmt::Member& entry : table.members) {
        const auto m = std::find_if(members_.begin(), members_.end(), [&](const Member& x) { return x.name == entry.name; });
        ASSERT_NE(m, members_.end()) << entry.name;
        expected.push_back(ListLine(*m));
        total += static_cast<std::int32_t>(m->bytes.size());
    }
    ASSERT_EQ(expected.size(), members_.size());
    EXPECT_EQ(window_.ListLines(), expected);

    // The status line: count, word, total and the cabinet's size, no space before "(".
    EXPECT_EQ(window_.Text(id::Label1), std::to_string(members_.size()) + " files " + std::to_string(total) + "(" +
                                            std::to_string(parts_.cabinet.size()) + ")");
    EXPECT_EQ(probe::Text(window_.Handle()), kCaption);
    EXPECT_EQ(window_.Text(id::Label3), "Files of the window test");
    EXPECT_EQ(window_.Text(id::LabeledEdit1), "C:\\K4Window\\");
    EXPECT_EQ(window_.EditLabel(), "Extract to path");
    EXPECT_EQ(window_.Text(id::StartBtn), "Start");
    EXPECT_EQ(window_.Text(id::AbBtn), "About");
    EXPECT_TRUE(window_.Enabled(id::StartBtn));
    EXPECT_FALSE(window_.Visible(id::Label4)) << "set identifier 0: no marker";

    // The hidden counter label holds the allocated blocks and bytes.
    EXPECT_FALSE(window_.Visible(id::Label2));
    std::string counts = window_.Text(id::Label2);
    std::size_t slash = counts.find('/');
    ASSERT_NE(slash, std::string::npos) << counts;
    long long blocks = std::stoll(counts.substr(0, slash)), bytes = std::stoll(counts.substr(slash + 1));
    EXPECT_GT(blocks, 0);
    EXPECT_GE(bytes, blocks);

    // Closing in Ready ends the program and keeps the temporary cabinet.
    window_.Close();
    ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process_.ExitCode(), 0u);
    EXPECT_TRUE(Exists(folder_ / "DATAFILE.K4A"));
}

TEST_F(WindowE2E, SetIdentifier23ShowsTheMarker) {
    std::string cabinet = parts_.cabinet;
    cabinet[32] = 23;  // CFHEADER.setID, little-endian, not covered by any checksum
    cabinet[33] = 0;
    Start(parts_.image + Payload(parts_.target, parts_.caption, parts_.title, cabinet));
    EXPECT_TRUE(window_.Visible(id::Label4));
    EXPECT_EQ(window_.Text(id::Label4), "K4B");
}

TEST_F(WindowE2E, EmptyingTheTargetPutsTheDefaultBack) {
    Start();
    ASSERT_TRUE(window_.SetTarget(""));
    EXPECT_EQ(window_.Text(id::LabeledEdit1), "C:\\Buf\\");
    ASSERT_TRUE(window_.SetTarget("D:\\Other"));
    EXPECT_EQ(window_.Text(id::LabeledEdit1), "D:\\Other");
    EXPECT_TRUE(window_.Enabled(id::StartBtn));
}

// The default the emptied edit shows is where Start then extracts: "C:\Buf\".
TEST_F(WindowE2E, StartAfterEmptyingTheTargetExtractsIntoTheDefault) {
    const std::string buf = "C:\\Buf\\";
    const bool existed = Exists("C:\\Buf");
    Start();
    ASSERT_TRUE(window_.SetTarget(""));
    MessageBoxSeen box = StartAndWaitForBox();
    EXPECT_EQ(box.text, "Ok Files have been extracted as \"C:\\Buf\\\"");
    ExpectExtracted(buf);
    ConfirmAndExpectEnd(box, 0);
    for (const Member& m : members_) DeleteFileA((buf + m.name).c_str());
    RemoveDirectoryA((buf + "docs").c_str());
    if (!existed) RemoveDirectoryA("C:\\Buf");
}

TEST_F(WindowE2E, StartExtractsEverythingAndEnds) {
    Start();
    std::string target = folder_ / "out";  // missing, its parent exists
    ASSERT_TRUE(window_.SetTarget(target));
    MessageBoxSeen box = StartAndWaitForBox();
    EXPECT_EQ(box.text, "Ok Files have been extracted as \"" + target + "\\\"");
    EXPECT_FALSE(Exists(folder_ / "DATAFILE.K4A")) << "deleted before the message";
    ExpectExtracted(target + "\\");
    ConfirmAndExpectEnd(box, 0);
}

TEST_F(WindowE2E, OnlyOneTrailingBackslashIsStripped) {
    Start();
    std::string target = folder_ / "deep\\\\";  // two trailing backslashes
    ASSERT_TRUE(window_.SetTarget(target));
    MessageBoxSeen box = StartAndWaitForBox();
    EXPECT_EQ(box.text, "Ok Files have been extracted as \"" + folder_ / "deep\\\"");
    ExpectExtracted(folder_ / "deep\\");
    ConfirmAndExpectEnd(box, 0);
}

TEST_F(WindowE2E, ASingleBackslashExtractsIntoTheCurrentDirectory) {
    Start();
    ASSERT_TRUE(window_.SetTarget("\\"));
    MessageBoxSeen box = StartAndWaitForBox();
    EXPECT_EQ(box.text, "Ok Files have been extracted as \"C:\\Buf\\\"");
    ExpectExtracted(folder_.Path() + "\\");
    ConfirmAndExpectEnd(box, 0);
}

TEST_F(WindowE2E, AMissingParentEndsTheProgramWithThePathError) {
    Start();
    std::string target = folder_ / "new1\\new2";
    ASSERT_TRUE(window_.SetTarget(target + "\\"));
    MessageBoxSeen box = StartAndWaitForBox();
    EXPECT_EQ(box.text, "Error creating path \"" + target + "\"");
    ConfirmAndExpectEnd(box, 1);
    EXPECT_FALSE(Exists(folder_ / "new1"));
    EXPECT_TRUE(Exists(folder_ / "DATAFILE.K4A"));
}

// The temporary cabinet is held against writers from the window's first paint until
// a pass ends, so the engine error comes with the payload: a cabinet whose first
// block is spoiled. Once that pass has ended, the cabinet can be put right.
TEST_F(WindowE2E, AnEngineErrorIsShownAndStartWorksAgain) {
    const std::string cabinetFile = parts_.cabinet;
    std::string spoiled = cabinetFile;
    const std::size_t firstData = GetLe(spoiled, 36) + 8;
    spoiled[firstData + 4] = static_cast<char>(spoiled[firstData + 4] ^ 0x21);
    Start(parts_.image + Payload(parts_.target, parts_.caption, parts_.title, spoiled));
    std::string target = folder_ / "out";
    ASSERT_TRUE(window_.SetTarget(target));

    MessageBoxSeen box = StartAndWaitForBox();
    EXPECT_EQ(box.text.rfind("Damaged cabinet: data block 1 of folder 1 ", 0), 0u) << box.text;
    EXPECT_FALSE(BoxHasIcon(box.box));
    // The refresh before the box has made the window Ready again.
    ExpectReady();
    ASSERT_TRUE(ConfirmBox(box.box));
    EXPECT_EQ(WaitForMessageBox(process_, 300).box, nullptr) << "no second box";
    EXPECT_TRUE(process_.Running());
    EXPECT_EQ(window_.Text(id::LabeledEdit1), target + "\\");

    // The same window extracts once the cabinet is sound again.
    WriteAll(folder_ / "DATAFILE.K4A", cabinetFile);
    box = StartAndWaitForBox();
    EXPECT_EQ(box.text, "Ok Files have been extracted as \"" + target + "\\\"");
    ExpectExtracted(target + "\\");
    ConfirmAndExpectEnd(box, 0);
}

TEST_F(WindowE2E, ALockedTargetFileIsShownByTheErrorHandlerAndBlocksTheWindow) {
    Start();
    std::string target = folder_ / "out";
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    UniqueFile lock(CreateFileA((target + "\\readme.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);
    ASSERT_TRUE(window_.SetTarget(target));

    MessageBoxSeen box = StartAndWaitForBox();
    EXPECT_EQ(box.text, "Cannot create file " + target + "\\readme.txt.");
    EXPECT_TRUE(BoxHasIcon(box.box)) << "the general error handler's box";
    ASSERT_TRUE(ConfirmBox(box.box));
    // Blocked: nothing after the pass ran; only About and closing remain.
    EXPECT_TRUE(process_.Running());
    EXPECT_FALSE(window_.Enabled(id::StartBtn));
    EXPECT_FALSE(window_.Enabled(id::LabeledEdit1));
    EXPECT_TRUE(window_.Enabled(id::AbBtn));
    EXPECT_TRUE(Exists(folder_ / "DATAFILE.K4A"));
    EXPECT_EQ(WaitForMessageBox(process_, 300).box, nullptr) << "no second box";
    // The bar keeps the share of the files started before the locked one (in
    // cabinet order, which is the list's order).
    double started = 0, total = 0;
    bool before = true;
    for (const std::string& line : window_.ListLines()) {
        double size = std::stod(line.substr(45));
        if (line.rfind("readme.txt ", 0) == 0) before = false;
        if (before) started += size;
        total += size;
    }
    EXPECT_EQ(window_.ProgressPosition(), static_cast<int>(std::nearbyint(started * 100 / total)));
    // About still opens, and closes back into the blocked window.
    PostMessageA(window_.Control(id::AbBtn), BM_CLICK, 0, 0);
    HWND about = FindProcessWindow(process_, nullptr, "About Vemra Selfextractor");
    ASSERT_NE(about, nullptr) << "About does not open in the blocked window";
    PostMessageA(about, WM_CLOSE, 0, 0);
    for (int n = 0; n < 250 && IsWindowVisible(about); ++n) Sleep(20);
    EXPECT_FALSE(IsWindowVisible(about));
    EXPECT_FALSE(window_.Enabled(id::StartBtn)) << "still blocked after About";
    EXPECT_FALSE(window_.Enabled(id::LabeledEdit1));
    EXPECT_EQ(WaitForMessageBox(process_, 300).box, nullptr);
    window_.Close();
    ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process_.ExitCode(), 0u);
}

TEST_F(WindowE2E, AReadOnlyTargetFileIsARaisedFailureToo) {
    Start();
    std::string target = folder_ / "out";
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    std::string file = target + "\\empty.txt";
    WriteAll(file, "old");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        // Wine keeps the read-only attribute as missing write permission, which a
        // process running as the superuser does not meet.
        UniqueFile probe(CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (probe) {
            probe.Reset();
            SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            GTEST_SKIP() << "read-only files can be written here (Wine as superuser)";
        }
    }
    ASSERT_TRUE(window_.SetTarget(target + "\\"));

    MessageBoxSeen box = StartAndWaitForBox();
    EXPECT_EQ(box.text, "Cannot create file " + file + ".");
    EXPECT_TRUE(BoxHasIcon(box.box));
    ASSERT_TRUE(ConfirmBox(box.box));
    EXPECT_FALSE(window_.Enabled(id::StartBtn));
    EXPECT_EQ(ReadAll(file), "old");
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}
