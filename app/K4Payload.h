// The payload behind the program's last byte: three texts and a cabinet, closed by a
// 4-byte trailer holding the block's length. In a signed program the certificate
// table follows the trailer, and the payload ends in front of it.
#pragma once
#include <string>
#include "ShortString.h"

// Works out directory and file name of the running program from its command line.
void LocateOwnExecutable(ShortString& directory, ShortString& fileName);

// Reads the payload into the settings and writes everything after the third text
// up to the trailer's end (the cabinet, any padding, the trailer) to "DATAFILE.K4A"
// in the current directory. On any failure it shows "Sorry Cannot Find Data" and ends
// the program. Returns true.
bool ReadPayload();

// The parts of the two routines above, for a given command line and a given file.
// Directory and name from a command line: upper case, quotes and trailing
// arguments dropped, the name always ending in ".EXE".
void ParseOwnCommandLine(const ShortString& commandLine, ShortString& directory, ShortString& fileName);
// The full path of the running program's own file; empty if the system gives none.
std::string OwnModulePath();
// ReadPayload over the named file (ReadPayload passes OwnModulePath()).
bool ReadPayloadFrom(const std::string& exePath);
