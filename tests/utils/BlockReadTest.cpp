// The block-read file and the guarded reads: the first error wins, reads at the end
// of the file, counted strings with bad lengths never write past the short string.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include "K4BlockFile.h"
#include "K4Utils.h"
#include "LeBytes.h"
#include "TestFiles.h"

namespace {

using k4test::Le32;

// A file with the given bytes in a scratch folder of its own, removed at the end.
class TempFile {
public:
    explicit TempFile(const std::string& bytes) : path_(folder_.Write("block.bin", bytes)) {}
    const char* Path() const { return path_.c_str(); }

private:
    k4test::ScratchFolder folder_;
    std::string path_;
};

std::int64_t PositionOf(const BlockFile& f) {
    std::int64_t p = -1;
    EXPECT_EQ(f.Position(p), 0);
    return p;
}

}  // namespace

TEST(BlockFile, OpenReportsTheSystemErrorAndNeverCreates) {
    BlockFile f;
    EXPECT_EQ(f.Open("Z:\\no\\such\\dir\\file.bin"), ERROR_PATH_NOT_FOUND);
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string missing = std::string(dir) + "k4-missing-file.bin";
    EXPECT_EQ(f.Open(missing.c_str()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(f.IsOpen());
}

TEST(BlockFile, SizeSeekAndShortRead) {
    TempFile t("0123456789");
    BlockFile f;
    ASSERT_EQ(f.Open(t.Path()), 0);
    std::int64_t size = 0;
    EXPECT_EQ(f.Size(size), 0);
    EXPECT_EQ(size, 10);
    EXPECT_EQ(f.Seek(-1), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(PositionOf(f), 0);
    ASSERT_EQ(f.Seek(7), 0);
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 5), ShortReadError);
    EXPECT_EQ(std::string(buf, 3), "789") << "the bytes before the end are delivered";
    EXPECT_EQ(f.Read(buf, 0), 0);
}

TEST(BlockFile, ReadWriteAccessLetsOthersReadAndWrite) {
    TempFile t("abc");
    BlockFile f;
    ASSERT_EQ(f.Open(t.Path(), BlockFile::Access::ReadWrite), 0);
    HANDLE other = CreateFileA(t.Path(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    // Opening again replaces the writable handle; it must not stand in the way of
    // the new read-only open, which lets nobody else write.
    EXPECT_EQ(f.Open(t.Path()), 0);
    char c = 0;
    EXPECT_EQ(f.Read(&c, 1), 0);
    EXPECT_EQ(c, 'a');
}

TEST(GuardedBlockRead, SkipsOnceTheErrorIsSetSoTheFirstErrorWins) {
    TempFile t("abcdef");
    BlockFile f;
    ASSERT_EQ(f.Open(t.Path()), 0);
    std::int32_t err = 0;
    char buf[16] = {};
    GuardedBlockRead(err, f, buf, 4);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    GuardedBlockRead(err, f, buf, 4);
    EXPECT_EQ(err, ShortReadError);
    std::int64_t before = PositionOf(f);
    err = 5;
    ASSERT_EQ(f.Seek(0), 0);
    GuardedBlockRead(err, f, buf, 2);
    EXPECT_EQ(err, 5);
    EXPECT_EQ(PositionOf(f), 0) << "nothing read while err is set";
    EXPECT_EQ(before, 6);
}

TEST(ReadCountedString, ReadsLengthThenCharacters) {
    TempFile t(Le32(3) + "abc" + Le32(0) + Le32(-9) + Le32(255) + std::string(255, 'z'));
    BlockFile f;
    ASSERT_EQ(f.Open(t.Path()), 0);
    std::int32_t err = 0;
    EXPECT_EQ(ReadCountedString(err, f), "abc");
    EXPECT_EQ(ReadCountedString(err, f), "");
    EXPECT_EQ(PositionOf(f), 11) << "a zero length consumes only the length field";
    EXPECT_EQ(ReadCountedString(err, f), "");
    EXPECT_EQ(PositionOf(f), 15) << "a negative length consumes only the length field";
    EXPECT_EQ(ReadCountedString(err, f).Str(), std::string(255, 'z'));
    EXPECT_EQ(err, 0);
}

TEST(ReadCountedString, AtTheEndOfTheFileGivesEmptyAndSetsTheError) {
    TempFile t(Le32(1) + "x" + "\x02\x00");
    BlockFile f;
    ASSERT_EQ(f.Open(t.Path()), 0);
    std::int32_t err = 0;
    EXPECT_EQ(ReadCountedString(err, f), "x");
    EXPECT_EQ(ReadCountedString(err, f), "") << "a length field cut short by the end";
    EXPECT_EQ(err, ShortReadError);
    err = 0;
    EXPECT_EQ(ReadCountedString(err, f), "");
    EXPECT_EQ(err, ShortReadError);
}

TEST(ReadCountedString, TextCutShortKeepsItsLengthWithSpaces) {
    TempFile t(Le32(6) + "ab");
    BlockFile f;
    ASSERT_EQ(f.Open(t.Path()), 0);
    std::int32_t err = 0;
    EXPECT_EQ(ReadCountedString(err, f), "ab    ");
    EXPECT_EQ(err, ShortReadError);
}

TEST(ReadCountedString, NothingIsReadWhileTheErrorIsSet) {
    TempFile t(Le32(2) + "ab");
    BlockFile f;
    ASSERT_EQ(f.Open(t.Path()), 0);
    std::int32_t err = 32;
    EXPECT_EQ(ReadCountedString(err, f), "");
    EXPECT_EQ(err, 32);
    EXPECT_EQ(PositionOf(f), 0);
}

TEST(ReadCountedString, LengthAbove255IsAnErrorAndReadsNoText) {
    for (std::int32_t bad : {256, 1000, 0x7FFFFFFF}) {
        TempFile t(Le32(bad) + std::string(1100, 'w'));
        BlockFile f;
        ASSERT_EQ(f.Open(t.Path()), 0);
        std::int32_t err = 0;
        EXPECT_EQ(ReadCountedString(err, f), "") << bad;
        EXPECT_EQ(err, OversizedStringError) << bad;
        EXPECT_EQ(PositionOf(f), 4) << "no text bytes read for " << bad;
    }
}
