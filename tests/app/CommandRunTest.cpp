// The command step's parts: what a member is to it by its first bytes, a start the
// system refuses (through the shell's execute call, stood in for where only the user
// decides), and the temporary folder: made fresh, removed with everything in it, a file
// in use tried again and, when it stays, named.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "K4CommandRun.h"
#include "K4CommandSeams.h"
#include "LeBytes.h"
#include "TestFiles.h"
#include "UniqueHandle.h"

namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A wait that only counts, and may do something at a given call.
struct CountingWait final : CommandWait {
    void Starting(std::string_view) override {}
    bool WaitFor(HANDLE, DWORD) override {
        if (++calls == at && action) action();
        return false;
    }
    int calls = 0;
    int at = 0;
    void (*action)() = nullptr;
};

UniqueFile heldFile;

// The shell's call as a system that refuses with `refusal` answers it, noting what it was asked.
DWORD refusal = 0;
std::wstring askedFile, askedDirectory;
BOOL WINAPI RefusingExecute(SHELLEXECUTEINFOW* info) {
    askedFile = info->lpFile;
    askedDirectory = info->lpDirectory;
    EXPECT_EQ(info->fMask & (SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI),
              static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI));
    SetLastError(refusal);
    return FALSE;
}

}  // namespace

TEST(CommandRun, WhatAMemberIsByItsFirstBytes) {
    k4test::ScratchFolder folder;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string pe = "MZ" + std::string(0x3A, '\0') + k4test::Le32(0x40) + std::string("PE\0\0", 4) + std::string(20, '\0');
    const struct {
        const char* what;
        std::string path;
        ProgramKind kind;
    } cases[] = {
        {"this test program", self, ProgramKind::Image},
        {"the headers alone", folder.Write("headers.exe", pe), ProgramKind::Image},
        {"a DOS header without PE signature", folder.Write("dos.exe", "MZ" + std::string(100, '\0')), ProgramKind::NotProgram},
        {"a PE signature past the end", folder.Write("cut.exe", pe.substr(0, 0x44)), ProgramKind::NotProgram},
        {"a text file named .exe", folder.Write("setup.exe", "echo\r\n"), ProgramKind::NotProgram},
        {"an empty file", folder.Write("empty.exe", ""), ProgramKind::NotProgram},
        {"a batch file", folder.Write("install.bat", "@echo off\r\n"), ProgramKind::Associated},
        {"a command script, upper case", folder.Write("INSTALL.CMD", "@echo off\r\n"), ProgramKind::Associated},
        {"an installer package", folder.Write("product.msi", "package"), ProgramKind::Associated},
        {"a text file", folder.Write("readme.txt", "MZ"), ProgramKind::NotProgram},
    };
    for (const auto& c : cases) {
        DWORD error = 0;
        EXPECT_EQ(KindOfProgram(Wide(c.path), error), c.kind) << c.what;
    }
    DWORD error = 0;
    EXPECT_EQ(KindOfProgram(Wide(folder / "missing.exe"), error), ProgramKind::Unreadable);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// The shell's call refused: by the user at the elevation prompt (ERROR_CANCELLED), or by
// the system with its reason; nothing is waited for.
TEST(CommandRun, AStartTheShellRefusesIsReportedWithItsReason) {
    SetShellExecuteForTests(RefusingExecute);
    for (const DWORD code : {static_cast<DWORD>(ERROR_CANCELLED), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)}) {
        refusal = code;
        CountingWait wait;
        const CommandOutcome outcome = RunCommand(L"C:\\T\\setup.exe", L"/quiet", L"C:\\T\\", nullptr, wait);
        EXPECT_EQ(outcome.how, code == ERROR_CANCELLED ? CommandOutcome::How::Refused : CommandOutcome::How::NotStarted);
        EXPECT_EQ(outcome.error, code);
        EXPECT_EQ(wait.calls, 0);
        EXPECT_EQ(askedFile, L"C:\\T\\setup.exe");
        EXPECT_EQ(askedDirectory, L"C:\\T\\");
    }
    SetShellExecuteForTests(nullptr);
}

TEST(CommandRun, TheTemporaryFolderIsFreshAndRemovedWithEverythingInIt) {
    DWORD error = 0;
    const std::wstring one = MakeTemporaryFolder(error);
    const std::wstring two = MakeTemporaryFolder(error);
    ASSERT_FALSE(one.empty()) << error;
    ASSERT_FALSE(two.empty()) << error;
    EXPECT_NE(one, two);
    wchar_t root[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, root);
    EXPECT_EQ(one.rfind(std::wstring(root, n) + L"~k4", 0), 0u);
    EXPECT_EQ(one.back(), L'\\');
    for (const std::wstring& folder : {one, two}) {
        ASSERT_TRUE(CreateDirectoryW((folder + L"sub").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((folder + L"sub\\deeper").c_str(), nullptr));
        for (const wchar_t* name : {L"a.txt", L"sub\\b.txt", L"sub\\deeper\\c.txt", L"\x0442\x0435\x0441\x0442.txt"}) {
            UniqueFile file(CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
            ASSERT_TRUE(file);
        }
    }
    SetFileAttributesW((one + L"sub\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    CountingWait wait;
    EXPECT_TRUE(RemoveFolderTree(one, wait).empty());
    EXPECT_EQ(GetFileAttributesW(one.c_str()), INVALID_FILE_ATTRIBUTES) << "gone, its read-only file with it";
    EXPECT_EQ(wait.calls, 0) << "nothing to try again";

    // A file in use: tried again while the waits go on; released on the third, removed.
    heldFile.Reset(CreateFileW((two + L"sub\\b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(heldFile);
    CountingWait releasing;
    releasing.at = 3;
    releasing.action = [] { heldFile.Reset(); };
    EXPECT_TRUE(RemoveFolderTree(two, releasing).empty());
    EXPECT_EQ(releasing.calls, 3);
    EXPECT_EQ(GetFileAttributesW(two.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A file that stays in use: tried for the whole time, then named with the system's
// reason; everything else is removed, and a later removal finishes the folder.
TEST(CommandRun, WhatCannotBeRemovedIsNamed) {
    DWORD error = 0;
    const std::wstring folder = MakeTemporaryFolder(error);
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(CreateDirectoryW((folder + L"sub").c_str(), nullptr));
    UniqueFile other(CreateFileW((folder + L"other.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    other.Reset();
    UniqueFile held(CreateFileW((folder + L"sub\\held.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(held);
    CountingWait wait;
    const std::vector<std::string> left = RemoveFolderTree(folder, wait);
    EXPECT_EQ(wait.calls, 19) << "tried twenty times";
    ASSERT_EQ(left.size(), 1u);
    std::string path(folder.begin(), folder.end());
    EXPECT_EQ(left[0].rfind("\"" + path + "sub\\held.txt\" (", 0), 0u) << left[0];
    EXPECT_GT(left[0].size(), path.size() + 16) << "with the system's reason";
    EXPECT_EQ(GetFileAttributesW((folder + L"other.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    held.Reset();
    EXPECT_TRUE(RemoveFolderTree(folder, wait).empty());
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}
