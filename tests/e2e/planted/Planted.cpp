// A stand-in for a system library, planted beside a program: when any process loads
// it, it leaves a marker file next to itself ("<its file name>.loaded"), so a test
// can tell afterwards whether the planted copy was ever taken.
#include <windows.h>
#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    const std::string marker = std::string(path, n) + ".loaded";
    HANDLE file = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    // Refusing the load would hide nothing from the marker, and a program that took
    // this copy keeps running on with whatever it finds missing.
    return TRUE;
}
