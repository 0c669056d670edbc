// Keeps Wine's desktop open for a whole test run. The wine server closes a desktop one
// second after its last user ends; the next program that needs it then starts a new
// desktop process, which inherits that program's inheritable handles (a test's output
// pipe among them) and holds them open until the run ends. A hidden window keeps this
// program a user of the desktop until the wine server is stopped.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    HWND window = CreateWindowExA(0, "STATIC", "K4 desktop keeper", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!window) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
