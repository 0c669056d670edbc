// verify on fresh, damaged, truncated and signed self-extractors, and against sources that
// changed: exit status 1 and one line per fault naming the member, exit status 0 otherwise.
#include "cabinet/CabinetExtract.h"
#include "PackFixture.h"
#include "SignedImage.h"

using namespace k4test;

namespace {

class VerifyTest : public PackTest {
protected:
    void SetUp() override {
        PackTest::SetUp();
        ASSERT_EQ(RunK4pack(PackArgs({src})).status, 0);
    }
    RunResult Verify(std::vector<std::string> args) {
        args.insert(args.begin(), "verify");
        return RunK4pack(args);
    }
    // Fails the test unless the run failed with exactly these fault lines.
    void ExpectFaults(const RunResult& run, const std::vector<std::string>& lines) {
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.out, "");
        std::string expected;
        for (const std::string& line : lines) expected += "k4pack: verify: " + line + "\n";
        expected += "k4pack: verify: " + out + ": " + std::to_string(lines.size()) +
                    (lines.size() == 1 ? " fault\n" : " faults\n");
        EXPECT_EQ(run.err, expected);
    }
    // The fault verify lists first for a cabinet whose bytes were changed behind the
    // packer's back (the texts of the sum record are tested with the layout).
    std::string SumFault() const {
        const Bytes file = ReadFile(out);
        const k4pack::MemorySource source(file);
        return k4pack::CabinetSumFault(source, k4pack::ReadPayload(source).layout);
    }
};

}  // namespace

TEST_F(VerifyTest, FreshOutputVerifiesAloneAndAgainstItsSources) {
    const RunResult alone = Verify({out});
    EXPECT_EQ(alone.status, 0) << alone.err;
    EXPECT_EQ(alone.out, out + ": verified, 3 members, 70033 bytes\n");
    EXPECT_EQ(alone.err, "");
    const RunResult compared = Verify({out, src});
    EXPECT_EQ(compared.status, 0) << compared.err;
    EXPECT_EQ(compared.out, out + ": verified, 3 members, 70033 bytes, equal to the sources\n");
    // Inputs given the packer's way: files keep their own names.
    fs::remove(out);
    ASSERT_EQ(RunK4pack(PackArgs({"-0", src + "/sub", src + "/readme.txt"})).status, 0);
    EXPECT_EQ(Verify({out, src + "/sub", src + "/readme.txt"}).status, 0);
}

TEST_F(VerifyTest, FlippedDataByteFailsItsBlockAndNamesTheMember) {
    Bytes file = ReadFile(out);
    const k4pack::PayloadLayout layout = ReadBack().layout;
    // Half-way through the cabinet lies a block of data.bin only (random bytes: stored
    // nearly as they are, so the middle of the cabinet is the middle of its data).
    file[layout.cabinetOffset + layout.cabinetSize / 2] ^= 0x10;
    WriteFile(out, file);
    const RunResult run = Verify({out});
    ASSERT_NE(SumFault(), "");
    ExpectFaults(run, {SumFault(), "cabinet: Damaged cabinet: data block 2 of folder 1 fails its checksum",
                       "\"sub\\deep\\data.bin\": cannot be decompressed: data block 2 of folder 1: wrong checksum"});
}

TEST_F(VerifyTest, TruncatedFilesHaveNoPayloadOrACabinetCutShort) {
    const Bytes good = ReadFile(out);
    WriteFile(out, Bytes(good.begin(), good.end() - 100));
    const RunResult cut = Verify({out});
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(cut.err.starts_with("k4pack: verify: no valid payload: ")) << cut.err;

    // Cut inside the cabinet, with the trailer made to match: the cabinet check tells.
    const k4pack::PayloadLayout layout = k4pack::ReadPayload(k4pack::MemorySource(good)).layout;
    Bytes shortCabinet(good.begin(), good.end() - 4 - 100);
    k4pack::AppendLe32(shortCabinet, layout.blockLength - 100);
    WriteFile(out, shortCabinet);
    const RunResult shortRun = Verify({out});
    EXPECT_EQ(shortRun.status, 1);
    const std::string cutShort = "cabinet: Damaged cabinet: cut short: " +
                                 std::to_string(layout.cabinetSize + layout.paddingSize + 16 - 100) +
                                 " of its " + std::to_string(layout.cabinetSize) + " bytes are present";
    EXPECT_NE(shortRun.err.find("k4pack: verify: " + cutShort + "\n"), std::string::npos) << shortRun.err;
}

TEST_F(VerifyTest, ChangedSourcesAreListedOneLinePerDifference) {
    Bytes data = ReadFile(src + "/sub/deep/data.bin");
    data[12345] ^= 1;
    WriteFile(src + "/sub/deep/data.bin", data);
    SetModified(src + "/sub/deep/data.bin", SampleTime());
    WriteFile(src + "/readme.txt", ToBytes("Hello from the demo, longer\r\n"));
    SetModified(src + "/readme.txt", SampleTime());
    SetModified(src + "/sub/notes.txt", SampleTime() + 60);
    ExpectFaults(Verify({out, src}),
                 {"\"readme.txt\": size 21 in the archive, 29 on disk",
                  "\"sub\\deep\\data.bin\": bytes differ from the file on disk, first at offset 12345",
                  "\"sub\\notes.txt\": time 2021-06-15 10:20:30 in the archive, 2021-06-15 10:21:30 on disk "
                  "(local time, 2-second steps)"});
}

TEST_F(VerifyTest, MembersMissingOnEitherSideAreNamed) {
    fs::remove(src + "/sub/notes.txt");
    WriteFile(src + "/sub/added.txt", ToBytes("new"));
    SetModified(src + "/sub/added.txt", SampleTime());
    ExpectFaults(Verify({out, src}), {"\"sub\\notes.txt\": in the archive, not on disk",
                                      "\"sub\\added.txt\": on disk, not in the archive"});
}

TEST_F(VerifyTest, SignedSelfExtractorsVerifyWithAndWithoutInsertedBytes) {
    using namespace signedimage;
    WriteFile(stub, ToBytes(Image(PeKind::Pe32Plus, 4096)));
    fs::remove(out);
    ASSERT_EQ(RunK4pack(PackArgs({src})).status, 0);
    const Bytes packed = ReadFile(out);
    for (std::size_t inserted : {0, 3}) {
        SCOPED_TRACE(inserted);
        WriteFile(out, ToBytes(Signed(std::string(packed.begin(), packed.end()), PeKind::Pe32Plus, inserted)));
        const RunResult run = Verify({out, src});
        EXPECT_EQ(run.status, 0) << run.err;
    }
}

TEST_F(VerifyTest, UnreadableInputsAndBadCommandLines) {
    const RunResult missing = Verify({dir / "missing.exe"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.starts_with("k4pack: verify: " + dir / "missing.exe")) << missing.err;
    const RunResult stubOnly = Verify({stub});
    EXPECT_EQ(stubOnly.status, 1);
    EXPECT_NE(stubOnly.err.find("no valid payload"), std::string::npos) << stubOnly.err;
    const RunResult noSource = Verify({out, dir / "nosource"});
    EXPECT_EQ(noSource.status, 1);
    EXPECT_NE(noSource.err.find("nosource: no such file or folder"), std::string::npos) << noSource.err;
    EXPECT_EQ(Verify({}).status, 2);
    EXPECT_EQ(Verify({"-0", out}).status, 2);
}

TEST_F(VerifyTest, HeaderDamageSeenByBothChecksAndAnEmptyCabinet) {
    const Bytes good = ReadFile(out);
    const std::uint64_t at = ReadBack().layout.cabinetOffset;
    Bytes noFolders = good;
    noFolders[at + 26] = 0;  // CFHEADER.cFolders
    WriteFile(out, noFolders);
    ExpectFaults(Verify({out}), {SumFault(), "cabinet: Damaged cabinet: \"readme.txt\" names folder 1, which the cabinet does not have",
                                 "the cabinet cannot be read: \"readme.txt\" names folder 1, which the cabinet does not have"});
    Bytes noFiles = good;
    noFiles[at + 28] = 0;  // CFHEADER.cFiles: a sound cabinet of nothing
    WriteFile(out, noFiles);
    ExpectFaults(Verify({out}), {SumFault(), "the cabinet holds no files"});
    ExpectFaults(Verify({out, src}), {SumFault(), "the cabinet holds no files", "\"readme.txt\": on disk, not in the archive",
                                      "\"sub\\deep\\data.bin\": on disk, not in the archive",
                                      "\"sub\\notes.txt\": on disk, not in the archive"});
}

// The sum record sees what the cabinet's own checks cannot: two aligned words of stored
// data swapped leave every block checksum as it was, and a zeroed block checksum is not
// checked at all. A record changed by itself is the only fault; one byte changed in the
// header, the file table or the data is named by it whatever else notices.
TEST_F(VerifyTest, TheSumRecordCatchesWhatTheBlockChecksumsMiss) {
    ASSERT_EQ(RunK4pack(PackArgs({"-0", src})).status, 0);
    const Bytes good = ReadFile(out);
    const k4pack::PayloadLayout layout = ReadBack().layout;
    const std::uint64_t at = layout.cabinetOffset;
    const std::uint64_t middle = at + layout.cabinetSize / 2 / 4 * 4;
    Bytes swapped = good;
    std::swap_ranges(swapped.begin() + static_cast<std::ptrdiff_t>(middle),
                     swapped.begin() + static_cast<std::ptrdiff_t>(middle + 4),
                     swapped.begin() + static_cast<std::ptrdiff_t>(middle + 8));
    ASSERT_NE(swapped, good) << "the stored words differ";
    WriteFile(out, swapped);
    const RunResult run = Verify({out, src});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.starts_with("k4pack: verify: " + SumFault() + "\n")) << run.err;
    EXPECT_NE(run.err.find("\"sub\\deep\\data.bin\": bytes differ from the file on disk"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Damaged cabinet"), std::string::npos) << "the block checksums hold: " << run.err;

    Bytes record = good;
    record[layout.sumOffset + 12] ^= 1;
    WriteFile(out, record);
    ExpectFaults(Verify({out}), {SumFault()});
    for (std::uint64_t offset : {at + 20, at + 40, at + layout.cabinetSize - 1}) {
        Bytes changed = good;
        changed[offset] ^= 0x04;
        WriteFile(out, changed);
        const RunResult run = Verify({out});
        EXPECT_EQ(run.status, 1) << offset;
        EXPECT_TRUE(run.err.starts_with("k4pack: verify: " + SumFault() + "\n")) << offset << run.err;
    }
}

TEST_F(VerifyTest, ExtractionHandsOverEachFinishedMemberAndPassesOnWhatTheVisitThrows) {
    const k4pack::PayloadLayout layout = ReadBack().layout;
    const Bytes file = ReadFile(out);
    const std::string cabinet = dir / "alone.cab";
    WriteFile(cabinet, Bytes(file.begin() + static_cast<std::ptrdiff_t>(layout.cabinetOffset),
                             file.begin() + static_cast<std::ptrdiff_t>(layout.cabinetOffset + layout.cabinetSize)));
    fs::create_directory(dir / "members");
    std::vector<std::string> seen;
    const std::string failure = k4pack::ExtractEachMember(cabinet, dir / "members",
        [&](const k4pack::CabinetEntry& entry, const std::string& path) {
            EXPECT_EQ(fs::file_size(path), entry.size) << entry.name << " complete when handed over";
            EXPECT_EQ(entry.compression, "mszip");
            seen.push_back(entry.name);
        });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(seen, kSampleNames);
    EXPECT_EQ(FolderNames(dir / "members"), (std::vector<std::string>{"m1", "m2", "m3"})) << "private names only";

    seen.clear();
    EXPECT_THROW(k4pack::ExtractEachMember(cabinet, dir / "members",
                                           [&](const k4pack::CabinetEntry& entry, const std::string&) {
                                               seen.push_back(entry.name);
                                               throw k4pack::PackError("stop");
                                           }),
                 k4pack::PackError);
    EXPECT_EQ(seen, std::vector<std::string>{"readme.txt"}) << "nothing after the member that threw";
}

// The run record: verify passes an archive whose command's program is one of its files,
// names the program when the record names none of them, and refuses a record whose sum
// does not hold as the extractor refuses it.
TEST_F(VerifyTest, TheRunRecordsProgramMustBeAMemberAndItsRecordSound) {
    ASSERT_EQ(RunK4pack(PackArgs({"--run", "sub/deep/data.bin /x", "--run-temporary", src})).status, 0);
    const RunResult sound = Verify({out, src});
    EXPECT_EQ(sound.status, 0) << sound.err;
    const Bytes good = ReadFile(out);
    const k4pack::PayloadContents payload = ReadBack();
    ASSERT_TRUE(payload.run);

    // The same cabinet with a record naming a file it does not hold, in its sound layout.
    const Bytes cabinet = CabinetOf(out);
    for (const std::string& program : {std::string("missing.exe"), std::string("sub\\deep"),
                                       std::string("sub\\deep\\data.bin.exe")}) {
        const k4pack::RunCommand command{program, "/x", false};
        k4pack::MemorySink sink;
        const Bytes image = ReadFile(stub);
        sink.Write(image);
        const k4pack::PayloadLayout layout = k4pack::PlanPayload(image.size(), payload.texts, cabinet.size(),
                                                                 k4pack::SumRecord::Crc32, command);
        k4pack::WritePayload(sink, layout, payload.texts, k4pack::MemorySource(cabinet), command);
        WriteFile(out, sink.Bytes());
        ExpectFaults(Verify({out}), {"the run record's program \"" + program + "\" is not a file of the cabinet"});
    }

    for (std::uint64_t at : {payload.layout.runOffset, payload.layout.runOffset + payload.layout.runSize - 20}) {
        Bytes damaged = good;
        damaged[at] ^= 0x20;
        WriteFile(out, damaged);
        ExpectFaults(Verify({out}), {"no valid payload: the run record's lengths, flags or sum do not hold"});
        EXPECT_EQ(RunK4pack({"inspect", out}).status, 1);
    }
}
