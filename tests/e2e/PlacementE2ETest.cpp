// Where the program writes, through the real program on real volumes: started from a
// read-only folder (the temporary cabinet in a folder of its own under the temporary
// folder, gone at the end, also after a target that cannot be created), a hidden or
// system file in the cabinet's place, neither folder writable, a target volume without room (a
// little, a lot, exactly enough, room made by the files replaced), a target that
// takes no file, and a volume that fills part way through the extraction.
//
// The volumes are mounts in a private mount namespace, under the build root's
// "mounts" folder, made by scripts/fixture-mounts.sh; the wine server and this program
// must both run inside it, since the server opens files by path. scripts/test.sh runs
// the whole suite that way; for this test alone, give the script the command that
// starts the Wine environment and runs CTest, for example
//   scripts/fixture-mounts.sh bash -c '. scripts/wine-env.sh && k4_env_start "$PWD/build" &&
//       (cd build/x86_64 && ctest -R placement); k4_env_stop'
// Without the mounts every case skips and says why.
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "Driver.h"
#include "K4ExtractControls.h"
#include "K4Placement.h"
#include "PlacementPaths.h"
#include "WindowDriver.h"

using namespace e2e;
using namespace k4test;
namespace id = extract_ids;

namespace {

const char* const kCaption = "K4 placement test";
constexpr std::uint16_t NameIsUtf = 0x80;

std::string Mounts() { return Backslashed(placement_paths::Mounts); }
std::string ReadOnly() { return Mounts() + "\\ro"; }        // read-only view of ro-src
std::string ReadOnlySource() { return Mounts() + "\\ro-src"; }
std::string Small() { return Mounts() + "\\small"; }        // 4 MiB
std::string Fill() { return Mounts() + "\\fill"; }          // ordinary folder ...
std::string Tiny() { return Fill() + "\\tiny"; }            // ... with 1 MiB below it
const char* const kMarker = ".k4-mounted";

// Why the volumes are not there as Wine sees them; empty when they are.
std::string MissingMounts() {
    if (!Exists(Small() + "\\" + kMarker) || !Exists(Tiny() + "\\" + kMarker))
        return "the small volumes are not mounted under " + Mounts() +
               " (tests run through scripts/fixture-mounts.sh have them; mounts refused here?)";
    UniqueFile probe(CreateFileA((ReadOnly() + "\\k4-probe.tmp").c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                 CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (probe) return ReadOnly() + " takes new files: not the read-only mount";
    return {};
}

// The system's reason for the failure of `call` (run here, as the program runs it).
template <class Call>
std::string ReasonOf(Call call) {
    SetLastError(0);
    if (call()) return "the call succeeded";
    return SystemReason(GetLastError()).Str();
}

std::uint64_t FreeBytes(const std::string& folder) {
    ULARGE_INTEGER available, total, totalFree;
    EXPECT_TRUE(GetDiskFreeSpaceExA((folder + "\\").c_str(), &available, &total, &totalFree)) << folder;
    return available.QuadPart;
}

// tmpfs allocates in pages.
constexpr std::uint64_t Page = 4096;
std::uint64_t PagesOf(std::uint64_t bytes) { return (bytes + Page - 1) / Page * Page; }

// Bytes that differ from file to file and from place to place.
std::string Bytes(std::size_t n, char seed) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(seed + i * 7 + (i >> 12));
    return bytes;
}

// A member: its stored name (UTF-8 when `utf`), its bytes.
struct File {
    std::string name;
    std::string data;
    bool utf = false;
};

// The stored name as this program's single-byte calls name the file.
std::string AnsiName(const File& f) {
    if (!f.utf) return f.name;
    wchar_t wide[MAX_PATH];
    char narrow[MAX_PATH];
    const int n = MultiByteToWideChar(CP_UTF8, 0, f.name.c_str(), -1, wide, MAX_PATH);
    WideCharToMultiByte(CP_ACP, 0, wide, n, narrow, MAX_PATH, nullptr, nullptr);
    return narrow;
}

std::string Program(const std::vector<File>& files) {
    cabw::Cabinet cabinet;
    for (const File& f : files) {
        cabw::Member m;
        m.name = f.name;
        m.data = f.data;
        if (f.utf) m.attribs |= NameIsUtf;
        cabinet.members.push_back(m);
    }
    std::string program;
    EXPECT_TRUE(ReadBytes(ExtractorExe(), program));
    return program + Payload("C:\\k4placement-unused\\", kCaption, "Placement", cabw::Build(cabinet));
}

// TMP and TEMP for the programs started while it lives (they inherit this
// program's environment), the old values back at the end.
class TemporaryFolderSetting {
public:
    explicit TemporaryFolderSetting(const std::string& folder) {
        for (int i = 0; i < 2; ++i) {
            char old[MAX_PATH];
            const DWORD n = GetEnvironmentVariableA(kNames[i], old, MAX_PATH);
            had_[i] = n > 0 && n < MAX_PATH;
            if (had_[i]) old_[i] = old;
            SetEnvironmentVariableA(kNames[i], folder.c_str());
        }
    }
    ~TemporaryFolderSetting() {
        for (int i = 0; i < 2; ++i) SetEnvironmentVariableA(kNames[i], had_[i] ? old_[i].c_str() : nullptr);
    }

private:
    static constexpr const char* kNames[2] = {"TMP", "TEMP"};
    bool had_[2] = {};
    std::string old_[2];
};

// A folder of its own in ro-src (seen read-only as the same name in ro), removed at
// the end with the program in it.
class ReadOnlyCase {
public:
    // A folder no earlier run left behind: process numbers repeat between runs (a fresh
    // Wine prefix hands out the same ones), and a folder of a run that was cut short stays.
    ReadOnlyCase() {
        for (;;) {
            name_ = "case" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count_);
            if (CreateDirectoryA(Writable().c_str(), nullptr)) return;
            const DWORD error = GetLastError();
            if (error != ERROR_ALREADY_EXISTS)
                throw std::runtime_error("cannot make " + Writable() + " (system error " + std::to_string(error) + ")");
        }
    }
    ~ReadOnlyCase() {
        for (const std::string& entry : FolderEntries(Writable())) {
            RemoveDirectoryA((Writable() + "\\" + entry).c_str());
            DeleteFileA((Writable() + "\\" + entry).c_str());
        }
        RemoveDirectoryA(Writable().c_str());
    }
    std::string Writable() const { return ReadOnlySource() + "\\" + name_; }
    std::string Seen() const { return ReadOnly() + "\\" + name_; }

private:
    static inline int count_ = 0;
    std::string name_;
};

// Removes what a case put below a mounted folder, keeping the marker.
void Empty(const std::string& folder) {
    for (const std::string& entry : FolderEntries(folder))
        if (entry != kMarker) DeleteFileA((folder + "\\" + entry).c_str());
}

class Placement : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = MissingMounts();
        if (!missing.empty()) GTEST_SKIP() << missing;
        Empty(Small());
        Empty(Tiny());
    }
    void TearDown() override {
        process_.Kill();
        Empty(Small());
        Empty(Tiny());
        Empty(Fill());
    }

    // Writes the program into `writeTo` and starts it in `runIn`, the same folder
    // seen under another name or the same name.
    void Start(const std::vector<File>& files, const std::string& writeTo, const std::string& runIn) {
        WriteAll(writeTo + "\\SETUP.EXE", Program(files));
        const std::string exe = runIn + "\\SETUP.EXE";
        ASSERT_TRUE(process_.Start(exe, "\"" + exe + "\"", runIn));
    }
    void StartWithWindow(const std::vector<File>& files, const std::string& writeTo, const std::string& runIn) {
        ASSERT_NO_FATAL_FAILURE(Start(files, writeTo, runIn));
        ASSERT_TRUE(window_.Attach(process_, kCaption)) << "no window; box: " << WaitForMessageBox(process_, 0).text;
        ASSERT_EQ(window_.ListLines().size(), files.size());
    }
    // Types the target, presses Start and returns the box's text, the box answered.
    std::string Extract(const std::string& target) {
        EXPECT_TRUE(window_.SetTarget(target));
        window_.PressStart();
        MessageBoxSeen box = WaitForMessageBox(process_);
        EXPECT_NE(box.box, nullptr);
        if (box.box) EXPECT_TRUE(ConfirmBox(box.box));
        return box.text;
    }
    // After a refusal: the window as after any engine error, and it ends when closed.
    void ExpectReadyAndClose() {
        EXPECT_TRUE(window_.Enabled(id::StartBtn));
        EXPECT_TRUE(window_.Enabled(id::LabeledEdit1));
        EXPECT_EQ(window_.ProgressPosition(), 0);
        window_.Close();
        ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs));
        EXPECT_EQ(process_.ExitCode(), 0u);
    }
    void ExpectSuccessAndEnd(const std::string& text, const std::string& target) {
        EXPECT_EQ(text, "Ok Files have been extracted as \"" + target + "\\\"");
        ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs));
        EXPECT_EQ(process_.ExitCode(), 0u);
    }
    static void ExpectFiles(const std::string& folder, const std::vector<File>& files) {
        for (const File& f : files) {
            std::string got;
            ASSERT_TRUE(ReadBytes(folder + "\\" + AnsiName(f), got)) << AnsiName(f);
            EXPECT_TRUE(got == f.data) << AnsiName(f) << " differs";
        }
    }

    Process process_;
    ExtractorWindow window_;
};

// Files with a name in each code page: single-byte (Windows Latin-1) and UTF-8.
std::vector<File> SomeFiles() {
    return {{"readme.txt", "Read me first.\r\n"},
            {"caf\xE9.txt", Bytes(70000, 'c')},
            {"sub\\gr\xC3\xBC\xC3\x9F" "e.txt", Bytes(5000, 'g'), true}};
}

}  // namespace

TEST_F(Placement, StartedFromAReadOnlyFolderListsAndExtractsWithTheCabinetInTheTemporaryFolder) {
    ScratchFolder temp, out;
    TemporaryFolderSetting setting(temp.Path());
    ReadOnlyCase here;
    const std::vector<File> files = SomeFiles();
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(files, here.Writable(), here.Seen()));
    EXPECT_FALSE(Exists(here.Writable() + "\\DATAFILE.K4A"));
    const std::vector<std::string> own = FolderEntries(temp.Path());
    ASSERT_EQ(own.size(), 1u) << "one folder of the program's own";
    EXPECT_TRUE(Exists(temp / own[0] + "\\DATAFILE.K4A"));

    ExpectSuccessAndEnd(Extract(out.Path()), out.Path());
    ExpectFiles(out.Path(), files);
    EXPECT_TRUE(FolderEntries(temp.Path()).empty()) << "the temporary folder goes when the program ends";
}

TEST_F(Placement, ClosingTheWindowRemovesTheTemporaryFolder) {
    ScratchFolder temp;
    TemporaryFolderSetting setting(temp.Path());
    ReadOnlyCase here;
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(SomeFiles(), here.Writable(), here.Seen()));
    EXPECT_EQ(FolderEntries(temp.Path()).size(), 1u);
    window_.Close();
    ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process_.ExitCode(), 0u);
    EXPECT_TRUE(FolderEntries(temp.Path()).empty());
}

TEST_F(Placement, NeitherFolderWritableNamesBothAndTheReasons) {
    TemporaryFolderSetting setting(ReadOnly());
    ReadOnlyCase here;
    const std::string hereReason = ReasonOf([&] {
        return UniqueFile(CreateFileA((here.Seen() + "\\DATAFILE.K4A").c_str(), GENERIC_WRITE, 0, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
            .Valid();
    });
    const std::string tempReason =
        ReasonOf([] { return CreateDirectoryA((ReadOnly() + "\\k4-folder").c_str(), nullptr) != FALSE; });
    ASSERT_NO_FATAL_FAILURE(Start(SomeFiles(), here.Writable(), here.Seen()));
    MessageBoxSeen box = WaitForMessageBox(process_);
    EXPECT_EQ(box.text, "Cannot write the temporary file \"DATAFILE.K4A\" in \"" + here.Seen() + "\\\" (" + hereReason +
                            ") nor in \"" + ReadOnly() + "\\\" (" + tempReason + ")");
    ASSERT_NE(box.box, nullptr);
    EXPECT_FALSE(BoxHasIcon(box.box));
    probe::PressButton(box.box, IDOK);
    ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process_.ExitCode(), 1u);
}

// The target volume against the members: two files, sized from the free space
// measured just before (in whole pages, as the volume allocates), plus `extra`.
struct RoomCase {
    const char* name;
    std::uint64_t extraPages;  // the second file's size beyond the free space: pages
    std::uint64_t extraBytes;
    bool fits;
};

class TargetRoom : public Placement, public ::testing::WithParamInterface<RoomCase> {};

TEST_P(TargetRoom, IsCheckedBeforeAnythingIsWritten) {
    const RoomCase c = GetParam();
    ScratchFolder cwd;
    const std::uint64_t free = FreeBytes(Small());
    ASSERT_EQ(free % Page, 0u);
    const std::uint64_t first = free / 2 / Page * Page;
    const std::uint64_t second = free - first + c.extraPages * Page + c.extraBytes;
    const std::vector<File> files = {{"first.bin", Bytes(first, 'f')}, {"\xC3\xA9t\xC3\xA9.bin", Bytes(second, 's'), true}};
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(files, cwd.Path(), cwd.Path()));
    const std::string text = Extract(Small());
    if (c.fits) {
        ExpectSuccessAndEnd(text, Small());
        ExpectFiles(Small(), files);
        return;
    }
    // Both figures in readable units, or in bytes where those read the same.
    const std::uint64_t needed = PagesOf(first) + PagesOf(second);
    const bool close = SizeText(needed) == SizeText(free);
    const auto figure = [&](std::uint64_t n) { return close ? std::to_string(n) + " bytes" : SizeText(n).Str(); };
    EXPECT_EQ(text, "Not enough free space in \"" + Small() + "\\\" for " + figure(needed) + " (" + figure(free) +
                        " free)");
    EXPECT_EQ(close, c.extraPages == 0) << text;
    EXPECT_EQ(FolderEntries(Small()), std::vector<std::string>{kMarker}) << "nothing written";
    ExpectReadyAndClose();
}

INSTANTIATE_TEST_SUITE_P(Volume, TargetRoom,
                         ::testing::Values(RoomCase{"ShortByOneByte", 0, 1, false},
                                           RoomCase{"ShortByALot", 1000, 0, false},
                                           RoomCase{"ExactlyLargeEnough", 0, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Files replaced give their room back: the new files together take more than is
// free, and fit because the old ones go (each only once its replacement is whole).
TEST_F(Placement, ReplacingFilesMakesRoom) {
    ScratchFolder cwd;
    const std::uint64_t whole = FreeBytes(Small());
    const std::uint64_t oldSize = whole * 3 / 8 / Page * Page;
    const File oldA{"a.bin", Bytes(oldSize, 'A')};
    const File oldB{"\xC3\xA9t\xC3\xA9.bin", Bytes(oldSize, 'B'), true};
    WriteAll(Small() + "\\" + AnsiName(oldA), oldA.data);
    WriteAll(Small() + "\\" + AnsiName(oldB), oldB.data);
    const std::uint64_t free = FreeBytes(Small());
    const std::uint64_t newSize = free * 9 / 10 / Page * Page;
    ASSERT_GT(2 * newSize, free) << "the new files alone would not fit";
    const std::vector<File> files = {{oldA.name, Bytes(newSize, 'a')}, {oldB.name, Bytes(newSize, 'b'), true}};
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(files, cwd.Path(), cwd.Path()));
    ExpectSuccessAndEnd(Extract(Small()), Small());
    ExpectFiles(Small(), files);
    EXPECT_EQ(FolderEntries(Small()).size(), 3u) << "no file left beside them";
}

TEST_F(Placement, ATargetThatTakesNoFileIsRefusedWithTheReason) {
    ScratchFolder cwd;
    ReadOnlyCase place;
    ASSERT_TRUE(CreateDirectoryA((place.Writable() + "\\out").c_str(), nullptr));
    const std::string target = place.Seen() + "\\out";
    const std::string reason = ReasonOf([&] {
        return UniqueFile(CreateFileA((target + "\\k4-file.tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr))
            .Valid();
    });
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(SomeFiles(), cwd.Path(), cwd.Path()));
    EXPECT_EQ(Extract(target), "Cannot create a file in \"" + target + "\\\": " + reason);
    EXPECT_TRUE(FolderEntries(place.Writable() + "\\out").empty());
    ExpectReadyAndClose();
}

// A volume that fills part way (tiny\ below the target, which has room): the member
// being written is removed, the message names it and the full disk, the file before
// it stays whole, and a file it was replacing keeps its old content.
TEST_F(Placement, AVolumeThatFillsDuringTheExtractionLosesNothing) {
    struct Case {
        File big;
        bool replaces;
    };
    const Case cases[] = {{{"tiny\\big.bin", Bytes(2 << 20, 'x')}, false},
                          {{"tiny\\gr\xC3\xBC\xC3\x9F" "e.bin", Bytes(2 << 20, 'y'), true}, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.big.name);
        ScratchFolder cwd;
        const File first{"first.txt", "written before the volume filled\r\n"};
        if (c.replaces) WriteAll(Fill() + "\\" + AnsiName(c.big), "the old file\r\n");
        ASSERT_NO_FATAL_FAILURE(StartWithWindow({first, c.big}, cwd.Path(), cwd.Path()));
        EXPECT_EQ(Extract(Fill()), "Cannot write \"" + Fill() + "\\" + AnsiName(c.big) + "\": " +
                                       SystemReason(ERROR_DISK_FULL).Str());
        ExpectFiles(Fill(), {first});
        if (c.replaces) {
            EXPECT_EQ(ReadAll(Fill() + "\\" + AnsiName(c.big)), "the old file\r\n");
            EXPECT_EQ(FolderEntries(Tiny()).size(), 2u) << "the marker and the old file, nothing beside";
        } else {
            EXPECT_EQ(FolderEntries(Tiny()), std::vector<std::string>{kMarker}) << "the partial member is gone";
        }
        ExpectReadyAndClose();
        Empty(Tiny());
        Empty(Fill());
    }
}

// Started from a read-only folder, with a target that cannot be created: "Error
// creating path" ends the program, and the temporary folder goes with it, although the
// idle decoding held the cabinet open when Start was pressed.
TEST_F(Placement, AnUncreatableTargetLeavesNoTemporaryFolder) {
    ScratchFolder temp, elsewhere;
    TemporaryFolderSetting setting(temp.Path());
    ReadOnlyCase here;
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(SomeFiles(), here.Writable(), here.Seen()));
    const std::vector<std::string> own = FolderEntries(temp.Path());
    ASSERT_EQ(own.size(), 1u);
    // The decoding's hold: the cabinet cannot be opened for deleting while it lasts.
    const std::string cabinet = temp / own[0] + "\\DATAFILE.K4A";
    bool held = false;
    for (DWORD start = GetTickCount(); !held && GetTickCount() - start < DefaultTimeoutMs; Sleep(10)) {
        held = !UniqueFile(CreateFileA(cabinet.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr))
                    .Valid() &&
               GetLastError() == ERROR_SHARING_VIOLATION;
    }
    ASSERT_TRUE(held) << "the idle decoding holds the cabinet";
    const std::string target = elsewhere / "missing\\out";
    EXPECT_EQ(Extract(target), "Error creating path \"" + target + "\"");
    ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process_.ExitCode(), 1u);
    EXPECT_TRUE(FolderEntries(temp.Path()).empty()) << "the temporary folder is gone";
}

// A hidden or a system "DATAFILE.K4A" in the current folder (another program's, or a
// copy that kept its attributes) is not replaced there: the system's create-always
// call refuses such a file, so the cabinet goes to the temporary folder, and the file
// stays as it was.
TEST_F(Placement, AHiddenOrSystemTemporaryCabinetNameSendsTheCopyToTheTemporaryFolder) {
    const struct {
        const char* what;
        DWORD attribute;
    } cases[] = {{"hidden", FILE_ATTRIBUTE_HIDDEN}, {"system", FILE_ATTRIBUTE_SYSTEM}};
    const std::vector<File> files = SomeFiles();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder cwd, temp, out;
        TemporaryFolderSetting setting(temp.Path());
        const std::string theirs = cwd / "DATAFILE.K4A";
        WriteAll(theirs, "another program's file");
        ASSERT_TRUE(SetFileAttributesA(theirs.c_str(), c.attribute));
        ASSERT_EQ(GetFileAttributesA(theirs.c_str()) & c.attribute, c.attribute) << "the attribute is kept";
        ASSERT_NO_FATAL_FAILURE(StartWithWindow(files, cwd.Path(), cwd.Path()));
        const std::vector<std::string> own = FolderEntries(temp.Path());
        ASSERT_EQ(own.size(), 1u) << "one folder of the program's own";
        EXPECT_TRUE(Exists(temp / own[0] + "\\DATAFILE.K4A"));
        ExpectSuccessAndEnd(Extract(out.Path()), out.Path());
        ExpectFiles(out.Path(), files);
        EXPECT_TRUE(FolderEntries(temp.Path()).empty());
        EXPECT_EQ(ReadAll(theirs), "another program's file");
        SetFileAttributesA(theirs.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}
