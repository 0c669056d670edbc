// The threads layer of a one-thread program: run-once flags, per-thread values
// through the system's thread-local slots, and waits that cannot end.
#include "K4SingleThread.h"
#include <windows.h>
#include <cerrno>
#include <cstdlib>
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

int CreateKey(unsigned* key, void (*)(void*)) {
    DWORD slot = TlsAlloc();
    if (slot == TLS_OUT_OF_INDEXES) return EAGAIN;
    *key = slot;
    return 0;
}

void* GetValue(unsigned key) { return TlsGetValue(key); }

int SetValue(unsigned key, const void* value) {
    return TlsSetValue(key, const_cast<void*>(value)) ? 0 : EINVAL;
}

void WaitForever() { std::abort(); }

void ThrowRuntimeFault(const char* text) { throw K4Error(text ? text : "runtime fault"); }

}  // namespace single_thread
