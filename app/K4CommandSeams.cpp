// Setting the command step's test seam: only tests do (K4CommandSeams.h).
#include "K4CommandSeams.h"

void SetShellExecuteForTests(command_seams::ShellExecuteExFn execute) { command_seams::shellExecute = execute; }
