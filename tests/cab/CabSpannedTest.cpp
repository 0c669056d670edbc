// A cabinet that goes on in a next cabinet: refused by name before the system
// library sees it, so nothing of it is written and no other cabinet is opened.
#include <gtest/gtest.h>
#include <memory>
#include "CabTestSupport.h"
#include "CabWriter.h"

using namespace k4test;

namespace {
// A whole member, then one whose data goes on in "part2.cab".
std::string SplitCabinet() {
    cabw::Cabinet cabinet = cabw::OneFile("whole.txt", "complete here");
    cabinet.members.push_back(cabw::OneFile("split.bin", std::string(2000, 's')).members[0]);
    cabinet.members[1].folderIndex = cabw::FolderContinuedToNext;
    cabinet.members[1].declaredSize = 7000;
    cabinet.flags = cabw::FlagNextCabinet;
    cabinet.nextCabinet = "part2.cab";
    cabinet.nextDisk = "disk 2";
    cabinet.lastBlockContinues = true;
    cabinet.blockSize = 1000;   // whole.txt complete in the first block, the last one partial
    return cabw::Build(cabinet);
}
}  // namespace

TEST(SpannedSet, TheRefusalIsTheMessageAndNothingIsWritten) {
    ScratchFolder dir;
    WriteAll(dir / "split.cab", SplitCabinet());
    // Were it opened, the library would find a next cabinet right here.
    WriteAll(dir / "part2.cab", SplitCabinet());
    ASSERT_TRUE(CreateDirectoryA((dir / "out").c_str(), nullptr));
    RunPass(true, dir / "split.cab", "");
    RunPass(false, dir / "split.cab", dir / "out\\");
    EXPECT_EQ(LastErrorText, "Cabinet continues in another cabinet \"part2.cab\"");
    EXPECT_TRUE(FolderEntries(dir / "out").empty());
}

// A later failure the library reports on its way out must not replace the first.
TEST(SpannedSet, AnUnknownHandleAfterAnErrorKeepsTheFirstText) {
    ClearCabError();
    CabError.erfOper = 11;
    LastErrorText = "the first failure";
    auto pass = std::make_unique<TDecompr>();
    std::int32_t slot = 5;
    EXPECT_EQ(pass->FindStream(12345, slot), nullptr);
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(LastErrorText, "the first failure");
    LastErrorText = ShortString();
    EXPECT_EQ(pass->FindStream(12345, slot), nullptr);
    EXPECT_EQ(LastErrorText, "FDIERROR_USER_ABORT") << "without an earlier text the library's code is named";
    ClearCabError();
}
