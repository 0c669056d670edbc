// The threads layer of a one-thread program: run-once flags and the runtime's error
// reports. The runtime asks for no per-thread values and no waits (see
// K4StubRuntime.cpp): a new reference to one fails the stub's link.
#include "K4SingleThread.h"
#include "K4Error.h"

namespace single_thread {

int Once(long* flag, void (*init)()) {
    // Set before the call, so that a nested call with the same flag (which would
    // wait forever on a real threads layer) returns at once.
    if (*flag == 0) {
        *flag = 1;
        init();
    }
    return 0;
}

void ThrowRuntimeFault(const char* text) { throw K4Error(text ? text : "runtime fault"); }

}  // namespace single_thread
