// Setting the payload reader's test seam: only tests do (K4PayloadSeams.h).
#include "K4PayloadSeams.h"

void SetPayloadFileForTests(const std::string& path) { payload_seams::payloadFile = path; }
