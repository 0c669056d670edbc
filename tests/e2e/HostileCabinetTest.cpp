// Hostile cabinet structures through the real program: lying counts, offsets and
// sizes, spoiled checksums, cut files, links to other cabinets and impossible
// dates. Each ends in a clear message or a correct extraction, never a crash, a
// file outside the target, or a half-written file left behind.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "HostileRun.h"

using namespace hostile;

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// The texts a failing cabinet may end in: the library's error names, the probe's
// refusal of a file that is not a cabinet.
bool IsCabinetFailure(const std::string& box) {
    return StartsWith(box, "FDIERROR_") || StartsWith(box, "UNKNOWN CAB ERROR ") ||
           box == "Not a valid source \"DATAFILE.K4A\"";
}

class HostileCabinet : public ::testing::Test {
protected:
    Outcome RunCabinet(const std::string& cabinet) {
        Options options;
        options.target = arena_.Target();
        Outcome outcome = RunProgram(arena_, PayloadFor(cabinet, options), options);
        EXPECT_TRUE(outcome.windowShown);
        ExpectContained(outcome);
        return outcome;
    }
    // Every file in the target is a member of the cabinet, complete; none of
    // `absent` is there.
    void ExpectOnlyWholeFiles(const cabw::Cabinet& cabinet, const std::vector<std::string>& absent = {}) {
        for (const std::string& file : arena_.TargetFiles()) {
            bool whole = false;
            for (const cabw::Member& m : cabinet.members) whole = whole || (m.name == file && Read(file) == m.data);
            EXPECT_TRUE(whole) << file << " is not a complete member";
            for (const std::string& name : absent) EXPECT_NE(file, name) << "left behind";
        }
    }
    // One box, a failure of the cabinet, and only complete files left.
    void ExpectCabinetFailure(const Outcome& outcome, const cabw::Cabinet& cabinet,
                              const std::vector<std::string>& absent = {}) {
        ASSERT_EQ(outcome.boxes.size(), 1u);
        EXPECT_TRUE(IsCabinetFailure(outcome.boxes[0])) << outcome.boxes[0];
        ExpectOnlyWholeFiles(cabinet, absent);
    }
    // For fields the library may or may not rely on: a correct extraction, or a
    // failure that leaves only complete files.
    void ExpectWholeOrFailed(const Outcome& outcome, const cabw::Cabinet& cabinet) {
        ASSERT_EQ(outcome.boxes.size(), 1u);
        if (outcome.boxes[0] == SuccessText(arena_.Target()))
            EXPECT_EQ(arena_.TargetFiles().size(), cabinet.members.size());
        else
            EXPECT_TRUE(IsCabinetFailure(outcome.boxes[0])) << outcome.boxes[0];
        ExpectOnlyWholeFiles(cabinet);
    }
    std::string Read(const std::string& name) { return e2e::ReadBytesOrEmpty(arena_.Target() + name); }

    Arena arena_;
};

// A small file wholly in the first block, then a file over three blocks.
cabw::Cabinet TwoFilesOverBlocks() {
    cabw::Cabinet cabinet = cabw::OneFile("ok.txt", std::string(100, 'o'));
    std::string big;
    for (int i = 0; i < 3000; ++i) big.push_back(static_cast<char>('a' + i % 26));
    cabinet.members.push_back(cabw::OneFile("big.bin", big).members[0]);
    cabinet.blockSize = 1000;
    return cabinet;
}

}  // namespace

TEST_F(HostileCabinet, GarbageAfterTheCabinetIsIgnored) {
    const cabw::Cabinet cabinet = TwoFilesOverBlocks();
    const std::string bytes = cabw::Build(cabinet);
    std::string garbage = "MSCF";
    for (int i = 0; i < 3000; ++i) garbage.push_back(static_cast<char>(i * 37 % 251));
    Outcome outcome = RunCabinet(bytes + garbage);
    EXPECT_EQ(outcome.status, "2 files 3100(" + std::to_string(bytes.size()) + ")");
    EXPECT_EQ(outcome.boxes, std::vector<std::string>{SuccessText(arena_.Target())});
    EXPECT_EQ(Read("ok.txt"), cabinet.members[0].data);
    EXPECT_EQ(Read("big.bin"), cabinet.members[1].data);
}

// The file whose data fails is removed and named; the one before it stays.
TEST_F(HostileCabinet, ASpoiledChecksumRemovesAndNamesTheFile) {
    cabw::Cabinet cabinet = TwoFilesOverBlocks();
    cabinet.badChecksumBlocks = {1};
    Outcome outcome = RunCabinet(cabw::Build(cabinet));
    ExpectCabinetFailure(outcome, cabinet, {"big.bin"});
    EXPECT_NE(outcome.boxes[0].find("big.bin\""), std::string::npos) << outcome.boxes[0];
    EXPECT_EQ(arena_.TargetFiles(), std::vector<std::string>{"ok.txt"});
}

TEST_F(HostileCabinet, DataCutShortRemovesAndNamesTheFile) {
    const cabw::Cabinet cabinet = TwoFilesOverBlocks();
    Outcome outcome = RunCabinet(cabw::Build(cabinet).substr(0, cabw::DataStart(cabinet) + 1500));
    ExpectCabinetFailure(outcome, cabinet, {"big.bin"});
    EXPECT_NE(outcome.boxes[0].find("big.bin\""), std::string::npos) << outcome.boxes[0];
}

// Header fields the library may not need for this cabinet: whatever it makes of
// them, the outcome is whole files or a clean failure.
TEST_F(HostileCabinet, HeaderFieldsThatLie) {
    struct Case {
        const char* what;
        void (*spoil)(cabw::Cabinet&);
    };
    const Case cases[] = {
        {"more blocks declared than written", [](cabw::Cabinet& c) { c.declaredBlocks = 50; }},
        {"fewer blocks declared than the data needs", [](cabw::Cabinet& c) { c.declaredBlocks = 2; }},
        {"file entries said to start past the end", [](cabw::Cabinet& c) { c.declaredFilesStart = 0x10000000; }},
        {"a length past the end", [](cabw::Cabinet& c) { c.declaredLength = 0x7FFFFFF0; }},
        {"a length shorter than the headers", [](cabw::Cabinet& c) { c.declaredLength = 40; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cabw::Cabinet cabinet = TwoFilesOverBlocks();
        c.spoil(cabinet);
        ExpectWholeOrFailed(RunCabinet(cabw::Build(cabinet)), cabinet);
        for (const std::string& file : arena_.TargetFiles()) DeleteFileA((arena_.Target() + file).c_str());
    }
}

TEST_F(HostileCabinet, HeadersCutShortExtractNothing) {
    const cabw::Cabinet cabinet = TwoFilesOverBlocks();
    const std::string bytes = cabw::Build(cabinet);
    for (std::size_t cut : {std::size_t{10}, std::size_t{35}, std::size_t{40}, cabw::DataStart(cabinet) - 3}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        Outcome outcome = RunCabinet(bytes.substr(0, cut));
        ExpectCabinetFailure(outcome, cabinet);
        EXPECT_TRUE(arena_.TargetFiles().empty());
    }
}

TEST_F(HostileCabinet, MoreFilesDeclaredThanEntries) {
    cabw::Cabinet cabinet = cabw::OneFile("only.txt", std::string(600, 'x'));
    cabinet.declaredFiles = 4;
    ExpectCabinetFailure(RunCabinet(cabw::Build(cabinet)), cabinet);
}

// With one entry too many, the library reads the next entry from the data block:
// a name planted there gets the same scrutiny as any other.
TEST_F(HostileCabinet, AnEntryReadFromTheDataIsCheckedLikeAnyOther) {
    std::string data("\0\0", 2);                       // folder 0
    data += std::string("\x21\x52\x43\x28\x20\0", 6);  // date, time, attributes
    data += std::string("..\\k4phantom.txt\0", 17);
    data += std::string(64, 'p');
    cabw::Cabinet cabinet = cabw::OneFile("carrier.txt", data);
    cabinet.declaredFiles = 2;
    cabinet.noChecksums = true;  // the block's first field is read as the size: 0
    Outcome outcome = RunCabinet(cabw::Build(cabinet));
    EXPECT_EQ(outcome.boxes, std::vector<std::string>{"Unsafe file name \"..\\k4phantom.txt\""});
    EXPECT_EQ(arena_.TargetFiles(), std::vector<std::string>{"carrier.txt"});
}

TEST_F(HostileCabinet, OffsetsBeyondTheData) {
    struct Case {
        const char* what;
        void (*spoil)(cabw::Cabinet&);
    };
    const Case cases[] = {
        {"file starts past its folder", [](cabw::Cabinet& c) { c.members[1].declaredOffset = 1000000; }},
        {"folder data past the end", [](cabw::Cabinet& c) { c.declaredDataStart = 0x7FFFFFF0; }},
        {"offset and size wrap", [](cabw::Cabinet& c) {
             c.members[1].declaredOffset = 0xFFFFFFF0u;
             c.members[1].declaredSize = 0x20;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cabw::Cabinet cabinet = TwoFilesOverBlocks();
        c.spoil(cabinet);
        ExpectCabinetFailure(RunCabinet(cabw::Build(cabinet)), cabinet, {"big.bin"});
        for (const std::string& file : arena_.TargetFiles()) DeleteFileA((arena_.Target() + file).c_str());
    }
}

// Sizes whose sum wraps 32 bits: the status line shows the wrapped total, and the
// file that cannot be filled is removed.
TEST_F(HostileCabinet, SizesWhoseSumWraps) {
    cabw::Cabinet cabinet = cabw::OneFile("huge.bin", "abc");
    cabinet.members[0].declaredSize = 0xFFFFFFF0u;
    cabinet.members.push_back(cabw::OneFile("small.bin", "xyz").members[0]);
    cabinet.members[1].declaredSize = 0x20;
    cabinet.members[1].declaredOffset = 3;
    const std::string bytes = cabw::Build(cabinet);
    Outcome outcome = RunCabinet(bytes);
    EXPECT_EQ(outcome.status, "2 files 16(" + std::to_string(bytes.size()) + ")");
    ExpectCabinetFailure(outcome, cabinet, {"huge.bin"});
    EXPECT_NE(outcome.boxes[0].find("huge.bin\""), std::string::npos) << outcome.boxes[0];
}

TEST_F(HostileCabinet, AnImpossibleDateKeepsTheTimeOfCreation) {
    cabw::Cabinet cabinet = cabw::OneFile("baddate.txt", "d");
    cabinet.members[0].date = (41 << 9) | (13 << 5) | 31;  // month 13
    cabinet.members[0].time = (25 << 11) | (61 << 5);      // 25:61
    cabinet.members.push_back(cabw::OneFile("gooddate.txt", "g").members[0]);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    Outcome outcome = RunCabinet(cabw::Build(cabinet));
    EXPECT_EQ(outcome.boxes, std::vector<std::string>{SuccessText(arena_.Target())});
    WIN32_FILE_ATTRIBUTE_DATA bad{}, good{};
    ASSERT_TRUE(GetFileAttributesExA((arena_.Target() + "baddate.txt").c_str(), GetFileExInfoStandard, &bad));
    ASSERT_TRUE(GetFileAttributesExA((arena_.Target() + "gooddate.txt").c_str(), GetFileExInfoStandard, &good));
    auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    const ULONGLONG minute = 600000000ULL;
    EXPECT_LT(ticks(now) - minute, ticks(bad.ftLastWriteTime)) << "the time of creation, not a converted date";
    EXPECT_LT(ticks(bad.ftLastWriteTime), ticks(now) + 5 * minute);
    // The valid one carries its cabinet time, years ago.
    EXPECT_LT(ticks(good.ftLastWriteTime), ticks(now) - 365 * 24 * 60 * minute);
}

namespace {

// A pipe server that notices any client: a program that opened the name.
class PipeWatch {
public:
    explicit PipeWatch(const std::string& name) : name_(name) {
        event_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        pipe_.Reset(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE,
                                     PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr));
        overlapped_.hEvent = event_.Get();
        if (pipe_ && !ConnectNamedPipe(pipe_.Get(), &overlapped_) && GetLastError() == ERROR_PIPE_CONNECTED)
            SetEvent(event_.Get());
    }
    ~PipeWatch() {
        if (pipe_) CancelIo(pipe_.Get());
    }
    bool Listening() const { return static_cast<bool>(pipe_); }
    bool Opened() const { return WaitForSingleObject(event_.Get(), 0) == WAIT_OBJECT_0; }
    // Opens the pipe as a program would: the watch itself under test.
    void OpenAsClient() const {
        UniqueFile client(CreateFileA(name_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }

private:
    std::string name_;
    UniqueFile pipe_;
    UniqueKernelHandle event_;
    OVERLAPPED overlapped_{};
};

// A whole file, then one that goes on in the next cabinet of the set.
cabw::Cabinet SplitAcross(const std::string& nextCabinet) {
    cabw::Cabinet cabinet = cabw::OneFile("whole.txt", "complete in this cabinet");
    cabinet.members.push_back(cabw::OneFile("split.bin", std::string(2000, 's')).members[0]);
    cabinet.members[1].folderIndex = cabw::FolderContinuedToNext;
    cabinet.members[1].declaredSize = 7000;
    cabinet.lastBlockContinues = true;
    cabinet.blockSize = 1000;  // whole.txt complete in the first block, the last one partial
    cabinet.flags = cabw::FlagNextCabinet;
    cabinet.nextCabinet = nextCabinet;
    cabinet.nextDisk = "disk 2";
    return cabinet;
}

}  // namespace

// The archive carries one cabinet: a link to another is refused, and nothing of
// that name is ever opened (a pipe by that name would see the attempt).
TEST_F(HostileCabinet, ALinkToANextCabinetIsRefusedAndNeverFollowed) {
    const std::string pipe = "\\\\.\\pipe\\k4hostile-" + std::to_string(GetCurrentProcessId());
    for (const std::string& next : {std::string("\\\\127.0.0.1\\share\\x.cab"), pipe}) {
        SCOPED_TRACE(next);
        PipeWatch watch(pipe);
        ASSERT_TRUE(watch.Listening());
        Outcome outcome = RunCabinet(cabw::Build(SplitAcross(next)));
        ASSERT_EQ(outcome.boxes.size(), 1u);
        EXPECT_EQ(outcome.boxes[0], "Cabinet continues in another cabinet \"" + next + "\"");
        EXPECT_FALSE(watch.Opened()) << "the next cabinet was opened";
        EXPECT_EQ(arena_.TargetFiles(), std::vector<std::string>{"whole.txt"}) << "the partial file is removed";
        DeleteFileA((arena_.Target() + "whole.txt").c_str());
        watch.OpenAsClient();
        EXPECT_TRUE(watch.Opened()) << "the watch cannot see an open";
    }
}
