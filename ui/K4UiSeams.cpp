// Setting the form layer's test seams and reading its probes: only tests do (K4UiSeams.h).
#include "K4UiSeams.h"
#include <utility>
#include "K4Control.h"
#include "K4Form.h"

namespace ui {

void SetBoxRecorderForTests(BoxRecorder recorder) { ui_seams::boxRecorder = std::move(recorder); }
void SetEndHookForTests(EndHook hook) { ui_seams::endHook = std::move(hook); }

Rect DesignRectForTests(const Control& control) { return control.design_; }
int DesignItemHeightForTests(const Control& control) { return control.itemHeight_; }
const FontSpec& FontForTests(const Control& control) { return control.fontSpec_; }
int DpiForTests(const Form& form) { return form.dpi_; }

}  // namespace ui
