// A member's listing line, and the refusal of a member continued in another cabinet.
#include "K4CabMembers.h"
#include "K4CabNames.h"
#include "K4CabState.h"

INT_PTR ListMember(const FDINOTIFICATION& note) {
    const ShortString line = ListingLine(MemberDisplayName(note.psz1, note.attribs), note.cb);
    if (TargetListBox) TargetListBox->AddLine(line);
    ListedByteTotal = static_cast<std::int32_t>(static_cast<std::uint32_t>(ListedByteTotal) +
                                                static_cast<std::uint32_t>(note.cb));
    return 0;   // skip the member: a listing decompresses nothing
}

INT_PTR RefuseNextCabinet(const FDINOTIFICATION& note) {
    RecordCabFailure(-1, ShortString("Cabinet continues in another cabinet \"") + ShortString(note.psz1) + "\"");
    return -1;
}
