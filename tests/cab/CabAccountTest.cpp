// The extraction's account of its members: success only when the library wrote every
// member of the checked cabinet whole. The system library is used throughout; only
// its answers are bent, to stand for a library that skips a member or fails without
// saying why.
#include <gtest/gtest.h>
#include <cstring>
#include "CabTestSupport.h"

using namespace k4test;

namespace {

PFNFDINOTIFY engineNotify = nullptr;

// Passes every notification on, but skips "two.txt" as a library might skip a
// member it cannot place.
INT_PTR DIAMONDAPI SkipTwo(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
    if (type == fdintCOPY_FILE && note && note->psz1 && std::strcmp(note->psz1, "two.txt") == 0) return 0;
    return engineNotify(type, note);
}

BOOL DIAMONDAPI CopySkippingTwo(HFDI fdi, char* name, char* path, int flags, PFNFDINOTIFY notify,
                                PFNFDIDECRYPT decrypt, void* user) {
    engineNotify = notify;
    return BentLibrary::RealCopy()(fdi, name, path, flags, SkipTwo, decrypt, user);
}

// Extracts everything, then says it failed, leaving no error code.
BOOL DIAMONDAPI CopyThenFailSilently(HFDI fdi, char* name, char* path, int flags, PFNFDINOTIFY notify,
                                     PFNFDIDECRYPT decrypt, void* user) {
    BentLibrary::RealCopy()(fdi, name, path, flags, notify, decrypt, user);
    CabError.erfOper = 0;
    return FALSE;
}

// Fails at once without a code.
BOOL DIAMONDAPI FailSilently(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*) { return FALSE; }

}  // namespace

TEST(MemberAccount, AMemberTheLibrarySkipsIsNamedAndIsNoSuccess) {
    ScratchFolder dir;
    RunPass(true, DataPath("tiny.cab"), dir.Dir());
    {
        BentLibrary library(CopySkippingTwo);
        RunPass(false, DataPath("tiny.cab"), dir.Dir());
    }
    EXPECT_EQ(LastErrorText, "Extraction failed: \"two.txt\" was not extracted");
    EXPECT_TRUE(FileExists(dir / "one.txt"));
    EXPECT_FALSE(FileExists(dir / "two.txt"));
}

TEST(MemberAccount, AFailureWithoutACodeIsStillAFailure) {
    ScratchFolder dir;
    {
        BentLibrary library(FailSilently);
        RunPass(false, DataPath("tiny.cab"), dir.Dir());
    }
    EXPECT_EQ(LastErrorText, "Extraction failed: \"one.txt\" was not extracted");
    {
        BentLibrary library(CopyThenFailSilently);
        RunPass(false, DataPath("tiny.cab"), dir.Dir());
    }
    EXPECT_EQ(LastErrorText, "Extraction failed") << "every member written, yet the library said no";
}

TEST(MemberAccount, TheUnbentLibraryAccountsForEveryMember) {
    ScratchFolder dir;
    RunPass(false, DataPath("tiny.cab"), dir.Dir());
    EXPECT_EQ(LastErrorText, "");
    EXPECT_EQ(ReadAll(dir / "six.txt"), "abcdef");
}
