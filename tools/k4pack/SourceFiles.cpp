// Walk of the input files and folders.
#include "SourceFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "FileIo.h"
#include "PackError.h"

namespace k4pack {
namespace fs = std::filesystem;
namespace {

// Follows a symbolic link given on purpose; fails for anything but a regular file.
SourceFile DescribeFile(const fs::path& path, std::string name, FileIdentity* identity = nullptr) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) throw PackError(SystemErrorText(path.string()));
    if (!S_ISREG(info.st_mode)) throw PackError(path.string() + ": not a regular file or folder");
    if (identity) *identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return SourceFile{path.string(), std::move(name), static_cast<std::uint64_t>(info.st_size),
                      info.st_mtime};
}

std::string CabinetName(const fs::path& relative) {
    std::string name;
    for (const fs::path& part : relative) {
        const std::string text = part.string();
        if (text.find('\\') != std::string::npos)
            throw PackError("\"" + relative.string() +
                            "\": a backslash in a name would become a folder separator");
        if (!name.empty()) name += '\\';
        name += text;
    }
    return name;
}

struct LeaveOut {
    const std::optional<FileIdentity>& identity;
    std::vector<std::string>& paths;
};

void CollectFolder(const fs::path& folder, std::vector<SourceFile>& out, const LeaveOut& leave) {
    try {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
            const fs::path relative = entry.path().lexically_relative(folder);
            if (entry.is_symlink() && entry.is_directory())
                throw PackError(entry.path().string() +
                                ": symbolic link to a folder; name the folder itself instead");
            if (entry.is_directory()) continue;
            FileIdentity identity;
            SourceFile file = DescribeFile(entry.path(), CabinetName(relative), &identity);
            if (leave.identity && identity == *leave.identity)
                leave.paths.push_back(file.path);
            else
                out.push_back(std::move(file));
        }
    } catch (const fs::filesystem_error& e) {
        throw PackError(e.path1().string() + ": " + e.code().message());
    }
}

}  // namespace

std::vector<SourceFile> CollectSourceFiles(const std::vector<std::string>& inputs) {
    std::vector<std::string> leftOut;
    return CollectSourceFiles(inputs, std::nullopt, leftOut);
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::vector<SourceFile> CollectSourceFiles(const std::vector<std::string>& inputs,
                                           const std::optional<FileIdentity>& leaveOut,
                                           std::vector<std::string>& leftOut) {
    const LeaveOut leave{leaveOut, leftOut};
    std::vector<SourceFile> files;
    for (const std::string& input : inputs) {
        std::error_code error;
        const fs::file_status status = fs::status(input, error);
        if (error && error != std::errc::no_such_file_or_directory)
            throw PackError(input + ": " + error.message());
        if (!fs::exists(status)) throw PackError(input + ": no such file or folder");
        if (fs::is_directory(status)) {
            CollectFolder(input, files, leave);
        } else {
            const fs::path path(input);
            files.push_back(DescribeFile(path, CabinetName(path.filename())));
        }
    }
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.name < b.name; });
    return files;
}

void ClampTimes(std::vector<SourceFile>& files, std::time_t epoch) {
    for (SourceFile& file : files)
        file.modified = std::min(file.modified, epoch);
}

std::optional<std::time_t> ParseSourceDateEpoch(const char* text) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    const std::string value(text);
    // At most 12 digits: beyond the year 33658, and far from overflowing a 64-bit time_t.
    if (value.size() > 12 || value.find_first_not_of("0123456789") != std::string::npos)
        throw PackError("SOURCE_DATE_EPOCH is \"" + value +
                        "\"; it must be a number of seconds since 1970-01-01 00:00:00 UTC");
    return static_cast<std::time_t>(std::stoll(value));
}

}  // namespace k4pack
