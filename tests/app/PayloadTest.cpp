// The payload reader: the own file, the exact bytes of the temporary cabinet and its
// place, and every malformed payload ending in the one message.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <climits>
#include <string>
#include "K4CabinetPlace.h"
#include <utility>
#include <vector>
#include "K4Files.h"
#include "K4Placement.h"
#include "K4Payload.h"
#include "K4Settings.h"
#include "MemoryCabinet.h"
#include "PayloadBlockCases.h"
#include "PayloadFixture.h"

using namespace payloadtest;

TEST(OwnModule, PathNamesThisRunningProgram) {
    std::string path = OwnModulePath();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(CharUpperA(path.data() + path.size() - 4), std::string(".EXE"));
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

using ReadPayloadTest = PayloadFixture;

TEST_F(ReadPayloadTest, CopiesTheCabinetAloneAndSetsTheTexts) {
    std::string cabinet = Cabinet(500);
    std::string payload = Payload("C:\\Target", "Caption", "The title", cabinet);
    std::string exe = WriteExe(Stub() + payload);
    EXPECT_FALSE(Read(exe));
    EXPECT_EQ(ExtractPath, "C:\\Target");
    EXPECT_EQ(WindowCaption, "Caption");
    EXPECT_EQ(TitleLabelText, "The title");
    std::string written = k4test::ReadAll("DATAFILE.K4A");
    EXPECT_EQ(written.size(), 500u) << "the cabinet without the trailer";
    EXPECT_TRUE(written == cabinet);
}

TEST_F(ReadPayloadTest, EmptyTextsReplaceTheDefaults) {
    std::string cabinet = Cabinet(100);
    EXPECT_FALSE(Read(WriteExe(Stub() + Payload("", "", "", cabinet))));
    EXPECT_EQ(ExtractPath, "");
    EXPECT_EQ(WindowCaption, "");
    EXPECT_EQ(TitleLabelText, "");
    EXPECT_EQ(k4test::ReadAll("DATAFILE.K4A").size(), 100u);
}

TEST_F(ReadPayloadTest, LongestTextsAndACabinetSpanningManyBlocks) {
    std::string t(255, 'T');
    std::string cabinet = Cabinet(3 * 256 * 1024 + 17, 3);
    std::string payload = Payload(t, t, t, cabinet);
    EXPECT_FALSE(Read(WriteExe(Stub() + payload)));
    EXPECT_EQ(WindowCaption.Str(), t);
    std::string written = k4test::ReadAll("DATAFILE.K4A");
    EXPECT_EQ(written.size(), cabinet.size());
    EXPECT_TRUE(written == cabinet);
}

TEST_F(ReadPayloadTest, ReplacesAnExistingLargerTemporaryFile) {
    scratch_.Write("DATAFILE.K4A", std::string(5000, 'o'));
    std::string cabinet = Cabinet(64);
    EXPECT_FALSE(Read(WriteExe(Stub() + Payload("a", "b", "c", cabinet))));
    EXPECT_EQ(k4test::ReadAll("DATAFILE.K4A").size(), 64u);
}

TEST_F(ReadPayloadTest, StubWithoutPayloadAndFilesTooShortForATrailer) {
    ExpectRejected(WriteExe(Stub()), "stub ending in zero bytes");
    ExpectRejected(WriteExe(""), "empty file");
    ExpectRejected(WriteExe("\x05\0\0", "SHORT.EXE"), "three bytes");
    ExpectRejected(scratch_ / "MISSING.EXE", "missing file");
    ExpectRejected("", "no path at all");
    EXPECT_FALSE(DataFileExists());
}

TEST_F(ReadPayloadTest, TextLengthAbove255InAnyPosition) {
    std::string t256(256, 'x');
    std::string cab = Cabinet(40);
    auto withTexts = [&](const std::string& a, const std::string& b, const std::string& c) {
        return WriteExe(Stub() + Payload(a, b, c, cab));
    };
    ExpectRejected(withTexts(t256, "b", "c"), "first text of 256");
    ExpectRejected(withTexts("a", t256, "c"), "second text of 256");
    ExpectRejected(withTexts("a", "b", t256), "third text of 256");
    std::string huge = Le32(INT_MAX) + Counted("b") + Counted("c") + cab;
    ExpectRejected(WriteExe(Stub() + huge + Le32(static_cast<std::int32_t>(huge.size()))), "length INT_MAX");
    EXPECT_FALSE(DataFileExists()) << "nothing written for a rejected payload";
}

TEST_F(ReadPayloadTest, TrailerOutsideTheFileOrNegative) {
    std::string image = Stub() + Counted("a") + Counted("b") + Counted("c") + Cabinet(40);
    auto size = static_cast<std::int32_t>(image.size() + 4);
    ExpectRejected(WriteExe(image + Le32(size - 3)), "trailer reaching one byte before the file");
    ExpectRejected(WriteExe(image + Le32(INT_MAX)), "trailer INT_MAX");
    ExpectRejected(WriteExe(image + Le32(-1)), "trailer -1");
    ExpectRejected(WriteExe(image + Le32(INT_MIN)), "trailer INT_MIN");
    ExpectRejected(WriteExe(image + Le32(-8)), "trailer -8 (count would be 4 + 12 past the end)");
    EXPECT_FALSE(DataFileExists());
}

TEST_F(ReadPayloadTest, TrailerCoveringTheWholeFileIsReadFromTheStart) {
    // The largest valid trailer puts the block at offset 0: the first length comes
    // from the file's first bytes, here a valid payload with no program before it.
    std::string payload = Payload("a", "b", "c", Cabinet(30));
    EXPECT_FALSE(Read(WriteExe(payload)));
    EXPECT_EQ(k4test::ReadAll("DATAFILE.K4A").size(), 30u) << "a header too short to state a size: all of it";
    ExpectRejected(WriteExe("MZ" + payload.substr(2)), "block at 0 starting with MZ");
}

// The cabinet is what the block holds after the three texts, up to the trailer: a
// block with nothing there has no cabinet, and the start ends in the message.
TEST_F(ReadPayloadTest, CabinetCountOfZeroOrLess) {
    // The third text is the trailer itself: the texts reach 4 bytes past the block.
    std::string block = Le32(0) + Le32(0) + Le32(4);
    ExpectRejected(WriteExe(Stub() + block + Le32(static_cast<std::int32_t>(block.size()))), "texts into the trailer");
    // Three texts and an empty cabinet: the texts end where the trailer begins.
    ExpectRejected(WriteExe(Stub() + Payload("C:\\T", "caption", "title", "")), "texts followed by an empty cabinet");
    ExpectRejected(WriteExe(Stub() + Payload("", "", "", "")), "three empty texts and nothing else");
    // The texts claim more bytes than the block holds.
    std::string longer = Counted("abc") + Le32(0) + Le32(40);
    ExpectRejected(WriteExe(Stub() + longer + Le32(static_cast<std::int32_t>(longer.size()))), "text past the end");
    EXPECT_FALSE(DataFileExists());
}

// The table the packer's tests run too (tests/host/PayloadLayoutTest.cpp): the reader
// refuses a block before anything is written, or copies the cabinet, which the check
// that runs before the window then accepts or refuses.
TEST_F(ReadPayloadTest, TheSharedBlockTableAsThePackerReadsIt) {
    for (const k4test::BlockCase& c : k4test::PayloadBlockCases()) {
        SCOPED_TRACE(c.what);
        DeleteFileA("DATAFILE.K4A");
        const std::string exe = WriteExe(Stub() + c.appended);
        if (c.verdict == k4test::BlockVerdict::PayloadRefused) {
            ExpectRejected(exe, c.what);
            EXPECT_FALSE(DataFileExists());
            continue;
        }
        EXPECT_FALSE(Read(exe));
            const std::string copied = k4test::ReadAll(DataFileName.Str());
        EXPECT_TRUE(copied == c.cabinet) << copied.size() << " bytes copied";
        formattest::MemoryCabinet cabinet(copied);
        EXPECT_EQ(cabfmt::Check(cabinet).Sound(), c.verdict == k4test::BlockVerdict::Accepted);
    }
}

// A text that cannot be read fails the start before anything is written: no
// temporary cabinet is made, and one from an earlier start is left as it was.
TEST_F(ReadPayloadTest, AFailedTextReadWritesNoTemporaryFile) {
    const std::string cab = Cabinet(60);
    const std::string t256(256, 'x');
    const struct {
        const char* what;
        std::string block;
    } cases[] = {
        {"first length above 255", Le32(256) + t256 + Counted("b") + Counted("c") + cab},
        {"second length above 255", Counted("a") + Le32(300) + t256 + t256 + Counted("c") + cab},
        {"third length above 255", Counted("a") + Counted("b") + Le32(0x7FFFFFFF) + cab},
        {"third text past the file", Counted("a") + Counted("b") + Le32(255) + "short"},
        {"third length read past the file", Counted("a") + Le32(5) + "bbb"},
    };
    for (const auto& c : cases) {
        scratch_.Write("DATAFILE.K4A", "an older cabinet");
        ExpectRejected(WriteExe(Stub() + k4test::WithTrailer(c.block)), c.what);
        EXPECT_EQ(k4test::ReadAll("DATAFILE.K4A"), "an older cabinet") << c.what;
        DeleteFileA("DATAFILE.K4A");
        ExpectRejected(WriteExe(Stub() + k4test::WithTrailer(c.block)), c.what);
        EXPECT_FALSE(DataFileExists()) << c.what;
    }
}

// A temporary file that cannot be created in the current folder goes into a folder of
// the program's own under the temporary folder, removed with it; where it cannot be
// created there either, the message names both folders and the reasons, never
// "Sorry Cannot Find Data" (the payload is there).
TEST_F(ReadPayloadTest, TemporaryFileThatCannotBeCreated) {
    ASSERT_TRUE(CreateDirectoryA("DATAFILE.K4A", nullptr));
    const std::string cabinet = Cabinet(50);
    EXPECT_FALSE(Read(WriteExe(Stub() + Payload("a", "b", "c", cabinet)))) << "a folder named like the file";
    const std::string placed = DataFileName.Str();
    const std::string own = placed.substr(0, placed.rfind('\\') + 1);
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    EXPECT_EQ(own.rfind(temp, 0), 0u) << own;
    EXPECT_GT(own.size(), std::string(temp).size()) << "a folder of its own";
    EXPECT_EQ(placed, own + "DATAFILE.K4A");
    EXPECT_TRUE(k4test::ReadAll(placed) == cabinet);
    RemoveTemporaryCabinet();
    EXPECT_FALSE(k4test::Exists(own));

    DataFileName = "NO\\SUCH\\DIR\\DATAFILE.K4A";
    EXPECT_TRUE(Read(WriteExe(Stub() + Payload("a", "b", "c", cabinet)))) << "missing folder";
    const std::string reason = SystemReason(ERROR_PATH_NOT_FOUND).Str();
    EXPECT_EQ(refusal_.rfind("Cannot write the temporary file \"NO\\SUCH\\DIR\\DATAFILE.K4A\" in \"" +
                                 CurrentFolder().Str() + "\" (" + reason + ") nor in \"" + temp, 0),
              0u)
        << refusal_;
    const std::string tail = "\\\" (" + reason + ")";
    ASSERT_GT(refusal_.size(), tail.size());
    EXPECT_EQ(refusal_.substr(refusal_.size() - tail.size()), tail) << refusal_;
    // The message names the folder the program made, which is gone again.
    const std::size_t from = refusal_.rfind(" nor in \"") + 9;
    const std::string made = refusal_.substr(from, refusal_.size() - tail.size() + 1 - from);
    EXPECT_GT(made.size(), std::string(temp).size()) << made;
    EXPECT_FALSE(k4test::Exists(made)) << made;
}

// A hidden or system file of the temporary cabinet's name is not replaced where it is
// (the system's create-always call refuses such a file): the cabinet goes to the
// temporary folder, as for a folder that takes no file, and the file stays as it was.
TEST_F(ReadPayloadTest, AHiddenOrSystemTemporaryFileSendsTheCabinetToTheTemporaryFolder) {
    const std::string cabinet = Cabinet(70, 3);
    for (DWORD attribute : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM}}) {
        SCOPED_TRACE(attribute);
        DataFileName = "DATAFILE.K4A";
        scratch_.Write("DATAFILE.K4A", "another program's file");
        ASSERT_TRUE(SetFileAttributesA("DATAFILE.K4A", attribute));
        ASSERT_EQ(GetFileAttributesA("DATAFILE.K4A") & attribute, attribute) << "the file system keeps the attribute";
        EXPECT_FALSE(Read(WriteExe(Stub() + Payload("a", "b", "c", cabinet))));
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        EXPECT_EQ(DataFileName.Str().rfind(temp, 0), 0u) << DataFileName.Str();
        EXPECT_TRUE(k4test::ReadAll(DataFileName.Str()) == cabinet);
        EXPECT_EQ(k4test::ReadAll("DATAFILE.K4A"), "another program's file");
        RemoveTemporaryCabinet();
        SetFileAttributesA("DATAFILE.K4A", FILE_ATTRIBUTE_NORMAL);
        DeleteFileA("DATAFILE.K4A");
    }
}

TEST_F(ReadPayloadTest, OwnFileOpenedByAnotherProgramForWriting) {
    // The own file is read while nobody may change it: a writer holding it open
    // without sharing makes the read fail, and that failure is the message too.
    std::string exe = WriteExe(Stub() + Payload("a", "b", "c", Cabinet(50)));
    HANDLE writer = CreateFileA(exe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ExpectRejected(exe, "locked own file");
    CloseHandle(writer);
}

// The temporary file holds the cabinet's own bytes only: the packer's padding and
// the trailer behind it would otherwise be read by the library as cabinet data.
TEST_F(ReadPayloadTest, PaddingAfterTheCabinetIsNotCopied) {
    std::string cabinet = Cabinet(300, 4);
    EXPECT_FALSE(Read(WriteExe(Stub() + Payload("a", "b", "c", cabinet + std::string(5, '\0')))));
    EXPECT_TRUE(k4test::ReadAll("DATAFILE.K4A") == cabinet);
}

TEST_F(ReadPayloadTest, ACabinetStatingMoreThanTheBlockHoldsIsCopiedAsFarAsItGoes) {
    std::string cabinet = Cabinet(300, 5);
    cabinet.replace(8, 4, Le32(100000));
    EXPECT_FALSE(Read(WriteExe(Stub() + Payload("a", "b", "c", cabinet))));
    EXPECT_TRUE(k4test::ReadAll("DATAFILE.K4A") == cabinet) << "left for the check before extraction to refuse";
}

// A copy that fails part way leaves no partial cabinet behind, not even in place of
// an older one: here the source ends in the fifth block of a cabinet said to be longer.
TEST_F(ReadPayloadTest, ACopyThatFailsPartWayLeavesNoFile) {
    scratch_.Write("DATAFILE.K4A", "an older cabinet");
    std::string cabinet = Cabinet(4 * 64 * 1024 + 100, 6);
    cabinet.replace(8, 4, Le32(6 * 64 * 1024));
    const std::string source = WriteExe(cabinet, "CAB.BIN");
    BlockFile in;
    ASSERT_EQ(in.Open(source.c_str()), 0);
    EXPECT_EQ(CopyCabinet(in, 6 * 64 * 1024, "DATAFILE.K4A"), ShortReadError);
    EXPECT_FALSE(DataFileExists());

    // The same copy bounded by what the file holds succeeds.
    ASSERT_EQ(in.Seek(0), 0);
    EXPECT_EQ(CopyCabinet(in, 4 * 64 * 1024 + 100, "DATAFILE.K4A"), 0);
    EXPECT_EQ(k4test::ReadAll("DATAFILE.K4A").size(), 4u * 64 * 1024 + 100);
}

// A payload ending in a sum record: the cabinet alone is copied, neither the padding
// nor the record, as the packer writes it (any padding in front of the record).
TEST_F(ReadPayloadTest, ACabinetMatchingItsSumRecordIsCopiedWithoutIt) {
    for (std::size_t size : {std::size_t{500}, std::size_t{3 * 64 * 1024 + 17}}) {
        for (std::size_t padding : {std::size_t{0}, std::size_t{5}}) {
            SCOPED_TRACE(std::to_string(size) + " bytes, padding " + std::to_string(padding));
            const std::string cabinet = Cabinet(size, 8);
            EXPECT_FALSE(Read(WriteExe(Stub() + Payload("C:\\T", "Caption", "t", k4test::Summed(cabinet, padding)))));
                    EXPECT_EQ(WindowCaption, "Caption");
            EXPECT_TRUE(k4test::ReadAll("DATAFILE.K4A") == cabinet);
        }
    }
}

// Any byte of a summed cabinet changed (in its header, its length field, at a copy
// block's edge, its last one), or a record that does not describe it: the archive is
// damaged, said as such before any window, and no temporary cabinet stays behind, not
// even an older one. Where the record cannot be found (its marker changed), the payload
// is read as one without, as older archives are.
TEST_F(ReadPayloadTest, ACabinetThatDoesNotMatchItsSumRecordIsADamagedArchive) {
    const std::string cabinet = Cabinet(3 * 64 * 1024 + 17, 9);
    const auto size = static_cast<std::uint32_t>(cabinet.size());
    const std::string good = k4test::Summed(cabinet, 3);
    ASSERT_FALSE(Read(WriteExe(Stub() + Payload("a", "b", "c", good))));
    std::vector<std::pair<std::string, std::string>> cases;
    for (std::size_t at : {std::size_t{4}, std::size_t{8}, std::size_t{11}, std::size_t{64 * 1024 - 1},
                           std::size_t{64 * 1024}, cabinet.size() / 2, cabinet.size() - 1}) {
        std::string changed = good;
        changed[at] = static_cast<char>(changed[at] ^ 0x5A);
        cases.emplace_back("byte " + std::to_string(at) + " changed", changed);
    }
    std::string swapped = good;  // two aligned words exchanged: the cabinet's XOR sums cannot tell
    std::swap_ranges(swapped.begin() + 4000, swapped.begin() + 4004, swapped.begin() + 4008);
    cases.emplace_back("two words swapped", swapped);
    const std::string padded = cabinet + std::string(3, '\0');
    cases.emplace_back("record's CRC-32 changed", padded + k4test::SumRecord(size, k4test::Crc32(cabinet) ^ 1));
    cases.emplace_back("record longer than the bytes in front of it", padded + k4test::SumRecord(size + 4, k4test::Crc32(cabinet)));
    cases.emplace_back("record summing less than the header states",
                       padded + k4test::SumRecord(size - 1, k4test::Crc32(cabinet.substr(0, size - 1))));
    const std::string shorter = cabinet.substr(0, 8) + Le32(size - 1) + cabinet.substr(12);
    cases.emplace_back("header stating less than the record sums", k4test::Summed(shorter, 3));
    for (const auto& [what, block] : cases) {
        scratch_.Write("DATAFILE.K4A", "an older cabinet");
        ExpectDamaged(WriteExe(Stub() + Payload("a", "b", "c", block)), what);
        EXPECT_FALSE(DataFileExists()) << what;
    }

    std::string noMarker = good;
    noMarker[noMarker.size() - 16] = 'k';
    EXPECT_FALSE(Read(WriteExe(Stub() + Payload("a", "b", "c", noMarker))));
    EXPECT_TRUE(k4test::ReadAll("DATAFILE.K4A") == cabinet) << "read as a payload without a record";
}

// A run record behind the cabinet (in front of a sum record, or of the trailer): its
// program (folders separated as the system does) and arguments from UTF-8 into the
// command setting, the temporary flag with them; the cabinet copied alone. Without a
// record nothing is given; a damaged one refuses the payload as any damage does.
TEST_F(ReadPayloadTest, ARunRecordGivesTheCommandToRun) {
    const std::string cabinet = Cabinet(700, 4);
    const std::string cyrillic = "\xd1\x82\xd0\xb5\xd1\x81\xd1\x82";  // "тест"
    struct Case {
        const char* what;
        std::string record;
        bool summed;
        std::wstring program, arguments;
        bool temporary;
    } cases[] = {
        {"plain, before the trailer", k4test::RunRecord("setup.exe", "/quiet /norestart"), false, L"setup.exe",
         L"/quiet /norestart", false},
        {"in a folder, before a sum record", k4test::RunRecord("bin/tools/run.cmd", "\"a b\" c"), true,
         L"bin\\tools\\run.cmd", L"\"a b\" c", false},
        {"UTF-8 texts, temporary", k4test::RunRecord(cyrillic + "\\" + cyrillic + ".exe", "/dir=" + cyrillic,
                                                     runrecord::FlagTemporary),
         true, L"\x0442\x0435\x0441\x0442\\\x0442\x0435\x0441\x0442.exe", L"/dir=\x0442\x0435\x0441\x0442", true},
        {"no arguments", k4test::RunRecord("a.exe", ""), false, L"a.exe", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetSettings();
        DataFileName = "DATAFILE.K4A";
        const std::string behind = c.summed ? cabinet + c.record + k4test::SumRecord(700, k4test::Crc32(cabinet))
                                            : cabinet + c.record;
        ASSERT_FALSE(Read(WriteExe(Stub() + Payload("C:\\T", "Caption", "t", behind)))) << refusal_;
        EXPECT_TRUE(CommandToRun.given);
        EXPECT_EQ(CommandToRun.program, c.program);
        EXPECT_EQ(CommandToRun.arguments, c.arguments);
        EXPECT_EQ(CommandToRun.temporary, c.temporary);
        EXPECT_TRUE(k4test::ReadAll("DATAFILE.K4A") == cabinet) << "the cabinet alone";
    }

    ResetSettings();
    DataFileName = "DATAFILE.K4A";
    EXPECT_FALSE(Read(WriteExe(Stub() + Payload("C:\\T", "Caption", "t", cabinet))));
    EXPECT_FALSE(CommandToRun.given) << "an archive without a record runs nothing";
    EXPECT_TRUE(CommandToRun.program.empty());

    ExpectRejected(WriteExe(Stub() + Payload("C:\\T", "Caption", "t", cabinet + k4test::RunRecord("a.exe", "", 0, 1))),
                   "a record whose sum does not hold");
    EXPECT_FALSE(CommandToRun.given);
}
