// The system layer on POSIX: stat(2), std::filesystem for folders, mkdtemp(3),
// localtime_r(3), isatty(3).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "FileIo.h"
#include "PackError.h"
#include "Platform.h"

namespace k4pack::platform {
namespace fs = std::filesystem;

std::optional<FileFacts> Describe(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw PackError(SystemErrorText(path));
    }
    FileFacts facts;
    facts.kind = S_ISREG(info.st_mode) ? Kind::File : S_ISDIR(info.st_mode) ? Kind::Folder : Kind::Other;
    facts.size = static_cast<std::uint64_t>(info.st_size);
    facts.modified = info.st_mtime;
    facts.identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return facts;
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    try {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            const Kind kind = entry.is_directory() ? Kind::Folder : entry.is_regular_file() ? Kind::File : Kind::Other;
            entries.push_back({entry.path().filename().string(), kind, entry.is_symlink()});
        }
    } catch (const fs::filesystem_error& e) {
        throw PackError(e.path1().string() + ": " + e.code().message());
    }
    return entries;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / name).string();
}

std::string LastPart(const std::string& path) { return fs::path(path).filename().string(); }

std::string TemporaryDirectory() { return fs::temp_directory_path().string(); }

void MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0) throw PackError(SystemErrorText(path));
}

std::string MakeUniqueFolder(const std::string& besidePath, const std::string& prefix) {
    fs::path parent = fs::path(besidePath).parent_path();
    if (parent.empty()) parent = ".";
    const std::string pattern = (parent / (prefix + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr)
        throw PackError("cannot make a temporary folder: " + SystemErrorText(parent.string()));
    return buffer.data();
}

void RemoveFile(const std::string& path) noexcept { std::remove(path.c_str()); }

void RemoveTree(const std::string& path) noexcept {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::optional<std::tm> LocalTime(std::time_t when) {
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return std::nullopt;
    return local;
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace k4pack::platform
