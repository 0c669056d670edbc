// Reading a built self-extractor back: its three texts, where its cabinet lies and what the
// cabinet holds.
#pragma once
#include <ostream>
#include <string>

namespace k4pack {

// Prints the report for the self-extractor at `path` to `out`. Throws InvalidPayload when the
// file carries no payload the extractor would accept, PackError when it cannot be read.
void Inspect(const std::string& path, std::ostream& out);

}  // namespace k4pack
