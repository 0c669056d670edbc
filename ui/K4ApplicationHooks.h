// The application layer's hooks (K4Application.h): read where boxes are shown and
// the program ends (K4Application.cpp), set by tests only (K4ApplicationHooks.cpp,
// a file of its own, which the extractor program never links).
#pragma once
#include "K4Application.h"

namespace app::hooks {
extern BoxRecorder recorder;  // empty: boxes are shown
extern EndHook endHook;       // empty: the program just ends
}  // namespace app::hooks
