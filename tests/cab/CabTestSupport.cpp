// Shared pieces of the cabinet engine tests.
#include "CabTestSupport.h"
#include "K4Paths.h"
#include "K4TextEncoding.h"
#include <windows.h>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include "K4CabNames.h"
#include "UniqueHandle.h"

std::vector<std::int32_t> ReportedProgress;

std::string DataPath(const std::string& relative) { return std::string(K4_CAB_DATA) + "\\" + relative; }

ScratchDir::ScratchDir() {
    static int counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "k4cab-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    RemoveTree(WideFromCodePage(path_, CP_ACP));
    if (!CreateDirectoryA(path_.c_str(), nullptr)) throw std::runtime_error("cannot create " + path_);
    path_ += '\\';
}

ScratchDir::~ScratchDir() { RemoveTree(WideFromCodePage(path_.substr(0, path_.size() - 1), CP_ACP)); }

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

bool FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadAll(const std::string& path) {
    UniqueFile f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) throw std::runtime_error("cannot read " + path);
    std::string bytes;
    char block[65536];
    DWORD n = 0;
    while (ReadFile(f.Get(), block, sizeof block, &n, nullptr) && n > 0) bytes.append(block, n);
    return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    UniqueFile f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD n = 0;
    if (!f || !WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) || n != bytes.size())
        throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
void RecordProgress(std::int32_t percent) { ReportedProgress.push_back(percent); }
}

void RunPass(bool listing, const std::string& cabinet, const std::string& target, ListLines* list) {
    ListingPass = listing;
    TargetListBox = list;
    ProgressHandler = RecordProgress;
    ReportedProgress.clear();
    ClearCabError();
    auto pass = std::make_unique<TDecompr>();
    pass->Open(ShortString(cabinet), ShortString(target));
    pass->Run();
    pass->Close();
    pass.reset();
}

namespace {
void Put16(std::string& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::size_t at, std::uint32_t v) {
    Put16(out, at, v & 0xFFFF);
    Put16(out, at + 2, v >> 16);
}
void Append16(std::string& out, std::uint32_t v) {
    out.append(2, '\0');
    Put16(out, out.size() - 2, v);
}
void Append32(std::string& out, std::uint32_t v) {
    out.append(4, '\0');
    Put32(out, out.size() - 4, v);
}
}  // namespace

std::string BuildCabinet(const std::vector<CabMember>& members, std::uint16_t setId) {
    std::string data;
    for (const CabMember& m : members) data += m.data;
    const std::size_t blockSize = 32768;
    const std::size_t blocks = (data.size() + blockSize - 1) / blockSize;

    std::string files;
    std::uint32_t offset = 0;
    for (const CabMember& m : members) {
        Append32(files, m.claimedSize >= 0 ? static_cast<std::uint32_t>(m.claimedSize) : static_cast<std::uint32_t>(m.data.size()));
        Append32(files, offset);
        Append16(files, 0);   // folder 0
        Append16(files, m.date);
        Append16(files, m.time);
        Append16(files, m.attribs);
        files += m.name;
        files += '\0';
        offset += static_cast<std::uint32_t>(m.data.size());
    }
    const std::uint32_t headerSize = 36, folderSize = 8;
    const std::uint32_t dataStart = headerSize + folderSize + static_cast<std::uint32_t>(files.size());

    std::string cab(headerSize, '\0');
    cab.replace(0, 4, "MSCF");
    Put32(cab, 16, headerSize + folderSize);   // first file entry
    cab[24] = 3;                              // format 1.3
    cab[25] = 1;
    Put16(cab, 26, 1);
    Put16(cab, 28, static_cast<std::uint32_t>(members.size()));
    Put16(cab, 32, setId);
    Append32(cab, dataStart);
    Append16(cab, static_cast<std::uint32_t>(blocks));
    Append16(cab, 0);   // no compression
    cab += files;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::string chunk = data.substr(b * blockSize, blockSize);
        Append32(cab, 0);   // no checksum
        Append16(cab, static_cast<std::uint32_t>(chunk.size()));
        Append16(cab, static_cast<std::uint32_t>(chunk.size()));
        cab += chunk;
    }
    Put32(cab, 8, static_cast<std::uint32_t>(cab.size()));
    return cab;
}

void PatchSetId(std::string& cabinet, std::uint16_t setId) { Put16(cabinet, 32, setId); }
