// The payload behind the program's last byte: three texts and a cabinet, closed by a
// 4-byte trailer holding the block's length. In a signed program the certificate
// table follows the trailer, and the payload ends in front of it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Reads the payload into the settings and writes the cabinet after the third text
// (as long as its header says, never the padding or the trailer behind it) to
// DataFileName in the current directory, or where that folder cannot take it, in a
// folder of its own under the temporary folder (K4CabinetPlace.h). 0 when the cabinet
// is in place; otherwise the refusal, whose message PayloadRefusalText gives: a
// payload that is missing, a cabinet that does not match the sum record behind it
// (DamagedArchiveError), a cabinet that no folder takes (NoPlaceForCabinet).
std::int32_t ReadPayload();
// ReadPayload over the named file (ReadPayload passes OwnModulePath()).
std::int32_t ReadPayloadFrom(const std::string& exePath);

// The message of a refusal of ReadPayload: "Sorry Cannot Find Data" for a payload
// that is missing, never for a cabinet that does not match its sum, nor for folders
// that cannot be written.
std::string_view PayloadRefusalText(std::int32_t err);
