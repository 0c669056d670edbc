// k4pack.exe under Wine, through the real program: a folder made here, packed into a
// self-extractor whose carried program extracts it byte for byte, inspect and verify of
// it; the forms a path takes on Windows (drive letter, slashes, relative, over MAX_PATH,
// outside the code page); each refusal with its status and nothing left behind; and the
// system layer's own answers (file identity, times, path parts) in-process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "Driver.h"
#include "PackerPaths.h"
#include "Platform.h"
#include "UniqueHandle.h"
#include "WatchedRun.h"
#include "WindowsWide.h"

using namespace e2e;
using namespace k4test;

namespace {

// "данные" and "тест.txt": outside the ANSI code page.
const std::string kCyrillicFolder = "\xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5";
const std::string kCyrillicName = "\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.txt";

// Repetitive and incompressible stretches by turns, the same for the same size.
std::string Filler(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = static_cast<std::uint32_t>(size);
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = (i / 50000) % 2 ? static_cast<char>(state >> 24) : static_cast<char>("k4pack "[i % 7]);
    }
    return bytes;
}

// The input's files, by their name inside the archive.
std::vector<std::pair<std::string, std::string>> InputFiles() {
    return {{"empty.txt", ""},          {"one.bin", "1"},
            {"block.bin", Filler(32768)}, {"block-and-one.bin", Filler(32769)},
            {"large.bin", Filler(3 << 20)}, {"nested\\deeper\\notes.txt", "two\r\nlines\r\n"}};
}

std::wstring Long(const std::string& path) { return L"\\\\?\\" + Utf16(path); }

// A whole file at a full UTF-8 path of any length, its folders made.
void WriteAnyPath(const std::string& path, const std::string& bytes) {
    MakeParents(path);
    UniqueFile file(CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file) << path;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

bool ExistsAnyPath(const std::string& path) { return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Names in a folder at a path of any length that start with `prefix`.
int CountStartingWith(const std::string& folder, const std::wstring& prefix) {
    WIN32_FIND_DATAW found{};
    const UniqueSearch search(FindFirstFileW((Long(folder) + L"\\*").c_str(), &found));
    if (!search) return 0;
    int count = 0;
    do count += std::wstring(found.cFileName).rfind(prefix, 0) == 0;
    while (FindNextFileW(search.Get(), &found));
    return count;
}

// SOURCE_DATE_EPOCH for the programs this test starts, removed at the end: every file
// made now is stored at that time, so packs of copies made at different moments agree.
class SourceDateEpoch {
public:
    explicit SourceDateEpoch(const char* value) { SetEnvironmentVariableA("SOURCE_DATE_EPOCH", value); }
    ~SourceDateEpoch() { SetEnvironmentVariableA("SOURCE_DATE_EPOCH", nullptr); }
    SourceDateEpoch(const SourceDateEpoch&) = delete;
    SourceDateEpoch& operator=(const SourceDateEpoch&) = delete;
};

class PackerE2E : public ::testing::Test {
protected:
    static std::string MakeInput(const std::string& root) {
        for (const auto& [name, bytes] : InputFiles()) WriteAnyPath(root + "\\" + name, bytes);
        return root;
    }

    // k4pack.exe with `args`, started in the scratch folder.
    RunSeen K4pack(const std::string& args) const {
        return RunWatched("\"" + std::string(packer_paths::Program) + "\" " + args, folder_.Path());
    }

    ScratchFolder folder_;
};

}  // namespace

// The whole round: pack (the input in a folder outside the code page), extract with the
// carried program, inspect, verify against the sources.
TEST_F(PackerE2E, APackedFolderExtractsByteForByteAndPassesInspectAndVerify) {
    const std::string input = MakeInput(folder_ / kCyrillicFolder);
    const std::string out = folder_ / "packed.exe";
    const std::string target = folder_ / "target";
    const RunSeen packed = K4pack("-q --arch x86_64 -t \"" + target + "\" -o \"" + out + "\" \"" + input + "\"");
    ASSERT_EQ(packed.exitCode, 0u) << packed.output;
    const std::string count = std::to_string(InputFiles().size());
    EXPECT_EQ(packed.output.rfind(out + ": " + count + " files, cabinet ", 0), 0u) << packed.output;
    EXPECT_EQ(packed.output.find('\r'), std::string::npos) << "lines end in \\n alone, as on Linux";

    const RunSeen extracted = RunWatched("\"" + out + "\" /Q", folder_.Path());
    ASSERT_EQ(extracted.exitCode, 0u) << extracted.output;
    for (const auto& [name, bytes] : InputFiles()) {
        std::string got;
        ASSERT_TRUE(ReadAnyPath(target + "\\" + name, got)) << name;
        EXPECT_TRUE(got == bytes) << name << " differs";
    }

    const RunSeen inspected = K4pack("inspect \"" + out + "\"");
    EXPECT_EQ(inspected.exitCode, 0u) << inspected.output;
    for (const auto& [name, bytes] : InputFiles())
        EXPECT_NE(inspected.output.find(" " + name + "\n"), std::string::npos) << name << "\n" << inspected.output;
    const RunSeen verified = K4pack("verify \"" + out + "\" \"" + input + "\"");
    EXPECT_EQ(verified.exitCode, 0u) << verified.output;
    EXPECT_NE(verified.output.find("verified, " + count + " members"), std::string::npos) << verified.output;
    EXPECT_EQ(CountStartingWith(folder_.Path(), L".k4pack-"), 0);
}

// The same files named in every form a Windows path takes give the same archive, written
// where the output names; a path over MAX_PATH reads and writes like any other. (The
// current directory itself cannot be longer than MAX_PATH on Windows.)
TEST_F(PackerE2E, EveryFormOfPathGivesTheSameArchive) {
    const SourceDateEpoch epoch("1000000000");
    const std::string input = MakeInput(folder_ / "in");
    const std::string deep = folder_ / (std::string(100, 'a') + "\\" + std::string(100, 'b') + "\\" + std::string(100, 'c'));
    const std::string deepInput = MakeInput(deep + "\\in");
    ASSERT_GT(deepInput.size(), static_cast<std::size_t>(MAX_PATH));
    std::string slashed = input;
    for (char& c : slashed) c = c == '\\' ? '/' : c;
    const struct Case {
        const char* how;
        std::string input, output;
        std::string file;  // where the output lands
    } cases[] = {
        {"drive letter", input, folder_ / "drive.exe", folder_ / "drive.exe"},
        {"forward slashes", slashed, folder_.Path() + "/slashed.exe", folder_ / "slashed.exe"},
        {"relative", "in", "relative.exe", folder_ / "relative.exe"},
        {"relative with dots and a trailing separator", ".\\in\\..\\in/", "in\\..\\dots.exe", folder_ / "dots.exe"},
        {"over MAX_PATH", deepInput, deep + "\\deep.exe", deep + "\\deep.exe"},
    };
    std::string first;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const RunSeen run = K4pack("-q -o \"" + c.output + "\" \"" + c.input + "\"");
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        std::string bytes;
        ASSERT_TRUE(ReadAnyPath(c.file, bytes)) << c.file;
        if (first.empty()) first = bytes;
        EXPECT_TRUE(bytes == first) << "another archive than the first";
        const RunSeen verified = K4pack("verify \"" + c.output + "\" \"" + c.input + "\"");
        EXPECT_EQ(verified.exitCode, 0u) << verified.output;
    }
}

// Each refusal: its exit status, a message naming the cause, no output and no temporary
// folder left.
TEST_F(PackerE2E, RefusalsEndWithTheirStatusAndLeaveNothing) {
    const std::string good = MakeInput(folder_ / "good");
    WriteAnyPath(folder_ / ("foreign\\" + kCyrillicName), "a name outside the code page");
    const std::string held = folder_ / "held\\locked.bin";
    WriteAnyPath(held, "held without sharing");
    UniqueFile lock(CreateFileW(Long(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    const std::string original = folder_ / "alias\\original.txt";
    WriteAnyPath(original, "one file, two names");
    ASSERT_TRUE(CreateHardLinkW(Long(folder_ / "alias\\second.txt").c_str(), Long(original).c_str(), nullptr));
    const std::string out = folder_ / "refused.exe";

    struct Case {
        const char* what;
        std::wstring arguments;
        DWORD status;
        std::string message;  // a part of what it writes
    };
    std::vector<Case> cases = {
        {"missing input", Utf16("-o \"" + out + "\" \"" + folder_ / "nothing\""), 1, "nothing: no such file or folder"},
        {"name outside the code page", Utf16("-o \"" + out + "\" \"" + folder_ / "foreign\""), 1,
         "\"" + kCyrillicName + "\" is not plain ASCII"},
        {"file another program holds", Utf16("-o \"" + out + "\" \"" + folder_ / "held\""), 1, "locked.bin: "},
        {"output is an input", Utf16("-o \"" + original + "\" \"" + original + "\""), 2, "is the input"},
        {"output is another name of an input", Utf16("-o \"" + folder_ / "alias\\second.txt\" \"" + original + "\""), 2,
         "is the input"},
        {"a share without its name", Utf16("-o \"" + out + "\" \\\\server-only"), 1,
         "\\\\server-only: not a path the system can complete"},
        {"output in a missing folder", Utf16("-o \"" + folder_ / "missing\\out.exe\" \"" + good + "\""), 1,
         "cannot make a temporary folder: "},
        {"output names a folder", Utf16("-o \"" + folder_ / "alias\" \"" + good + "\""), 1, "alias: "},
        {"argument with an unpaired surrogate", Utf16("-o \"" + out + "\" ") + L"\"x\xD800y\"", 2,
         "x\xEF\xBF\xBDy\") holds a UTF-16 surrogate without its pair"},
    };
    // A name with an unpaired surrogate, where the file system can hold one.
    const std::wstring lone = Long(folder_ / "lone") + L"\\bad\xDC00.txt";
    CreateDirectoryW(Long(folder_ / "lone").c_str(), nullptr);
    if (UniqueFile(CreateFileW(lone.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr))) {
        cases.push_back({"name with an unpaired surrogate", Utf16("-o \"" + out + "\" \"" + folder_ / "lone\""), 1,
                         "bad\xEF\xBF\xBD.txt: the name holds a UTF-16 surrogate without its pair"});
    } else {
        std::printf("[   NOTE   ] this file system holds no name with an unpaired surrogate: no such case\n");
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunSeen run = RunWatched(L"\"" + Utf16(packer_paths::Program) + L"\" -q " + c.arguments, folder_.Path());
        EXPECT_EQ(run.exitCode, c.status) << run.output;
        EXPECT_EQ(run.output.rfind("k4pack: ", 0), 0u) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_FALSE(ExistsAnyPath(out));
        EXPECT_EQ(CountStartingWith(folder_.Path(), L".k4pack-"), 0);
        EXPECT_EQ(CountStartingWith(folder_ / "alias", L".k4pack-"), 0);
    }
    std::string kept;
    ASSERT_TRUE(ReadAnyPath(original, kept));
    EXPECT_EQ(kept, "one file, two names") << "the input named as output stays as it was";
    lock.Reset();
    EXPECT_EQ(K4pack("-q -o \"" + out + "\" \"" + folder_ / "held\"").exitCode, 0u) << "released, the file packs";
}

// The system layer in-process: one file under two names is one identity, a FILETIME is
// seconds since 1970 rounded down, and paths split and join in the Windows forms.
TEST(PackerPlatform, IdentityTimesAndPathParts) {
    ScratchFolder folder;
    const std::string a = folder.Write("a.txt", "a"), b = folder.Write("b.txt", "b");
    ASSERT_TRUE(CreateHardLinkW(Utf16(folder / "a2.txt").c_str(), Utf16(a).c_str(), nullptr));
    const auto facts = [](const std::string& path) { return k4pack::platform::Describe(path); };
    ASSERT_TRUE(facts(a) && facts(b) && facts(folder / "a2.txt"));
    EXPECT_EQ(facts(a)->identity, facts(folder / "a2.txt")->identity);
    EXPECT_NE(facts(a)->identity, facts(b)->identity);
    EXPECT_EQ(facts(folder.Path())->kind, k4pack::platform::Kind::Folder);
    EXPECT_EQ(facts(folder / "none.txt"), std::nullopt);
    EXPECT_EQ(facts(folder / "none\\deeper.txt"), std::nullopt);

    const std::int64_t ticks1970 = 116444736000000000;
    const struct {
        std::int64_t ticks, seconds;
    } times[] = {{ticks1970, 0},       {ticks1970 + 1, 0},      {ticks1970 + 9999999, 0}, {ticks1970 + 10000000, 1},
                 {ticks1970 - 1, -1},  {ticks1970 - 10000000, -1}, {ticks1970 - 10000001, -2}, {0, -11644473600}};
    for (const auto& t : times) {
        const FILETIME time{static_cast<DWORD>(t.ticks), static_cast<DWORD>(static_cast<std::uint64_t>(t.ticks) >> 32)};
        EXPECT_EQ(k4pack::win::UnixSeconds(time), t.seconds) << t.ticks;
    }

    const struct {
        const char *path, *last;
    } parts[] = {{"C:\\dir\\file.txt", "file.txt"}, {"C:file.txt", "file.txt"}, {"dir/file.txt", "file.txt"},
                 {"file.txt", "file.txt"},         {"C:\\dir\\", ""},          {"\\\\server\\share\\f", "f"}};
    for (const auto& p : parts) EXPECT_EQ(k4pack::platform::LastPart(p.path), p.last) << p.path;
    const struct {
        const char *folder, *joined;
    } joins[] = {{"C:", "C:x"}, {"C:\\", "C:\\x"}, {"dir", "dir\\x"}, {"dir/", "dir/x"}, {"", "x"}};
    for (const auto& j : joins) EXPECT_EQ(k4pack::platform::JoinPath(j.folder, "x"), j.joined) << j.folder;
}
