// The extraction pass's check of the whole cabinet before its first file is created:
// the system library decodes damaged blocks without a word (or crashes on them).
#pragma once
#include "K4CabFormat.h"
#include "K4CabinetFile.h"
#include "ShortString.h"

// The cabinet as `decoding` holds it, checked against its format (structure, every
// block's checksum, every compressed block decoded, the members' names as names
// shown in the system code page and compared as the file system compares them), the
// target path a name makes (`targetLength` bytes, `wideTargetLength` UTF-16 units
// before it) at most 255 long.
cabfmt::Result CheckCabinet(CabinetDecoding& decoding, std::size_t targetLength, std::size_t wideTargetLength);

// A checked member's name as messages show it.
ShortString ShownMemberName(const cabfmt::Member& m);
