// Entry point of k4pack.exe: the arguments as Windows gives them (UTF-16) made UTF-8 for
// the command line layer, and the standard streams set up for its byte output.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "CommandLine.h"
#include "PackError.h"
#include "WindowsWide.h"

namespace {

// Messages are UTF-8 bytes, "\n" ended as on Linux: the streams pass them through
// unchanged (no "\r\n"), and a console shows them as UTF-8 for as long as the program
// runs, its own code page restored at the end.
class ByteOutput {
public:
    ByteOutput() : codePage_(GetConsoleOutputCP()) {
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
        if (codePage_ != 0) SetConsoleOutputCP(CP_UTF8);
    }
    ~ByteOutput() {
        std::cout.flush();
        std::cerr.flush();
        if (codePage_ != 0) SetConsoleOutputCP(codePage_);
    }
    ByteOutput(const ByteOutput&) = delete;
    ByteOutput& operator=(const ByteOutput&) = delete;

private:
    UINT codePage_;
};

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
    const ByteOutput output;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::optional<std::string> arg = k4pack::win::Narrow(argv[i]);
        if (!arg) {
            std::cerr << "k4pack: argument " << i << " (\"" << k4pack::win::Shown(argv[i])
                      << "\") holds a UTF-16 surrogate without its pair, which no UTF-8 text can carry\n";
            return k4pack::kExitUsage;
        }
        args.push_back(*arg);
    }
    return k4pack::RunCommandLine(args, std::cout, std::cerr);
}
