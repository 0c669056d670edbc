// The cabinet engine's module-level state, through which the window and the engine
// talk, and the recording of the engine's failures as codes and texts.
#pragma once
#include <cstdint>
#include "k4cabstructs.h"
#include "ShortString.h"

// A list of text lines that a listing pass appends to (the window's list box).
struct ListLines {
    virtual void AddLine(const ShortString& line) = 0;

protected:
    ~ListLines() = default;
};

using TProgressHandler = void (*)(std::int32_t percent);

// Engine state; one engine per process, used from the GUI thread only.
extern bool ListingPass;
extern ListLines* TargetListBox;
extern TProgressHandler ProgressHandler;
extern class TDecompr* CurrentDecompr;
extern ShortString LastErrorText;
extern std::int32_t ListedByteTotal;
extern std::int32_t LastCabinetSize;
extern std::int32_t CabSetId;
extern ERF CabError;

// The code in CabError.erfOper when an extraction was refused before it wrote
// anything because its target folder takes no new file or lacks the room
// (LastErrorText says which); when a file could not be written or put in place
// during the extraction; and when the system refused the path of a member's file or
// folder (its form, its length), which is the target's fault as much as a refusal
// before the first file.
inline constexpr std::int32_t TargetRefusedCode = -20;
inline constexpr std::int32_t TargetWriteFailedCode = -21;
inline constexpr std::int32_t TargetPathRefusedCode = -22;

// Empties LastErrorText and sets CabError.erfOper to 0 (erfType, fError untouched).
void ClearCabError();
// Records a failure of the engine: `code` in CabError.erfOper and `text` in
// LastErrorText. The first failure of a pass is the one shown: whatever follows it
// (a library stopping after a refusal hands back handles it never got) is its
// consequence, so a recorded failure is never replaced.
void RecordCabFailure(std::int32_t code, const ShortString& text);
// The text of err.erfOper: "" for 0, the FDIERROR_ name for 1..11, otherwise
// "UNKNOWN CAB ERROR " and the code.
ShortString CabErrorName(ERF err);
