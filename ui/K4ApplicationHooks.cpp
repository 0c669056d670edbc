// Setting the application layer's hooks: only tests do (K4ApplicationHooks.h).
#include "K4ApplicationHooks.h"
#include <utility>

namespace app {

void SetBoxRecorder(BoxRecorder recorder) { hooks::recorder = std::move(recorder); }
void SetEndHook(EndHook hook) { hooks::endHook = std::move(hook); }

}  // namespace app
