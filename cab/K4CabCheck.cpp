// The check of the whole cabinet before an extraction creates anything.
#include "K4CabCheck.h"
#include "k4cabstructs.h"
#include "K4CabNames.h"
#include "K4TextEncoding.h"

namespace {

std::string ShowStoredName(std::string_view stored, bool utf) {
    return MemberDisplayName(std::string(stored).c_str(), utf ? _A_NAME_IS_UTF : 0).Str();
}

// Letters folded as the file system compares names: upper case over the whole of
// Unicode, not only ASCII, so "É.txt" and "é.txt" are one file.
std::string FoldStoredName(std::string_view stored, bool utf) {
    std::wstring wide = WideFromCodePage(stored, utf ? CP_UTF8 : CP_ACP);
    if (!wide.empty())
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), static_cast<int>(wide.size()), wide.data(),
                     static_cast<int>(wide.size()));
    return NarrowFromWide(wide, CP_UTF8);
}

}  // namespace

cabfmt::Result CheckCabinet(CabinetDecoding& decoding) {
    cabfmt::Options options;
    options.showName = ShowStoredName;
    options.foldName = FoldStoredName;
    return decoding.Check(options);
}

ShortString ShownMemberName(const cabfmt::Member& m) { return ShortString(ShowStoredName(m.name, m.Utf())); }
