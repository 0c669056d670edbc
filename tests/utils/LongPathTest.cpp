// A target and a member name joined into the form the file calls are given: the
// joined text below the classic limits, the long form ("\\?\", "\\?\UNC\") of the full
// path at and above them, for drive, share, relative and long-form targets.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "K4LongPath.h"

namespace {

std::wstring Repeat(wchar_t c, std::size_t n) { return std::wstring(n, c); }

// The current directory with its trailing '\'.
std::wstring Current() {
    wchar_t dir[MAX_PATH];
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, dir);
    std::wstring text(dir, n);
    if (text.back() != L'\\') text += L'\\';
    return text;
}

}  // namespace

TEST(LongPath, JoinedTextBelowTheLimitLongFormFromIt) {
    // Names that bring the joined path to a given length after the target.
    const std::wstring drive = L"C:\\t\\";                          // 5 characters
    const std::wstring share = L"\\\\server\\share\\";              // 15 characters
    const std::wstring atFile = Repeat(L'f', ClassicFileLimit - 5);  // C:\t\ + this: 260
    const std::wstring belowFile = atFile.substr(1);                 // 259
    const std::wstring atFolder = Repeat(L'd', ClassicFolderLimit - 5) + L"\\";  // 249 with its '\'
    struct Case {
        const char* what;
        std::wstring target, name;
        std::size_t limit;
        std::wstring expected;
    };
    const Case cases[] = {
        {"a short path", drive, L"a.txt", ClassicFileLimit, L"C:\\t\\a.txt"},
        {"a file one below the limit", drive, belowFile, ClassicFileLimit, drive + belowFile},
        {"a file at the limit", drive, atFile, ClassicFileLimit, L"\\\\?\\C:\\t\\" + atFile},
        {"a file far above it", drive, atFile + L"\\" + atFile, ClassicFileLimit,
         L"\\\\?\\C:\\t\\" + atFile + L"\\" + atFile},
        {"the same text as a folder", drive, belowFile, ClassicFolderLimit, L"\\\\?\\C:\\t\\" + belowFile},
        {"a folder below the folder limit", drive, atFolder.substr(2), ClassicFolderLimit, drive + atFolder.substr(2)},
        {"a folder at the folder limit", drive, atFolder.substr(1), ClassicFolderLimit,
         L"\\\\?\\C:\\t\\" + atFolder.substr(1)},
        {"a short share path", share, L"a.txt", ClassicFileLimit, share + L"a.txt"},
        {"a long share path", share, atFile, ClassicFileLimit, L"\\\\?\\UNC\\server\\share\\" + atFile},
        {"a target without its separator", L"C:\\t", L"\\" + atFile, ClassicFileLimit, L"\\\\?\\C:\\t\\" + atFile},
        {"separators and dots resolved", L"C:/t/x/../", atFile, ClassicFileLimit, L"\\\\?\\C:\\t\\" + atFile},
        {"a relative target below the limit", L"rel\\", atFile, ClassicFileLimit, L"rel\\" + atFile},
        {"a relative target at it", L"rel\\", atFile + L"g", ClassicFileLimit,
         L"\\\\?\\" + Current() + L"rel\\" + atFile + L"g"},
        {"the current directory", L"", atFile + L"\\" + atFile, ClassicFileLimit,
         L"\\\\?\\" + Current() + atFile + L"\\" + atFile},
        {"a long-form target, short", L"\\\\?\\C:\\t\\", L"a.txt", ClassicFileLimit, L"\\\\?\\C:\\t\\a.txt"},
        {"a long-form target, long", L"\\\\?\\C:\\t\\", atFile, ClassicFileLimit, L"\\\\?\\C:\\t\\" + atFile},
        {"a folder alone", drive + atFolder.substr(1), L"", ClassicFolderLimit, L"\\\\?\\C:\\t\\" + atFolder.substr(1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PathToOpen(c.target, c.name, c.limit), c.expected);
    }
}

TEST(LongPath, LongFormOfAFullPath) {
    struct Case {
        const wchar_t* full;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\a\\b.txt", L"\\\\?\\C:\\a\\b.txt"},
        {L"\\\\server\\share\\b.txt", L"\\\\?\\UNC\\server\\share\\b.txt"},
        {L"\\\\?\\C:\\a", L"\\\\?\\C:\\a"},
        {L"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server\\share"},
        {L"\\\\.\\pipe\\x", L"\\\\.\\pipe\\x"},
    };
    for (const Case& c : cases) EXPECT_EQ(LongForm(c.full), c.expected) << std::wstring(c.full).size();
}
