// Hostile cabinet structures through the real program: lying counts, offsets and
// sizes, spoiled checksums, cut files, links to other cabinets and impossible
// dates. Each ends in a message that names the fault before any file is written,
// or in a correct extraction; never a crash, a file outside the target, or success
// with a member missing.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "CabDamage.h"
#include "CabWriter.h"
#include "HostileCabinets.h"
#include "HostileRun.h"
#include "ReportedPaths.h"

using namespace hostile;

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// The texts a failing cabinet may end in: the check's damage report, and the
// probe's refusal of a file that is not a cabinet at all.
bool IsCabinetFailure(const std::string& box) {
    return StartsWith(box, "Damaged cabinet: ") || box == "Not a valid source \"DATAFILE.K4A\"";
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
    // The damage report, exactly, nothing written, and the temporary cabinet kept
    // for another Start, as after any engine error.
    void ExpectDamage(const Outcome& outcome, const std::string& text) {
        EXPECT_EQ(outcome.boxes, std::vector<std::string>{text});
        EXPECT_TRUE(arena_.TargetFiles().empty());
        EXPECT_TRUE(k4test::Exists(arena_.Work() + "\\DATAFILE.K4A"));
    }
    // The extracted file, or nothing when there is none.
    std::string Read(const std::string& name) {
        std::string bytes;
        k4test::ReadBytes(arena_.Target() + name, bytes);
        return bytes;
    }

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

// The hostile catalogue (tests/format/HostileCabinets.h) through the real program:
// each case ends in its one box before anything is written, and the temporary
// cabinet is kept for another Start, as after any engine error.
TEST_F(HostileCabinet, EveryCatalogueCaseShowsItsFaultAndWritesNothing) {
    for (const hostilecab::Case& c : hostilecab::Cases()) {
        SCOPED_TRACE(c.what);
        DeleteFileA((arena_.Work() + "\\DATAFILE.K4A").c_str());   // kept by this run, not the last
        ExpectDamage(RunCabinet(c.bytes), c.box.empty() ? c.text : c.box);
    }
}

// A compressed cabinet from gcab with damage in the middle of its data: the library
// would decode it without a word (or crash); the block's checksum catches it.
TEST_F(HostileCabinet, DamagedCompressedDataFromGcabWritesNothing) {
    std::string bytes;
    ASSERT_TRUE(k4test::ReadBytes(e2e::TestCabinet(), bytes));
    const Outcome outcome = RunCabinet(hostilecab::Spoiled(bytes, bytes.size() / 2, 64));
    ASSERT_EQ(outcome.boxes.size(), 1u);
    EXPECT_EQ(outcome.boxes[0].rfind("Damaged cabinet: data block ", 0), 0u) << outcome.boxes[0];
    EXPECT_NE(outcome.boxes[0].find(" of folder 1 fails its checksum"), std::string::npos) << outcome.boxes[0];
    EXPECT_TRUE(arena_.TargetFiles().empty());
}

namespace {

std::string XoredRun(std::string bytes, std::size_t at) {
    for (std::size_t i = at; i < at + 64; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    return bytes;
}

}  // namespace

// As reported: 64 bytes XORed with 0x5A from the middle of the second block's data
// leave the block's XOR sum as it was. The library crashed on the block and left
// the first 32768 bytes of big.txt behind.
TEST_F(HostileCabinet, ReportedRunXoredInTheSecondBlockIsRefusedByDecoding) {
    std::string bytes;
    ASSERT_TRUE(k4test::ReadBytes(e2e::reported::TwoFiles, bytes));
    const auto blocks = k4test::damage::DataBlocks(bytes);
    ASSERT_GT(blocks.size(), 2u);
    const Outcome outcome = RunCabinet(XoredRun(bytes, blocks[1].first + blocks[1].second / 2));
    EXPECT_EQ(outcome.lines.size(), 2u) << "listed as ever";
    ExpectDamage(outcome, "Damaged cabinet: data block 2 of folder 1 cannot be decoded");
}

// As reported: the same damage from the middle of a cabinet of big.txt alone. The
// library decoded it to garbage of the right length and the program said "Ok".
TEST_F(HostileCabinet, ReportedRunXoredAtTheMiddleOfTheFileIsRefusedByDecoding) {
    std::string bytes;
    ASSERT_TRUE(k4test::ReadBytes(e2e::reported::BigAlone, bytes));
    const std::size_t middle = bytes.size() / 2;
    std::size_t block = 0;
    for (const auto& [data, size] : k4test::damage::DataBlocks(bytes))
        if (data - 8 <= middle) ++block;
    ASSERT_GT(block, 1u);
    ExpectDamage(RunCabinet(XoredRun(bytes, middle)),
                 "Damaged cabinet: data block " + std::to_string(block) + " of folder 1 cannot be decoded");
}

// Sound cabinets of several folders, with checksums and without, extract whole.
TEST_F(HostileCabinet, SoundCabinetsOfSeveralFoldersExtract) {
    for (bool checksums : {true, false}) {
        SCOPED_TRACE(checksums ? "with checksums" : "without checksums");
        cabw::Cabinet cabinet = TwoFilesOverBlocks();
        cabinet.folders = 2;
        cabinet.members[1].folder = 1;
        cabinet.noChecksums = !checksums;
        Outcome outcome = RunCabinet(cabw::Build(cabinet));
        EXPECT_EQ(outcome.boxes, std::vector<std::string>{SuccessText(arena_.Target())});
        EXPECT_EQ(Read("ok.txt"), cabinet.members[0].data);
        EXPECT_EQ(Read("big.bin"), cabinet.members[1].data);
        for (const std::string& file : arena_.TargetFiles()) DeleteFileA((arena_.Target() + file).c_str());
    }
}

// With one entry too many, the library would read the next entry from the data
// block: a name planted there gets the same scrutiny as any other, before the
// member in front of it is written.
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
    EXPECT_TRUE(arena_.TargetFiles().empty());
}

// Sizes whose sum wraps 32 bits: the status line shows the wrapped total, and the
// member that cannot be filled is named before anything is written.
TEST_F(HostileCabinet, SizesWhoseSumWraps) {
    cabw::Cabinet cabinet = cabw::OneFile("huge.bin", "abc");
    cabinet.members[0].declaredSize = 0xFFFFFFF0u;
    cabinet.members.push_back(cabw::OneFile("small.bin", "xyz").members[0]);
    cabinet.members[1].declaredSize = 0x20;
    cabinet.members[1].declaredOffset = 3;
    const std::string bytes = cabw::Build(cabinet);
    Outcome outcome = RunCabinet(bytes);
    EXPECT_EQ(outcome.status, "2 files 16(" + std::to_string(bytes.size()) + ")");
    ExpectDamage(outcome, "Damaged cabinet: \"huge.bin\" lies outside its folder's data");
}

// Totals of 2 GiB or more: the status line shows the signed 32-bit sum, negative,
// as the listing adds it up.
TEST_F(HostileCabinet, TotalsOf2GiBOrMoreShowNegativeInTheStatusLine) {
    cabw::Cabinet cabinet = cabw::OneFile("big.bin", "abc");
    cabinet.members[0].declaredSize = 0x90000000u;
    const std::string bytes = cabw::Build(cabinet);
    Options options;
    options.target = arena_.Target();
    options.pressStart = false;
    const Outcome outcome = RunProgram(arena_, PayloadFor(bytes, options), options);
    EXPECT_EQ(outcome.status, "1 files -1879048192(" + std::to_string(bytes.size()) + ")");
    ASSERT_EQ(outcome.lines.size(), 1u);
    EXPECT_NE(outcome.lines[0].find("-1879048192"), std::string::npos) << outcome.lines[0];
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

// The archive carries one cabinet: a link to another is refused before anything
// is written, and nothing of that name is ever opened (a pipe by that name would
// see the attempt).
TEST_F(HostileCabinet, ALinkToANextCabinetIsRefusedAndNeverFollowed) {
    const std::string pipe = "\\\\.\\pipe\\k4hostile-" + std::to_string(GetCurrentProcessId());
    for (const std::string& next : {std::string("\\\\127.0.0.1\\share\\x.cab"), pipe}) {
        SCOPED_TRACE(next);
        PipeWatch watch(pipe);
        ASSERT_TRUE(watch.Listening());
        Outcome outcome = RunCabinet(cabw::Build(SplitAcross(next)));
        ExpectDamage(outcome, "Cabinet continues in another cabinet \"" + next + "\"");
        EXPECT_FALSE(watch.Opened()) << "the next cabinet was opened";
        watch.OpenAsClient();
        EXPECT_TRUE(watch.Opened()) << "the watch cannot see an open";
    }
}

// A dozen damaged variants of the end-to-end cabinet (gcab, MSZIP, block checksums set),
// made as the engine's sweep makes its variants (tests/cab/CabDamageSweepTest.cpp), through
// the real program and its window: a named failure and nothing written, or success with
// exactly the files packed (a variant still decoding to other bytes would be listed here).
TEST(HostileDamageSweep, ADozenVariantsThroughTheWindow) {
    std::string sound;
    ASSERT_TRUE(k4test::ReadBytes(e2e::TestCabinet(), sound));
    const std::vector<std::pair<std::string, std::string>> packed = {
        {"empty.txt", ""},
        {"readme.txt", "The files of the end-to-end cabinet.\r\n"},
        {"sub\\data.bin", [] {
             std::string filler;
             for (int i = 0; i < 5000; ++i) filler += "0123456789abcdef";
             return filler;
         }()}};
    for (std::uint32_t index = 1000; index < 1012; ++index) {
        const auto kind = static_cast<k4test::damage::Kind>(index % k4test::damage::KindCount);
        std::string what;
        const std::string variant = k4test::damage::Maker(sound, k4test::damage::SeedOf(index)).Make(kind, what);
        SCOPED_TRACE("variant " + std::to_string(index) + " (" + k4test::damage::KindName(kind) + "): " + what);
        Arena arena;
        Options options;
        options.target = arena.Target();
        const Outcome outcome = RunProgram(arena, PayloadFor(variant, options), options);
        ExpectContained(outcome);
        ASSERT_EQ(outcome.boxes.size(), 1u);
        if (outcome.boxes[0] == SuccessText(options.target)) {
            EXPECT_EQ(arena.TargetFiles().size(), packed.size());
            for (const auto& [name, bytes] : packed) {
                std::string extracted;
                EXPECT_TRUE(k4test::ReadBytes(options.target + name, extracted)) << name;
                EXPECT_TRUE(extracted == bytes) << name << ": success with other bytes";
            }
        } else {
            EXPECT_TRUE(IsCabinetFailure(outcome.boxes[0])) << outcome.boxes[0];
            EXPECT_TRUE(arena.TargetFiles().empty());
        }
    }
}
