// Signed self-extractors, signed at test time with a real signing tool, run under Wine: the
// payload found in front of the certificate table, the files listed in the window, and
// extracted. One program packed by k4pack (signing inserted nothing), one appended by hand
// without padding (signing inserted zero bytes before its table).
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "Driver.h"
#include "SignedPaths.h"

using namespace e2e;
using namespace k4test;

namespace {

std::string Made(const char* name) { return Backslashed(signed_paths::Folder) + "\\" + name; }
std::string Input(const char* name) { return Backslashed(signed_paths::Input) + "\\" + name; }

// Everything between the third text and the trailer of an unsigned self-extractor:
// what DATAFILE.K4A holds.
std::string AfterTheTexts(const std::string& file) {
    PayloadParts parts;
    return SplitPayload(file, parts) ? parts.cabinet : std::string("(no payload)");
}

// The certificate table the PE headers name: offset and size. The data directories
// start 96 bytes into a PE32 (i686) optional header and 112 into a PE32+ (x86_64) one.
std::pair<std::uint32_t, std::uint32_t> SecurityDirectory(const std::string& file) {
    const std::size_t optional = GetLe(file, 0x3C) + 24;
    const bool pe32plus = (GetLe(file, optional) & 0xFFFF) == 0x20B;
    const std::size_t entry = optional + (pe32plus ? 112 : 96) + 4 * 8;
    return {GetLe(file, entry), GetLe(file, entry + 4)};
}

struct Member {
    const char* name;      // inside the cabinet
    const char* hostName;  // in the folder the cabinet was made from
};
const Member kMembers[] = {{"readme.txt", "readme.txt"}, {"sub\\data.bin", "sub\\data.bin"}, {"empty.txt", "empty.txt"}};

class SignedE2E : public ::testing::Test {
protected:
    // Starts a copy of the made program in the scratch folder; its main window's handle.
    HWND Run(const char* made, const char* caption) {
        std::string bytes;
        EXPECT_TRUE(ReadBytes(Made(made), bytes)) << Made(made);
        std::string exe = folder_ / "SETUP.EXE";
        WriteAll(exe, bytes);
        EXPECT_TRUE(process_.Start(exe, "\"" + exe + "\"", folder_.Path())) << "CreateProcessA: " << GetLastError();
        DWORD start = GetTickCount();
        while (GetTickCount() - start < DefaultTimeoutMs && process_.Running()) {
            MessageBoxSeen box = WaitForMessageBox(process_, 0);
            if (box.box) {
                ADD_FAILURE() << "a box instead of the window: " << box.text;
                return nullptr;
            }
            if (HWND window = probe::VisibleMainWindow(process_.Id(), caption)) return window;
            Sleep(50);
        }
        ADD_FAILURE() << "no main window; exit code " << process_.ExitCode();
        return nullptr;
    }

    // The list shows every member of the cabinet with its size.
    void ExpectListed(HWND window) {
        HWND list = probe::FindChild(window, "ListBox");
        ASSERT_NE(list, nullptr);
        std::vector<std::string> lines = probe::ListBoxLines(list);
        ASSERT_EQ(lines.size(), std::size(kMembers));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string content;
            ASSERT_TRUE(ReadBytes(Input(kMembers[i].hostName), content));
            ASSERT_GE(lines[i].size(), 46u) << lines[i];
            std::string name = lines[i].substr(0, 44);
            name.erase(name.find_last_not_of(' ') + 1);
            EXPECT_EQ(name, kMembers[i].name);
            EXPECT_EQ(std::stoul(lines[i].substr(45)), content.size()) << lines[i];
        }
    }

    ScratchFolder folder_;
    Process process_;
};

}  // namespace

TEST_F(SignedE2E, PackedThenSignedProgramListsAndExtractsItsFiles) {
    std::string packed, signedFile, cabinet;
    ASSERT_TRUE(ReadBytes(Made("packed.exe"), packed));
    ASSERT_TRUE(ReadBytes(Made("packed-signed.exe"), signedFile));
    ASSERT_TRUE(ReadBytes(TestCabinet(), cabinet));
    ASSERT_EQ(packed.size() % 8, 0u);
    ASSERT_EQ(SecurityDirectory(signedFile).first, packed.size()) << "signing inserted nothing";

    HWND window = Run("packed-signed.exe", "K4 signed test");
    ASSERT_NE(window, nullptr);
    // The cabinet alone: not the packer's zero padding, the trailer or the
    // certificate table behind them.
    std::string written;
    ASSERT_TRUE(ReadBytes(folder_ / "DATAFILE.K4A", written));
    EXPECT_TRUE(written == cabinet);
    EXPECT_TRUE(AfterTheTexts(packed).substr(0, cabinet.size()) == cabinet);
    ExpectListed(window);

    std::string target = folder_ / "out";
    EXPECT_EQ(ExtractThroughWindow(process_, window, target), "Ok Files have been extracted as \"" + target + "\\\"");
    ASSERT_TRUE(process_.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process_.ExitCode(), 0u);
    for (const Member& member : kMembers) {
        std::string expected, extracted;
        ASSERT_TRUE(ReadBytes(Input(member.hostName), expected));
        ASSERT_TRUE(ReadBytes(target + "\\" + member.name, extracted)) << member.name;
        EXPECT_TRUE(extracted == expected) << member.name;
    }
    EXPECT_FALSE(Exists(folder_ / "DATAFILE.K4A")) << "deleted after the extraction";
}

TEST_F(SignedE2E, SignedWithZeroBytesInsertedBeforeTheTable) {
    std::string unpadded, signedFile;
    ASSERT_TRUE(ReadBytes(Made("unpadded.exe"), unpadded));
    ASSERT_TRUE(ReadBytes(Made("unpadded-signed.exe"), signedFile));
    const std::uint32_t tableAt = SecurityDirectory(signedFile).first;
    ASSERT_GT(tableAt, unpadded.size()) << "the case needs bytes inserted by signing";
    ASSERT_LT(tableAt, unpadded.size() + 8);
    EXPECT_TRUE(signedFile.substr(unpadded.size(), tableAt - unpadded.size()) ==
                std::string(tableAt - unpadded.size(), '\0'));

    HWND window = Run("unpadded-signed.exe", "K4 unpadded test");
    ASSERT_NE(window, nullptr);
    std::string written;
    ASSERT_TRUE(ReadBytes(folder_ / "DATAFILE.K4A", written));
    EXPECT_TRUE(written == AfterTheTexts(unpadded)) << "the cabinet, no inserted bytes";
    ExpectListed(window);
}
