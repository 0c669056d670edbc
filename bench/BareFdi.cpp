// The benchmark's yardstick: a bare console extractor over the system cabinet library
// with the least work a correct extraction needs (plain file calls, folders made on
// demand, last-write time set), no window. Prints its elapsed time and peak memory.
//   k4bench_fdi CABINET TARGETDIR
#include <windows.h>
#include <psapi.h>
#include <fcntl.h>
#include <fdi.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string targetDir;
int filesWritten = 0;

FNALLOC(Alloc) { return std::malloc(cb); }
FNFREE(Free) { std::free(pv); }

FNOPEN(Open) {
    const DWORD access = (oflag & _O_WRONLY) ? GENERIC_WRITE : GENERIC_READ;
    HANDLE h = CreateFileA(pszFile, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    (void)pmode;
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(h);
}

FNREAD(Read) {
    DWORD done = 0;
    return ReadFile(reinterpret_cast<HANDLE>(hf), pv, cb, &done, nullptr) ? done : static_cast<UINT>(-1);
}

FNWRITE(Write) {
    DWORD done = 0;
    return WriteFile(reinterpret_cast<HANDLE>(hf), pv, cb, &done, nullptr) ? done : static_cast<UINT>(-1);
}

FNCLOSE(Close) { return CloseHandle(reinterpret_cast<HANDLE>(hf)) ? 0 : -1; }

FNSEEK(Seek) {
    const DWORD pos = SetFilePointer(reinterpret_cast<HANDLE>(hf), dist, nullptr, static_cast<DWORD>(seektype));
    return pos == INVALID_SET_FILE_POINTER ? -1 : static_cast<long>(pos);
}

// Makes every folder of a member's path below the target; only called after a
// create failed, so a flat cabinet never pays for it.
void MakeFolders(const std::string& path) {
    for (std::size_t i = targetDir.size(); i < path.size(); ++i)
        if (path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

HANDLE CreateTarget(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
        MakeFolders(path);
        h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    }
    return h;
}

FNFDINOTIFY(Notify) {
    switch (fdint) {
    case fdintCOPY_FILE: {
        HANDLE h = CreateTarget(targetDir + pfdin->psz1);
        if (h == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "cannot create %s%s\n", targetDir.c_str(), pfdin->psz1);
            return -1;
        }
        return reinterpret_cast<INT_PTR>(h);
    }
    case fdintCLOSE_FILE_INFO: {
        HANDLE h = reinterpret_cast<HANDLE>(pfdin->hf);
        FILETIME local, utc;
        if (DosDateTimeToFileTime(pfdin->date, pfdin->time, &local) && LocalFileTimeToFileTime(&local, &utc))
            SetFileTime(h, nullptr, nullptr, &utc);
        CloseHandle(h);
        ++filesWritten;
        return TRUE;
    }
    case fdintNEXT_CABINET: return -1;
    default: return 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: k4bench_fdi CABINET TARGETDIR\n");
        return 2;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);

    const std::string cabinet = argv[1];
    targetDir = argv[2];
    if (!targetDir.empty() && targetDir.back() != '\\') targetDir += '\\';
    const std::size_t cut = cabinet.find_last_of("\\:");
    const std::string dir = cut == std::string::npos ? "" : cabinet.substr(0, cut + 1);
    const std::string name = cabinet.substr(dir.size());

    ERF erf = {};
    HFDI fdi = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf);
    if (!fdi) {
        std::fprintf(stderr, "FDICreate failed\n");
        return 1;
    }
    const BOOL copied = FDICopy(fdi, const_cast<char*>(name.c_str()), const_cast<char*>(dir.c_str()), 0, Notify,
                                nullptr, nullptr);
    FDIDestroy(fdi);
    QueryPerformanceCounter(&end);
    if (!copied) {
        std::fprintf(stderr, "FDICopy failed: %d\n", erf.erfOper);
        return 1;
    }
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    std::printf("files=%d inner_ms=%.1f peak_kb=%llu\n", filesWritten,
                1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
                static_cast<unsigned long long>(counters.PeakWorkingSetSize / 1024));
    return 0;
}
