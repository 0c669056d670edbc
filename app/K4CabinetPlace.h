// Where the temporary cabinet goes: "DATAFILE.K4A" in the current directory, as
// always, wherever it can be written there whole; otherwise in a folder of the
// program's own under the user's temporary folder, which goes with its file when the
// program ends.
#pragma once
#include <cstdint>
#include "K4BlockFile.h"
#include "K4CabinetSum.h"
#include "ShortString.h"

// The error code PlaceCabinet returns when neither folder takes the cabinet; the
// message that says so is PlacementFailureText().
inline constexpr std::int32_t NoPlaceForCabinet = 0x20000001;

// Copies the cabinet that begins at the file's position (at most `available` bytes)
// to DataFileName in the current directory, or, where that cannot be created or
// written whole (no room), to a fresh folder under the temporary folder, and then
// sets DataFileName to its full path. 0, the error of a payload that cannot be
// read (whatever the place), or NoPlaceForCabinet. `sum`, where the payload carries
// one, is checked as the cabinet is copied (CopyCabinet).
std::int32_t PlaceCabinet(BlockFile& in, std::int64_t available, const cabsum::Record* sum = nullptr);

// Both folders and the system's reason for each, after NoPlaceForCabinet.
const ShortString& PlacementFailureText();

// The folder under the temporary folder that holds the cabinet; empty when the
// cabinet is in the current directory or nowhere.
const ShortString& TemporaryCabinetFolder();

// Deletes the temporary folder and the cabinet in it, if there is one (once; later
// calls do nothing). Runs by itself when the program ends normally; call it before
// ending the program at once.
void RemoveTemporaryCabinet();
