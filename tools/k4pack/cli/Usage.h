// The texts k4pack prints about itself: the usage (--help) and the version with the
// extractor programs it carries (--version).
#pragma once
#include <ostream>

namespace k4pack {

void PrintUsage(std::ostream& out);
void PrintVersion(std::ostream& out);

}  // namespace k4pack
