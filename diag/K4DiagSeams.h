// The error log's test seam: while set, ReportErrors hands the title and the
// snapshot to the hook instead of opening the error window. The hook is read when
// errors are reported (K4ErrorLog.cpp); only tests set it, through K4DiagSeams.cpp,
// which the extractor program never links.
#pragma once
#include <functional>
#include "K4Stacks.h"
#include "ShortString.h"

using ErrorWindowHook = std::function<void(const ShortString& title, const HardStack& stack)>;
void SetErrorWindowHookForTests(ErrorWindowHook hook);

namespace diag_seams {
extern ErrorWindowHook errorWindowHook;  // empty: the error window opens
}  // namespace diag_seams
