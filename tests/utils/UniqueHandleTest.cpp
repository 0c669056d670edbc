// Handle owners: a moved-from owner never closes, and closing keeps GetLastError.
#include <gtest/gtest.h>
#include <windows.h>
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
