// The target's check before an extraction's first file: the folder must take a new
// file (and keep none), and hold the members; the messages name the folder.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "K4CabState.h"
#include "K4Placement.h"
#include "K4TargetFile.h"
#include "K4TextEncoding.h"
#include "TestFiles.h"

using namespace k4test;

namespace {
// The check's refusal for `members` of these sizes in `dir`; empty when it passes.
std::string Refusal(const std::string& dir, const std::vector<std::uint32_t>& sizes) {
    std::vector<cabfmt::Member> members;
    for (std::uint32_t size : sizes) {
        members.push_back({});
        members.back().name = "m" + std::to_string(members.size()) + ".bin";
        members.back().size = size;
    }
    ClearCabError();
    TargetFile target;
    target.Begin(WideFromCodePage(dir, CP_ACP), ShortString(dir));
    const bool passed = target.Check(members);
    EXPECT_EQ(passed, LastErrorText.Empty());
    EXPECT_EQ(CabError.erfOper, passed ? 0 : TargetRefusedCode);
    const std::string text = LastErrorText.Str();
    ClearCabError();
    return text;
}
}  // namespace

TEST(TargetCheck, NeedsANewFileAndTheRoom) {
    ScratchFolder folder;
    EXPECT_EQ(Refusal(folder.Dir(), {1000}), "");
    EXPECT_TRUE(FolderEntries(folder.Path()).empty()) << "the probe file is gone";
    // 16 TiB in members of 4 GiB.
    const std::string tooMuch = Refusal(folder.Dir(), std::vector<std::uint32_t>(4096, 0xFFFFFFFFu));
    EXPECT_EQ(tooMuch.rfind("Not enough free space in \"" + folder.Dir() + "\" for ", 0), 0u) << tooMuch;
    EXPECT_EQ(Refusal(folder.Dir() + "missing\\", {}),
              "Cannot create a file in \"" + folder.Dir() + "missing\\\": " + SystemReason(ERROR_PATH_NOT_FOUND).Str());
}
