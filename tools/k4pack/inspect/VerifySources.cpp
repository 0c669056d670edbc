// Member against source file: what the packer would have stored for the file on disk now
// (name, size, DOS time in local time) set against what the cabinet holds.
#include "VerifySources.h"

#include <algorithm>
#include <vector>

#include "FileIo.h"

namespace k4pack {
namespace {

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

}  // namespace

std::optional<std::uint64_t> FirstDifference(const std::string& a, const std::string& b) {
    const ReadableFile first(a), second(b);
    const std::uint64_t common = std::min(first.Size(), second.Size());
    // 1 MiB at a time: members run up to 2 GiB.
    std::vector<std::uint8_t> x(std::min<std::uint64_t>(common, 1u << 20)), y(x.size());
    for (std::uint64_t offset = 0; offset < common;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(common - offset, x.size()));
        first.ReadAt(offset, std::span(x.data(), n));
        second.ReadAt(offset, std::span(y.data(), n));
        const auto mismatch = std::mismatch(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n), y.begin());
        if (mismatch.first != x.begin() + static_cast<std::ptrdiff_t>(n))
            return offset + static_cast<std::uint64_t>(mismatch.first - x.begin());
        offset += n;
    }
    if (first.Size() != second.Size()) return common;
    return std::nullopt;
}

SourceComparison::SourceComparison(const std::vector<std::string>& inputs,
                                   std::optional<std::time_t> sourceDateEpoch,
                                   const std::optional<FileIdentity>& leaveOut) {
    std::vector<std::string> leftOut;
    std::vector<SourceFile> files = CollectSourceFiles(inputs, leaveOut, leftOut);
    if (sourceDateEpoch) ClampTimes(files, *sourceDateEpoch);
    for (SourceFile& file : files) {
        matched_[file.name] = false;
        sources_.emplace(file.name, std::move(file));
    }
}

void SourceComparison::Compare(const CabinetEntry& entry, const std::string& file,
                               std::vector<std::string>& faults) {
    const auto found = sources_.find(entry.name);
    if (found == sources_.end()) {
        faults.push_back(Quoted(entry.name) + ": in the archive, not on disk");
        return;
    }
    matched_[entry.name] = true;
    const SourceFile& source = found->second;
    const std::string name = Quoted(entry.name);
    if (entry.size != source.size)
        faults.push_back(name + ": size " + std::to_string(entry.size) + " in the archive, " +
                         std::to_string(source.size) + " on disk");
    const std::string stored = FormatDosStamp(ToDosStamp(source.modified));
    if (entry.modified != stored)
        faults.push_back(name + ": time " + entry.modified + " in the archive, " + stored +
                         " on disk (local time, 2-second steps)");
    if (entry.size == source.size) {
        if (const auto at = FirstDifference(file, source.path))
            faults.push_back(name + ": bytes differ from the file on disk, first at offset " +
                             std::to_string(*at));
    }
}

void SourceComparison::ReportUnmatched(std::vector<std::string>& faults) const {
    for (const auto& [name, seen] : matched_)
        if (!seen) faults.push_back(Quoted(name) + ": on disk, not in the archive");
}

}  // namespace k4pack
