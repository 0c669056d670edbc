// Building a self-extractor: extractor program + payload block + trailer, written under a
// temporary name beside the output and renamed into place only when everything succeeded.
#pragma once
#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Branding.h"
#include "Bytes.h"
#include "cabinet/Cabinet.h"
#include "EmbeddedStubs.h"
#include "PayloadLayout.h"
#include "pack/RunCommand.h"

namespace k4pack {

struct PackRequest {
    std::string outputPath;
    std::string stubPath;             // empty: the carried extractor program for `arch`
    StubArch arch = StubArch::I686;
    PayloadTexts texts;
    std::vector<std::string> inputs;  // files and folders to pack, or
    std::string cabinetPath;          // an existing cabinet taken as is
    Compression compression = Compression::Mszip;
    // Threads that compress; 0: one per core. The cabinet is the same for any number.
    unsigned threads = 0;
    // Times later than this are stored as this (SOURCE_DATE_EPOCH).
    std::optional<std::time_t> sourceDateEpoch;
    // Where the progress line goes (a terminal), or null for none.
    std::ostream* progress = nullptr;
    // The publisher's icon, version information and execution level; none: the program as is.
    Branding branding;
    // The command the archive starts after extracting (--run), its program as given; none:
    // an archive that only extracts, without a run record.
    std::optional<RunCommand> run;
};

struct PackSummary {
    std::size_t files = 0;
    std::uint64_t cabinetSize = 0;
    std::uint64_t fileSize = 0;
    std::vector<std::string> leftOut;  // files inside an input folder that are the output
};

// Checks everything that can be checked before writing (texts, stub, inputs and their
// names, sizes, the command's program), then writes. Throws PackError; the output file is
// then left untouched. Throws UsageError when the output is one of the input files, the
// cabinet or the stub, and when the command's program is not a member of the archive.
PackSummary Pack(const PackRequest& request);

// Throws PackError unless `file` starts like a PE image, as the shared PE reading finds it
// (peimage::PeHeaderOffset): "MZ", and e_lfanew pointing inside the file at "PE\0\0" and
// the file header.
void CheckPortableExecutable(const ByteSource& file);

}  // namespace k4pack
