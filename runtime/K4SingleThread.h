// What the C++ runtime asks of a threads layer, done for a program that runs one
// thread: run-once flags and the runtime's error reports. The extractor's stand-in
// for the POSIX threads library (runtime/K4StubRuntime.cpp) forwards here.
#pragma once

namespace single_thread {

// Runs `init` the first time a flag is passed (a flag starts at 0); later calls
// with the same flag do nothing. Always 0.
int Once(long* flag, void (*init)());

// An error the runtime reports for its own use of a container or string (a length
// or position out of range): thrown as K4Error with the runtime's text.
[[noreturn]] void ThrowRuntimeFault(const char* text);

}  // namespace single_thread
