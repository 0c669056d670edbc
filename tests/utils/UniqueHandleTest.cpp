// Handle owners: a moved-from owner never closes, and closing keeps GetLastError.
#include <gtest/gtest.h>
#include <windows.h>
#include "K4Gdi.h"
#include "UniqueHandle.h"

namespace {
UniqueKernelHandle NewEvent() { return UniqueKernelHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr)); }
}

TEST(UniqueHandle, MovedFromOwnerDoesNotClose) {
    UniqueKernelHandle a = NewEvent();
    ASSERT_TRUE(a);
    HANDLE raw = a.Get();
    UniqueKernelHandle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.Get(), raw);
    EXPECT_TRUE(SetEvent(b.Get())) << "the handle must still be open after the move";
}

TEST(UniqueHandle, ResetClosesAndPreservesLastError) {
    UniqueKernelHandle a = NewEvent();
    HANDLE raw = a.Get();
    SetLastError(ERROR_FILE_NOT_FOUND);
    a.Reset();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(SetEvent(raw)) << "the handle must be closed";
}

TEST(UniqueHandle, InvalidFileHandleIsNotValid) {
    UniqueFile f(CreateFileA("Z:\\definitely\\missing\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(f);
}

// Borrowed drawing resources: a selection is undone and a context given back at the
// end of the scope, so no context outlives an object of ours selected into it.
TEST(GdiScopes, ASelectionIsUndoneAndTheContextsGoBack) {
    WindowDC screen(nullptr);
    ASSERT_TRUE(screen);
    MemoryDC mem(screen.Get());
    ASSERT_TRUE(mem);
    const HGDIOBJ original = GetCurrentObject(mem.Get(), OBJ_FONT);
    HFONT font = CreateFontA(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    ASSERT_NE(font, nullptr);
    {
        SelectedObject selected(mem.Get(), font);
        EXPECT_EQ(GetCurrentObject(mem.Get(), OBJ_FONT), font);
    }
    EXPECT_EQ(GetCurrentObject(mem.Get(), OBJ_FONT), original);
    EXPECT_TRUE(DeleteObject(font)) << "no longer selected anywhere";
}

