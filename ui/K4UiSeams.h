// The application layer's test seams: while set, message boxes are recorded instead
// of shown, and EndProgram calls the hook (which must not return; tests throw from
// it). The hooks are read where boxes are shown and the program ends
// (K4Application.cpp); only tests set them, through K4UiSeams.cpp, which the
// extractor program never links.
#pragma once
#include <functional>
#include <string>

namespace app {

enum class BoxKind { Plain, Error };
using BoxRecorder = std::function<void(BoxKind, const std::string& text)>;
using EndHook = std::function<void(unsigned code)>;

void SetBoxRecorderForTests(BoxRecorder recorder);
void SetEndHookForTests(EndHook hook);

}  // namespace app

namespace ui_seams {
extern app::BoxRecorder boxRecorder;  // empty: boxes are shown
extern app::EndHook endHook;          // empty: the program just ends
}  // namespace ui_seams
