// Starts another program from a command line and records a failed start on the
// error log; the caller decides when the log is shown.
#pragma once
#include <windows.h>
#include <cstdint>
#include "ShortString.h"

// Milliseconds the launch waits for the started program to become ready for input.
inline constexpr DWORD LaunchIdleTimeout = 10000;

// Message number whose text opens the error entry of a failed start.
inline constexpr std::int32_t LaunchFailedMessage = 41;

// Starts the program named by the first token of `commandLine`, unquoted paths
// resolved as the system does, and waits at most LaunchIdleTimeout for it to
// become idle. A failed start pushes one error text on the log; nothing is
// returned or shown.
void ExecuteProgram(ShortString commandLine);

// The error text of a failed start: message 41, " - execute ", the command line,
// one space and the code in decimal, cut at 255 characters.
ShortString LaunchErrorText(const ShortString& commandLine, std::int32_t code);
