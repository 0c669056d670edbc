// The engine's work on a member that needs no engine object: its line in a listing,
// and the refusal of a member that goes on in another cabinet.
#pragma once
#include "k4cabstructs.h"

// The listing pass's work on a member: its line appended to TargetListBox and its
// size to ListedByteTotal; returns 0, so the library skips it.
INT_PTR ListMember(const FDINOTIFICATION& note);
// A member that goes on in a next cabinet: refused by name (returns -1). The archive
// carries exactly one cabinet, and the library would open a file named inside it.
INT_PTR RefuseNextCabinet(const FDINOTIFICATION& note);
