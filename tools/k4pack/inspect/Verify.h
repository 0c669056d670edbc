// The verify command: a built self-extractor read as the extractor reads it, its cabinet
// checked by the extractor's own format check, every member decompressed by the shared reader, and
// optionally everything compared with the files it was packed from.
#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace k4pack {

struct VerifyRequest {
    std::string path;                   // the self-extractor
    std::vector<std::string> sources;   // files and folders as given to the packer; may be empty
    std::optional<std::time_t> sourceDateEpoch;  // applied to the sources' times as packing does
};

struct VerifyReport {
    std::vector<std::string> faults;  // one line each, without a prefix; empty when all holds
    std::size_t members = 0;          // members decompressed
    std::uint64_t bytes = 0;          // their bytes
};

// Never throws for a fault of the file or the sources: each becomes a line of the report.
// Throws PackError only when the work itself cannot be done (no temporary folder).
VerifyReport Verify(const VerifyRequest& request);

}  // namespace k4pack
