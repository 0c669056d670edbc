// Test fixture for the payload reader: a scratch folder as current directory,
// executables with hand-made payloads, and the reader's refusals with their messages.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include "K4Payload.h"
#include "K4Settings.h"
#include "PayloadBytes.h"
#include "SumRecordBytes.h"
#include "TestFiles.h"

namespace payloadtest {

using k4test::Counted;
using k4test::Le32;
using k4test::Payload;

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

// A stand-in cabinet of n bytes (at least 12): the signature and its own size in
// the header, the rest varying bytes.
inline std::string Cabinet(std::size_t n, unsigned seed = 1) {
    return "MSCF" + Le32(0) + Le32(static_cast<std::uint32_t>(n)) + Pattern(n - 12, seed);
}

class PayloadFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSettings();
        DataFileName = "DATAFILE.K4A";
    }

    // Writes an executable with the given bytes into the scratch folder.
    std::string WriteExe(const std::string& bytes, const char* name = "SETUP.EXE") { return scratch_.Write(name, bytes); }

    // Runs the reader; true when it refused the payload, with its message in refusal_.
    bool Read(const std::string& exePath) {
        const std::int32_t err = ReadPayloadFrom(exePath);
        refusal_ = err ? std::string(PayloadRefusalText(err)) : std::string();
        return err != 0;
    }

    // The reader rejected the payload with the message.
    void ExpectRejected(const std::string& exePath, const char* what, const char* text = "Sorry Cannot Find Data") {
        EXPECT_TRUE(Read(exePath)) << what;
        EXPECT_EQ(refusal_, text) << what;
    }

    // The cabinet is there but not the one its sum record sums.
    void ExpectDamaged(const std::string& exePath, const std::string& what) {
        ExpectRejected(exePath, what.c_str(), "The archive is damaged: its cabinet does not match its checksum");
    }

    bool DataFileExists() const { return k4test::Exists("DATAFILE.K4A"); }

    std::string refusal_;
    k4test::ScratchFolder scratch_;

private:
    k4test::CurrentDirectory inScratch_{scratch_.Path()};
};

}  // namespace payloadtest
