// The window's idle decoding of the cabinet's compressed blocks: it begins at the
// first paint, runs only on the window's timer messages, holds the cabinet against
// writers, and leaves Start nothing to decode twice; a broken stream it finds stays
// unsaid until Start, which names it as the check would.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "ControlProbe.h"
#include "ExtractWindowFixture.h"
#include "K4CabinetFile.h"
#include "K4Form.h"
#include "K4FormatSeams.h"
#include "WindowProbe.h"

namespace {

// Letters in words, so that the blocks compress and refer back to one another.
std::string Words(std::size_t size) {
    std::string text;
    for (unsigned n = 1; text.size() < size; ++n) text += std::to_string(n * 7919u % 104729u) + (n % 9 ? " " : "\r\n");
    return text.substr(0, size);
}

// Two members over 150 small MSZIP blocks: more than one slice of idle decoding.
cabw::Cabinet Compressed() {
    cabw::Cabinet cabinet = cabw::OneFile("numbers.txt", Words(120000));
    cabinet.members.push_back(cabw::OneFile("more.txt", Words(30000)).members[0]);
    cabinet.blockSize = 1000;
    cabinet.mszip = true;
    return cabinet;
}
constexpr std::uint64_t CompressedBlocks = 150;

class IdleDecoding : public ExtractWindow {
protected:
    void TearDown() override {
        ExtractWindow::TearDown();
        // A window closed after success ends the loop: its quit message is no
        // other test's.
        MSG quit;
        while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    void UseCabinet(const cabw::Cabinet& cabinet) {
        SetPayloadFileForTests(scratch_.Write(
            "DECODE.EXE", "MZ" + std::string(200, '\0') +
                              k4test::Payload("C:\\Target", "Decoding caption", "Decoding title", cabw::Build(cabinet))));
    }
    // The window's messages handled until its idle decoding has finished.
    bool IdleUntilDecoded() {
        for (int i = 0; i < 2000; ++i) {
            probe::HandleQueuedMessages();
            if (form_->FRun.Decoding() && form_->FRun.Decoding()->Finished()) return true;
            Sleep(5);
        }
        return false;
    }
    std::string Target() const { return scratch_ / "out"; }
    void PressStart() {
        form_->LabeledEdit1.SetCaption(Target());
        form_->StartBtnClick();
    }
    std::string Read(const char* name) const {
        std::string bytes;
        k4test::ReadBytes(scratch_ / (std::string("out\\") + name), bytes);
        return bytes;
    }
};

TEST_F(IdleDecoding, FinishesInIdleTimeAndStartDecodesNothingAgain) {
    const cabw::Cabinet cabinet = Compressed();
    UseCabinet(cabinet);
    Open();
    const std::uint64_t before = cabfmt::DecodedBlocksForTests();
    EXPECT_EQ(form_->FRun.Decoding(), nullptr) << "nothing before the first paint";
    Paint();
    ASSERT_NE(form_->FRun.Decoding(), nullptr);
    EXPECT_EQ(cabfmt::DecodedBlocksForTests(), before) << "not inside the paint: on timer messages";
    // Held against writers from the first slice on; readers may share it.
    EXPECT_FALSE(UniqueFile(CreateFileA("DATAFILE.K4A", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr)).Valid());
    EXPECT_TRUE(UniqueFile(CreateFileA("DATAFILE.K4A", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                       nullptr)).Valid());

    ASSERT_TRUE(IdleUntilDecoded());
    EXPECT_EQ(cabfmt::DecodedBlocksForTests() - before, CompressedBlocks);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(probe::Enabled(form_->StartBtn));

    PressStart();
    EXPECT_EQ(cabfmt::DecodedBlocksForTests() - before, CompressedBlocks) << "each block decoded once";
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Ok Files have been extracted as \"" + Target() + "\\\"");
    EXPECT_EQ(Read("numbers.txt"), cabinet.members[0].data);
    EXPECT_EQ(Read("more.txt"), cabinet.members[1].data);
}

TEST_F(IdleDecoding, StartPressedAtOnceDecodesWhatIsLeftOnce) {
    const cabw::Cabinet cabinet = Compressed();
    UseCabinet(cabinet);
    Open();
    Paint();
    const std::uint64_t before = cabfmt::DecodedBlocksForTests();
    PressStart();
    EXPECT_EQ(cabfmt::DecodedBlocksForTests() - before, CompressedBlocks);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Ok Files have been extracted as \"" + Target() + "\\\"");
    EXPECT_EQ(Read("more.txt"), cabinet.members[1].data);
}

// A broken stream whose block checksum holds: found in idle time, said at Start.
TEST_F(IdleDecoding, ABrokenStreamFoundInIdleTimeIsShownOnlyAtStart) {
    cabw::Cabinet cabinet = cabw::OneFile("more.txt", Words(150000));
    cabinet.blockSize = 1000;
    cabinet.mszip = true;
    cabinet.editBlock = [](std::size_t block, std::string& data, std::uint16_t&) {
        if (block == 1) data[data.size() / 2] = static_cast<char>(data[data.size() / 2] ^ 0x5A);
    };
    UseCabinet(cabinet);
    Open();
    Paint();
    const std::string status = probe::Text(form_->Label1.Handle());
    const std::uint64_t before = cabfmt::DecodedBlocksForTests();
    ASSERT_TRUE(IdleUntilDecoded());
    EXPECT_EQ(cabfmt::DecodedBlocksForTests() - before, 1u) << "up to the broken block";
    EXPECT_TRUE(boxes_.empty()) << "nothing said before Start";
    EXPECT_TRUE(probe::Enabled(form_->StartBtn));
    EXPECT_EQ(probe::Text(form_->Label1.Handle()), status);

    const std::string text = "Damaged cabinet: data block 2 of folder 1 cannot be decoded";
    PressStart();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, text);
    EXPECT_EQ(cabfmt::DecodedBlocksForTests() - before, 1u) << "Start decodes nothing again";
    EXPECT_FALSE(k4test::Exists(scratch_ / "out\\more.txt"));
    EXPECT_TRUE(k4test::Exists(scratch_ / "DATAFILE.K4A"));
    EXPECT_EQ(form_->FRun.Decoding(), nullptr) << "the cabinet is let go when the pass ends";

    // Start again: checked again from the start, the same text.
    PressStart();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text, text);
}

}  // namespace
