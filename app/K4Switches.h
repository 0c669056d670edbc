// The switches a script or a deployment tool gives the program after its name: quiet
// run, target directory, listing, log file, the switch list. Read once by the entry,
// before any window exists.
#pragma once
#include <string>
#include <string_view>

struct Switches {
    bool quiet = false;      // /Q: no window, no box; the outcome as exit code
    bool list = false;       // /L: the listing lines and the status line, nothing extracted
    bool help = false;       // /?: the switch list
    // Texts as read from the command line the entry hands over: UTF-8, so that a
    // target or log outside the system code page arrives whole (WideValue, ShownValue).
    bool hasTarget = false;  // /T:DIR given
    std::string target;      // its directory
    std::string logFile;     // /LOG:FILE, empty when not given
    std::string unknown;     // the first argument not understood, as given; empty when all
                             // were, and on a command line without any of these switches

    // A run without any window: quiet, or a listing.
    bool Windowless() const { return quiet || list; }
};

// The switches the entry read from the program's command line (all off until then).
extern Switches ProgramSwitches;

// The switches in a whole command line: the program's name (quoted or not) first,
// then arguments separated by blanks, in which quotes group and are dropped
// (/T:"C:\My Files"). Names are case-blind and start with '/' or '-'. Arguments are
// only judged on a command line that holds at least one of these switches.
Switches ParseSwitches(std::string_view commandLine);

// The program's command line as the switches are read from it: the system's wide
// command line in UTF-8.
std::string SwitchCommandLine();
// A text of the switches (UTF-8) as the wide file calls take it, and as the system
// code page shows it (characters it lacks as '?').
std::wstring WideValue(std::string_view utf8);
std::string ShownValue(std::string_view utf8);

// The switch list, as /? shows it, with the exit codes; lines end in "\r\n".
extern const char SwitchHelpText[];
