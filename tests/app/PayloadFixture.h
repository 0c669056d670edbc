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
#include "K4UiSeams.h"
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

struct Ended {
    unsigned code;
};

class PayloadFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSettings();
        DataFileName = "DATAFILE.K4A";
        ui::SetBoxRecorderForTests([this](ui::BoxKind kind, const std::string& text) { boxes_.push_back({kind, text}); });
        ui::SetEndHookForTests([](unsigned code) { throw Ended{code}; });
    }

    void TearDown() override {
        ui::SetBoxRecorderForTests(nullptr);
        ui::SetEndHookForTests(nullptr);
    }

    // Writes an executable with the given bytes into the scratch folder.
    std::string WriteExe(const std::string& bytes, const char* name = "SETUP.EXE") { return scratch_.Write(name, bytes); }

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
    void ExpectRejected(const std::string& exePath, const char* what, const char* text = "Sorry Cannot Find Data") {
        boxes_.clear();
        EXPECT_TRUE(Read(exePath)) << what;
        ASSERT_EQ(boxes_.size(), 1u) << what;
        EXPECT_EQ(boxes_[0].kind, ui::BoxKind::Plain) << what;
        EXPECT_EQ(boxes_[0].text, text) << what;
        EXPECT_NE(endCode_, 0u) << what;
    }

    // The cabinet is there but not the one its sum record sums.
    void ExpectDamaged(const std::string& exePath, const std::string& what) {
        ExpectRejected(exePath, what.c_str(), "The archive is damaged: its cabinet does not match its checksum");
    }

    bool DataFileExists() const { return k4test::Exists("DATAFILE.K4A"); }

    struct Box {
        ui::BoxKind kind;
        std::string text;
    };
    std::vector<Box> boxes_;
    unsigned endCode_ = 0;
    k4test::ScratchFolder scratch_;

private:
    k4test::CurrentDirectory inScratch_{scratch_.Path()};
};

}  // namespace payloadtest
