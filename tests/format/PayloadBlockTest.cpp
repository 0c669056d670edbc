// The payload block's reading at its own level: each refusal names what is at fault (the
// packer words its messages from it), and a read that fails is told from a bad block.
#include <gtest/gtest.h>
#include <climits>
#include <string>
#include "K4PayloadBlock.h"
#include "MemoryCabinet.h"
#include "PayloadBytes.h"
#include "SumRecordBytes.h"

using payloadblock::Fault;
using k4test::Counted;
using k4test::Le32;

TEST(PayloadBlock, EachRefusalNamesItsFaultTheTextAndTheStatedNumber) {
    const std::string cab = "MSCF" + std::string(40, 'c');
    const struct {
        const char* what;
        std::string file;
        Fault fault;
        std::size_t text;
        std::int64_t stated;
    } cases[] = {
        {"shorter than the trailer", "abc", Fault::NoTrailer, 0, 0},
        {"negative trailer", "image" + Le32(-5), Fault::TrailerOutside, 0, -5},
        {"trailer beyond the file", "image" + Le32(6), Fault::TrailerOutside, 0, 6},
        {"trailer below the lengths", "image" + k4test::WithTrailer(Le32(0) + Le32(0)), Fault::TrailerTooShort, 0, 8},
        {"negative second length", "image" + k4test::WithTrailer(Counted("d") + Le32(-2) + Counted("t") + cab),
         Fault::TextLengthOutside, 2, -2},
        {"third length of 256", "image" + k4test::WithTrailer(Counted("d") + Counted("c") + Le32(256) + cab),
         Fault::TextLengthOutside, 3, 256},
        {"first text past the block", "image" + k4test::WithTrailer(Le32(200) + "8 bytes."), Fault::TextOutside, 1, 200},
        {"nothing after the texts", "image" + k4test::Payload("d", "c", "t", ""), Fault::NoCabinet, 0, 0},
    };
    for (const auto& c : cases) {
        formattest::MemoryCabinet file(c.file);
        const payloadblock::Block block = payloadblock::ReadBlock(file, c.file.size());
        EXPECT_EQ(block.fault, c.fault) << c.what;
        EXPECT_EQ(block.faultText, c.text) << c.what;
        EXPECT_EQ(block.stated, c.stated) << c.what;
    }
}

TEST(PayloadBlock, AFailedReadIsUnreadableNotABadBlock) {
    const std::string file = "image" + k4test::Payload("d", "c", "t", "MSCF" + std::string(40, 'c'));
    formattest::MemoryCabinet sound(file);
    const payloadblock::Block block = payloadblock::ReadBlock(sound, file.size());
    ASSERT_TRUE(block.Sound());
    EXPECT_TRUE(block.signature);
    EXPECT_EQ(block.cabinetOffset, 5u + 12 + 3);
    for (const std::uint64_t failFrom : {std::uint64_t{0}, std::uint64_t{file.size() - 4}, block.textOffset[2] - 4}) {
        formattest::MemoryCabinet failing(file);
        failing.failFrom = failFrom;
        EXPECT_EQ(payloadblock::ReadBlock(failing, file.size()).fault, Fault::Unreadable) << failFrom;
    }
}

// The run record is found from the trailer's side, in front of the sum record or of the
// trailer itself, and the cabinet's room ends where it begins; a record whose marker is
// there but whose lengths, flags or sum do not hold refuses the block, so that a damaged
// command is never run.
TEST(PayloadBlock, ARunRecordIsFoundInFrontOfTheSumAndADamagedOneRefusesTheBlock) {
    const std::string cab = "MSCF" + std::string(40, 'c');
    const std::string program = "sub\\setup.exe", arguments = "/quiet \"a b\"";
    const std::string record = k4test::RunRecord(program, arguments, runrecord::FlagTemporary);
    const struct {
        const char* what;
        std::string afterTexts;
        Fault fault;
        bool runs;
        bool summed;
    } cases[] = {
        {"no record", cab, Fault::None, false, false},
        {"record before the trailer", cab + record, Fault::None, true, false},
        {"record before the sum", cab + std::string(3, '\0') + record + k4test::SumRecord(44, k4test::Crc32(cab)),
         Fault::None, true, true},
        {"sum before the record is padding", cab + k4test::SumRecord(44, 0) + record, Fault::None, true, false},
        {"sum off by one", cab + k4test::RunRecord(program, arguments, 0, 1), Fault::RunRecordDamaged, false, false},
        {"no program", cab + k4test::RunRecord("", arguments), Fault::RunRecordDamaged, false, false},
        {"program of 256 bytes", cab + k4test::RunRecord(std::string(256, 'p'), ""), Fault::RunRecordDamaged, false,
         false},
        {"arguments of 8192 bytes", cab + k4test::RunRecord("a.exe", std::string(8192, 'a')),
         Fault::RunRecordDamaged, false, false},
        {"unknown flag", cab + k4test::RunRecord("a.exe", "", 2), Fault::RunRecordDamaged, false, false},
        {"record reaching into the signature", "MSC" + k4test::RunRecord("a.exe", ""), Fault::RunRecordDamaged, false,
         false},
    };
    for (const auto& c : cases) {
        const std::string file = "image" + k4test::Payload("d", "c", "t", c.afterTexts);
        formattest::MemoryCabinet reader(file);
        const payloadblock::Block block = payloadblock::ReadBlock(reader, file.size());
        EXPECT_EQ(block.fault, c.fault) << c.what;
        if (c.fault != Fault::None) continue;
        EXPECT_EQ(block.runs, c.runs) << c.what;
        EXPECT_EQ(block.summed, c.summed) << c.what;
        const std::size_t recordStart = c.afterTexts.rfind("sub\\setup.exe");
        if (!c.runs) continue;
        EXPECT_EQ(block.runOffset, block.cabinetOffset + recordStart) << c.what;
        EXPECT_EQ(block.cabinetOffset + block.cabinetRoom, block.runOffset) << c.what;
        EXPECT_EQ(block.run.programLength, program.size()) << c.what;
        EXPECT_EQ(block.run.argumentsLength, arguments.size()) << c.what;
        EXPECT_TRUE(block.run.Temporary()) << c.what;
        EXPECT_EQ(file.substr(block.runOffset, program.size() + arguments.size()), program + arguments) << c.what;
    }
}
