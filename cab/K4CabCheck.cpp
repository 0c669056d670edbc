// The extraction pass's check of the whole cabinet before its first file is created:
// the system library decodes damaged blocks without a word (or crashes on them).
#include "K4CabinetFile.h"
#include "K4CabNames.h"
#include "K4TextEncoding.h"
#include "K4CabWork.h"
#include "K4Error.h"

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

std::size_t Room(std::size_t used) { return used < ShortString::MaxLength ? ShortString::MaxLength - used : 0; }

}  // namespace

bool TDecompr::CheckCabinet() {
    account_.Reset({});
    // Decoded ahead in the window's idle time, or here from the start.
    if (!decoding_) {
        ownDecoding_ = std::make_unique<CabinetDecoding>(CabinetPath.CStr().text);
        if (!ownDecoding_->Opened()) {
            ownDecoding_.reset();
            throw K4FileError(StreamFailureText(ModeReadShared, CabinetPath.View()).Str());
        }
        decoding_ = ownDecoding_.get();
    }
    cabfmt::Options options;
    // What a target path may hold beyond the target folder, in the units each
    // kind of name is created in.
    options.maxNameLength = Room(TargetDir.Length());
    options.maxUtfNameLength = Room(wideTargetDir_.size());
    options.showName = ShowStoredName;
    options.foldName = FoldStoredName;
    cabfmt::Result result = decoding_->Check(options);
    if (!result.Sound()) {
        ReleaseDecoding();
        RecordCabFailure(-1, ShortString(result.text));
        return false;
    }
    account_.Reset(std::move(result.members));
    return true;
}

void TDecompr::ReleaseDecoding() {
    ownDecoding_.reset();
    decoding_ = nullptr;
}

ShortString TDecompr::FirstUnwrittenMember() const {
    const cabfmt::Member* m = account_.FirstUnwritten();
    return m ? ShortString(ShowStoredName(m->name, m->Utf())) : ShortString();
}
