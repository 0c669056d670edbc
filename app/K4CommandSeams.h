// The command step's test seam: a stand-in for the shell's execute call, which lets a
// test see the step's answer to what the system alone decides (a refused elevation
// prompt). Read by RunCommand (K4CommandRun.cpp); only tests set it, through
// K4CommandSeams.cpp, which the extractor program never links.
#pragma once
#include <windows.h>
#include <shellapi.h>

namespace command_seams {
using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
extern ShellExecuteExFn shellExecute;  // null: the system's own
}  // namespace command_seams

// Makes RunCommand call `execute` instead of the system's ShellExecuteExW (null: the
// system's again).
void SetShellExecuteForTests(command_seams::ShellExecuteExFn execute);
