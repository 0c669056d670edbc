// The yardstick for the time to the window: the plain copy of a file through the
// system's own copy routine, under the same emulation the extractor runs in.
//   k4bench_copy SOURCE DESTINATION
#include <windows.h>
#include <psapi.h>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: k4bench_copy SOURCE DESTINATION\n");
        return 2;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CopyFileA(argv[1], argv[2], FALSE)) {
        std::fprintf(stderr, "CopyFileA failed: %lu\n", GetLastError());
        return 1;
    }
    QueryPerformanceCounter(&end);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    std::printf("inner_ms=%.1f peak_kb=%llu\n",
                1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
                static_cast<unsigned long long>(counters.PeakWorkingSetSize / 1024));
    return 0;
}
