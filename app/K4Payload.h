// The payload behind the program's last byte: three texts and a cabinet, closed by a
// 4-byte trailer holding the block's length.
#pragma once
#include "ShortString.h"

// Works out directory and file name of the running program from its command line.
void LocateOwnExecutable(ShortString& directory, ShortString& fileName);

// Reads the payload into the settings and writes the cabinet to "DATAFILE.K4A" in
// the current directory. On any failure it shows "Sorry Cannot Find Data" and ends
// the program. Returns true.
bool ReadPayload();
