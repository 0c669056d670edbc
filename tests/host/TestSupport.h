// Helpers shared by the packer's tests: a scratch folder, file contents, a minimal PE stub,
// and running k4pack (in-process or as a program) and other tools.
#pragma once
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"

namespace k4test {
namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "k4pack-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

using Bytes = std::vector<std::uint8_t>;

inline Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The smallest file the packer takes as a PE image: "MZ", the header offset 0x40 at 0x3C and
// "PE\0\0" there, filled up to `size` with a repeating pattern.
inline Bytes FakeStub(std::size_t size = 1024) {
    Bytes stub(size);
    for (std::size_t i = 0; i < size; ++i)
        stub[i] = static_cast<std::uint8_t>(i * 7 + 3);
    stub[0] = 'M';
    stub[1] = 'Z';
    stub[0x3C] = 0x40;
    stub[0x3D] = stub[0x3E] = stub[0x3F] = 0;
    stub[0x40] = 'P';
    stub[0x41] = 'E';
    stub[0x42] = stub[0x43] = 0;
    return stub;
}

// Bytes that do not compress to nothing, the same on every run.
inline Bytes PatternBytes(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    for (auto& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(seed >> 16);
    }
    return bytes;
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// k4pack in this process: the same code as the program, minus main().
inline RunResult RunK4pack(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    RunResult result;
    result.status = k4pack::RunCommandLine(args, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

// Runs a shell command; returns its exit status and standard output.
inline RunResult RunShell(const std::string& command) {
    RunResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

inline std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

// Names in a folder, to see that a refused run left nothing behind.
inline std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace k4test
