// A self-extractor packed with the extractor program k4pack carries (no -s), for this
// build's architecture, started under Wine: its window lists the files, Start extracts
// them, and every file equals the one it was packed from.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "CarriedPaths.h"
#include "Driver.h"

using namespace e2e;
using namespace k4test;

namespace {

const char* const kMembers[] = {"empty.txt", "readme.txt", "sub\\data.bin"};

std::string Input(const char* name) { return Backslashed(carried_paths::Input) + "\\" + name; }

}  // namespace

TEST(CarriedE2E, PackedWithoutAStubListsAndExtractsItsFiles) {
    ScratchFolder folder;
    std::string bytes;
    ASSERT_TRUE(ReadBytes(Backslashed(carried_paths::Folder) + "\\carried.exe", bytes));
    const std::string exe = folder / "SETUP.EXE";
    WriteAll(exe, bytes);
    Process process;
    ASSERT_TRUE(process.Start(exe, "\"" + exe + "\"", folder.Path()));
    HWND window = nullptr;
    for (DWORD start = GetTickCount(); !window && GetTickCount() - start < DefaultTimeoutMs && process.Running();)
        if (!(window = probe::VisibleMainWindow(process.Id(), "K4 carried test"))) Sleep(50);
    ASSERT_NE(window, nullptr) << "no main window; exit code " << process.ExitCode();
    ASSERT_TRUE(process.WaitForIdle(DefaultTimeoutMs));
    HWND list = probe::FindChild(window, "ListBox");
    ASSERT_NE(list, nullptr);
    const std::vector<std::string> lines = probe::ListBoxLines(list);
    ASSERT_EQ(lines.size(), std::size(kMembers));
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(kMembers[i], 0), 0u) << lines[i];

    const std::string target = folder / "out";
    EXPECT_EQ(ExtractThroughWindow(process, window, target), "Ok Files have been extracted as \"" + target + "\\\"");
    ASSERT_TRUE(process.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process.ExitCode(), 0u);
    for (const char* member : kMembers) {
        std::string expected, extracted;
        ASSERT_TRUE(ReadBytes(Input(member), expected)) << member;
        ASSERT_TRUE(ReadBytes(target + "\\" + member, extracted)) << member;
        EXPECT_TRUE(extracted == expected) << member;
    }
}
