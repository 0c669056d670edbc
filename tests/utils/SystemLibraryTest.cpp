// The System32-only loader: on a current system, and on Windows 7 without update
// KB2533623 (played by a loader that refuses the search flags), where the library
// must still come from the system folder and never be asked for by a bare name.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "SystemLibrary.h"

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text;
}

std::string SystemFolder() {
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder, length);
}

std::string ModuleFile(const UniqueModule& module) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module.Get(), path, MAX_PATH);
    return std::string(path, length);
}

// The module's file lies directly in the system folder.
::testing::AssertionResult FromSystemFolder(const UniqueModule& module, const char* name) {
    if (!module) return ::testing::AssertionFailure() << "not loaded, error " << GetLastError();
    std::string want = Lower(SystemFolder() + "\\" + name);
    std::string file = Lower(ModuleFile(module));
    if (file != want) return ::testing::AssertionFailure() << "loaded from " << file << ", not " << want;
    return ::testing::AssertionSuccess();
}

struct LoadCall {
    std::string name;
    DWORD flags;
};

// Windows 7 without KB2533623: any LOAD_LIBRARY_SEARCH_* flag is an invalid parameter;
// everything else goes to the real loader. Every call is recorded.
std::vector<LoadCall> calls;
DWORD refusalError = ERROR_INVALID_PARAMETER;
constexpr DWORD SearchFlags = 0x00001F00;  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR ... _DEFAULT_DIRS

HMODULE WINAPI OldSystemLoadEx(LPCSTR name, HANDLE file, DWORD flags) {
    calls.push_back({name, flags});
    if (flags & SearchFlags) {
        SetLastError(refusalError);
        return nullptr;
    }
    return LoadLibraryExA(name, file, flags);
}

class OldSystemLoader : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        refusalError = ERROR_INVALID_PARAMETER;
    }
};

}  // namespace

TEST(SystemLibrary, CurrentSystemLoadsFromSystemFolder) {
    UniqueModule cabinet = syslib::Load("cabinet.dll");
    EXPECT_TRUE(FromSystemFolder(cabinet, "cabinet.dll"));
    EXPECT_NE(syslib::Proc<FARPROC>(cabinet, "FDICreate"), nullptr);
}

TEST(SystemLibrary, MissingLibraryLeavesEmptyOwnerAndError) {
    SetLastError(0);
    UniqueModule missing = syslib::Load("k4-no-such-library.dll");
    EXPECT_FALSE(missing);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(syslib::Proc<FARPROC>(missing, "Anything"), nullptr);
}

TEST(SystemLibrary, SystemFolderPathJoinsWithOneSeparator) {
    std::string path = syslib::SystemFolderPath("cabinet.dll");
    std::string folder = SystemFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(path, folder + "\\cabinet.dll");
    EXPECT_EQ(path.find("\\\\"), std::string::npos) << path;
}

TEST(SystemLibrary, RestrictionFindsSetDefaultDllDirectoriesWhereTheSystemHasIt) {
    // Where kernel32 exports it (Wine does, like Windows 8 and updated Windows 7), the
    // run-time lookup must find and apply it.
    ASSERT_NE(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories"), nullptr);
    EXPECT_TRUE(syslib::RestrictDllSearchToSystem32());
    EXPECT_TRUE(FromSystemFolder(syslib::Load("cabinet.dll"), "cabinet.dll"));
}

TEST_F(OldSystemLoader, LoadsByFullPathInSystemFolder) {
    UniqueModule cabinet = syslib::Load("cabinet.dll", OldSystemLoadEx);
    EXPECT_TRUE(FromSystemFolder(cabinet, "cabinet.dll"));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].name, "cabinet.dll");
    EXPECT_EQ(calls[0].flags, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ(Lower(calls[1].name), Lower(SystemFolder() + "\\cabinet.dll"));
    EXPECT_EQ(calls[1].flags, static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH));
}

TEST_F(OldSystemLoader, NeverAsksForABareNameWithoutFlags) {
    for (const char* name : {"cabinet.dll", "comctl32.dll", "version.dll", "k4-no-such-library.dll"}) {
        syslib::Load(name, OldSystemLoadEx);
    }
    ASSERT_EQ(calls.size(), 8u);
    for (const LoadCall& call : calls) {
        bool searchesSystemOnly = call.flags == LOAD_LIBRARY_SEARCH_SYSTEM32;
        bool fullPath = call.name.find('\\') != std::string::npos;
        EXPECT_TRUE(searchesSystemOnly || fullPath) << call.name << " flags " << call.flags;
    }
}

TEST_F(OldSystemLoader, LibraryAbsentFromSystemFolderStaysAbsent) {
    SetLastError(0);
    UniqueModule missing = syslib::Load("k4-no-such-library.dll", OldSystemLoadEx);
    EXPECT_FALSE(missing);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(Lower(calls[1].name), Lower(SystemFolder() + "\\k4-no-such-library.dll"));
}

TEST_F(OldSystemLoader, OtherRefusalIsPassedOnWithoutRetry) {
    // Only the missing flag justifies naming the path; any other refusal is the answer.
    refusalError = ERROR_ACCESS_DENIED;
    UniqueModule cabinet = syslib::Load("cabinet.dll", OldSystemLoadEx);
    EXPECT_FALSE(cabinet);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(calls.size(), 1u);
}
