// The packer tests' common ground: a sample folder with known contents and times, a stub,
// and the output path, in a scratch folder and a time zone away from UTC.
#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "cabinet/Cabinet.h"
#include "FileIo.h"
#include "pack/PayloadLayout.h"
#include "TestSupport.h"

namespace k4test {

// 2021-06-15 10:20:31 local time; the cabinet keeps 10:20:30 (two-second steps).
inline std::time_t SampleTime() {
    std::tm local{};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 10;
    local.tm_min = 20;
    local.tm_sec = 31;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

inline void SetModified(const std::string& path, std::time_t when) {
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

class PackTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A zone away from UTC (and not by whole hours), so local and UTC times differ.
        const char* zone = std::getenv("TZ");
        savedZone_ = zone ? zone : "";
        hadZone_ = zone != nullptr;
        ::setenv("TZ", "XST-5:30", 1);
        ::tzset();

        WriteFile(src + "/readme.txt", ToBytes("Hello from the demo\r\n"));
        WriteFile(src + "/sub/notes.txt", ToBytes("two\r\nlines\r\n"));
        WriteFile(src + "/sub/deep/data.bin", PatternBytes(70000, 1));
        fs::create_directories(src + "/empty");
        for (const char* name : {"/readme.txt", "/sub/notes.txt", "/sub/deep/data.bin"})
            SetModified(src + name, SampleTime());
        WriteFile(stub, FakeStub(4096));
    }
    void TearDown() override {
        if (hadZone_)
            ::setenv("TZ", savedZone_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

    std::vector<std::string> PackArgs(std::vector<std::string> extra) const {
        std::vector<std::string> args = {"-o",      out,  "-s",      stub, "-t",
                                         "C:\\Out", "-c", "Caption", "-T", "Title line"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // Output and stub only: the texts stay empty unless `extra` gives them.
    std::vector<std::string> BareArgs(std::vector<std::string> extra) const {
        std::vector<std::string> args = {"-o", out, "-s", stub};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    k4pack::PayloadContents ReadBack() const {
        return k4pack::ReadPayload(k4pack::ReadableFile(out));
    }
    k4pack::PayloadContents ReadBack(const std::string& name) const {
        return k4pack::ReadPayload(k4pack::ReadableFile(dir / name));
    }

    Bytes CabinetOf(const std::string& path) const {
        const Bytes file = ReadFile(path);
        const k4pack::PayloadContents payload = k4pack::ReadPayload(k4pack::MemorySource(file));
        const auto begin = file.begin() + static_cast<std::ptrdiff_t>(payload.layout.cabinetOffset);
        return Bytes(begin, begin + static_cast<std::ptrdiff_t>(payload.layout.cabinetSize));
    }

    ScratchFolder dir;
    const std::string src = dir / "src";
    const std::string stub = dir / "stub.exe";
    const std::string out = dir / "out.exe";

private:
    std::string savedZone_;
    bool hadZone_ = false;
};

inline const std::vector<std::string> kSampleNames = {"readme.txt", "sub\\deep\\data.bin",
                                                      "sub\\notes.txt"};

}  // namespace k4test
