// One run of the real extractor on a hostile payload, watched from outside: a
// scratch tree with sentinels around the target, a snapshot of that tree before
// and after, and every box the program showed on the way.
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include <vector>
#include "Driver.h"

namespace hostile {

// What a tree holds: relative path -> size, attributes, time and (small files) content.
using Snapshot = std::map<std::string, std::string>;

// root\above.txt, root\work\ (current directory and the program, beside.txt),
// root\work\other\keep.txt; the target root\work\target\ is left for the program
// to create. Nothing may change outside the target but the temporary cabinet.
class Arena {
public:
    Arena();
    std::string Root() const { return root_.Path(); }
    std::string Work() const { return root_ / "work"; }
    // With its trailing backslash, as the program is given it.
    std::string Target() const { return root_ / "work\\target\\"; }

    // The tree outside the target, without the temporary cabinet.
    Snapshot Outside() const;
    // The files below the target (relative paths; folders left out), empty when
    // there is none.
    std::vector<std::string> TargetFiles() const;

private:
    k4test::ScratchFolder root_;
};

// The entries that differ between two snapshots, one line each.
std::vector<std::string> Differences(const Snapshot& before, const Snapshot& after);

struct Options {
    // Typed into the target edit before Start; the payload's own target names a
    // folder that must never be touched, so the edit is what counts.
    std::string target;
    bool pressStart = true;
    bool openAbout = false;
    std::string caption = "Hostile case";
};

struct Outcome {
    bool windowShown = false;
    std::vector<std::string> lines;  // the list box after the listing pass
    std::string status;              // the status line after the listing pass
    bool targetTyped = false;        // the edit showed the typed target
    bool aboutShown = false;
    std::vector<std::string> boxes;  // every message box, in order
    bool ended = false;              // the process ended (after its boxes were answered)
    DWORD exitCode = STILL_ACTIVE;
    Snapshot before, after;          // outside the target, around the run
    std::string notStarted;          // why the program could not be started (empty: it was)
};

// The payload's own target text: a folder no run may create.
inline constexpr const char* DecoyTarget = "C:\\k4hostile-decoy\\";

// Copies the extractor into the arena's work folder with `payload` appended, starts
// it there, answers every box with OK, presses Start (and About) when asked, and
// closes the window once nothing more happens.
Outcome RunProgram(const Arena& arena, const std::string& payload, const Options& options);

// The payload around a cabinet: the decoy target, the case's caption, a title.
std::string PayloadFor(const std::string& cabinet, const Options& options);

// The success message for a target.
std::string SuccessText(const std::string& target);

// What every case must show, whatever the input: the program ended normally (by
// itself or when its window was closed), nothing changed outside the target but the
// temporary cabinet, no success message after a failure, and none of `outside`
// (absolute paths a hostile name could reach) exists; those found are removed.
void ExpectContained(const Outcome& outcome, const std::vector<std::string>& outside = {});

}  // namespace hostile
