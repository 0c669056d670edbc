// Setting the payload reader's test seam: only tests do, so that the extractor
// program, which never calls it, does not carry it.
#include "K4Payload.h"

void SetPayloadFileForTests(const std::string& path) { payload_seams::payloadFile = path; }
