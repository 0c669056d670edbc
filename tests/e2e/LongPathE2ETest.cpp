// Members whose full paths pass the classic 260-character limit, through the real
// program packed by k4pack: a 206-character name under a 123-character target and a
// 255-character name under a 255-character target extract byte for byte with their
// time stamps, and a long-path file there is replaced.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "Driver.h"
#include "LongPaths.h"
#include "UniqueHandle.h"
#include "WatchedRun.h"

using namespace e2e;
using namespace k4test;

namespace {

std::string Backslashes(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// A full path of any length as the wide calls take it.
std::wstring LongForm(const std::string& full) {
    std::wstring wide(L"\\\\?\\");
    for (char c : full) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

ULONGLONG WriteTimeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(LongForm(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// The names in a folder of any length, without "." and "..".
std::vector<std::string> EntriesOf(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((LongForm(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.emplace_back(name.begin(), name.end());
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

const std::string kNames[] = {Backslashes(long_paths::Name206), Backslashes(long_paths::Name255)};

class LongPathE2E : public ::testing::Test {
protected:
    // A target folder of exactly `length` characters in the scratch folder (not made).
    std::string Target(std::size_t length, char fill) const {
        std::string target = folder_.Path() + "\\";
        return target + std::string(length - target.size(), fill);
    }

    // The quiet run into `target`: its exit code.
    DWORD Extract(const std::string& target) {
        const std::string exe = Backslashed(long_paths::Packed);
        Process process;
        if (!process.Start(exe, "\"" + exe + "\" /Q /T:" + target, folder_.Path())) return 0xDEAD;
        if (!process.WaitForExit(60000)) return 0xBAD;
        return process.ExitCode();
    }

    // What differs between the packed files and those in `target`; empty when none.
    std::string Differences(const std::string& target) const {
        std::string found;
        for (const std::string& name : kNames) {
            std::string expected, extracted;
            const std::string source = Backslashed(long_paths::Input) + "\\" + name;
            if (!ReadAnyPath(source, expected)) found += name + ": the source cannot be read\n";
            else if (!ReadAnyPath(target + "\\" + name, extracted)) found += name + ": not extracted\n";
            else if (extracted != expected) found += name + ": other bytes\n";
            else if (WriteTimeOf(target + "\\" + name) != WriteTimeOf(source)) found += name + ": another time\n";
        }
        return found;
    }

    ScratchFolder folder_;
};

}  // namespace

TEST_F(LongPathE2E, MembersPastTheClassicLimitExtractWholeWithTheirTimes) {
    ASSERT_EQ(kNames[0].size(), 206u);
    ASSERT_EQ(kNames[1].size(), 255u);
    struct Case {
        const char* what;
        std::size_t targetLength;
        char fill;
    };
    const Case cases[] = {{"a 123-character target", 123, 't'}, {"a 255-character target", 255, 'u'}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string target = Target(c.targetLength, c.fill);
        EXPECT_EQ(Extract(target), 0u);
        EXPECT_EQ(Differences(target), "");
        EXPECT_FALSE(Exists(folder_ / "DATAFILE.K4A")) << "the temporary cabinet is removed";
    }
}

// A file of the member's name there already, at a path past the limit: replaced by
// the member whole, and nothing else left beside it.
TEST_F(LongPathE2E, AnExistingLongPathFileIsReplaced) {
    const std::string target = Target(200, 'r');
    ASSERT_EQ(Extract(target), 0u);
    const std::string file = target + "\\" + kNames[0];
    {
        UniqueFile old(CreateFileW(LongForm(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(old);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(old.Get(), "old", 3, &written, nullptr));
    }
    ASSERT_NE(Differences(target), "");
    EXPECT_EQ(Extract(target), 0u);
    EXPECT_EQ(Differences(target), "");
    EXPECT_EQ(EntriesOf(file.substr(0, file.rfind('\\'))).size(), 1u) << "no file left beside the member";
}
