// Program entry: the extractor window as main window, and the message loop.
#include <windows.h>
#include <memory>
#include "K4Application.h"
#include "K4EXTRACTMain.h"
#include "SystemLibrary.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        syslib::RestrictDllSearchToSystem32();
        app::SetTitle("V4OvudEvuvuruda");
        auto form = std::make_unique<TK4ExtractForm>();
        // Set before creation: creation runs the listing pass, whose progress
        // handler reaches the window through it.
        K4ExtractForm = form.get();
        form->Create();
        form->Show();
        return ui::Form::RunMessageLoop();
    } catch (...) {
        // Nothing may leave WinMain into the runtime's start-up code.
        app::HandleCurrentException();
        return 1;
    }
}
