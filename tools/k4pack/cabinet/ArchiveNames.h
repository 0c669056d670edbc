// The names the packer stores: judged by the extractor's own rules (format/, the check it
// runs on every cabinet before it extracts), with what is the packer's alone on top.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "K4CabFormat.h"

namespace k4pack {

// The extractor joins target directory and name into a path of at most 255 characters.
inline constexpr std::size_t kMaxExtractPath = 255;
// A cabinet counts its files in 16 bits.
inline constexpr std::size_t kMaxCabinetFiles = 65535;

// The directory the extractor puts in front of every name, from text 1 of the payload:
// its built-in default "C:\Buf\" when the text is empty, otherwise the text with exactly
// one trailing backslash ("\" alone stands for the current directory: no prefix).
std::string ExtractPrefix(std::string_view targetDirectory);

// The options the extractor checks names with under this target directory (text 1): a
// member's path, joined to the directory, within 255 characters.
cabfmt::Options ExtractorCheckOptions(std::string_view targetDirectory);

// Checks the names of files from this machine before a cabinet of them is written: their
// number; each plain ASCII (names from this file system arrive as UTF-8, which the
// extractor would create in the Windows code page under another name: the packer's own
// rule); each one the extractor creates (cabfmt::NameIsSafe: not absolute, no drive or
// colon, no "." or ".." part, no reserved device name, no character Windows refuses, no
// part ending in a dot or space, within the path limit under `targetDirectory`); and no
// two that meet on Windows (cabfmt::DuplicateName). Throws PackError naming the first
// offending name.
void CheckArchiveNames(const std::vector<std::string>& names, std::string_view targetDirectory);

}  // namespace k4pack
