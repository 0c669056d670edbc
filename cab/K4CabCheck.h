// The extraction pass's check of the whole cabinet before its first file is created:
// the system library decodes damaged blocks without a word (or crashes on them).
#pragma once
#include "K4CabFormat.h"
#include "K4CabinetFile.h"
#include "ShortString.h"

// The cabinet as `decoding` holds it, checked against its format (structure, every
// block's checksum, every compressed block decoded, the members' names as names
// shown in the system code page and compared as the file system compares them). A
// name is judged by itself, not by the length it reaches below the target: the
// extraction creates paths of any length.
cabfmt::Result CheckCabinet(CabinetDecoding& decoding);

// A checked member's name as messages show it.
ShortString ShownMemberName(const cabfmt::Member& m);
