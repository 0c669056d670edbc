// Setting the application layer's test seams: only tests do (K4UiSeams.h).
#include "K4UiSeams.h"
#include <utility>

namespace app {

void SetBoxRecorderForTests(BoxRecorder recorder) { ui_seams::boxRecorder = std::move(recorder); }
void SetEndHookForTests(EndHook hook) { ui_seams::endHook = std::move(hook); }

}  // namespace app
