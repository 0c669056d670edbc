// Setting the error window's test seam: only tests do (K4ErrorWindowHook.h).
#include "K4ErrorWindowHook.h"
#include <utility>

void SetErrorWindowHook(ErrorWindowHook hook) { error_window::hook = std::move(hook); }
