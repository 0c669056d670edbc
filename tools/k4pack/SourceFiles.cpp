// Walk of the input files and folders, through the system layer (Platform.h): the same
// names and order on every system.
#include "SourceFiles.h"

#include <algorithm>

#include "PackError.h"

namespace k4pack {
namespace {

// Follows a symbolic link given on purpose; fails for anything but a regular file.
SourceFile DescribeFile(const std::string& path, std::string name, FileIdentity* identity = nullptr) {
    const std::optional<platform::FileFacts> facts = platform::Describe(path);
    if (!facts) throw PackError(path + ": no such file or folder");
    if (facts->kind != platform::Kind::File) throw PackError(path + ": not a regular file or folder");
    if (identity) *identity = facts->identity;
    return SourceFile{path, std::move(name), facts->size, facts->modified};
}

// A part of a name inside the cabinet; `shown` is where it was found, for the message.
const std::string& CabinetPart(const std::string& part, const std::string& shown) {
    if (part.find('\\') != std::string::npos)
        throw PackError("\"" + shown + "\": a backslash in a name would become a folder separator");
    return part;
}

struct LeaveOut {
    const std::optional<FileIdentity>& identity;
    std::vector<std::string>& paths;
};

// Everything below `folder`, named `prefix` + its path relative to the folder; `relative`
// is that path in the system's own form, for messages.
void CollectFolder(const std::string& folder, const std::string& prefix, const std::string& relative,
                   std::vector<SourceFile>& out, const LeaveOut& leave) {
    for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
        const std::string path = platform::JoinPath(folder, entry.name);
        const std::string shown = relative.empty() ? entry.name : platform::JoinPath(relative, entry.name);
        const std::string name = prefix + CabinetPart(entry.name, shown);
        if (entry.kind == platform::Kind::Folder) {
            if (entry.link) throw PackError(path + ": symbolic link to a folder; name the folder itself instead");
            CollectFolder(path, name + "\\", shown, out, leave);
            continue;
        }
        FileIdentity identity;
        SourceFile file = DescribeFile(path, name, &identity);
        if (leave.identity && identity == *leave.identity)
            leave.paths.push_back(file.path);
        else
            out.push_back(std::move(file));
    }
}

}  // namespace

std::vector<SourceFile> CollectSourceFiles(const std::vector<std::string>& inputs) {
    std::vector<std::string> leftOut;
    return CollectSourceFiles(inputs, std::nullopt, leftOut);
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    try {
        const std::optional<platform::FileFacts> facts = platform::Describe(path);
        if (facts) return facts->identity;
    } catch (const PackError&) {  // a path the system cannot tell about names no file here
    }
    return std::nullopt;
}

std::vector<SourceFile> CollectSourceFiles(const std::vector<std::string>& inputs,
                                           const std::optional<FileIdentity>& leaveOut,
                                           std::vector<std::string>& leftOut) {
    const LeaveOut leave{leaveOut, leftOut};
    std::vector<SourceFile> files;
    for (const std::string& input : inputs) {
        const std::optional<platform::FileFacts> facts = platform::Describe(input);
        if (!facts) throw PackError(input + ": no such file or folder");
        if (facts->kind == platform::Kind::Folder) {
            CollectFolder(input, "", "", files, leave);
        } else {
            const std::string part = platform::LastPart(input);
            files.push_back(DescribeFile(input, CabinetPart(part, part)));
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
