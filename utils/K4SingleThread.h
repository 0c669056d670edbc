// What the C++ runtime asks of a threads layer, done for a program that runs one
// thread: run-once flags, per-thread values and waits. The extractor's stand-in
// for the POSIX threads library (utils/K4StubRuntime.cpp) forwards here; it needs
// only the run-once flags and the error reports now.
#pragma once

namespace single_thread {

// Runs `init` the first time a flag is passed (a flag starts at 0); later calls
// with the same flag do nothing. Always 0.
int Once(long* flag, void (*init)());

// A slot for one value per thread, empty (null) until set; 0, or the system's
// "no more slots" (EAGAIN) when it has none left. The destructor is not run: the
// one thread ends with the process, which frees everything.
int CreateKey(unsigned* key, void (*destructor)(void*));
void* GetValue(unsigned key);
// 0, or EINVAL for a key that CreateKey did not give.
int SetValue(unsigned key, const void* value);

// A wait for a condition that only another thread could make true: in a program
// of one thread it would never end, so it ends the program instead.
[[noreturn]] void WaitForever();

// An error the runtime reports for its own use of a container or string (a length
// or position out of range): thrown as K4Error with the runtime's text.
[[noreturn]] void ThrowRuntimeFault(const char* text);

}  // namespace single_thread
