// A self-extractor packed with the publisher's icon, version information and execution
// level, read the way Windows programs read a file's resources: the version through
// GetFileVersionInfoA/VerQueryValueA, the icon through ExtractIconExA and LoadImageA and
// as the very images of the .ico, the manifest's execution level from the resource of the
// file loaded as data. Then run: it still lists and extracts its files byte for byte, and
// the About window's build line follows the new version resource.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <string>
#include <vector>
#include "BrandedPaths.h"
#include "Driver.h"
#include "K4AboutIds.h"
#include "K4ExtractControls.h"

using namespace e2e;
using namespace k4test;

namespace {

std::string Made(const char* name) { return Backslashed(branded_paths::Folder) + "\\" + name; }

const char* const kMembers[] = {"empty.txt", "readme.txt", "sub\\data.bin"};

// The file's version information block, as the properties dialog reads it.
std::vector<char> VersionInfo(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, block.data())) block.clear();
    return block;
}

std::string VersionString(std::vector<char>& block, const std::string& name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\040204E3\\" + name;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr)
        return "(missing)";
    return std::string(value);
}

// The .ico's images: width (256 for 0) and byte count, in the file's order.
std::vector<std::pair<int, DWORD>> IconFileImages() {
    std::string ico;
    if (!ReadBytes(Made("test.ico"), ico)) return {};
    std::vector<std::pair<int, DWORD>> images;
    for (std::size_t i = 0; i < GetLe(ico, 4, 2); ++i) {
        const int width = static_cast<unsigned char>(ico[6 + 16 * i]);
        images.emplace_back(width == 0 ? 256 : width, GetLe(ico, 6 + 16 * i + 8));
    }
    return images;
}

struct DataModule {
    explicit DataModule(const std::string& path) : module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataModule() { if (module) FreeLibrary(module); }
    HMODULE module;
};

// The visible main window of a started copy of a made program.
HWND Start(Process& process, const ScratchFolder& folder, const char* made, const char* caption) {
    std::string bytes;
    if (!ReadBytes(Made(made), bytes)) return nullptr;
    const std::string exe = folder / "SETUP.EXE";
    WriteAll(exe, bytes);
    if (!process.Start(exe, "\"" + exe + "\"", folder.Path())) return nullptr;
    HWND window = nullptr;
    for (DWORD start = GetTickCount(); !window && GetTickCount() - start < DefaultTimeoutMs && process.Running();)
        if (!(window = probe::VisibleMainWindow(process.Id(), caption))) Sleep(50);
    return window && process.WaitForIdle(DefaultTimeoutMs) ? window : nullptr;
}

}  // namespace

TEST(BrandedE2E, VersionInformationReadsBackThroughTheVersionFunctions) {
    std::vector<char> block = VersionInfo(Made("branded.exe"));
    ASSERT_FALSE(block.empty()) << GetLastError();
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00030004u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00050006u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00070008u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP)) << "the rest of the fixed part kept";
    for (auto [name, value] : {std::pair{"ProductName", "Example"}, {"CompanyName", "Example Ltd"},
                               {"FileDescription", "Example setup"}, {"LegalCopyright", "(c) Example"},
                               {"ProductVersion", "5.6.7.8"}, {"FileVersion", "1.2.3.4"},
                               {"OriginalFilename", "K4EXTRACTOR.exe"}})
        EXPECT_EQ(VersionString(block, name), value) << name;
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(translation[0], 0x0402) << "the program's own language";
    EXPECT_EQ(translation[1], 1251);
}

TEST(BrandedE2E, IconIsEveryImageOfTheIconFile) {
    const std::string path = Made("branded.exe");
    EXPECT_EQ(ExtractIconExA(path.c_str(), -1, nullptr, nullptr, 0), 1u) << "one icon";
    HICON large = nullptr, small = nullptr;
    ASSERT_EQ(ExtractIconExA(path.c_str(), 0, &large, &small, 1), 2u);
    EXPECT_NE(large, nullptr);
    EXPECT_NE(small, nullptr);
    if (large) DestroyIcon(large);
    if (small) DestroyIcon(small);

    const std::vector<std::pair<int, DWORD>> images = IconFileImages();
    ASSERT_EQ(images.size(), 4u);
    DataModule file(path);
    ASSERT_NE(file.module, nullptr) << GetLastError();
    HRSRC groupInfo = FindResourceA(file.module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(groupInfo, nullptr);
    auto* group = static_cast<BYTE*>(LockResource(LoadResource(file.module, groupInfo)));
    ASSERT_NE(group, nullptr);
    for (auto [size, bytes] : images) {
        SCOPED_TRACE(size);
        HICON icon = static_cast<HICON>(LoadImageA(file.module, MAKEINTRESOURCEA(1), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        DestroyIcon(icon);
        // The image the system picks for this size is the .ico's own, byte for byte in size.
        const int id = LookupIconIdFromDirectoryEx(group, TRUE, size, size, 0);
        HRSRC image = FindResourceA(file.module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3));  // RT_ICON
        ASSERT_NE(image, nullptr) << id;
        EXPECT_EQ(SizeofResource(file.module, image), bytes);
    }
}

TEST(BrandedE2E, ManifestAsksForTheGivenExecutionLevel) {
    DataModule file(Made("branded.exe"));
    ASSERT_NE(file.module, nullptr) << GetLastError();
    HRSRC found = FindResourceA(file.module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(file.module, found)));
    const std::string manifest(text, SizeofResource(file.module, found));
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"), std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos) << "the rest kept";
}

TEST(BrandedE2E, ExtractsEveryFileByteForByte) {
    ScratchFolder folder;
    Process process;
    HWND window = Start(process, folder, "branded.exe", "K4 branded test");
    ASSERT_NE(window, nullptr) << "no main window; exit code " << process.ExitCode();
    const std::string target = folder / "out";
    EXPECT_EQ(ExtractThroughWindow(process, window, target), "Ok Files have been extracted as \"" + target + "\\\"");
    ASSERT_TRUE(process.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process.ExitCode(), 0u);
    EXPECT_EQ(FirstDifferentFile(Backslashed(branded_paths::Input), target, kMembers), "");
}

TEST(BrandedE2E, AboutWindowShowsTheBuildLineOfTheNewVersion) {
    ScratchFolder folder;
    Process process;
    HWND window = Start(process, folder, "about.exe", "K4 branded about");
    ASSERT_NE(window, nullptr) << "no main window; exit code " << process.ExitCode();
    PostMessageA(GetDlgItem(window, extract_ids::AbBtn), BM_CLICK, 0, 0);
    HWND about = FindProcessWindow(process, nullptr, "About Vemra Selfextractor");
    ASSERT_NE(about, nullptr);
    ASSERT_TRUE(process.WaitForIdle(DefaultTimeoutMs));
    EXPECT_EQ(probe::Text(probe::ById(about, about_ids::Version)), "Build: 7.8.9.10");
    PostMessageA(probe::ById(about, about_ids::OKButton), BM_CLICK, 0, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(process.WaitForExit(DefaultTimeoutMs));
}
