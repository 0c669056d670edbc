// The packer's options for the program's icon, version information and execution level.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "pack/Branding.h"

namespace k4pack {

// The long names of the branding options, all taking a value.
const std::vector<std::string>& BrandingOptionNames();

// The branding the options ask for (none of them: nothing changes). Throws UsageError naming
// the option for an icon file that cannot be read or is not one, a version that is not
// a.b.c.d, a text that is not UTF-8 or longer than 255 characters, an unknown level.
Branding BrandingFromOptions(const std::map<std::string, std::string>& options);

}  // namespace k4pack
