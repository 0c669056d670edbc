// The threads layer of a one-thread program: per-thread values through the system's
// thread-local slots, and waits that cannot end. The extractor's runtime no longer
// asks for them (utils/K4StubRuntime.cpp), so the program does not link this file;
// they stand ready, tested, for a stand-in should the runtime ask again.
#include "K4SingleThread.h"
#include <windows.h>
#include <cerrno>
#include <cstdlib>

namespace single_thread {

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

}  // namespace single_thread
