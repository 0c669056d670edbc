// Test fixture for the payload reader: a scratch folder as current directory,
// executables with hand-made payloads, recorded boxes and a program end that throws.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "K4Application.h"
#include "K4Payload.h"
#include "K4Settings.h"

namespace payloadtest {

inline std::string Le32(std::int32_t v) {
    auto u = static_cast<std::uint32_t>(v);
    return {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF), static_cast<char>((u >> 16) & 0xFF),
            static_cast<char>(u >> 24)};
}

inline std::string Counted(const std::string& text) { return Le32(static_cast<std::int32_t>(text.size())) + text; }

// Bytes that vary, so a copy from a wrong offset cannot match by chance.
inline std::string Pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    return s;
}

// A stand-in program image: begins like an executable, ends in zero bytes.
inline std::string Stub() { return "MZ" + Pattern(2000, 7) + std::string(64, '\0'); }

// Block (three counted texts and the cabinet) followed by the trailer.
inline std::string Payload(const std::string& t1, const std::string& t2, const std::string& t3,
                           const std::string& cabinet) {
    std::string block = Counted(t1) + Counted(t2) + Counted(t3) + cabinet;
    return block + Le32(static_cast<std::int32_t>(block.size()));
}

// A stand-in cabinet of n bytes (at least 12): the signature and its own size in
// the header, the rest varying bytes.
inline std::string Cabinet(std::size_t n, unsigned seed = 1) {
    return "MSCF" + Le32(0) + Le32(static_cast<std::int32_t>(n)) + Pattern(n - 12, seed);
}

struct Ended {
    unsigned code;
};

class PayloadFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH], dir[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        GetCurrentDirectoryA(MAX_PATH, dir);
        previousDir_ = dir;
        scratch_ = std::string(temp) + "k4pay-" + std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(++Counter());
        ASSERT_TRUE(CreateDirectoryA(scratch_.c_str(), nullptr));
        ASSERT_TRUE(SetCurrentDirectoryA(scratch_.c_str()));
        ResetSettings();
        DataFileName = "DATAFILE.K4A";
        app::SetBoxRecorder([this](app::BoxKind kind, const std::string& text) { boxes_.push_back({kind, text}); });
        app::SetEndHook([](unsigned code) { throw Ended{code}; });
    }

    void TearDown() override {
        app::SetBoxRecorder(nullptr);
        app::SetEndHook(nullptr);
        SetCurrentDirectoryA(previousDir_.c_str());
        RemoveAll(scratch_);
    }

    // Writes an executable with the given bytes into the scratch folder.
    std::string WriteExe(const std::string& bytes, const char* name = "SETUP.EXE") {
        std::string path = scratch_ + "\\" + name;
        WriteBytes(path, bytes);
        return path;
    }

    static void WriteBytes(const std::string& path, const std::string& bytes) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
        ASSERT_EQ(written, bytes.size());
    }

    // The whole file, or "<missing>" when it cannot be opened.
    static std::string ReadBytes(const std::string& path) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return "<missing>";
        std::string out;
        char buf[65536];
        DWORD got = 0;
        while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
        CloseHandle(h);
        return out;
    }

    // Runs the reader; true when the program was ended.
    bool Read(const std::string& exePath) {
        try {
            EXPECT_TRUE(ReadPayloadFrom(exePath));
            return false;
        } catch (const Ended& e) {
            endCode_ = e.code;
            return true;
        }
    }

    // The reader rejected the payload: one plain box with the text, then the end.
    void ExpectRejected(const std::string& exePath, const char* what) {
        boxes_.clear();
        EXPECT_TRUE(Read(exePath)) << what;
        ASSERT_EQ(boxes_.size(), 1u) << what;
        EXPECT_EQ(boxes_[0].kind, app::BoxKind::Plain) << what;
        EXPECT_EQ(boxes_[0].text, "Sorry Cannot Find Data") << what;
        EXPECT_NE(endCode_, 0u) << what;
    }

    bool DataFileExists() const { return GetFileAttributesA("DATAFILE.K4A") != INVALID_FILE_ATTRIBUTES; }

    struct Box {
        app::BoxKind kind;
        std::string text;
    };
    std::vector<Box> boxes_;
    unsigned endCode_ = 0;
    std::string scratch_;

private:
    static int& Counter() {
        static int n = 0;
        return n;
    }
    static void RemoveAll(const std::string& dir) {
        WIN32_FIND_DATAA fd;
        HANDLE f = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (f != INVALID_HANDLE_VALUE) {
            do {
                std::string name = fd.cFileName;
                if (name == "." || name == "..") continue;
                std::string full = dir + "\\" + name;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveAll(full);
                else
                    DeleteFileA(full.c_str());
            } while (FindNextFileA(f, &fd));
            FindClose(f);
        }
        RemoveDirectoryA(dir.c_str());
    }
    std::string previousDir_;
};

}  // namespace payloadtest
