// Signed self-extractors read back: the certificate table found through the PE headers, the
// trailer in front of it with 0 to 7 zero bytes between, and every header or directory entry
// that does not add up read as unsigned.
#include <gtest/gtest.h>

#include <functional>

#include "pack/PayloadLayout.h"
#include "pe/Signature.h"
#include "SignedImage.h"
#include "TestSupport.h"

using namespace k4pack;
using namespace signedimage;
using k4test::Bytes;

namespace {

const PayloadTexts kTexts{"C:\\Signed", "Signed caption", "Title"};
const PeKind kKinds[] = {PeKind::Pe32, PeKind::Pe32Plus};

Bytes AsBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// "MSCF", its own length at offset 8, then `tail` (counted in that length).
std::string Cabinet(std::size_t size, const std::string& tail = "") {
    std::string cabinet(size - tail.size(), '\x3C');
    cabinet.replace(0, 4, "MSCF");
    k4test::PutLe(cabinet, 8, static_cast<std::uint32_t>(size));
    return cabinet + tail;
}

// An image of the kind with texts and cabinet appended by the packer's writer (padded).
std::string Packed(PeKind kind, const std::string& cabinet = Cabinet(300)) {
    const std::string image = Image(kind);
    const Bytes cabinetBytes = AsBytes(cabinet);
    MemorySink sink;
    sink.Write(AsBytes(image));
    WritePayload(sink, PlanPayload(image.size(), kTexts, cabinet.size()), kTexts,
                 MemorySource(cabinetBytes));
    return std::string(sink.Bytes().begin(), sink.Bytes().end());
}

PayloadContents Read(const std::string& file) {
    const Bytes bytes = AsBytes(file);
    return ReadPayload(MemorySource(bytes));
}

std::optional<k4pack::CertificateTable> Table(const std::string& file) {
    const Bytes bytes = AsBytes(file);
    return FindCertificateTable(MemorySource(bytes));
}

const char* KindName(PeKind kind) {
    return kind == PeKind::Pe32 ? "PE32" : "PE32+";
}

}  // namespace

TEST(SignedPayload, TrailerRightBeforeTheTableOrAfterUpToSevenInsertedZeroBytes) {
    for (PeKind kind : kKinds) {
        const std::string unsignedFile = Packed(kind);
        const PayloadLayout plain = Read(unsignedFile).layout;
        EXPECT_EQ(plain.certificateTableSize, 0u) << KindName(kind);
        for (std::size_t inserted = 0; inserted < 8; ++inserted) {
            SCOPED_TRACE(std::string(KindName(kind)) + ", inserted " + std::to_string(inserted));
            const std::string file = Signed(unsignedFile, kind, inserted);
            const PayloadContents read = Read(file);
            EXPECT_EQ(read.texts, kTexts);
            EXPECT_EQ(read.layout.cabinetOffset, plain.cabinetOffset);
            EXPECT_EQ(read.layout.cabinetSize, 300u);
            EXPECT_EQ(read.layout.paddingSize, plain.paddingSize);
            EXPECT_EQ(read.layout.payloadEnd, unsignedFile.size());
            EXPECT_EQ(read.layout.fileSize, file.size());
            EXPECT_EQ(read.layout.certificateTableOffset, unsignedFile.size() + inserted);
            EXPECT_EQ(read.layout.certificateTableSize, TableBytes().size());
        }
    }
}

TEST(SignedPayload, HeadersOrDirectoryThatDoNotAddUpMeanUnsigned) {
    using Change = std::function<void(std::string&, PeKind, std::uint32_t tableOffset)>;
    const std::vector<std::pair<const char*, Change>> changes = {
        {"no MZ", [](std::string& f, PeKind, std::uint32_t) { f[1] = 'X'; }},
        {"PE header beyond the end",
         [](std::string& f, PeKind, std::uint32_t) {
             k4test::PutLe(f, 0x3C, static_cast<std::uint32_t>(f.size() - 10));
         }},
        {"PE header offset near 4 GiB",
         [](std::string& f, PeKind, std::uint32_t) { k4test::PutLe(f, 0x3C, 0xFFFFFFF0u); }},
        {"no PE signature", [](std::string& f, PeKind, std::uint32_t) { f[kPeHeader + 1] = 'X'; }},
        {"unknown optional header",
         [](std::string& f, PeKind, std::uint32_t) { k4test::PutLe(f, kOptionalHeader, 0x107, 2); }},
        {"optional header too short for the entry",
         [](std::string& f, PeKind kind, std::uint32_t) {
             k4test::PutLe(f, kSizeOfOptionalHeaderField,
                   static_cast<std::uint32_t>(SecurityEntry(kind) + 7 - kOptionalHeader), 2);
         }},
        {"optional header beyond the end",
         [](std::string& f, PeKind, std::uint32_t) { k4test::PutLe(f, kSizeOfOptionalHeaderField, 0xFFFF, 2); }},
        {"only four directory entries",
         [](std::string& f, PeKind kind, std::uint32_t) { k4test::PutLe(f, CountField(kind), 4); }},
        {"table ends one byte early",
         [](std::string& f, PeKind kind, std::uint32_t at) {
             SetSecurityEntry(f, kind, at, static_cast<std::uint32_t>(f.size() - at - 1));
         }},
        {"table reaches past the end",
         [](std::string& f, PeKind kind, std::uint32_t at) {
             SetSecurityEntry(f, kind, at, static_cast<std::uint32_t>(f.size() - at + 1));
         }},
        {"offset and size wrap in 32 bits",
         [](std::string& f, PeKind kind, std::uint32_t) {
             SetSecurityEntry(f, kind, 0xFFFFFFF8u, static_cast<std::uint32_t>(f.size() + 8));
         }},
        {"table starting inside the headers",
         [](std::string& f, PeKind kind, std::uint32_t) {
             SetSecurityEntry(f, kind, 0x40, static_cast<std::uint32_t>(f.size() - 0x40));
         }},
        {"table shorter than a certificate header",
         [](std::string& f, PeKind kind, std::uint32_t) {
             SetSecurityEntry(f, kind, static_cast<std::uint32_t>(f.size() - 4), 4);
         }},
        {"first certificate longer than the table",
         [](std::string& f, PeKind, std::uint32_t at) {
             k4test::PutLe(f, at, static_cast<std::uint32_t>(f.size() - at + 1));
         }},
        {"first certificate shorter than its header",
         [](std::string& f, PeKind, std::uint32_t at) { k4test::PutLe(f, at, 7); }},
    };
    for (PeKind kind : kKinds) {
        const std::string unsignedFile = Packed(kind);
        const std::string good = Signed(unsignedFile, kind, 3);
        const auto tableOffset = static_cast<std::uint32_t>(unsignedFile.size() + 3);
        ASSERT_TRUE(Table(good)) << KindName(kind);
        for (const auto& [what, change] : changes) {
            SCOPED_TRACE(std::string(KindName(kind)) + ": " + what);
            std::string file = good;
            change(file, kind, tableOffset);
            EXPECT_FALSE(Table(file));
            // Read as unsigned, the last 4 bytes are the table's filler: no payload there.
            EXPECT_THROW(Read(file), InvalidPayload);
        }
    }
}

TEST(SignedPayload, UnsignedFilesWithMisleadingEndsReadAsBefore) {
    for (PeKind kind : kKinds) {
        SCOPED_TRACE(KindName(kind));
        // The cabinet ends in what looks like a certificate table, the directory is empty.
        const std::string lookalike = Packed(kind, Cabinet(400, TableBytes(64)));
        EXPECT_FALSE(Table(lookalike));
        EXPECT_EQ(Read(lookalike).layout.cabinetSize, 400u);

        // A directory naming the payload's end from inside the cabinet, where the bytes read
        // as a plausible certificate length: believed as a table, but no trailer in front of
        // it leads to a cabinet, so the file is read as unsigned.
        std::string inside = Packed(kind);
        const std::uint64_t at = Read(inside).layout.cabinetOffset + 100;
        k4test::PutLe(inside, at, 16);
        SetSecurityEntry(inside, kind, static_cast<std::uint32_t>(at),
                         static_cast<std::uint32_t>(inside.size() - at));
        ASSERT_TRUE(Table(inside));
        const PayloadLayout read = Read(inside).layout;
        EXPECT_EQ(read.certificateTableSize, 0u);
        EXPECT_EQ(read.payloadEnd, inside.size());
        EXPECT_EQ(read.cabinetSize, 300u);
    }
}

TEST(SignedPayload, NoTrailerInFrontOfTheTableIsRefusedAsSigned) {
    const std::string unsignedFile = Packed(PeKind::Pe32);
    // Eight zero bytes: one more than signing ever inserts.
    const std::string eight = Signed(unsignedFile, PeKind::Pe32, 8);
    // A non-zero byte among the inserted ones: signing inserts zeros only.
    const std::string nonZero = Signed(unsignedFile + std::string("\x01\0\0", 3), PeKind::Pe32, 0);
    for (const std::string* file : {&eight, &nonZero}) {
        ASSERT_TRUE(Table(*file));
        try {
            Read(*file);
            ADD_FAILURE() << "read without a trailer in front of the table";
        } catch (const InvalidPayload& e) {
            EXPECT_NE(std::string(e.what()).find("signed"), std::string::npos) << e.what();
        }
    }
}
