// The appended block byte by byte, its limits, and the reader's refusals; the cabinet header
// and PE checks that guard what goes in.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>

#include "cabinet/Cabinet.h"
#include "FileIo.h"
#include "inspect/Inspect.h"
#include "PackFixture.h"
#include "PayloadBlockCases.h"
#include "RunRecordCases.h"
#include "pack/Packer.h"
#include "pack/PayloadLayout.h"
#include "TestSupport.h"

using namespace k4pack;
using k4test::Bytes;

namespace {

// A stand-in cabinet: "MSCF", and its own length where a cabinet header keeps it (cbCabinet
// at offset 8), which tells the reader where the padding begins.
Bytes SmallCabinet(std::uint32_t size = 40) {
    Bytes cabinet = k4test::PatternBytes(size, 7);
    const Bytes head = k4test::ToBytes("MSCF");
    std::copy(head.begin(), head.end(), cabinet.begin());
    for (int i = 0; i < 4; ++i)
        cabinet[8 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    return cabinet;
}

// image + block + trailer in memory, as the packer writes them to a file.
Bytes BuildFile(const Bytes& image, const PayloadTexts& texts, const Bytes& cabinet,
                SumRecord sum = SumRecord::None, const std::optional<RunCommand>& run = std::nullopt) {
    MemorySink sink;
    sink.Write(image);
    const MemorySource source(cabinet);
    WritePayload(sink, PlanPayload(image.size(), texts, cabinet.size(), sum, run), texts, source, run);
    return sink.Bytes();
}

Bytes WithTrailer(Bytes bytes, std::uint32_t value) {
    AppendLe32(bytes, value);
    return bytes;
}

std::string Hex32(std::uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

PayloadContents Read(const Bytes& file) {
    return ReadPayload(MemorySource(file));
}

}  // namespace

TEST(PayloadLayout, BlockPaddingAndTrailerMatchHandComputedBytes) {
    const PayloadTexts texts{"C:\\T", "Cap", "Title"};
    const Bytes cabinet = k4test::ToBytes("MSCF\x01\x02\x03\x04\x05\x06");
    const Bytes file = BuildFile(k4test::ToBytes("IMG"), texts, cabinet);
    // 3 + 24 + 10 + 4 = 41 bytes unpadded: 7 zero bytes make 48. L = 12 + 12 + 10 + 7 = 41.
    // clang-format off
    const Bytes expected = {
        'I', 'M', 'G',                                      // image, untouched
        4,   0,   0,   0,   'C', ':', '\\', 'T',            // len1 text1
        3,   0,   0,   0,   'C', 'a', 'p',                  // len2 text2
        5,   0,   0,   0,   'T', 'i', 't',  'l', 'e',       // len3 text3
        'M', 'S', 'C', 'F', 1,   2,   3,    4,   5,   6,    // cabinet
        0,   0,   0,   0,   0,   0,   0,                    // padding
        41,  0,   0,   0};                                  // trailer
    // clang-format on
    EXPECT_EQ(file, expected);

    const PayloadLayout layout = PlanPayload(3, texts, 10);
    EXPECT_EQ(layout.blockLength, 41u);
    EXPECT_EQ(layout.paddingSize, 7u);
    EXPECT_EQ(layout.cabinetOffset, 27u);
    EXPECT_EQ(layout.fileSize, file.size());
}

TEST(PayloadLayout, WorkedExampleOfTextsAndCabinet) {
    // Texts of 8, 5 and 9 bytes and a 500-byte cabinet: 534 bytes, then the trailer; behind
    // an image of 998 bytes the file is 1536 bytes, a multiple of 8, so nothing is padded.
    const PayloadTexts texts{std::string(8, 'a'), std::string(5, 'b'), std::string(9, 'c')};
    const PayloadLayout layout = PlanPayload(998, texts, 500);
    EXPECT_EQ(layout.blockLength, 534u);
    EXPECT_EQ(layout.paddingSize, 0u);
    EXPECT_EQ(layout.fileSize, 998u + 534 + 4);
    EXPECT_EQ(layout.cabinetOffset, 998u + 34);
    // Behind 1000 bytes, 6 zero bytes make it 1544; they count in L.
    const PayloadLayout padded = PlanPayload(1000, texts, 500);
    EXPECT_EQ(padded.paddingSize, 6u);
    EXPECT_EQ(padded.blockLength, 540u);
    EXPECT_EQ(padded.fileSize, 1544u);
}

TEST(PayloadLayout, PaddingMakesEveryFileAMultipleOf8AndReadsBack) {
    const PayloadTexts texts{"d", "cc", ""};
    const Bytes cabinet = SmallCabinet(41);
    for (std::size_t imageSize = 0x100; imageSize < 0x108; ++imageSize) {
        SCOPED_TRACE(imageSize);
        Bytes image = k4test::FakeStub(0x100);
        image.resize(imageSize, 0x11);
        const Bytes file = BuildFile(image, texts, cabinet);
        const PayloadLayout planned = PlanPayload(image.size(), texts, cabinet.size());
        ASSERT_EQ(file.size(), planned.fileSize);
        EXPECT_EQ(file.size() % kFileAlignment, 0u);
        EXPECT_LT(planned.paddingSize, kFileAlignment);
        EXPECT_EQ(file.size(), image.size() + 15 + cabinet.size() + planned.paddingSize + 4);

        const PayloadContents read = Read(file);
        EXPECT_EQ(read.texts, texts);
        EXPECT_EQ(read.layout.imageSize, image.size());
        EXPECT_EQ(read.layout.cabinetSize, cabinet.size());
        EXPECT_EQ(read.layout.paddingSize, planned.paddingSize);
        EXPECT_EQ(read.layout.blockLength, planned.blockLength);
        const auto padding = file.begin() + static_cast<std::ptrdiff_t>(read.layout.cabinetOffset +
                                                                        cabinet.size());
        EXPECT_TRUE(std::all_of(padding, file.end() - 4, [](std::uint8_t b) { return b == 0; }));
    }
}

TEST(PayloadReader, CabinetLengthFromItsHeaderOnlyWhenItCanBeOne) {
    // The rest of the block after the texts is 45 cabinet bytes and the padding. A header
    // length below a header's size, or beyond that rest (a truncated cabinet), leaves the
    // whole rest as the cabinet, for the cabinet header check to judge.
    const Bytes image = k4test::FakeStub();
    const std::uint64_t padding = PlanPayload(image.size(), {}, 45).paddingSize;
    ASSERT_GT(padding, 0u);
    const std::uint64_t rest = 45 + padding;
    for (auto [stated, cabinetSize] : {std::pair<std::uint32_t, std::uint64_t>{0, rest},
                                       {35, rest},
                                       {36, 36},
                                       {45, 45},
                                       {static_cast<std::uint32_t>(rest), rest},
                                       {static_cast<std::uint32_t>(rest + 1), rest},
                                       {0xFFFFFFFF, rest}}) {
        Bytes cabinet = SmallCabinet(45);
        for (int i = 0; i < 4; ++i)
            cabinet[8 + i] = static_cast<std::uint8_t>(stated >> (8 * i));
        const PayloadLayout read = Read(BuildFile(image, {}, cabinet)).layout;
        EXPECT_EQ(read.cabinetSize, cabinetSize) << stated;
        EXPECT_EQ(read.paddingSize, rest - cabinetSize) << stated;
    }
}

TEST(PayloadLayout, TextsOfZeroAndMaximumLengthRoundTrip) {
    for (const PayloadTexts& texts :
         {PayloadTexts{},
          PayloadTexts{std::string(255, 'x'), std::string(255, 'y'), std::string(255, '\xE9')}}) {
        const Bytes file = BuildFile(k4test::FakeStub(), texts, SmallCabinet());
        const PayloadContents read = Read(file);
        EXPECT_EQ(read.texts, texts);
        EXPECT_EQ(read.layout.imageSize, k4test::FakeStub().size());
        EXPECT_EQ(read.layout.cabinetSize, SmallCabinet().size());
    }
}

TEST(PayloadLayout, TextOver255BytesIsRefusedWhicheverTextItIs) {
    const std::string tooLong(256, 'x');
    for (int which = 0; which < 3; ++which) {
        PayloadTexts texts;
        (which == 0   ? texts.targetDirectory
         : which == 1 ? texts.windowCaption
                      : texts.titleLine) = tooLong;
        EXPECT_THROW(CheckPayloadTexts(texts), PackError) << "text " << which + 1;
        EXPECT_THROW(PlanPayload(0, texts, 10), PackError) << "text " << which + 1;
        EXPECT_THROW(EncodeTextFields(texts), PackError) << "text " << which + 1;
    }
}

TEST(PayloadLayout, FileSizeLimitIsTheExtractorsSigned32BitRange) {
    const PayloadTexts texts{"a", "", ""};
    const std::uint64_t fixed = 12 + 1 + kTrailerSize;
    // The largest multiple of 8 within the signed 32-bit range, padding included.
    const std::uint64_t largest = kMaxFileSize / kFileAlignment * kFileAlignment;
    EXPECT_EQ(PlanPayload(1000, texts, largest - fixed - 1000).fileSize, largest);
    EXPECT_EQ(PlanPayload(1000, texts, largest - fixed - 1007).fileSize, largest);
    EXPECT_THROW(PlanPayload(1000, texts, largest - fixed - 999), PackError) << "padded past it";
    EXPECT_THROW(PlanPayload(0, texts, std::uint64_t{1} << 40), PackError);
}

TEST(PayloadLayout, WriterRefusesALayoutPlannedForOtherContents) {
    const PayloadTexts texts{"dir", "", ""};
    MemorySink sink;
    const Bytes cabinet = SmallCabinet();
    const PayloadLayout otherCabinet = PlanPayload(0, texts, cabinet.size() + 1);
    EXPECT_THROW(WritePayload(sink, otherCabinet, texts, MemorySource(cabinet)), PackError);
    const PayloadLayout otherTexts = PlanPayload(0, {"longer dir", "", ""}, cabinet.size());
    EXPECT_THROW(WritePayload(sink, otherTexts, texts, MemorySource(cabinet)), PackError);
    PayloadLayout morePadding = PlanPayload(0, texts, cabinet.size());
    morePadding.paddingSize += 8;
    morePadding.blockLength += 8;
    EXPECT_THROW(WritePayload(sink, morePadding, texts, MemorySource(cabinet)), PackError)
        << "padding is never a whole alignment unit";
    const RunCommand command{"setup.exe", "/quiet", false};
    const PayloadLayout withCommand = PlanPayload(0, texts, cabinet.size(), SumRecord::None, command);
    EXPECT_THROW(WritePayload(sink, withCommand, texts, MemorySource(cabinet)), PackError) << "the command left out";
    EXPECT_THROW(WritePayload(sink, withCommand, texts, MemorySource(cabinet), RunCommand{"setup.exe", "/q", false}),
                 PackError)
        << "another command";
    EXPECT_THROW(WritePayload(sink, PlanPayload(0, texts, cabinet.size()), texts, MemorySource(cabinet), command),
                 PackError)
        << "a command the layout has no room for";
    EXPECT_TRUE(sink.Bytes().empty()) << "nothing written for a refused layout";
}

TEST(PayloadReader, RefusesFilesTheExtractorWouldRefuse) {
    const Bytes good = BuildFile(k4test::FakeStub(64 * 4), {"d", "c", "t"}, SmallCabinet());
    ASSERT_NO_THROW(Read(good));
    const Bytes image = k4test::FakeStub(64 * 4);

    struct Case {
        const char* what;
        Bytes file;
    };
    Bytes beyondBlock = image;  // len1 = 200 but only 12 bytes in the block
    AppendLe32(beyondBlock, 200);
    AppendLe32(beyondBlock, 0);
    AppendLe32(beyondBlock, 0);
    Bytes noThirdLength = image;  // L = 12: len1 = 4, its 4 bytes, len2 = 0, then nothing
    AppendLe32(noThirdLength, 4);
    noThirdLength.insert(noThirdLength.end(), {'t', 'e', 'x', 't'});
    AppendLe32(noThirdLength, 0);
    const std::vector<Case> cases = {
        {"shorter than the trailer", Bytes{1, 2, 3}},
        {"program without payload (zero trailer)", WithTrailer(image, 0)},
        {"trailer below 12", WithTrailer(image, 11)},
        {"trailer beyond the file",
         WithTrailer(image, static_cast<std::uint32_t>(image.size()) + 1)},
        {"negative trailer", WithTrailer(image, 0xFFFFFFF0u)},
        {"text runs beyond the block", WithTrailer(beyondBlock, 12)},
        {"no room for the third length", WithTrailer(noThirdLength, 12)},
        {"empty cabinet", BuildFile(image, {}, {})},
        {"cabinet without MSCF", BuildFile(image, {}, k4test::ToBytes("MSCX1234"))},
        {"truncated by one byte", Bytes(good.begin(), good.end() - 1)},
        {"truncated to half", Bytes(good.begin(), good.begin() + good.size() / 2)},
    };
    for (const Case& c : cases)
        EXPECT_THROW(Read(c.file), InvalidPayload) << c.what;
}

TEST(PayloadReader, RefusesTextLengthsOutside0To255) {
    for (std::uint32_t length : {256u, 0x80000000u, 0xFFFFFFFFu}) {
        Bytes file = k4test::FakeStub(256);
        const std::size_t blockStart = file.size();
        AppendLe32(file, length);
        file.resize(file.size() + 300, 'x');  // room, so only the length itself is wrong
        AppendLe32(file, 0);
        AppendLe32(file, 0);
        const Bytes cabinet = SmallCabinet();
        file.insert(file.end(), cabinet.begin(), cabinet.end());
        file = WithTrailer(file, static_cast<std::uint32_t>(file.size() - blockStart));
        EXPECT_THROW(Read(file), InvalidPayload) << length;
    }
}

// The table the extractor's tests run too (tests/app/PayloadTest.cpp): inspect's reading,
// the payload reader and then the extractor's cabinet check, accepts what the extractor
// accepts and refuses what it refuses, at either step.
TEST(PayloadBlockTable, ThePackerAcceptsAndRefusesTheBlocksTheExtractorDoes) {
    const k4test::ScratchFolder dir;
    const Bytes stub = k4test::FakeStub(512);
    const std::string image(stub.begin(), stub.end());
    for (const k4test::BlockCase& c : k4test::PayloadBlockCases()) {
        SCOPED_TRACE(c.what);
        k4test::WriteFile(dir / "case.exe", k4test::ToBytes(image + c.appended));
        const ReadableFile file(dir / "case.exe");
        if (c.verdict == k4test::BlockVerdict::PayloadRefused) EXPECT_THROW(ReadPayload(file), InvalidPayload);
        if (c.verdict != k4test::BlockVerdict::Accepted) {
            EXPECT_THROW(ReadValidPayload(file), InvalidPayload);
            continue;
        }
        const PayloadLayout layout = ReadValidPayload(file).layout;
        EXPECT_EQ(layout.imageSize, image.size());
        Bytes cabinet(layout.cabinetSize);
        file.ReadAt(layout.cabinetOffset, cabinet);
        EXPECT_EQ(cabinet, k4test::ToBytes(c.cabinet));
    }
}

TEST(PortableExecutableCheck, AcceptsOnlyMzWithPeSignatureInsideTheFile) {
    EXPECT_NO_THROW(CheckPortableExecutable(MemorySource(k4test::FakeStub())));

    Bytes noMz = k4test::FakeStub();
    noMz[0] = 'X';
    Bytes offsetBeyondEnd = k4test::FakeStub();
    offsetBeyondEnd[0x3D] = 0x40;  // 0x4040, past the 1024 bytes
    Bytes noPe = k4test::FakeStub();
    noPe[0x41] = 'X';
    for (const Bytes& bad : {Bytes{}, k4test::ToBytes("MZ"), noMz, offsetBeyondEnd, noPe,
                             k4test::ToBytes("#!/bin/sh\necho not a program\n")})
        EXPECT_THROW(CheckPortableExecutable(MemorySource(bad)), PackError);
}

TEST(DosStamp, KeepsLocalTimeToTwoSecondsAndClampsToTheFormatsRange) {
    const DosStamp stamp = ToDosStamp(k4test::SampleTime());   // 2021-06-15 10:20:31 local
    EXPECT_EQ(std::vector<int>(
                  {stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second}),
              std::vector<int>({2021, 6, 15, 10, 20, 30}));

    const DosStamp early = ToDosStamp(86400 * 365);  // 1971
    EXPECT_EQ(early.year, 1980);
    EXPECT_EQ(early.month, 1);
    EXPECT_EQ(early.day, 1);
    const DosStamp late = ToDosStamp(std::time_t{7258118400});  // 2200
    EXPECT_EQ(late.year, 2107);
    EXPECT_EQ(late.second, 58);
}

// The sum record: 16 bytes right in front of the trailer, the padding in front of it, every
// file still a multiple of 8; the CRC-32 zlib computes over the cabinet's bytes alone.
TEST(SumRecord, WrittenInFrontOfTheTrailerAndReadBack) {
    const PayloadTexts texts{"d", "cc", ""};
    const Bytes cabinet = SmallCabinet(41);
    const auto crc = static_cast<std::uint32_t>(crc32(0, cabinet.data(), cabinet.size()));
    for (std::size_t imageSize = 0x100; imageSize < 0x108; ++imageSize) {
        SCOPED_TRACE(imageSize);
        Bytes image = k4test::FakeStub(0x100);
        image.resize(imageSize, 0x11);
        const Bytes file = BuildFile(image, texts, cabinet, SumRecord::Crc32);
        const PayloadLayout planned = PlanPayload(image.size(), texts, cabinet.size(), SumRecord::Crc32);
        ASSERT_EQ(file.size(), planned.fileSize);
        EXPECT_EQ(file.size() % kFileAlignment, 0u);
        EXPECT_EQ(file.size(), image.size() + 15 + cabinet.size() + planned.paddingSize + 16 + 4);
        EXPECT_EQ(planned.sumOffset, file.size() - 20);

        Bytes record = k4test::ToBytes(std::string("K4CRC32\x1A", 8));
        AppendLe32(record, 41);
        AppendLe32(record, crc);
        EXPECT_EQ(Bytes(file.end() - 20, file.end() - 4), record);
        EXPECT_EQ(le::Read32(&file[file.size() - 4]), planned.blockLength);
        const PayloadContents read = Read(file);
        EXPECT_EQ(read.layout.sumOffset, planned.sumOffset);
        EXPECT_EQ(read.layout.sum, (cabsum::Record{41, crc}));
        EXPECT_EQ(read.layout.cabinetSize, cabinet.size());
        EXPECT_EQ(read.layout.paddingSize, planned.paddingSize);
        const auto padding = file.begin() + static_cast<std::ptrdiff_t>(read.layout.cabinetOffset +
                                                                        cabinet.size());
        EXPECT_TRUE(std::all_of(padding, file.end() - 20, [](std::uint8_t b) { return b == 0; }));
        EXPECT_EQ(CabinetSumFault(MemorySource(file), read.layout), "");
    }
    // Without a record the layout is the one older archives have, and none is read.
    const Bytes plain = BuildFile(k4test::FakeStub(0x100), texts, cabinet);
    EXPECT_EQ(Read(plain).layout.sumOffset, 0u);
    EXPECT_EQ(CabinetSumFault(MemorySource(plain), Read(plain).layout), "");
}

// Each way a cabinet and its record can disagree, named as verify lists it; a record whose
// marker is damaged is no record, and the block is read as one without.
TEST(SumRecord, EveryDisagreementIsNamed) {
    const Bytes cabinet = SmallCabinet(60);
    const Bytes good = BuildFile(k4test::FakeStub(0x100), {"d", "", ""}, cabinet, SumRecord::Crc32);
    const PayloadLayout layout = Read(good).layout;
    const std::size_t at = layout.cabinetOffset;
    for (std::size_t offset : {std::size_t{4}, std::size_t{9}, std::size_t{30}, std::size_t{59}}) {
        Bytes changed = good;
        changed[at + offset] ^= 0x40;
        SCOPED_TRACE(offset);
        const auto crc = static_cast<std::uint32_t>(crc32(0, &changed[at], 60));
        // A changed length field (offset 9) moves the header's size, never the record.
        EXPECT_EQ(CabinetSumFault(MemorySource(changed), Read(changed).layout),
                  "the cabinet does not match its sum record: CRC-32 " + Hex32(crc) +
                      " of its first 60 bytes, the record states " + Hex32(layout.sum.crc));
    }
    auto withRecord = [&](std::uint32_t size, std::uint32_t crc) {
        Bytes file = good;
        unsigned char record[cabsum::RecordSize];
        cabsum::Encode({size, crc}, record);
        std::copy(std::begin(record), std::end(record), file.begin() + static_cast<std::ptrdiff_t>(layout.sumOffset));
        return file;
    };
    const std::uint64_t room = layout.sumOffset - layout.cabinetOffset;
    const Bytes tooLong = withRecord(static_cast<std::uint32_t>(room + 1), layout.sum.crc);
    EXPECT_EQ(CabinetSumFault(MemorySource(tooLong), Read(tooLong).layout),
              "the sum record covers " + std::to_string(room + 1) + " bytes, more than the " +
                  std::to_string(room) + " in front of it");
    const Bytes shorter = withRecord(59, static_cast<std::uint32_t>(crc32(0, cabinet.data(), 59)));
    EXPECT_EQ(CabinetSumFault(MemorySource(shorter), Read(shorter).layout),
              "the sum record covers 59 bytes, the cabinet's header states 60");

    Bytes noMarker = good;
    noMarker[layout.sumOffset + 7] ^= 1;
    const PayloadLayout plain = Read(noMarker).layout;
    EXPECT_EQ(plain.sumOffset, 0u);
    EXPECT_EQ(plain.cabinetSize, 60u);
    EXPECT_EQ(plain.paddingSize, layout.paddingSize + 16);
    EXPECT_EQ(CabinetSumFault(MemorySource(noMarker), plain), "");
}

// The extractor's own CRC-32 (format/K4CabinetSum.h) is zlib's, by tables and by
// carry-less multiplication alike: every length around their 8-, 16- and 64-byte
// steps, any alignment, continued from any value.
TEST(SumRecord, TheExtractorsCrcIsZlibs) {
    const Bytes bytes = k4test::PatternBytes(70000, 3);
    for (bool carryless : {false, true}) {
        const cabsum::Crc32 crc(carryless);
        for (std::size_t start : {0, 1, 3, 7}) {
            for (std::size_t length : {0, 1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 79, 80, 127, 128, 129, 143, 191, 192,
                                       1000, 65536, 69990}) {
                for (std::uint32_t seed : {0u, 1u, 0xFFFFFFFFu, 0x12345678u}) {
                    EXPECT_EQ(crc.Update(seed, bytes.data() + start, length),
                              crc32(seed, bytes.data() + start, static_cast<uInt>(length)))
                        << carryless << " " << start << " " << length << " " << seed;
                }
            }
        }
    }
}

// The run record: between the padding and the sum record, its bytes those of the layout's
// one definition (format/K4RunRecord.h), its CRC-32 zlib's; the file still a multiple of 8
// and the sum record still over the cabinet alone.
TEST(RunRecord, WrittenBetweenThePaddingAndTheSumRecord) {
    const PayloadTexts texts{"d", "cc", ""};
    const Bytes cabinet = SmallCabinet(41);
    const RunCommand command{"sub\\setup.exe", "/quiet \"a b\"", true};
    const std::string record = k4test::RunRecord(command.program, command.arguments, runrecord::FlagTemporary);
    for (SumRecord sum : {SumRecord::Crc32, SumRecord::None}) {
        const std::uint64_t sumSize = sum == SumRecord::Crc32 ? cabsum::RecordSize : 0;
        for (std::size_t imageSize = 0x100; imageSize < 0x108; ++imageSize) {
            SCOPED_TRACE(imageSize);
            Bytes image = k4test::FakeStub(0x100);
            image.resize(imageSize, 0x11);
            const Bytes file = BuildFile(image, texts, cabinet, sum, command);
            const PayloadLayout planned = PlanPayload(image.size(), texts, cabinet.size(), sum, command);
            ASSERT_EQ(file.size(), planned.fileSize);
            EXPECT_EQ(file.size() % kFileAlignment, 0u);
            EXPECT_LT(planned.paddingSize, kFileAlignment);
            EXPECT_EQ(file.size(), image.size() + 15 + cabinet.size() + planned.paddingSize + record.size() + sumSize + 4);
            EXPECT_EQ(planned.runOffset, image.size() + 15 + cabinet.size() + planned.paddingSize);
            EXPECT_EQ(planned.runSize, record.size());
            EXPECT_EQ(planned.sumOffset, sumSize == 0 ? 0 : file.size() - 20);
            EXPECT_EQ(le::Read32(&file[file.size() - 4]), planned.blockLength);
            const auto at = file.begin() + static_cast<std::ptrdiff_t>(planned.runOffset);
            EXPECT_EQ(std::string(at, at + static_cast<std::ptrdiff_t>(record.size())), record);
            EXPECT_TRUE(std::all_of(at - static_cast<std::ptrdiff_t>(planned.paddingSize), at,
                                    [](std::uint8_t b) { return b == 0; }));

            const PayloadContents read = Read(file);
            EXPECT_EQ(read.run, command);
            EXPECT_EQ(read.layout.runOffset, planned.runOffset);
            EXPECT_EQ(read.layout.runSize, planned.runSize);
            EXPECT_EQ(read.layout.sumOffset, planned.sumOffset);
            EXPECT_EQ(read.layout.cabinetSize, cabinet.size());
            EXPECT_EQ(read.layout.paddingSize, planned.paddingSize);
            EXPECT_EQ(CabinetSumFault(MemorySource(file), read.layout), "");
            if (sumSize != 0) {
                EXPECT_EQ(read.layout.sum, (cabsum::Record{41, static_cast<std::uint32_t>(
                                                                   crc32(0, cabinet.data(), cabinet.size()))}));
            }
        }
    }
    // Without a command the file is the one it always was, and none is read.
    const Bytes plain = BuildFile(k4test::FakeStub(0x100), texts, cabinet, SumRecord::Crc32);
    EXPECT_EQ(plain, BuildFile(k4test::FakeStub(0x100), texts, cabinet, SumRecord::Crc32, std::nullopt));
    EXPECT_EQ(Read(plain).run, std::nullopt);
    EXPECT_EQ(Read(plain).layout.runOffset, 0u);
    EXPECT_EQ(Read(plain).layout.runSize, 0u);
}

// The packer's record is the one built by hand with zlib's CRC-32, for commands of every
// size the record holds; what it cannot hold is refused before anything is written.
TEST(RunRecord, EncodedAsTheLayoutStatesAndBoundedAsItIs) {
    const std::string longest(runrecord::MaxProgramLength, 'p');
    const std::string longArguments(runrecord::MaxArgumentsLength, 'a');
    for (const RunCommand& command :
         {RunCommand{"a.exe", "", false}, RunCommand{"sub\\setup.exe", "/S /D=C:\\x", true},
          RunCommand{longest, longArguments, true}, RunCommand{"caf\xC3\xA9.exe", "\xE2\x82\xAC \"q\"", false}}) {
        SCOPED_TRACE(command.program.substr(0, 20));
        EXPECT_EQ(k4test::ToBytes(k4test::RunRecord(command.program, command.arguments,
                                                     command.temporary ? runrecord::FlagTemporary : 0)),
                  EncodeRunRecord(command));
    }
    for (const RunCommand& command : {RunCommand{"", "/x", false}, RunCommand{longest + "p", "", false},
                                      RunCommand{"a.exe", longArguments + "a", false}}) {
        EXPECT_THROW(EncodeRunRecord(command), PackError) << command.program.size();
        EXPECT_THROW(PlanPayload(0, {}, 40, SumRecord::Crc32, command), PackError) << command.program.size();
    }
}

// The table the extractor's tests can run too: the shared block reading, as the extractor
// reads its own payload, and the packer's reader find the same command in every block,
// refuse the same damaged records and see none where there is none.
TEST(RunRecordTable, TheExtractorsReadingAndThePackersAgree) {
    const k4test::ScratchFolder dir;
    const Bytes stub = k4test::FakeStub(512);
    const std::string image(stub.begin(), stub.end());
    for (const k4test::RunCase& c : k4test::RunRecordCases()) {
        SCOPED_TRACE(c.what);
        const Bytes bytes = k4test::ToBytes(image + c.appended);
        const MemorySource source(bytes);
        SourceReadAt reader(source);
        const payloadblock::Block block = payloadblock::ReadBlock(reader, bytes.size());
        EXPECT_EQ(block.fault, c.refused ? payloadblock::Fault::RunRecordDamaged : payloadblock::Fault::None);
        if (c.refused) {
            try {
                Read(bytes);
                ADD_FAILURE() << "the packer read what the extractor refuses";
            } catch (const InvalidPayload& e) {
                EXPECT_STREQ(e.what(), "the run record's lengths, flags or sum do not hold");
            }
            continue;
        }
        EXPECT_EQ(block.runs, c.runs);
        const std::optional<RunCommand> expected =
            c.runs ? std::optional<RunCommand>(RunCommand{c.program, c.arguments, c.temporary}) : std::nullopt;
        if (c.runs) {
            EXPECT_EQ(block.run.programLength, c.program.size());
            EXPECT_EQ(block.run.argumentsLength, c.arguments.size());
            EXPECT_EQ(block.run.Temporary(), c.temporary);
            EXPECT_EQ(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(block.runOffset),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(block.runOffset + c.program.size() +
                                                                              c.arguments.size())),
                      c.program + c.arguments);
        }
        k4test::WriteFile(dir / "case.exe", bytes);
        const PayloadContents read = ReadValidPayload(ReadableFile(dir / "case.exe"));
        EXPECT_EQ(read.run, expected);
        EXPECT_EQ(read.layout.runOffset, c.runs ? block.runOffset : 0);
        Bytes cabinet(read.layout.cabinetSize);
        source.ReadAt(read.layout.cabinetOffset, cabinet);
        EXPECT_EQ(cabinet, k4test::ToBytes(k4test::SoundBlockCabinet()));
    }
}
