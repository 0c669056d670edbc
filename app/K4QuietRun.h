// The program's runs that the switches choose before any window exists: the box for
// a switch not understood and the switch list, and the runs without window (/Q, /L),
// which extract or list with the window's own run and end with an exit code.
#pragma once
#include "K4Switches.h"

// True when the switches have ended the run (exitCode set); false when the window
// follows, after the switch box if one was due.
bool RunFromSwitches(const Switches& switches, int& exitCode);
