// The form layer's test seams and probes: while set, message boxes are recorded
// instead of shown, and EndProgram calls the hook (which must not return; tests throw
// from it); and a control's design and resolved font and a window's resolution,
// against which tests measure the window laid out.
// The hooks are read where boxes are shown and the program ends (K4Application.cpp);
// only tests set them and read the design, through K4UiSeams.cpp, which the extractor
// program never links.
#pragma once
#include <functional>
#include <string>
#include "K4Layout.h"
#include "K4Style.h"

namespace ui {

enum class BoxKind { Plain, Error };
using BoxRecorder = std::function<void(BoxKind, const std::string& text)>;
using EndHook = std::function<void(unsigned code)>;

void SetBoxRecorderForTests(BoxRecorder recorder);
void SetEndHookForTests(EndHook hook);

class Control;
class Form;
// The control's row rectangle and list line height, in design pixels (96 per inch).
Rect DesignRectForTests(const Control& control);
int DesignItemHeightForTests(const Control& control);
// The control's font, resolved against its window's.
const FontSpec& FontForTests(const Control& control);
// The resolution the window is laid out for (96: the design's own numbers).
int DpiForTests(const Form& form);

}  // namespace ui

namespace ui_seams {
extern ui::BoxRecorder boxRecorder;  // empty: boxes are shown
extern ui::EndHook endHook;          // empty: the program just ends
}  // namespace ui_seams
