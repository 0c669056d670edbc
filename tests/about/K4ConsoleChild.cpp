// A console program for launch tests: it has no window, so there is no input idleness
// to wait for. Its one argument names its signals: it holds the mutex NAME-running while
// it runs, so that a test can see it is up, and ends when the event NAME-quit is set, or
// by itself after 120 seconds so that a failed test leaves nothing behind.
#include <windows.h>
#include <string>
#include "UniqueHandle.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string name = argv[1];
    UniqueKernelHandle running(CreateMutexA(nullptr, FALSE, (name + "-running").c_str()));
    UniqueKernelHandle quit(OpenEventA(SYNCHRONIZE, FALSE, (name + "-quit").c_str()));
    if (!running || !quit) return 1;
    WaitForSingleObject(quit.Get(), 120000);
    return 0;
}
