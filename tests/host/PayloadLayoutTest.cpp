// The appended block byte by byte, its limits, and the reader's refusals; the cabinet header
// and PE checks that guard what goes in.
#include <gtest/gtest.h>

#include "Cabinet.h"
#include "Packer.h"
#include "PayloadLayout.h"
#include "TestSupport.h"

using namespace k4pack;
using k4test::Bytes;

namespace {

// A stand-in cabinet: only its first four bytes matter to the block.
Bytes SmallCabinet() {
    return k4test::ToBytes("MSCF\x01\x02\x03\x04\x05\x06");
}

// image + block + trailer in memory, as the packer writes them to a file.
Bytes BuildFile(const Bytes& image, const PayloadTexts& texts, const Bytes& cabinet) {
    MemorySink sink;
    sink.Write(image);
    const MemorySource source(cabinet);
    WritePayload(sink, PlanPayload(image.size(), texts, cabinet.size()), texts, source);
    return sink.Bytes();
}

Bytes WithTrailer(Bytes bytes, std::uint32_t value) {
    AppendLe32(bytes, value);
    return bytes;
}

PayloadContents Read(const Bytes& file) {
    return ReadPayload(MemorySource(file));
}

}  // namespace

TEST(PayloadLayout, BlockAndTrailerMatchHandComputedBytes) {
    const PayloadTexts texts{"C:\\T", "Cap", "Title"};
    const Bytes file = BuildFile(k4test::ToBytes("IMG"), texts, SmallCabinet());
    // L = 12 + 4 + 3 + 5 + 10 = 34 = 0x22.
    // clang-format off
    const Bytes expected = {
        'I', 'M', 'G',                                      // image, untouched
        4,   0,   0,   0,   'C', ':', '\\', 'T',            // len1 text1
        3,   0,   0,   0,   'C', 'a', 'p',                  // len2 text2
        5,   0,   0,   0,   'T', 'i', 't',  'l', 'e',       // len3 text3
        'M', 'S', 'C', 'F', 1,   2,   3,    4,   5,   6,    // cabinet
        0x22, 0,  0,   0};                                  // trailer
    // clang-format on
    EXPECT_EQ(file, expected);

    const PayloadLayout layout = PlanPayload(3, texts, 10);
    EXPECT_EQ(layout.blockLength, 34u);
    EXPECT_EQ(layout.cabinetOffset, 27u);
    EXPECT_EQ(layout.fileSize, file.size());
}

TEST(PayloadLayout, WorkedExampleOfTextsAndCabinet) {
    // Texts of 8, 5 and 9 bytes and a 500-byte cabinet: 534 bytes, then the trailer.
    const PayloadLayout layout =
        PlanPayload(1000, {std::string(8, 'a'), std::string(5, 'b'), std::string(9, 'c')}, 500);
    EXPECT_EQ(layout.blockLength, 534u);
    EXPECT_EQ(layout.fileSize, 1000u + 534 + 4);
    EXPECT_EQ(layout.cabinetOffset, 1000u + 34);
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
    EXPECT_EQ(PlanPayload(1000, texts, kMaxFileSize - fixed - 1000).fileSize, kMaxFileSize);
    EXPECT_THROW(PlanPayload(1000, texts, kMaxFileSize - fixed - 999), PackError);
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

TEST(CabinetHeader, AcceptsOneWholeCabinetOnly) {
    Bytes header = k4test::ToBytes("MSCF");
    header.resize(kCabinetHeaderSize, 0);
    header[8] = 100;  // cbCabinet
    header[26] = 1;   // folders
    header[28] = 2;   // files
    const CabinetHeader parsed = ParseCabinetHeader(header, 100);
    EXPECT_EQ(parsed.size, 100u);
    EXPECT_EQ(parsed.folders, 1u);
    EXPECT_EQ(parsed.files, 2u);

    EXPECT_THROW(ParseCabinetHeader(header, 99), PackError) << "truncated";
    EXPECT_THROW(ParseCabinetHeader(std::span(header.data(), 20), 100), PackError) << "short";
    Bytes wrong = header;
    wrong[3] = 'X';
    EXPECT_THROW(ParseCabinetHeader(wrong, 100), PackError) << "signature";
    for (std::uint8_t setFlag : {1, 2}) {
        Bytes inSet = header;
        inSet[30] = setFlag;
        EXPECT_THROW(ParseCabinetHeader(inSet, 100), PackError) << "flags " << int(setFlag);
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
    std::tm local{};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 10;
    local.tm_min = 20;
    local.tm_sec = 31;
    local.tm_isdst = -1;
    const DosStamp stamp = ToDosStamp(std::mktime(&local));
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
