// Program entry: finds the own file and unpacks the payload into "DATAFILE.K4A".
#include <windows.h>
#include "K4Application.h"
#include "K4Payload.h"
#include "K4Settings.h"
#include "SystemLibrary.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        syslib::RestrictDllSearchToSystem32();
        app::SetTitle("V4OvudEvuvuruda");
        LocateOwnExecutable(ExeDirectory, ExeFileName);
        DataFileName = "DATAFILE.K4A";
        ReadPayload();
    } catch (...) {
        // Nothing may leave WinMain into the runtime's start-up code.
        app::HandleCurrentException();
        return 1;
    }
    return 0;
}
