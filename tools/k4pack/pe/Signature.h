// The Authenticode certificate table of a PE file, and the file's machine. Signing appends
// the table behind everything else in the file, so a signed self-extractor's payload ends in
// front of it; the extractor finds it by the same shared code (format/K4PeImage.h).
#pragma once
#include <cstdint>
#include <optional>

#include "Bytes.h"
#include "K4PeImage.h"

namespace k4pack {

using CertificateTable = peimage::CertificateTable;

// The security directory entry as the PE headers give it (offset and size, either may be 0),
// or nothing when the headers are not consistent: no "MZ", a PE header or optional header
// beyond the end, an optional header of unknown kind or too short to hold the entry.
std::optional<CertificateTable> ReadSecurityDirectory(const ByteSource& file);

// The certificate table behind everything else in the file: named by the security entry,
// starting after the headers, ending exactly at the end of the file, its first certificate
// inside it. Anything else, also any inconsistency in the headers, counts as unsigned.
std::optional<CertificateTable> FindCertificateTable(const ByteSource& file);

// IMAGE_FILE_HEADER.Machine of a PE file, or nothing when there is no "MZ" or no "PE\0\0"
// where offset 0x3C points.
std::optional<std::uint16_t> ReadPeMachine(const ByteSource& file);

// "i686" (IMAGE_FILE_MACHINE_I386), "x86_64" (IMAGE_FILE_MACHINE_AMD64) or "unknown".
const char* PeMachineName(std::optional<std::uint16_t> machine);

}  // namespace k4pack
