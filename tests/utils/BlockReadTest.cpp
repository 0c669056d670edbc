// The block-read file: opens that never create, seeks and reads at the end of the file.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include "K4BlockFile.h"
#include "TestFiles.h"

namespace {

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
