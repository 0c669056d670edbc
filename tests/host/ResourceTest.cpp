// The resource section writer on both carried extractor programs: the tree read back as it
// was written, its items aligned and inside the section, the image around it consistent
// (section table, directory entries, SizeOfImage, relocations moved intact), version
// resources and icon files parsed and encoded, and the image checksum.
#include <gtest/gtest.h>

#include "pack/Branding.h"
#include "pack/EmbeddedStubs.h"
#include "pe/Resources.h"
#include "WindowsText.h"
#include "TestSupport.h"

using namespace k4test;
using k4pack::StubArch;

namespace {

Bytes Carried(StubArch arch) {
    const auto bytes = k4pack::EmbeddedStub(arch);
    return Bytes(bytes.begin(), bytes.end());
}

#define FOR_EACH_CARRIED_PROGRAM(image)                                                   \
    for (StubArch arch : {StubArch::I686, StubArch::X86_64})                              \
        if (const Bytes image = Carried(arch); image.empty()) {                           \
            GTEST_SKIP() << "a build without carried programs";                           \
        } else if (SCOPED_TRACE(std::string(k4pack::ArchName(arch))); true)

const k4pack::PeSection& Named(const k4pack::PeHeaders& pe, const std::string& name) {
    for (const k4pack::PeSection& section : pe.sections)
        if (section.name == name) return section;
    throw std::runtime_error("no section " + name);
}

// The image checksum computed plainly, word by word, for comparison with PeChecksum.
std::uint32_t PlainChecksum(Bytes file, std::size_t field) {
    std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(field), 4, 0);
    const std::size_t length = file.size();
    if (file.size() % 2) file.push_back(0);
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < file.size(); i += 2) {
        sum += file[i] | file[i + 1] << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint32_t>(((sum & 0xFFFF) + (sum >> 16)) + length);
}

k4pack::Resource Made(std::uint16_t type, std::uint16_t name, std::size_t size, std::u16string typeName = {}) {
    return {{type, typeName}, {name, {}}, 0x409, 0, PatternBytes(size, name)};
}

}  // namespace

TEST(ResourceTree, ReadsBackWhatItWroteAlignedInsideTheSection) {
    const std::vector<k4pack::Resource> resources = {
        Made(3, 2, 5), Made(3, 1, 1000), Made(14, 1, 20), Made(0, 7, 3, u"CUSTOM"), Made(0, 1, 9, u"ALPHA"), Made(24, 1, 0),
    };
    const std::uint32_t rva = 0x24000;
    const Bytes section = k4pack::WriteResourceTree(resources, rva);
    EXPECT_EQ(section.size() % 8, 0u);
    std::vector<k4pack::Resource> read = k4pack::ReadResourceTree(section, rva);
    ASSERT_EQ(read.size(), resources.size());
    // Named types first, in upper-case order, then numbers ascending; within a type, names ascending.
    EXPECT_EQ(read[0].type.text, u"ALPHA");
    EXPECT_EQ(read[1].type.text, u"CUSTOM");
    EXPECT_EQ(read[2].type.number, 3);
    EXPECT_EQ(read[2].name.number, 1);
    EXPECT_EQ(read[3].name.number, 2);
    for (const k4pack::Resource& r : resources)
        EXPECT_NE(std::find(read.begin(), read.end(), r), read.end()) << r.type.number << "/" << r.name.number;
    // Every data entry's address on an 8-byte boundary and its bytes inside the section.
    for (std::size_t entry = 0; entry + 16 <= section.size(); entry += 4)
        if (const std::uint32_t at = le::Read32(section.data() + entry); at >= rva && at < rva + section.size() &&
            le::Read32(section.data() + entry + 4) == 1000) {
            EXPECT_EQ(at % 8, 0u);
            EXPECT_TRUE(std::equal(resources[1].data.begin(), resources[1].data.end(), section.begin() + (at - rva)));
        }
    EXPECT_THROW(k4pack::WriteResourceTree({Made(3, 1, 4), Made(3, 1, 8)}, rva), k4pack::PackError);
}

TEST(ResourceTree, RefusesTreesThatLeaveTheSection) {
    const Bytes good = k4pack::WriteResourceTree({Made(3, 1, 16)}, 0x1000);
    for (auto [what, at, value] : {std::tuple{"subdirectory beyond the end", 20, 0x80001000u},
                                   std::tuple{"data entry at the root", 20, 0x18u},
                                   std::tuple{"more entries than bytes", 14, 0x7FFFu}}) {
        Bytes bad = good;
        k4pack::StoreLe32(bad, static_cast<std::size_t>(at), value);
        EXPECT_THROW(k4pack::ReadResourceTree(bad, 0x1000), k4pack::PackError) << what;
    }
    EXPECT_THROW(k4pack::ReadResourceTree(good, 0x2000), k4pack::PackError) << "data in front of the section";
    EXPECT_THROW(k4pack::ReadResourceTree(Bytes(good.begin(), good.begin() + 20), 0x1000), k4pack::PackError);
}

TEST(ResourceSection, UnchangedResourcesKeepTheProgramConsistent) {
    FOR_EACH_CARRIED_PROGRAM(image) {
        const k4pack::PeHeaders before = k4pack::ReadPeHeaders(image);
        const std::vector<k4pack::Resource> resources = k4pack::ReadProgramResources(image);
        ASSERT_NE(k4pack::FindResource(resources, k4pack::kRtManifest, 1), nullptr);
        const Bytes rewritten = k4pack::ReplaceResources(image, resources);
        const k4pack::PeHeaders after = k4pack::ReadPeHeaders(rewritten);
        EXPECT_EQ(k4pack::ReadProgramResources(rewritten), resources);
        ASSERT_EQ(after.sections.size(), before.sections.size());
        const k4pack::PeSection& rsrc = Named(after, ".rsrc");
        const k4pack::PeSection& reloc = Named(after, ".reloc");
        EXPECT_EQ(rsrc.virtualAddress, Named(before, ".rsrc").virtualAddress);
        EXPECT_EQ(rsrc.rawSize % after.fileAlignment, 0u);
        EXPECT_EQ(after.directories[k4pack::kResourceDirectory].rva, rsrc.virtualAddress);
        EXPECT_EQ(after.directories[k4pack::kResourceDirectory].size, rsrc.virtualSize);
        EXPECT_EQ(reloc.virtualAddress % after.sectionAlignment, 0u);
        EXPECT_GE(reloc.virtualAddress, rsrc.virtualAddress + rsrc.virtualSize);
        EXPECT_EQ(reloc.rawOffset, rsrc.rawOffset + rsrc.rawSize);
        EXPECT_EQ(after.directories[k4pack::kRelocationDirectory].rva - reloc.virtualAddress,
                  before.directories[k4pack::kRelocationDirectory].rva - Named(before, ".reloc").virtualAddress);
        const k4pack::PeSection& oldReloc = Named(before, ".reloc");
        EXPECT_TRUE(std::equal(image.begin() + oldReloc.rawOffset, image.begin() + oldReloc.rawOffset + oldReloc.rawSize,
                               rewritten.begin() + reloc.rawOffset));
        EXPECT_EQ(after.sizeOfImage, (reloc.virtualAddress + reloc.virtualSize + after.sectionAlignment - 1) /
                                         after.sectionAlignment * after.sectionAlignment);
        EXPECT_EQ(rewritten.size(), after.RawEnd());
        // Everything in front of the resources stays, but the fields that describe them.
        EXPECT_TRUE(std::equal(image.begin() + 0x400, image.begin() + rsrc.rawOffset, rewritten.begin() + 0x400));
        EXPECT_EQ(le::Read16(rewritten.data() + after.optionalHeader + 70),
                  le::Read16(image.data() + before.optionalHeader + 70)) << "DllCharacteristics";
    }
}

TEST(ResourceSection, BytesBehindTheSectionsMoveWithThemAndStayNamed) {
    FOR_EACH_CARRIED_PROGRAM(image) {
        Bytes unstripped = image;
        const Bytes symbols = PatternBytes(100, 9);
        unstripped.insert(unstripped.end(), symbols.begin(), symbols.end());
        const std::size_t field = k4pack::ReadPeHeaders(image).optionalHeader - 20 + 8;  // PointerToSymbolTable
        k4pack::StoreLe32(unstripped, field, static_cast<std::uint32_t>(image.size()));
        std::vector<k4pack::Resource> resources = k4pack::ReadProgramResources(image);
        resources.push_back(Made(0, 1, 5000, u"GROWN"));
        const Bytes rewritten = k4pack::ReplaceResources(unstripped, resources);
        const std::uint32_t moved = le::Read32(rewritten.data() + field);
        EXPECT_EQ(moved, rewritten.size() - symbols.size());
        EXPECT_TRUE(std::equal(symbols.begin(), symbols.end(), rewritten.begin() + moved));
        EXPECT_EQ(k4pack::ReadProgramResources(rewritten).size(), resources.size());
    }
}

TEST(ResourceSection, RefusesProgramsItCannotRewrite) {
    FOR_EACH_CARRIED_PROGRAM(image) {
        const k4pack::PeHeaders pe = k4pack::ReadPeHeaders(image);
        const std::vector<k4pack::Resource> resources = k4pack::ReadProgramResources(image);
        Bytes noResources = image;
        k4pack::StoreLe32(noResources, pe.DirectoryOffset(k4pack::kResourceDirectory), 0);
        EXPECT_THROW(k4pack::ReplaceResources(noResources, resources), k4pack::PackError) << "no resource section";
        Bytes pointsBehind = image;  // the debug directory naming the relocations' address
        k4pack::StoreLe32(pointsBehind, pe.DirectoryOffset(6), Named(pe, ".reloc").virtualAddress);
        EXPECT_THROW(k4pack::ReplaceResources(pointsBehind, resources), k4pack::PackError) << "a directory behind";
        Bytes misaligned = image;
        k4pack::StoreLe32(misaligned, pe.optionalHeader + 36, 0x300);
        EXPECT_THROW(k4pack::ReadPeHeaders(misaligned), k4pack::PackError) << "file alignment";
        EXPECT_THROW(k4pack::ReadPeHeaders(Bytes(image.begin(), image.begin() + 0x1000)), k4pack::PackError) << "cut short";
    }
}

// The walk to the data directory (format/K4PeImage.h, the one the extractor finds its
// signature with) and each way it stops, as the packer names it.
TEST(PeHeaders, EveryStopOfTheWalkToTheDirectoryIsNamed) {
    FOR_EACH_CARRIED_PROGRAM(image) {
        const k4pack::PeHeaders pe = k4pack::ReadPeHeaders(image);
        const std::size_t sizeField = pe.optionalHeader - 4;  // SizeOfOptionalHeader
        const std::size_t countField = pe.DirectoryOffset(0) - 4;
        auto withSize = [&](Bytes bytes, std::size_t size) {
            bytes[sizeField] = static_cast<std::uint8_t>(size);
            bytes[sizeField + 1] = static_cast<std::uint8_t>(size >> 8);
            return bytes;
        };
        Bytes notPe = image;
        notPe[0] = 'X';
        Bytes unknownKind = image;
        unknownKind[pe.optionalHeader] = 0x07;
        Bytes tooManyEntries = withSize(image, countField + 4 + 8 - pe.optionalHeader);
        k4pack::StoreLe32(tooManyEntries, countField, 16);
        const std::pair<Bytes, std::string> cases[] = {
            {notPe, "not a PE file"},
            {Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(pe.optionalHeader + 100)),
             "the optional header lies beyond the end of the program"},
            {unknownKind, "an optional header of unknown kind"},
            {withSize(image, countField + 2 - pe.optionalHeader), "an optional header too short"},
            {tooManyEntries, "a data directory beyond the optional header"},
        };
        for (const auto& [bytes, expected] : cases) {
            try {
                k4pack::ReadPeHeaders(bytes);
                ADD_FAILURE() << "accepted: " << expected;
            } catch (const k4pack::PackError& e) {
                EXPECT_EQ(std::string(e.what()).find(expected), 0u) << e.what();
            }
        }
        EXPECT_EQ(pe.directories.size(), 16u) << "every entry the header counts";
    }
}

TEST(ResourceSection, ChecksumMatchesThePlainSumAtAnyPieceSize) {
    FOR_EACH_CARRIED_PROGRAM(image) {
        const std::size_t field = k4pack::ReadPeHeaders(image).ChecksumOffset();
        EXPECT_EQ(PlainChecksum(image, field), le::Read32(image.data() + field)) << "as the linker wrote it";
        Bytes odd = image;
        odd.push_back(0x5A);
        for (std::size_t piece : {1u, 3u, 4096u}) {
            k4pack::PeChecksum sum(field);
            for (std::size_t at = 0; at < odd.size(); at += piece)
                sum.Write(std::span(odd).subspan(at, std::min(piece, odd.size() - at)));
            EXPECT_EQ(sum.Value(), PlainChecksum(odd, field)) << piece;
        }
    }
}

TEST(VersionResource, ChangesTheFixedPartAndEveryStringTable) {
    FOR_EACH_CARRIED_PROGRAM(image) {
        const std::vector<k4pack::Resource> resources = k4pack::ReadProgramResources(image);
        const k4pack::Resource* version = k4pack::FindResource(resources, k4pack::kRtVersion, 1);
        ASSERT_NE(version, nullptr);
        k4pack::VersionNode root = k4pack::ParseVersionResource(version->data);
        EXPECT_EQ(k4pack::EncodeVersionResource(root), version->data) << "read and written the same";
        k4pack::ChangeVersion(root, {k4pack::VersionNumber{1, 2, 3, 4}, k4pack::VersionNumber{65535, 0, 0, 9},
                                     {{"ProductName", "Caf\xC3\xA9 \xF0\x9F\x98\x80"}, {"Comments", "new"}}});
        const k4pack::VersionReport report = k4pack::DescribeVersion(k4pack::ParseVersionResource(k4pack::EncodeVersionResource(root)));
        EXPECT_EQ(k4pack::VersionText(report.fileVersion), "1.2.3.4");
        EXPECT_EQ(k4pack::VersionText(report.productVersion), "65535.0.0.9");
        EXPECT_EQ(report.table, "040204E3");
        const auto value = [&](const std::string& key) {
            for (const auto& [k, v] : report.strings)
                if (k == key) return v;
            return std::string("(missing)");
        };
        EXPECT_EQ(value("ProductName"), "Caf\xC3\xA9 \xF0\x9F\x98\x80");
        EXPECT_EQ(value("Comments"), "new");
        EXPECT_EQ(value("CompanyName"), "K4 project");
        EXPECT_EQ(value("FileVersion"), "3.2.4.13") << "strings are changed only when given";
    }
}

TEST(VersionResource, VersionNumbersAndTexts) {
    EXPECT_EQ(k4pack::ParseVersionNumber("1.2.3.4"), (k4pack::VersionNumber{1, 2, 3, 4}));
    EXPECT_EQ(k4pack::ParseVersionNumber("0.0.0.65535"), (k4pack::VersionNumber{0, 0, 0, 65535}));
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1.2.3.65536", "a.b.c.d", "1..3.4", "1.2.3.4.", ".1.2.3", "1.2.3.-4",
                            "1.2.3.000001", " 1.2.3.4"})
        EXPECT_EQ(k4pack::ParseVersionNumber(bad), std::nullopt) << bad;
    EXPECT_EQ(k4pack::ShownUtf16(k4pack::ResourceUtf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")),
              "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(k4pack::ResourceUtf16("\xF0\x9F\x98\x80").size(), 2u);
    for (const char* bad : {"\xC3", "\xE9t\xE9", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"})
        EXPECT_THROW(k4pack::ResourceUtf16(bad), k4pack::PackError) << bad;
    EXPECT_THROW(k4pack::ParseVersionResource(Bytes(5, 0)), k4pack::PackError);
}

TEST(IconFile, EveryImageWithItsDepthOrAReasonWhyNot) {
    const std::vector<k4pack::IconImage> icon = k4pack::ParseIconFile(ReadFile(K4_TEST_ICON));
    ASSERT_EQ(icon.size(), 4u);
    const std::pair<unsigned, unsigned> expected[] = {{16, 4}, {32, 8}, {48, 32}, {0, 32}};
    for (std::size_t i = 0; i < icon.size(); ++i) {
        EXPECT_EQ(icon[i].width, expected[i].first);
        EXPECT_EQ(icon[i].bitCount, expected[i].second);
        EXPECT_EQ(icon[i].planes, 1u);
    }
    const Bytes good = ReadFile(K4_TEST_ICON);
    auto changed = [&](std::size_t at, std::uint32_t value, std::size_t width) {
        Bytes bad = good;
        for (std::size_t i = 0; i < width; ++i) bad[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return bad;
    };
    const std::pair<const char*, Bytes> refused[] = {
        {"not an icon file", ToBytes("GIF89a")},
        {"not an icon file", changed(2, 2, 2)},  // a cursor file
        {"holds no image", changed(4, 0, 2)},
        {"directory is cut short", Bytes(good.begin(), good.begin() + 40)},
        {"outside the icon file", changed(6 + 8, 0x7FFFFFFF, 4)},
        {"neither a bitmap nor a PNG", changed(le::Read32(good.data() + 6 + 12), 0x12345678, 4)},
    };
    for (const auto& [reason, bytes] : refused) {
        try {
            k4pack::ParseIconFile(bytes);
            ADD_FAILURE() << reason << ": accepted";
        } catch (const k4pack::PackError& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
}
