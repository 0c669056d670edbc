// Rules for the names stored in the cabinet: only names the extractor can create safely,
// inside its target directory and within its 255-character path limit, are packed.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace k4pack {

// The extractor joins target directory and name into a path of at most 255 characters.
inline constexpr std::size_t kMaxExtractPath = 255;
// A cabinet counts its files in 16 bits.
inline constexpr std::size_t kMaxCabinetFiles = 65535;

enum class NameBytes {
    // Names from this machine's file system arrive as UTF-8, which the extractor would
    // misread in the Windows code page: only plain ASCII is packed faithfully.
    AsciiOnly,
    // Names of a cabinet taken as is: their code page is the cabinet author's choice.
    AnyByte,
};

// The directory the extractor puts in front of every name, from text 1 of the payload:
// its built-in default "C:\Buf\" when the text is empty, otherwise the text with exactly
// one trailing backslash ("\" alone stands for the current directory: no prefix).
std::string ExtractPrefix(std::string_view targetDirectory);

// Why the extractor could not create `name` (backslash-separated, relative) safely, or an
// empty text when it can: absolute or drive-qualified names, "." and ".." components, empty
// components, characters Windows refuses or reads as separators, components Windows would
// silently rename (trailing dot or space), reserved device names.
std::string NameProblem(std::string_view name, NameBytes bytes);

// Checks every name, their number, the path length against `targetDirectory`, and that no
// two names meet on Windows (same name in another letter case, or a file where another name
// needs a folder). Throws PackError naming the first offending name.
void CheckArchiveNames(const std::vector<std::string>& names, std::string_view targetDirectory,
                       NameBytes bytes);

}  // namespace k4pack
