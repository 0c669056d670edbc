// Setting the error log's test seam: only tests do (K4DiagSeams.h).
#include "K4DiagSeams.h"
#include <utility>

void SetErrorWindowHookForTests(ErrorWindowHook hook) { diag_seams::errorWindowHook = std::move(hook); }
