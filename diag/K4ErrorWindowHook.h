// The error window's test seam (K4ErrorLog.h, SetErrorWindowHook): read when errors
// are reported (K4ErrorLog.cpp), set by tests only (K4ErrorWindowHook.cpp, a file of
// its own, which the extractor program never links).
#pragma once
#include "K4ErrorLog.h"

namespace error_window {
extern ErrorWindowHook hook;  // empty: the error window opens
}  // namespace error_window
