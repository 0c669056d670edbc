// The comparison of decompressed cabinet members with the files they were packed from:
// names, sizes, stored times and bytes, one fault line per difference.
#pragma once
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cabinet/Cabinet.h"
#include "SourceFiles.h"

namespace k4pack {

class SourceComparison {
public:
    // `inputs` are collected as the packer collects them; their times clamped like packing
    // does when `sourceDateEpoch` is set. Throws PackError when they cannot be collected.
    // The file `leaveOut` (the archive itself, inside an input folder) is no source.
    SourceComparison(const std::vector<std::string>& inputs,
                     std::optional<std::time_t> sourceDateEpoch,
                     const std::optional<FileIdentity>& leaveOut = std::nullopt);

    // Compares one member, decompressed into `file`, with its source; adds fault lines.
    void Compare(const CabinetEntry& entry, const std::string& file, std::vector<std::string>& faults);
    // Adds a line for every source that no member matched.
    void ReportUnmatched(std::vector<std::string>& faults) const;

private:
    std::map<std::string, SourceFile> sources_;
    std::map<std::string, bool> matched_;
};

// The first byte at which the two files differ, or nothing when they are equal; files of
// different length differ at the end of the shorter one. Throws PackError when one cannot
// be read.
std::optional<std::uint64_t> FirstDifference(const std::string& a, const std::string& b);

}  // namespace k4pack
