// The decompressor's stream table, the file streams and their modes, and the file
// callbacks as the library sees them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <memory>
#include "CabTestSupport.h"
#include "K4CabCallbacks.h"
#include "K4CabSeams.h"
#include "K4Error.h"

using namespace k4test;

namespace {
std::unique_ptr<TNamedStream> NewFile(const std::string& path, const std::string& content = "data") {
    WriteAll(path, content);
    return std::make_unique<TNamedStream>(ShortString(path), ModeReadShared);
}

bool HandleIsOpen(HANDLE h) {
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != 0;
}
}  // namespace

TEST(StreamTable, SlotsAreUsedInOrderAndNeverReusedWithinARun) {
    ScratchFolder dir;
    auto decompr = std::make_unique<TDecompr>();
    auto first = NewFile(dir / "1");
    auto second = NewFile(dir / "2");
    TNamedStream* firstRaw = first.get();
    ASSERT_TRUE(decompr->AddStream(std::move(first)));
    ASSERT_TRUE(decompr->AddStream(std::move(second)));
    EXPECT_EQ(decompr->StreamCount(), 2);
    EXPECT_EQ(decompr->StreamAt(1), firstRaw);

    decompr->ReleaseStream(1);
    EXPECT_EQ(decompr->StreamAt(1), nullptr);
    EXPECT_EQ(decompr->StreamCount(), 2) << "closing does not lower the count";
    auto third = NewFile(dir / "3");
    TNamedStream* thirdRaw = third.get();
    ASSERT_TRUE(decompr->AddStream(std::move(third)));
    EXPECT_EQ(decompr->StreamCount(), 3);
    EXPECT_EQ(decompr->StreamAt(3), thirdRaw);
}

TEST(StreamTable, FindStreamSkipsClosedSlotsAndReportsMisses) {
    ScratchFolder dir;
    auto decompr = std::make_unique<TDecompr>();
    auto a = NewFile(dir / "a");
    auto b = NewFile(dir / "b");
    const INT_PTR aId = a->Id(), bId = b->Id();
    decompr->AddStream(std::move(a));
    decompr->AddStream(std::move(b));
    std::int32_t slot = -1;
    EXPECT_EQ(decompr->FindStream(aId, slot)->FileName, ShortString(dir / "a"));
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(decompr->FindStream(bId, slot)->FileName, ShortString(dir / "b"));
    EXPECT_EQ(slot, 2);

    decompr->ReleaseStream(1);
    CabError.erfOper = 4;
    LastErrorText = "";
    EXPECT_EQ(decompr->FindStream(aId, slot), nullptr);
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(LastErrorText, "FDIERROR_CORRUPT_CABINET") << "a miss records the library's error name";
    ClearCabError();
    EXPECT_NE(decompr->FindStream(bId, slot), nullptr) << "the other stream is still found";
}

TEST(StreamTable, AFullTableRefusesTheNextStreamInsteadOfWritingPastIt) {
    ScratchFolder dir;
    auto decompr = std::make_unique<TDecompr>();
    auto original = NewFile(dir / "shared");
    // Duplicated handles of one file: 100000 table entries without 100000 files.
    for (std::int32_t i = 0; i < TDecompr::MaxStreams; ++i) {
        HANDLE copy = nullptr;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), original->Handle(), GetCurrentProcess(), &copy, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS));
        ASSERT_TRUE(decompr->AddStream(std::make_unique<TNamedStream>(ShortString("copy"), UniqueFile(copy))));
    }
    EXPECT_EQ(decompr->StreamCount(), TDecompr::MaxStreams);
    ClearCabError();
    HANDLE extra = original->Handle();
    EXPECT_FALSE(decompr->AddStream(std::move(original)));
    EXPECT_EQ(decompr->StreamCount(), TDecompr::MaxStreams);
    EXPECT_FALSE(LastErrorText.Empty());
    EXPECT_NE(LastErrorText.View().find("100000"), std::string_view::npos) << LastErrorText.Str();
    EXPECT_FALSE(HandleIsOpen(extra)) << "the refused stream is freed";
    ClearCabError();
}

TEST(StreamTable, DestroyingTheDecompressorClosesStreamsLeftInTheTable) {
    ScratchFolder dir;
    auto decompr = std::make_unique<TDecompr>();
    auto stream = NewFile(dir / "left");
    HANDLE h = stream->Handle();
    decompr->AddStream(std::move(stream));
    decompr.reset();
    EXPECT_FALSE(HandleIsOpen(h));
}

// The running pass is known to the callbacks from Open to Close, and no longer:
// a destroyed pass is never reached through it.
TEST(EngineState, CurrentDecomprRefersToAPassFromOpenToClose) {
    ListingPass = true;
    ClearCabError();
    auto pass = std::make_unique<TDecompr>();
    EXPECT_EQ(CurrentDecompr, nullptr);
    pass->Open(ShortString(DataPath("tiny.cab")), ShortString(""));
    EXPECT_EQ(CurrentDecompr, pass.get());
    pass->Run();
    EXPECT_EQ(CurrentDecompr, pass.get());
    pass->Close();
    EXPECT_EQ(CurrentDecompr, nullptr);

    pass->Open(ShortString(DataPath("tiny.cab")), ShortString(""));
    pass.reset();
    EXPECT_EQ(CurrentDecompr, nullptr) << "destroyed without Close, as after a raised failure";
}

TEST(EngineState, TheFirstFailureOfAPassIsTheOneRecorded) {
    ClearCabError();
    RecordCabFailure(-1, "Unsafe file name \"a\"");
    RecordCabFailure(4, "FDIERROR_CORRUPT_CABINET");
    EXPECT_EQ(LastErrorText, "Unsafe file name \"a\"");
    EXPECT_EQ(CabError.erfOper, -1);
    ClearCabError();
    RecordCabFailure(4, "FDIERROR_CORRUPT_CABINET");
    EXPECT_EQ(CabError.erfOper, 4);
    EXPECT_EQ(LastErrorText, "FDIERROR_CORRUPT_CABINET");
    ClearCabError();
}

TEST(NamedStream, CreateModeReplacesAndHoldsTheFileExclusively) {
    ScratchFolder dir;
    WriteAll(dir / "f", "a much longer old content");
    {
        TNamedStream created(ShortString(dir / "f"), ModeCreate);
        EXPECT_EQ(created.Write("new", 3), 3);
        EXPECT_THROW(TNamedStream(ShortString(dir / "f"), ModeReadShared), K4FileError) << "not shared";
    }
    EXPECT_EQ(ReadAll(dir / "f"), "new");
}

TEST(NamedStream, ReadModesShareAsTheirTableSays) {
    ScratchFolder dir;
    WriteAll(dir / "f", "0123456789");
    {
        TNamedStream exclusive(ShortString(dir / "f"), ModeReadNotShared);
        EXPECT_THROW(TNamedStream(ShortString(dir / "f"), ModeReadShared), K4FileError);
    }
    TNamedStream shared(ShortString(dir / "f"), ModeReadShared);
    TNamedStream writer(ShortString(dir / "f"), ModeWriteShared);
    EXPECT_EQ(writer.Write("AB", 2), 2);
    EXPECT_EQ(shared.Write("x", 1), -1) << "a read mode cannot write";
    char buffer[16] = {};
    EXPECT_EQ(shared.Read(buffer, sizeof buffer), 10) << "fewer at the end of the file";
    EXPECT_EQ(std::string(buffer, 10), "AB23456789");
    EXPECT_EQ(shared.Seek(-3, 2), 7);
    EXPECT_EQ(shared.Seek(1, 1), 8);
    EXPECT_EQ(shared.Read(buffer, 4), 2);
    EXPECT_EQ(shared.Seek(0, 0), 0);
    EXPECT_EQ(shared.Seek(-1, 0), -1) << "before the start";
    EXPECT_EQ(shared.Seek(0, 3), -1) << "no such origin";
    EXPECT_EQ(shared.Read(buffer, 0), 0);
}

TEST(NamedStream, FailuresNameThePath) {
    ScratchFolder dir;
    try {
        TNamedStream missing(ShortString(dir / "missing"), ModeReadShared);
        FAIL() << "opened a missing file";
    } catch (const K4FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + (dir / "missing"));
    }
    try {
        TNamedStream noFolder(ShortString(dir / "no\\such\\f"), ModeCreate);
        FAIL() << "created a file in a missing folder";
    } catch (const K4FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + (dir / "no\\such\\f"));
    }
}

TEST(FileCallbacks, UnknownHandlesFailTheWayTheLibraryExpects) {
    auto decompr = std::make_unique<TDecompr>();
    CurrentDecompr = decompr.get();
    char buffer[4];
    EXPECT_EQ(CabRead(12345, buffer, 4), static_cast<UINT>(-1));
    EXPECT_EQ(CabWrite(12345, buffer, 4), static_cast<UINT>(-1));
    EXPECT_EQ(CabSeek(12345, 0, 0), -1);
    EXPECT_EQ(CabClose(12345), 0);
    FDINOTIFICATION note{};
    note.hf = 12345;
    note.pv = decompr.get();   // the engine, as FDICopy hands it to the notification
    EXPECT_EQ(CabNotify(fdintCLOSE_FILE_INFO, &note), 0) << "asks the library to stop";
    CurrentDecompr = nullptr;
    EXPECT_EQ(CabRead(12345, buffer, 4), static_cast<UINT>(-1)) << "no decompressor running";
}

TEST(FileCallbacks, OpenRegistersAStreamAndCloseFreesIt) {
    ScratchFolder dir;
    WriteAll(dir / "c", "content");
    auto decompr = std::make_unique<TDecompr>();
    CurrentDecompr = decompr.get();
    std::string path = dir / "c";
    const INT_PTR hf = CabOpen(path.data(), _O_RDONLY | _O_BINARY, 0);
    ASSERT_NE(hf, -1);
    EXPECT_EQ(decompr->StreamCount(), 1);
    char buffer[8] = {};
    EXPECT_EQ(CabRead(hf, buffer, 8), 7u);
    EXPECT_EQ(CabSeek(hf, 2, 0), 2);
    EXPECT_EQ(CabClose(hf), 0);
    EXPECT_EQ(decompr->StreamAt(1), nullptr);
    EXPECT_FALSE(CabExceptionPending());
    CurrentDecompr = nullptr;
}

TEST(FileCallbacks, AFailedOpenIsKeptForTheCallerNotThrownIntoTheLibrary) {
    ScratchFolder dir;
    auto decompr = std::make_unique<TDecompr>();
    CurrentDecompr = decompr.get();
    std::string path = dir / "absent";
    EXPECT_EQ(CabOpen(path.data(), _O_RDONLY, 0), -1);
    ASSERT_TRUE(CabExceptionPending());
    FDINOTIFICATION note{};
    EXPECT_EQ(CabNotify(fdintCABINET_INFO, &note), -1) << "nothing more happens after a kept failure";
    try {
        RethrowCabException();
        FAIL() << "nothing kept";
    } catch (const K4FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
    }
    EXPECT_FALSE(CabExceptionPending());
    CurrentDecompr = nullptr;
}

TEST(MemoryCallbacks, RefuseEmptyOrNegativeCountsAndKeepExhaustion) {
    EXPECT_EQ(CabAlloc(0), nullptr);
    EXPECT_EQ(CabAlloc(0x80000000u), nullptr);
    EXPECT_FALSE(CabExceptionPending()) << "a refused count is not exhaustion";
    void* block = CabAlloc(100);
    ASSERT_NE(block, nullptr);
    CabFree(block);
    CabFree(nullptr);

    SetCabHeapAllocForTests([](std::size_t) -> void* { return nullptr; });
    EXPECT_EQ(CabAlloc(100), nullptr);
    SetCabHeapAllocForTests(nullptr);
    EXPECT_TRUE(CabExceptionPending());
    EXPECT_THROW(RethrowCabException(), std::bad_alloc);
}

TEST(NotifyCallback, ASpannedSetIsRefusedBeforeAnotherCabinetIsOpened) {
    FDINOTIFICATION note{};
    char next[] = "PART2.CAB";
    note.psz1 = next;
    ClearCabError();
    EXPECT_EQ(CabNotify(fdintNEXT_CABINET, &note), -1) << "the copy stops";
    EXPECT_EQ(LastErrorText, "Cabinet continues in another cabinet \"PART2.CAB\"");
    ClearCabError();
}
