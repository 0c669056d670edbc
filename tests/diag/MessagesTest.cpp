// Message lookup against message files written by the tests: record contents,
// the error text of every failing step, and the file never touched for number 0.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "K4Messages.h"
#include "TestFiles.h"
#include "UniqueHandle.h"

namespace {

std::string Record(std::string_view text, std::size_t size = 50) {
    std::string r(text);
    r.resize(size, ' ');
    return r;
}

std::string ErrorFor(const std::string& file, int number, int code) {
    return "error reading message file \"" + file + "\" - index " + std::to_string(number) +
           " err " + std::to_string(code);
}

class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Records 0..2 complete, record 3 only 10 bytes long: 160 bytes in all.
        file_ = dir_.Write("msgs.dat", Record("zero") + Record("  Cannot start") + Record("") +
                                           std::string(10, 'x'));
    }
    k4test::ScratchFolder dir_;
    std::string file_;
};

TEST_F(MessagesTest, RecordTextsAreTrimmedAtBothEndsOnly) {
    EXPECT_EQ(ReadMessage(file_, 50, 1).Str(), "Cannot start");
    EXPECT_EQ(ReadMessage(file_, 50, 1).Length(), 12u);
    EXPECT_EQ(ReadMessage(file_, 50, 2).Str(), "");  // spaces only
    EXPECT_EQ(ReadMessage(file_, 50, 0).Str(), "");
}

TEST_F(MessagesTest, RecordSizeDecidesTheOffset) {
    std::string f = dir_.Write("small.dat", "abcdef");
    EXPECT_EQ(ReadMessage(f, 2, 2).Str(), "ef");
    EXPECT_EQ(ReadMessage(f, 1, 5).Str(), "f");
    std::string wide = dir_.Write("wide.dat", Record("a", 255) + Record(std::string(255, 'w'), 255));
    EXPECT_EQ(ReadMessage(wide, 255, 1).Str(), std::string(255, 'w'));
}

TEST_F(MessagesTest, MessageTextReadsFiftyByteRecordsOfTheGlobalFile) {
    MessageFileName = file_;
    EXPECT_EQ(MessageText(1).Str(), "Cannot start");
    MessageFileName = ShortString();
    EXPECT_EQ(MessageText(41).Str(), ErrorFor("", 41, static_cast<int>(ERROR_PATH_NOT_FOUND)));
}

TEST_F(MessagesTest, ShortOrMissingRecordFailsWithCode100) {
    EXPECT_EQ(ReadMessage(file_, 50, 3).Str(), ErrorFor(file_, 3, 100));
    EXPECT_EQ(ReadMessage(file_, 50, 7).Str(), ErrorFor(file_, 7, 100));
    // A failed lookup leaves nothing behind for the next one.
    EXPECT_EQ(ReadMessage(file_, 50, 1).Str(), "Cannot start");
}

TEST_F(MessagesTest, NegativeNumberCannotBePositioned) {
    EXPECT_EQ(ReadMessage(file_, 50, -1).Str(), ErrorFor(file_, -1, static_cast<int>(ERROR_NEGATIVE_SEEK)));
}

TEST_F(MessagesTest, MissingFileGivesCode2AndIsNotCreated) {
    std::string missing = (dir_ / "none.dat");
    EXPECT_EQ(ReadMessage(missing, 50, 41).Str(), ErrorFor(missing, 41, 2));
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MessagesTest, MissingFileByRelativeNameHasTheDocumentedLength) {
    ShortString text;
    {
        k4test::CurrentDirectory inDir(dir_.Path());
        DeleteFileA("msgs.dat");
        text = ReadMessage("msgs.dat", 50, 41);
    }
    EXPECT_EQ(text.Str(), "error reading message file \"msgs.dat\" - index 41 err 2");
    EXPECT_EQ(text.Length(), 54u);
}

TEST_F(MessagesTest, ReadOnlyFileFailsAtTheOpenForWriting) {
    std::string ro = dir_.Write("ro.dat", Record("x") + Record("read only"));
    ASSERT_TRUE(SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        // Wine maps the attribute to Unix permissions, which do not bind root.
        UniqueFile probe(CreateFileA(ro.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
        if (probe) GTEST_SKIP() << "this platform lets the process write read-only files";
    }
    EXPECT_EQ(ReadMessage(ro, 50, 1).Str(), ErrorFor(ro, 1, static_cast<int>(ERROR_ACCESS_DENIED)));
}

TEST_F(MessagesTest, FileOpenElsewhereIsSharedButNumberZeroNeverOpensIt) {
    {
        UniqueFile shared(CreateFileA(file_.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(shared);
        EXPECT_EQ(ReadMessage(file_, 50, 1).Str(), "Cannot start");
    }
    {
        // Another reader that refuses writers: the lookup's open for writing fails.
        UniqueFile reader(CreateFileA(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_EQ(ReadMessage(file_, 50, 1).Str(),
                  ErrorFor(file_, 1, static_cast<int>(ERROR_SHARING_VIOLATION)));
    }
    UniqueFile locked(CreateFileA(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locked);
    EXPECT_EQ(ReadMessage(file_, 50, 1).Str(), ErrorFor(file_, 1, static_cast<int>(ERROR_SHARING_VIOLATION)));
    EXPECT_EQ(ReadMessage(file_, 50, 0).Str(), "");
    EXPECT_EQ(ReadMessage("", 50, 0).Str(), "");
}

TEST_F(MessagesTest, LongFileNameCutsTheErrorTextAt255) {
    std::string name = dir_.Path() + "\\" + std::string(240 - dir_.Path().size(), 'n');
    ShortString text = ReadMessage(name, 50, 41);
    EXPECT_EQ(text.Length(), 255u);
    EXPECT_EQ(text.View(), ErrorFor(name, 41, 0).substr(0, 255));
}

TEST_F(MessagesTest, RecordSizeOutsideOneTo255IsRefusedWithoutReading) {
    EXPECT_EQ(ReadMessage(file_, 0, 1).Str(), ErrorFor(file_, 1, static_cast<int>(ERROR_INVALID_PARAMETER)));
    EXPECT_EQ(ReadMessage(file_, 256, 1).Str(), ErrorFor(file_, 1, static_cast<int>(ERROR_INVALID_PARAMETER)));
}

}  // namespace
