// Hostile payload blocks through the real program: trailers and text lengths that
// cannot describe a block in the file end in the one message, before any window,
// and leave nothing behind, not even the temporary cabinet: a text that cannot be
// read fails the start before anything is written.
#include <gtest/gtest.h>
#include <climits>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "HostileRun.h"

using namespace hostile;
using k4test::Counted;
using k4test::Le32;

namespace {

class HostilePayload : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(k4test::ReadBytes(e2e::ExtractorExe(), stub_));
        cabinet_ = cabw::Build(cabw::OneFile("never.txt", "must not be extracted"));
    }
    // The one message, then the end; the window is never shown.
    void ExpectSorry(const std::string& appended) {
        Options options;
        options.target = arena_.Target();
        Outcome outcome = RunProgram(arena_, appended, options);
        ExpectContained(outcome);
        EXPECT_FALSE(outcome.windowShown);
        EXPECT_EQ(outcome.boxes, std::vector<std::string>{"Sorry Cannot Find Data"});
        EXPECT_EQ(outcome.exitCode, 1u);
        EXPECT_TRUE(arena_.TargetFiles().empty());
        EXPECT_FALSE(k4test::Exists(arena_.Work() + "\\DATAFILE.K4A"));
    }
    // The three texts and the cabinet as a well-formed block would hold them.
    std::string Block() const { return Counted(DecoyTarget) + Counted("Hostile case") + Counted("t") + cabinet_; }

    Arena arena_;
    std::string stub_;
    std::string cabinet_;
};

}  // namespace

TEST_F(HostilePayload, TrailersThatDescribeNoBlock) {
    const auto fileSize = static_cast<std::int64_t>(stub_.size() + Block().size() + 4);
    const std::int32_t trailers[] = {0, -1, INT_MIN, static_cast<std::int32_t>(fileSize - 3),
                                     static_cast<std::int32_t>(fileSize), INT_MAX};
    for (std::int32_t trailer : trailers) {
        SCOPED_TRACE("trailer " + std::to_string(trailer));
        ExpectSorry(Block() + Le32(trailer));
    }
}

// A trailer two bytes short makes the first length read straddle two fields.
TEST_F(HostilePayload, ATrailerThatMissesTheBlockStart) {
    const std::string block = Block();
    ExpectSorry(block + Le32(static_cast<std::int32_t>(block.size() - 2)));
}

TEST_F(HostilePayload, TextLengthsAboveTheShortStringLimit) {
    const std::string text(300, 'x');
    const std::string blocks[] = {
        Le32(256) + text + Counted("c") + Counted("t") + cabinet_,
        Counted("C:\\t\\") + Le32(1000) + text + text + text + text + Counted("t") + cabinet_,
        Counted("C:\\t\\") + Counted("c") + Le32(INT_MAX) + cabinet_,
    };
    for (const std::string& block : blocks) {
        SCOPED_TRACE(block.substr(0, 8));
        ExpectSorry(k4test::WithTrailer(block));
    }
}
