// The payload reader's test seam: the file ReadPayload reads instead of the running
// program's own, which lets a test create the real window over a payload it made.
// Read by ReadPayload (K4Payload.cpp); only tests set it, through K4PayloadSeams.cpp,
// which the extractor program never links.
#pragma once
#include <string>

// Makes ReadPayload read `path` (empty: the program's own file again).
void SetPayloadFileForTests(const std::string& path);

namespace payload_seams {
extern std::string payloadFile;  // empty: the running program's own file
}  // namespace payload_seams
