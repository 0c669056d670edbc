// The steps of an extraction that the window's Start and a run without window share:
// the target directory, the engine's pass, and its account with the removal of the
// temporary cabinet. Each returns an outcome; the window turns it into a message box,
// a run without window into its exit code.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include "K4CabWork.h"
#include "ShortString.h"

// What a step ended with; the values are the exit codes of a run without window.
enum class StepResult : unsigned char {
    Done = 0,
    CommandLine = 1,  // a switch not understood
    Payload = 2,      // the payload or its cabinet missing or damaged
    Target = 3,       // the target directory cannot be created or written
    Extraction = 4,   // a failure while the files were written
};

struct StepOutcome {
    StepResult result = StepResult::Done;
    ShortString text;  // the failure's message; empty when done
    bool Done() const { return result == StepResult::Done; }
};

// Makes `target` (of any length) the target directory: one trailing '\' dropped, the
// directory created when missing (its parent must exist), and a '\' appended once it
// exists. Target with "Error creating path ..." when it cannot be created.
StepOutcome PrepareTarget(std::wstring& target);

// One pass of the engine over CabFilePath into `target`, listing or extracting as
// ListingPass says; the engine's progress goes to `progress` (may be null). `owner`
// holds the engine object while the pass runs and is empty afterwards, also when a
// failure (K4FileError, std::bad_alloc) is raised out of it. `ahead`, where given, is
// the decoding of the cabinet begun before the pass; the pass's check finishes it.
void RunEnginePass(std::unique_ptr<TDecompr>& owner, TProgressHandler progress, const std::wstring& target,
                   CabinetDecoding* ahead = nullptr);

// The result a failure of the last pass stands for: Payload while the cabinet was
// still being probed and checked, Target when the target's check refused it (no new
// file, no room), Extraction once the library had begun copying.
StepResult PassFailureResult();

// After an extraction pass: the engine's failure (LastErrorText, left in place), or
// Done once every member was written and the temporary cabinet has been deleted.
StepOutcome FinishExtraction();

// The status line "files, bytes(cabinet size)" under the list.
ShortString StatusLineText(std::int32_t files, std::int32_t bytes, std::int32_t cabinetBytes);
