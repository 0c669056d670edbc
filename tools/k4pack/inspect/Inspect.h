// Reading a built self-extractor back: its three texts, where its cabinet lies and what the
// cabinet holds.
#pragma once
#include <ostream>
#include <string>

#include "FileIo.h"
#include "pack/PayloadLayout.h"

namespace k4pack {

// Prints the report for the self-extractor at `path` to `out`. Throws InvalidPayload when the
// file carries no payload the extractor would accept, PackError when it cannot be read.
void Inspect(const std::string& path, std::ostream& out);

// The same report as JSON (field names in tools/k4pack/README.md).
void InspectJson(const std::string& path, std::ostream& out);

// The payload as the extractor would read it, with its cabinet's header checked and the
// cabinet checked as the extractor checks it. Throws InvalidPayload naming the file when
// there is none, or when the extractor would refuse its cabinet.
PayloadContents ReadValidPayload(const ReadableFile& file);

}  // namespace k4pack
