// The cost of the whole-cabinet check the extraction runs before its first file:
// the check alone, over a cabinet on disk, as the extractor reads it.
//   k4bench_check CABINET [REPETITIONS]
// Prints two lines per repetition, the file seen through mapped views as the
// extraction sees it and read into a buffer: wall and processor time, the verdict.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include "K4CabinetFile.h"
#include "UniqueHandle.h"

namespace {
double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double ProcessorMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: k4bench_check CABINET [REPETITIONS]\n");
        return 2;
    }
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int i = 0; i < 2 * repetitions; ++i) {
        const bool mapped = i % 2 == 0;
        // Opened as the extraction opens it, once per repetition.
        UniqueFile file(CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) {
            std::fprintf(stderr, "cannot open %s: %lu\n", argv[1], GetLastError());
            return 1;
        }
        CabinetFile source(file.Get(), mapped);
        LARGE_INTEGER start, end;
        const double cpuStart = ProcessorMilliseconds();
        QueryPerformanceCounter(&start);
        const cabfmt::Result result = cabfmt::Check(source);
        QueryPerformanceCounter(&end);
        std::printf("%s check_ms=%.1f cpu_ms=%.1f members=%zu verdict=%s\n", mapped ? "mapped" : "read",
                    Milliseconds(start, end, frequency),
                    ProcessorMilliseconds() - cpuStart, result.members.size(),
                    result.Sound() ? "sound" : result.text.c_str());
    }
    return 0;
}
