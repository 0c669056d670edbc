// Small stand-ins for pieces of the C++ runtime, linked into the extractor program
// only (cmake/K4SmallStub.cmake): each one keeps a large runtime part out of the
// stub every archive carries. The linker takes a definition from the program's own
// objects before it searches the runtime's archives, so a runtime member whose
// every symbol is defined here is never linked.
#include <pthread.h>
#include <cxxabi.h>
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>
#include "K4SingleThread.h"

// The runtime's default terminate handler prints the uncaught exception's type
// name, which links the C++ demangler (about 45 KB). The program lets no exception
// escape (WinMain and every window procedure catch everything), so terminate
// means a fault: end at once, as a runtime built without the verbose handler does.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The threads layer the -posix runtime calls for its locks and run-once flags (about
// 32 KB). The program runs one thread, so a lock is always free and a run-once flag
// needs no lock. Only what the runtime asks for is here: its per-thread values and
// waits went with the emulated thread-local storage and the guarded statics, and
// the threads library defines them together with pthread_once and the locks, so a
// new reference to one of them, like code that starts a thread, pulls the real
// library in, whose definitions then clash with these: the program no longer links
// until it gets a stand-in for it.
extern "C" {
int pthread_once(pthread_once_t* once, void (*init)(void)) { return single_thread::Once(once, init); }
int pthread_mutex_init(pthread_mutex_t*, const pthread_mutexattr_t*) { return 0; }
int pthread_mutex_destroy(pthread_mutex_t*) { return 0; }
int pthread_mutex_lock(pthread_mutex_t*) { return 0; }
int pthread_mutex_unlock(pthread_mutex_t*) { return 0; }
}

// The runtime's exception state of a thread: the stack of exceptions being handled
// and the count of those thrown and not yet caught, laid out as the C++ ABI for
// Itanium defines it (the layout this runtime follows on every target). The
// runtime keeps one per thread in emulated thread-local storage (emutls, about 1 KB
// with its per-thread keys); the program's one thread needs just one, which
// starts empty.
namespace __cxxabiv1 {
struct __cxa_eh_globals {
    __cxa_exception* caughtExceptions;
    unsigned int uncaughtExceptions;
};
}  // namespace __cxxabiv1

namespace {
__cxxabiv1::__cxa_eh_globals exceptionState;
}  // namespace

extern "C" {
__cxxabiv1::__cxa_eh_globals* __cxxabiv1::__cxa_get_globals() noexcept { return &exceptionState; }
__cxxabiv1::__cxa_eh_globals* __cxxabiv1::__cxa_get_globals_fast() noexcept { return &exceptionState; }
}

// The runtime's error reports for its containers and strings. Its own versions
// throw the standard logic and runtime errors, whose reference-counted strings
// and formatting come to about 60 KB; here the memory errors stay what they are
// and every other one is a K4Error with the runtime's text, which the general
// error handler shows like any other failure. Only the reports the program's code
// can reach are here: the runtime defines all of them in one member (functexcept.o),
// so a new reference to another one pulls that member in, whose definitions clash
// with these, and the program no longer links until it gets its stand-in.
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_logic_error(const char* text) { single_thread::ThrowRuntimeFault(text); }
void __throw_length_error(const char* text) { single_thread::ThrowRuntimeFault(text); }
// The text is the runtime's format, its numbers unfilled.
void __throw_out_of_range_fmt(const char* format, ...) { single_thread::ThrowRuntimeFault(format); }
}  // namespace std

// zlib's allocation glue, which its decoder calls unless it is given allocators of its
// own. zlib defines the two in one member (zutil.o) with its error texts, which the
// program never shows: defined here, that member stays out. The same as zlib's own:
// the C heap, never a count that wraps.
extern "C" {
void* zcalloc(void*, unsigned items, unsigned size) {
    return std::malloc(static_cast<std::size_t>(items) * static_cast<std::size_t>(size));
}
void zcfree(void*, void* block) { std::free(block); }
}
