// The extractor program's start-up, in place of the C runtime's (crt2.o and what it
// pulls in, about 9 KB: argument splitting, runtime pseudo-relocations, TLS
// callbacks, signal emulation for hardware faults, math error reports, the x87
// control word reset). The program uses none of those: it reads its command line
// itself (GetCommandLineA), has no thread-local variables of the system's kind, no
// floating point, and imports no data from a DLL without declaring it so, which the
// link checks (--disable-auto-import in cmake/K4SmallStub.cmake). What it needs is
// done here: the static constructors run before the program, the static
// destructors and the runtime's exit handlers after it.
//
// Linked into the extractor program only (k4_small_program), as its entry point.
#include <cstdlib>

extern "C" {
// libgcc's constructor runner: calls every static constructor once, in link order
// reversed, and registers the static destructors with atexit. On i686 the last
// entry of the constructor list (crtend.o) registers the unwind tables, without
// which no exception can be caught.
void __main();
// msvcrt's exit list of the program, run by exit.
using ExitHandler = int (*)();
ExitHandler _onexit(ExitHandler handler);
// msvcrt: the runtime reports its own fatal errors (abort) in a message box, as
// for any windowed program.
void __set_app_type(int type);
}

// The C runtime's start-up defines atexit (msvcrt exports none for programs): the
// static destructors, function-local ones included, go on msvcrt's exit list,
// whose handlers' return values exit ignores.
extern "C" int atexit(void (*handler)()) {
    return _onexit(reinterpret_cast<ExitHandler>(handler)) ? 0 : -1;
}

// The program itself (app/K4EXTRACTOR.cpp): returns the process exit code.
int K4StubMain();

namespace {
constexpr int WindowedProgram = 2;  // msvcrt's _GUI_APP
}  // namespace

// The compiler assumes, on i686 as on x86_64, a stack aligned to 16 bytes at every
// function's entry, and may keep 16-byte values there; Windows starts a 32-bit
// program's first thread with 4-byte alignment only. The entry, which the system
// calls, aligns the stack itself before anything else runs (on x86_64 the system
// already calls it so aligned).
#if defined(__i386__)
#define K4_ALIGNS_STACK __attribute__((force_align_arg_pointer))
#else
#define K4_ALIGNS_STACK
#endif

// Named as the entry point by k4_small_program. Never returns: exit runs the atexit
// handlers, the static destructors among them, and ends the process.
extern "C" [[noreturn]] K4_ALIGNS_STACK void K4StubStart() {
    __set_app_type(WindowedProgram);
    __main();
    std::exit(K4StubMain());
}
