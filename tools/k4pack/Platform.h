// The packer's one view of the operating system besides the file owners of FileIo.h:
// what a path names, the entries of a folder, folders made and removed, local time and
// the console. Every path is a UTF-8 std::string; PlatformPosix.cpp and
// PlatformWindows.cpp implement this, the build takes the one for its system.
#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace k4pack {

// Which file a path names, so that two names of one file compare equal: device and inode
// on POSIX, volume serial number and file index on Windows.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

namespace platform {

enum class Kind { File, Folder, Other };

// What a path names, symbolic links followed.
struct FileFacts {
    Kind kind = Kind::Other;
    std::uint64_t size = 0;
    std::time_t modified = 0;  // last write, seconds since 1970 (UTC)
    FileIdentity identity;
};

// The facts of `path`, or nothing when it does not exist (nor the folder it would be in).
// Throws PackError ("path: reason") when the system cannot tell.
std::optional<FileFacts> Describe(const std::string& path);

// One entry of a folder. A link is a symbolic link (on Windows a reparse point that names
// another place, a junction too), `kind` what it leads to (a folder link, as the walk must
// know, is Folder).
struct FolderEntry {
    std::string name;  // UTF-8
    Kind kind = Kind::Other;
    bool link = false;
};

// The entries of `folder` but "." and "..", in no particular order. Throws PackError for a
// folder that cannot be read and for a name that has no UTF-8 form.
std::vector<FolderEntry> ListFolder(const std::string& folder);

// `name` inside `folder`, with this system's separator.
std::string JoinPath(const std::string& folder, const std::string& name);
// The last part of `path` (after the last separator, or a drive on Windows).
std::string LastPart(const std::string& path);

// The user's folder for temporary files.
std::string TemporaryDirectory();
// Makes the folder `path` (its parent exists); throws PackError when it cannot.
void MakeFolder(const std::string& path);
// A new folder `prefix` followed by six characters beside `besidePath`, on the same
// volume, readable by the user only where the system has such rights; its path.
std::string MakeUniqueFolder(const std::string& besidePath, const std::string& prefix);
// Removes a file, or a folder with everything in it, as far as it can; never throws.
void RemoveFile(const std::string& path) noexcept;
void RemoveTree(const std::string& path) noexcept;

// `when` as local time, in the zone the system's C library gives (TZ honoured); nothing
// when that library cannot express it.
std::optional<std::tm> LocalTime(std::time_t when);

// Whether standard error is a terminal (a console on Windows).
bool StandardErrorIsTerminal();

}  // namespace platform
}  // namespace k4pack
