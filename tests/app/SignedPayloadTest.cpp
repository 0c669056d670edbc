// The payload reader on signed programs: the trailer found in front of the certificate table
// the PE headers name, only the payload copied (never the table), and headers or directory
// entries that do not add up read as an unsigned file.
#include <gtest/gtest.h>
#include <windows.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>
#include "K4Settings.h"
#include "PayloadFixture.h"
#include "SignedImage.h"

using namespace payloadtest;
namespace si = signedimage;
using si::PeKind;

namespace {

const PeKind kKinds[] = {PeKind::Pe32, PeKind::Pe32Plus};

const char* KindName(PeKind kind) { return kind == PeKind::Pe32 ? "PE32" : "PE32+"; }

// A program image with a payload, and the bytes the reader must copy out of it: the
// cabinet, as far as its header says, without what follows it up to the trailer.
struct Program {
    std::string file;
    std::string copied;
};

Program MakeProgram(PeKind kind, std::size_t padding = 0, const std::string& cabinetTail = "") {
    const std::string cabinet = Cabinet(500, 5);
    std::string tail = cabinet + cabinetTail + std::string(padding, '\0');
    return {si::Image(kind) + Payload("C:\\Signed", "Signed caption", "Title", tail), cabinet};
}

using SignedPayloadTest = PayloadFixture;
using Change = std::function<void(std::string& file, PeKind kind, std::uint32_t tableOffset)>;

}  // namespace

TEST_F(SignedPayloadTest, CopiesThePayloadInFrontOfTheTableWithUpTo7InsertedZeroBytes) {
    for (PeKind kind : kKinds) {
        for (std::size_t padding : {0, 5}) {
            Program program = MakeProgram(kind, padding);
            for (std::size_t inserted = 0; inserted < 8; ++inserted) {
                SCOPED_TRACE(std::string(KindName(kind)) + ", padding " + std::to_string(padding) +
                             ", inserted " + std::to_string(inserted));
                WindowCaption = "unchanged";
                EXPECT_FALSE(Read(WriteExe(si::Signed(program.file, kind, inserted))));
                EXPECT_EQ(ExtractPath, "C:\\Signed");
                EXPECT_EQ(WindowCaption, "Signed caption");
                EXPECT_EQ(TitleLabelText, "Title");
                EXPECT_TRUE(k4test::ReadAll("DATAFILE.K4A") == program.copied) << "no table, no inserted bytes";
            }
        }
    }
}

TEST_F(SignedPayloadTest, UnsignedFilesWithMisleadingDirectoriesOrEndsReadAsBefore) {
    // Each of these names no table behind the payload, or one in front of which no
    // trailer leads to a cabinet: the file is unsigned and its last 4 bytes are the trailer.
    const std::vector<std::pair<const char*, Change>> changes = {
        {"table inside the payload reaching the end",
         [](std::string& f, PeKind kind, std::uint32_t size) {
             k4test::PutLe(f, size - 200, 16);
             si::SetSecurityEntry(f, kind, size - 200, 200);
         }},
        {"the payload's last 8 bytes as the table",
         [](std::string& f, PeKind kind, std::uint32_t size) {
             k4test::PutLe(f, size - 8, 8);
             si::SetSecurityEntry(f, kind, size - 8, 8);
         }},
        {"table ending before the end",
         [](std::string& f, PeKind kind, std::uint32_t size) {
             k4test::PutLe(f, size - 100, 16);
             si::SetSecurityEntry(f, kind, size - 100, 50);
         }},
        {"table past the end", [](std::string& f, PeKind kind, std::uint32_t size) {
             si::SetSecurityEntry(f, kind, size + 8, 0x100);
         }},
        {"offset and size wrapping in 32 bits", [](std::string& f, PeKind kind, std::uint32_t size) {
             si::SetSecurityEntry(f, kind, 0xFFFFFFF8u, size + 8);
         }},
        {"table inside the headers", [](std::string& f, PeKind kind, std::uint32_t size) {
             si::SetSecurityEntry(f, kind, 0x40, size - 0x40);
         }},
    };
    for (PeKind kind : kKinds) {
        Program lookalike = MakeProgram(kind, 0, si::TableBytes(64));
        EXPECT_FALSE(Read(WriteExe(lookalike.file))) << "ends in a table without a directory";
        EXPECT_TRUE(k4test::ReadAll("DATAFILE.K4A") == lookalike.copied);
        for (const auto& [what, change] : changes) {
            SCOPED_TRACE(std::string(KindName(kind)) + ": " + what);
            Program program = MakeProgram(kind);
            change(program.file, kind, static_cast<std::uint32_t>(program.file.size()));
            EXPECT_FALSE(Read(WriteExe(program.file)));
            const std::size_t cabinetAt = program.file.size() - 4 - program.copied.size();
            EXPECT_TRUE(k4test::ReadAll("DATAFILE.K4A") == program.file.substr(cabinetAt, program.copied.size()));
        }
    }
}

TEST_F(SignedPayloadTest, SignedFileWhoseHeadersOrTableDoNotAddUpIsRefused) {
    // Read as unsigned, the last 4 bytes are the table's filler: a negative trailer.
    const std::vector<std::pair<const char*, Change>> changes = {
        {"no MZ", [](std::string& f, PeKind, std::uint32_t) { f[0] = 'X'; }},
        {"PE header beyond the end",
         [](std::string& f, PeKind, std::uint32_t) { k4test::PutLe(f, 0x3C, static_cast<std::uint32_t>(f.size() - 8)); }},
        {"PE header offset near 4 GiB", [](std::string& f, PeKind, std::uint32_t) { k4test::PutLe(f, 0x3C, 0xFFFFFFF0u); }},
        {"no PE signature", [](std::string& f, PeKind, std::uint32_t) { f[si::kPeHeader] = 'X'; }},
        {"unknown optional header", [](std::string& f, PeKind, std::uint32_t) { k4test::PutLe(f, si::kOptionalHeader, 0x107, 2); }},
        {"optional header too short for the entry",
         [](std::string& f, PeKind kind, std::uint32_t) {
             k4test::PutLe(f, si::kSizeOfOptionalHeaderField,
                       static_cast<std::uint32_t>(si::SecurityEntry(kind) + 7 - si::kOptionalHeader), 2);
         }},
        {"optional header beyond the end",
         [](std::string& f, PeKind, std::uint32_t) { k4test::PutLe(f, si::kSizeOfOptionalHeaderField, 0xFFFF, 2); }},
        {"only four directory entries", [](std::string& f, PeKind kind, std::uint32_t) { k4test::PutLe(f, si::CountField(kind), 4); }},
        {"table one byte longer than the file has",
         [](std::string& f, PeKind kind, std::uint32_t at) {
             si::SetSecurityEntry(f, kind, at, static_cast<std::uint32_t>(f.size() - at + 1));
         }},
        {"first certificate longer than the table",
         [](std::string& f, PeKind, std::uint32_t at) { k4test::PutLe(f, at, static_cast<std::uint32_t>(f.size() - at + 1)); }},
        {"first certificate shorter than its header", [](std::string& f, PeKind, std::uint32_t at) { k4test::PutLe(f, at, 4); }},
    };
    for (PeKind kind : kKinds) {
        Program program = MakeProgram(kind);
        const auto tableOffset = static_cast<std::uint32_t>(program.file.size() + 2);
        const std::string good = si::Signed(program.file, kind, 2);
        EXPECT_FALSE(Read(WriteExe(good))) << KindName(kind) << ": the file before each change";
        ASSERT_TRUE(DeleteFileA("DATAFILE.K4A"));
        for (const auto& [what, change] : changes) {
            std::string file = good;
            change(file, kind, tableOffset);
            ExpectRejected(WriteExe(file), (std::string(KindName(kind)) + ": " + what).c_str());
        }
        ExpectRejected(WriteExe(si::Signed(program.file, kind, 8)), "eight inserted bytes");
        // A non-zero byte among those in front of the table: signing inserts zeros only.
        ExpectRejected(WriteExe(si::Signed(program.file + std::string("\x01\0\0", 3), kind, 0)), "non-zero byte");
        EXPECT_FALSE(DataFileExists());
    }
}
