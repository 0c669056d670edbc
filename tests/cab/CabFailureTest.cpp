// How passes fail: missing, foreign, corrupt and truncated sources, a library that
// cannot be loaded, targets that cannot be created, exhausted memory, and failures
// raised inside callbacks that must reach the caller after the library returned.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include "CabTestSupport.h"
#include "CabWriter.h"
#include "K4CabCallbacks.h"
#include "K4CabSeams.h"
#include "K4Error.h"
#include "LeBytes.h"

using namespace k4test;

namespace {
std::string MessageOfPass(bool listing, const std::string& cabinet, const std::string& target) {
    try {
        RunPass(listing, cabinet, target);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

}  // namespace

TEST(SourceFailures, AMissingSourceRaisesOutOfOpen) {
    ScratchFolder dir;
    ListingPass = true;
    ClearCabError();
    auto pass = std::make_unique<TDecompr>();
    try {
        pass->Open(ShortString(dir / "absent.cab"), ShortString(dir.Dir()));
        FAIL() << "opened a missing cabinet";
    } catch (const K4FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + (dir / "absent.cab"));
    }
    EXPECT_NE(pass->FdiHandle, nullptr);
    EXPECT_EQ(CurrentDecompr, pass.get());
    EXPECT_EQ(LastErrorText, "");
    pass.reset();
    EXPECT_EQ(CurrentDecompr, nullptr) << "a freed decompressor is not left behind";
}

TEST(SourceFailures, AFileThatIsNotACabinetIsNamed) {
    ScratchFolder dir;
    WriteAll(dir / "text.cab", "just some text, clearly not a cabinet file at all");
    ListingPass = true;
    ClearCabError();
    auto pass = std::make_unique<TDecompr>();
    pass->Open(ShortString(dir / "text.cab"), ShortString(dir.Dir()));
    EXPECT_EQ(LastErrorText, ShortString("Not a valid source \"" + (dir / "text.cab") + "\""));
    EXPECT_EQ(CabError.erfOper, -1);
    EXPECT_EQ(pass->StreamCount(), 0) << "the probe is gone from the table";
    EXPECT_FALSE(FileExists(dir / "text.cab") && !DeleteFileA((dir / "text.cab").c_str())) << "probe closed";
    WriteAll(dir / "text.cab", "just some text, clearly not a cabinet file at all");
    pass.reset();

    LineRecorder list;
    RunPass(true, dir / "text.cab", dir.Dir(), &list);
    EXPECT_TRUE(list.lines.empty());
    RunPass(false, dir / "text.cab", dir.Dir());
    EXPECT_EQ(FolderEntries(dir.Dir()), std::vector<std::string>{"text.cab"}) << "no file created";
}

TEST(SourceFailures, AnUnloadableLibraryFailsLikeAFailedCreate) {
    ScratchFolder dir;
    const FdiEntryPoints missing = LoadFdiEntryPoints("k4-no-such-library.dll");
    EXPECT_FALSE(missing.Complete());
    EXPECT_TRUE(Fdi().Complete()) << "the system library loads from the system folder";
    SetFdiEntryPointsForTests(&missing);
    ListedByteTotal = 55;
    CabSetId = 9;
    ListingPass = true;
    ClearCabError();
    auto pass = std::make_unique<TDecompr>();
    pass->Open(ShortString(DataPath("tiny.cab")), ShortString(dir.Dir()));
    EXPECT_EQ(pass->FdiHandle, nullptr);
    EXPECT_EQ(CabError.erfOper, -1);
    EXPECT_EQ(LastErrorText, "UNKNOWN CAB ERROR -1");
    EXPECT_EQ(ListedByteTotal, 0) << "reset before the library is asked";
    EXPECT_EQ(CabSetId, 0);
    EXPECT_EQ(CurrentDecompr, nullptr);
    pass->Run();
    pass->Close();
    SetFdiEntryPointsForTests(nullptr);
    EXPECT_TRUE(FolderEntries(dir.Dir()).empty());
}

TEST(DataFailures, ACorruptCabinetEndsWithAnErrorAndNoHalfWrittenFile) {
    ScratchFolder dir;
    std::string cab = ReadAll(DataPath("large.cab"));
    const std::uint32_t dataStart = GetLe(cab, 36);
    cab.replace(dataStart + 8 + 200, 64, std::string(64, '\xFF'));
    WriteAll(dir / "corrupt.cab", cab);
    RunPass(true, dir / "corrupt.cab", dir.Dir());
    ASSERT_EQ(LastErrorText, "") << "the listing reads no data";
    RunPass(false, dir / "corrupt.cab", dir.Dir());
    EXPECT_EQ(LastErrorText, "Damaged cabinet: data block 1 of folder 1 fails its checksum");
    EXPECT_EQ(CabError.erfOper, -1);
    EXPECT_FALSE(FileExists(dir / "big.txt"));
    EXPECT_FALSE(FileExists(dir / "after.txt"));
}

TEST(DataFailures, ATruncatedCabinetEndsWithAnErrorAndNoHalfWrittenFile) {
    ScratchFolder dir;
    std::string cab = ReadAll(DataPath("large.cab"));
    WriteAll(dir / "cut.cab", cab.substr(0, cab.size() / 2));
    RunPass(true, dir / "cut.cab", dir.Dir());
    RunPass(false, dir / "cut.cab", dir.Dir());
    EXPECT_EQ(LastErrorText, ShortString("Damaged cabinet: cut short: " + std::to_string(cab.size() / 2) + " of its " +
                                         std::to_string(cab.size()) + " bytes are present"));
    EXPECT_FALSE(FileExists(dir / "big.txt"));

    // Cut inside the member entries: refused the same way, before any file starts.
    const std::string tiny = ReadAll(DataPath("tiny.cab"));
    WriteAll(dir / "entries.cab", tiny.substr(0, 60));
    RunPass(false, dir / "entries.cab", dir / "none\\");
    EXPECT_EQ(LastErrorText.View().rfind("Damaged cabinet: cut short: 60 of its ", 0), 0u) << LastErrorText.Str();

    WriteAll(dir / "stub.cab", cab.substr(0, 20));
    RunPass(false, dir / "stub.cab", dir.Dir());
    EXPECT_EQ(LastErrorText, ShortString("Not a valid source \"" + (dir / "stub.cab") + "\""));
}

TEST(TargetFailures, ALockedTargetFileRaisesCannotCreate) {
    ScratchFolder dir;
    WriteAll(dir / "two.txt", "held");
    UniqueFile held(CreateFileA((dir / "two.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    RunPass(true, DataPath("tiny.cab"), dir.Dir());
    EXPECT_EQ(MessageOfPass(false, DataPath("tiny.cab"), dir.Dir()), "Cannot create file " + (dir / "two.txt"));
    EXPECT_EQ(LastErrorText, "") << "a raised failure is not also an error text";
    EXPECT_EQ(ReadAll(dir / "one.txt"), "x") << "files extracted before stay";
    EXPECT_FALSE(FileExists(dir / "six.txt"));
}

// Names are judged by themselves, not by the length they reach below the target: a
// path past 255 characters, and past the classic 260, is created whole (through the
// long form). One the system refuses is the target's failure, with its reason.
TEST(TargetFailures, PathsOfAnyLengthAreCreatedAndARefusedOneNamesTheSystemsReason) {
    ScratchFolder dir;
    std::string target = dir.Dir();
    while (target.size() < 200) {
        target += std::string(40, 'd') + "\\";
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    }
    const std::string name(256 - target.size(), 'f');   // once refused as unsafe
    const std::string deep = std::string(100, 'g') + "\\" + std::string(100, 'h') + ".txt";
    WriteAll(dir / "long.cab", cabw::Build({.members = {{"short.txt", "s"}, {name, "l"}, {deep, "d"}}}));
    EXPECT_EQ(MessageOfPass(false, dir / "long.cab", target), "(nothing raised)");
    EXPECT_EQ(LastErrorText, "");
    EXPECT_EQ(ReadAll(target + name), "l");
    EXPECT_EQ(ReadAll(target + deep), "d");

    // A name the volume refuses: Wine keeps names in UTF-8 on a Linux file system, which
    // takes at most 255 bytes in a name; 150 letters é (0xE9 in the code page) are 300
    // there. As a file and as a folder.
    const std::string refused(150, '\xE9');
    for (const std::string& member : {refused, refused + "\\inner.txt"}) {
        SCOPED_TRACE(member.size());
        WriteAll(dir / "refused.cab", cabw::Build({.members = {{"first.txt", "1"}, {member, "r"}}}));
        EXPECT_EQ(MessageOfPass(false, dir / "refused.cab", dir.Dir()), "(nothing raised)");
        EXPECT_EQ(LastErrorText.Str().rfind("Cannot create file \"" + dir.Dir() + member + "\": ", 0), 0u)
            << LastErrorText.Str();
        EXPECT_EQ(CabError.erfOper, TargetPathRefusedCode);
        EXPECT_EQ(ReadAll(dir / "first.txt"), "1") << "files extracted before stay";
    }
}

TEST(KeptFailures, ACabinetThatVanishesBeforeTheRunRaisesCannotOpen) {
    ScratchFolder dir;
    WriteAll(dir / "gone.cab", ReadAll(DataPath("tiny.cab")));
    ListingPass = false;
    ClearCabError();
    auto pass = std::make_unique<TDecompr>();
    pass->Open(ShortString(dir / "gone.cab"), ShortString(dir.Dir()));
    ASSERT_EQ(LastErrorText, "");
    ASSERT_TRUE(DeleteFileA((dir / "gone.cab").c_str()));
    try {
        pass->Run();
        FAIL() << "ran without its cabinet";
    } catch (const K4FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + (dir / "gone.cab"));
    }
    pass->Close();
}

TEST(KeptFailures, AFailureInTheProgressHandlerStopsTheRunAndRemovesTheStartedFile) {
    ScratchFolder dir;
    RunPass(true, DataPath("progress.cab"), dir.Dir());
    ListingPass = false;
    ProgressHandler = [](std::int32_t percent) {
        if (percent == 30) throw std::runtime_error("stopped at 30");
    };
    ClearCabError();
    auto pass = std::make_unique<TDecompr>();
    pass->Open(ShortString(DataPath("progress.cab")), ShortString(dir.Dir()));
    EXPECT_THROW(
        try { pass->Run(); } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "stopped at 30");
            throw;
        },
        std::runtime_error);
    EXPECT_TRUE(FileExists(dir / "a100.bin"));
    EXPECT_FALSE(FileExists(dir / "b200.bin")) << "the file whose start failed is removed";
    EXPECT_FALSE(FileExists(dir / "c700.bin"));
}

TEST(KeptFailures, ExhaustedMemoryReachesTheCallerOfOpenAndRun) {
    ScratchFolder dir;
    SetCabHeapAllocForTests([](std::size_t) -> void* { return nullptr; });
    ListingPass = true;
    ClearCabError();
    auto pass = std::make_unique<TDecompr>();
    EXPECT_THROW(pass->Open(ShortString(DataPath("tiny.cab")), ShortString(dir.Dir())), std::bad_alloc);
    EXPECT_EQ(pass->FdiHandle, nullptr);
    EXPECT_EQ(LastErrorText, "UNKNOWN CAB ERROR -1");
    SetCabHeapAllocForTests(nullptr);

    // Memory runs out once the copy is under way: the library's context exists.
    static int allowed;
    allowed = 0;
    ClearCabError();
    pass = std::make_unique<TDecompr>();
    pass->Open(ShortString(DataPath("tiny.cab")), ShortString(dir.Dir()));
    ASSERT_NE(pass->FdiHandle, nullptr);
    SetCabHeapAllocForTests([](std::size_t n) -> void* { return allowed-- > 0 ? std::malloc(n) : nullptr; });
    EXPECT_THROW(pass->Run(), std::bad_alloc);
    SetCabHeapAllocForTests(nullptr);
    pass->Close();
}

TEST(KeptFailures, TheLibraryMayOpenNothingButTheCabinetDuringARun) {
    ScratchFolder dir;
    WriteAll(dir / "other.cab", ReadAll(DataPath("tiny.cab")));
    static std::string other;
    static INT_PTR opened;
    other = dir / "other.cab";
    opened = 0;
    RunPass(true, DataPath("tiny.cab"), dir.Dir());
    ListingPass = false;
    ProgressHandler = [](std::int32_t) {
        if (!opened) opened = CabOpen(other.data(), _O_RDONLY | _O_BINARY, 0);
    };
    ClearCabError();
    auto pass = std::make_unique<TDecompr>();
    pass->Open(ShortString(DataPath("tiny.cab")), ShortString(dir.Dir()));
    pass->Run();
    EXPECT_EQ(opened, -1);
    EXPECT_EQ(LastErrorText, ShortString("Refused to open \"" + other + "\""));
    pass->Close();
}
