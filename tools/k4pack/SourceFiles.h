// Turns the command line's files and folders into the list of files to pack, each with its
// name inside the cabinet (backslash-separated), size and modification time.
#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "Platform.h"

namespace k4pack {

struct SourceFile {
    std::string path;  // where the file is read from
    std::string name;  // name inside the cabinet
    std::uint64_t size = 0;
    std::time_t modified = 0;
};

// A file input contributes its own name; a folder input contributes every file below it,
// named relative to the folder (the folder's own name is not part of it). Empty folders
// cannot be stored in a cabinet and are left out. Throws PackError for a missing input, a
// symbolic link to a folder inside a folder input (never followed: loops), anything that is
// neither file nor folder, and a name part containing a backslash (it would become a folder
// separator). The result is sorted by name (its UTF-8 bytes, whatever the system's own
// order of the folder's entries).
std::vector<SourceFile> CollectSourceFiles(const std::vector<std::string>& inputs);

// The file's identity (symbolic links followed), or nothing when it does not exist.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// As above, except that a file found inside a folder input that is `leaveOut` (the output
// file, written there by an earlier run) is not collected; its path is added to `leftOut`.
std::vector<SourceFile> CollectSourceFiles(const std::vector<std::string>& inputs,
                                           const std::optional<FileIdentity>& leaveOut,
                                           std::vector<std::string>& leftOut);

// Reproducible builds: every modification time later than `epoch` becomes `epoch`, as other
// tools do with SOURCE_DATE_EPOCH; earlier times stay.
void ClampTimes(std::vector<SourceFile>& files, std::time_t epoch);

// The value of SOURCE_DATE_EPOCH given as `text` (null: not set): nothing when unset or
// empty, otherwise seconds since 1970 as decimal digits. Throws PackError for anything else.
std::optional<std::time_t> ParseSourceDateEpoch(const char* text);

}  // namespace k4pack
