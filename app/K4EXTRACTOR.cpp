// Program entry: the switches, then the extractor window as main window and the
// message loop, or a run without window. The stub's own start-up
// (runtime/K4StubStart.cpp) calls it; it returns the exit code.
#include <windows.h>
#include <memory>
#include "K4Application.h"
#include "K4EXTRACTMain.h"
#include "K4QuietRun.h"
#include "SystemLibrary.h"

int K4StubMain() {
    try {
        syslib::RestrictDllSearchToSystem32();
        ui::SetTitle("V4OvudEvuvuruda");
        // Read before any window exists: a quiet run must never show one.
        ProgramSwitches = ParseSwitches(SwitchCommandLine());
        if (int code = 0; RunFromSwitches(ProgramSwitches, code)) return code;
        auto form = std::make_unique<TK4ExtractForm>();
        // Set before creation: creation runs the listing pass, whose progress
        // handler reaches the window through it.
        K4ExtractForm = form.get();
        form->Create();
        form->Show();
        return ui::Form::RunMessageLoop();
    } catch (...) {
        // Nothing may leave the program into the start-up code.
        ui::HandleCurrentException();
        return 1;
    }
}
