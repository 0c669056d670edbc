// Where the temporary cabinet goes and how it gets there: "DATAFILE.K4A" in the
// current directory, as always, wherever it can be written there whole; otherwise in
// a folder of the program's own under the user's temporary folder, which goes with its
// file when the run ends.
#pragma once
#include <cstdint>
#include "K4BlockFile.h"
#include "K4CabinetSum.h"
#include "ShortString.h"

// The error code PlaceCabinet returns when neither folder takes the cabinet; the
// message that says so is PlacementFailureText().
inline constexpr std::int32_t NoPlaceForCabinet = 0x20000001;
// A cabinet that does not match its sum record (ERROR_CRC, the system's "data error").
inline constexpr std::int32_t DamagedArchiveError = 23;

// Copies the cabinet that begins at the file's position (at most `available` bytes)
// to DataFileName in the current directory, or, where that cannot be created or
// written whole (no room; a hidden or system file of that name, which the system does
// not replace), to a fresh folder under the temporary folder, and then sets
// DataFileName to its full path. 0, the error of a payload that cannot be read
// (whatever the place), or NoPlaceForCabinet. `sum`, where the payload carries one, is
// checked as the cabinet is copied (CopyCabinet).
std::int32_t PlaceCabinet(BlockFile& in, std::int64_t available, const cabsum::Record* sum = nullptr);

// Copies the cabinet that begins at the file's position, at most `available` bytes,
// into a new file at outPath (replacing one of that name); 0 or the error. A copy
// that fails part way leaves no file. With `sum`, the cabinet (as long as its header
// states, within `available`) must be as long as the sum says and have its CRC-32;
// others are DamagedArchiveError, and leave no file either.
std::int32_t CopyCabinet(BlockFile& in, std::int64_t available, const char* outPath, const cabsum::Record* sum = nullptr);

// Both folders and the system's reason for each, after NoPlaceForCabinet.
const ShortString& PlacementFailureText();

// Deletes the temporary folder and the cabinet in it, if there is one (once; later
// calls do nothing). The cabinet must no longer be held open (ExtractionRun::End
// releases the decoding's hold first).
void RemoveTemporaryCabinet();
