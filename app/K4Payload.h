// The payload behind the program's last byte: three texts and a cabinet, closed by a
// 4-byte trailer holding the block's length. In a signed program the certificate
// table follows the trailer, and the payload ends in front of it.
#pragma once
#include <cstdint>
#include <string>
#include "K4BlockFile.h"
#include "K4CabinetSum.h"
#include "ShortString.h"

// Works out directory and file name of the running program from its command line.
void LocateOwnExecutable(ShortString& directory, ShortString& fileName);

// Reads the payload into the settings and writes the cabinet after the third text
// (as long as its header says, never the padding or the trailer behind it) to
// DataFileName in the current directory, or where that folder cannot take it, in a
// folder of its own under the temporary folder (K4CabinetPlace.h). A payload that is
// missing shows "Sorry Cannot Find Data", a cabinet that does not match the sum record
// behind it is said to be damaged, a cabinet that no folder takes gets a message naming
// both folders; each ends the program. Returns true.
bool ReadPayload();

// The parts of the two routines above, for a given command line and a given file.
// Directory and name from a command line: upper case, quotes and trailing
// arguments dropped, the name always ending in ".EXE".
void ParseOwnCommandLine(const ShortString& commandLine, ShortString& directory, ShortString& fileName);
// ReadPayload over the named file (ReadPayload passes OwnModulePath()).
bool ReadPayloadFrom(const std::string& exePath);
// Copies the cabinet that begins at the file's position, at most `available` bytes,
// into a new file at outPath (replacing one of that name); 0 or the error. A copy
// that fails part way leaves no file. With `sum`, the cabinet (as long as its header
// states, within `available`) must be as long as the sum says and have its CRC-32;
// others are DamagedArchiveError, and leave no file either.
std::int32_t CopyCabinet(BlockFile& in, std::int64_t available, const char* outPath, const cabsum::Record* sum = nullptr);
// A cabinet that does not match its sum record (ERROR_CRC, the system's "data error").
inline constexpr std::int32_t DamagedArchiveError = 23;
