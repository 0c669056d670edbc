// The packer's cabinet writer: random file sets written with 1, 2 and 8 threads (the same
// bytes), each cabinet passed through the extractor's own check (every MSZIP block decoded
// by zlib) and read back by the packer's reader; the format's limits refused; and the
// cabinets tested by other readers (cabextract, 7-Zip) where they are installed.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "K4CabFormat.h"
#include "K4CabReader.h"
#include "K4CabWriter.h"
#include "TestSupport.h"

namespace {
using cabwrite::Compression;

struct MemoryInput final : cabwrite::Input {
    explicit MemoryInput(const std::vector<std::string>& data) : data(data) {}
    void Begin(std::size_t index) override {
        begun.push_back(index);
        at = 0;
    }
    void Read(unsigned char* out, std::size_t count) override {
        const std::string& file = data.at(begun.back());
        if (count > file.size() - at) throw std::runtime_error("read past the end");
        std::memcpy(out, file.data() + at, count);
        at += count;
    }
    const std::vector<std::string>& data;
    std::vector<std::size_t> begun;
    std::size_t at = 0;
};

struct MemoryOutput final : cabwrite::Output {
    void Write(const unsigned char* b, std::size_t n) override { bytes.append(reinterpret_cast<const char*>(b), n); }
    void Rewrite(std::uint64_t offset, const unsigned char* b, std::size_t n) override {
        ASSERT_LE(offset + n, bytes.size());
        std::memcpy(bytes.data() + offset, b, n);
    }
    std::string bytes;
};

struct MemoryReadAt final : cabfmt::ReadAt {
    explicit MemoryReadAt(const std::string& b) : bytes(b) {}
    std::uint64_t Size() override { return bytes.size(); }
    bool Read(std::uint64_t offset, void* out, std::size_t count) override {
        if (offset > bytes.size() || count > bytes.size() - offset) return false;
        std::memcpy(out, bytes.data() + offset, count);
        return true;
    }
    const std::string& bytes;
};

enum class Kind { Random, Repetitive, Text };

std::string Content(std::size_t size, Kind kind, std::mt19937& rng) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        if (kind == Kind::Random) out[i] = static_cast<char>(rng());
        else if (kind == Kind::Repetitive) out[i] = static_cast<char>("abcabd"[i % 6]);
        else out[i] = static_cast<char>(i % 61 == 60 ? '\n' : 'a' + rng() % 6);
    }
    return out;
}

struct FileSet {
    const char* label;
    std::vector<std::size_t> sizes;
    std::vector<Kind> kinds;          // repeated over the files
    std::uint16_t folders = 1;        // files spread in order over this many folders
};

struct Made {
    std::vector<cabwrite::Entry> entries;
    std::vector<std::string> data;
};

Made MakeSet(const FileSet& set, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Made made;
    for (std::size_t i = 0; i < set.sizes.size(); ++i) {
        made.data.push_back(Content(set.sizes[i], set.kinds[i % set.kinds.size()], rng));
        cabwrite::Entry e;
        e.name = "dir\\f" + std::to_string(i) + ".bin";
        e.size = static_cast<std::uint32_t>(set.sizes[i]);
        e.date = static_cast<std::uint16_t>((44 << 9) | (5 << 5) | 17);
        e.time = static_cast<std::uint16_t>((13 << 11) | (7 << 5) | 9);
        e.folder = static_cast<std::uint16_t>(i * set.folders / set.sizes.size());
        made.entries.push_back(e);
    }
    return made;
}

std::string WriteCab(const Made& made, Compression compression, unsigned threads) {
    MemoryInput input(made.data);
    MemoryOutput output;
    const std::uint64_t size = cabwrite::Write(made.entries, input, output, {compression, threads});
    EXPECT_EQ(size, output.bytes.size());
    std::vector<std::size_t> order(made.entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    EXPECT_EQ(input.begun, order) << "every entry begun once, in order";
    return output.bytes;
}

// Every block's place: all but a folder's last hold 32 KB, no data over 32768 + 6144.
void ExpectBlockShapes(const std::string& cab, const cabread::Listing& listing) {
    for (const cabread::Folder& folder : listing.folders) {
        std::size_t at = folder.dataStart;
        for (std::size_t b = 0; b < folder.blocks; ++b) {
            const auto data = static_cast<std::size_t>(static_cast<unsigned char>(cab[at + 4]) | static_cast<unsigned char>(cab[at + 5]) << 8);
            const auto out = static_cast<std::size_t>(static_cast<unsigned char>(cab[at + 6]) | static_cast<unsigned char>(cab[at + 7]) << 8);
            EXPECT_LE(data, 32768u + 6144u);
            if (b + 1 < folder.blocks) EXPECT_EQ(out, 32768u) << "block " << b;
            at += 8 + data;
        }
    }
}

// The folders decoded by the reader, split by the file table: the files' bytes.
void ExpectReadBack(const std::string& cab, const Made& made) {
    MemoryReadAt source(cab);
    const cabread::Listing listing = cabread::List(source);
    ASSERT_EQ(listing.files.size(), made.entries.size());
    ExpectBlockShapes(cab, listing);
    std::vector<std::string> folders(listing.folders.size());
    for (std::size_t f = 0; f < folders.size(); ++f)
        cabread::DecodeFolder(source, listing, f, [&](const unsigned char* b, std::size_t n) {
            folders[f].append(reinterpret_cast<const char*>(b), n);
            return true;
        });
    for (std::size_t i = 0; i < made.entries.size(); ++i) {
        const cabread::File& file = listing.files[i];
        EXPECT_EQ(file.name, made.entries[i].name);
        EXPECT_EQ(file.date, made.entries[i].date);
        EXPECT_EQ(file.time, made.entries[i].time);
        EXPECT_EQ(file.attribs, 0x20);
        EXPECT_TRUE(folders[file.folder].substr(file.offset, file.size) == made.data[i]) << file.name;
    }
}

std::vector<std::size_t> ManySmall(std::size_t count) {
    std::vector<std::size_t> sizes(count);
    for (std::size_t i = 0; i < count; ++i) sizes[i] = i % 97 * 13;
    return sizes;
}

const std::vector<FileSet>& Sets() {
    static const std::vector<FileSet> sets = {
        {"edges", {0, 1, 32767, 32768, 32769}, {Kind::Random, Kind::Text}},
        {"none", {}, {Kind::Text}},
        {"only empty", {0, 0}, {Kind::Text}},
        {"one byte", {1}, {Kind::Random}},
        {"whole blocks", {32768, 65536}, {Kind::Repetitive}},
        {"several MB random", {3 * 1024 * 1024 + 17}, {Kind::Random}},
        {"several MB mixed", {2 * 1024 * 1024, 1234567, 2 * 1024 * 1024 + 5}, {Kind::Repetitive, Kind::Text, Kind::Random}},
        {"many small", ManySmall(3000), {Kind::Text, Kind::Repetitive}},
        {"folders", {5000, 0, 70000, 32768, 100000, 1, 40000}, {Kind::Text, Kind::Random}, 4},
    };
    return sets;
}

class CabWriterRoundTrip : public ::testing::TestWithParam<Compression> {};

TEST_P(CabWriterRoundTrip, SameBytesForAnyThreadsCheckedAndReadBack) {
    for (const FileSet& set : Sets()) {
        SCOPED_TRACE(set.label);
        const Made made = MakeSet(set, 17);
        const std::string one = WriteCab(made, GetParam(), 1);
        EXPECT_TRUE(WriteCab(made, GetParam(), 2) == one) << "2 threads";
        EXPECT_TRUE(WriteCab(made, GetParam(), 8) == one) << "8 threads";
        MemoryReadAt source(one);
        const cabfmt::Result checked = cabfmt::Check(source);
        EXPECT_TRUE(checked.Sound()) << checked.text;
        EXPECT_EQ(checked.members.size(), made.entries.size());
        ExpectReadBack(one, made);
    }
}

INSTANTIATE_TEST_SUITE_P(Compressions, CabWriterRoundTrip, ::testing::Values(Compression::Stored, Compression::Mszip),
                         [](const auto& info) { return info.param == Compression::Stored ? "Stored" : "Mszip"; });

TEST(CabWriter, CompressesRepetitiveDataAcrossBlocksAndStoresRandomData) {
    const Made repetitive = MakeSet({"r", {1 << 20}, {Kind::Repetitive}}, 1);
    EXPECT_LT(WriteCab(repetitive, Compression::Mszip, 2).size(), 10000u);
    const Made random = MakeSet({"x", {1 << 20}, {Kind::Random}}, 1);
    // Stored deflate blocks: "CK", 5 bytes and 8 of block header per 32 KB beside the data.
    EXPECT_EQ(WriteCab(random, Compression::Mszip, 2).size(), WriteCab(random, Compression::Stored, 2).size() + 32 * 7);
}

struct Refusal {
    const char* label;
    std::vector<cabwrite::Entry> entries;
    const char* text;
};

std::vector<cabwrite::Entry> Named(std::size_t count, const std::string& name, std::uint32_t size = 0) {
    std::vector<cabwrite::Entry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
        entries[i].name = count == 1 ? name : name + std::to_string(i);
        entries[i].size = size;
    }
    return entries;
}

TEST(CabWriter, RefusesWhatTheFormatCannotHoldBeforeReadingAnything) {
    auto outOfOrder = Named(2, "a");
    outOfOrder[1].folder = 2;
    auto firstNotZero = Named(1, "a");
    firstNotZero[0].folder = 1;
    const std::vector<Refusal> refusals = {
        {"too many", Named(65536, "n"), "65536 files; a cabinet holds at most 65535"},
        {"empty name", Named(1, ""), "1 to 255 bytes"},
        {"long name", Named(1, std::string(256, 'x')), "1 to 255 bytes"},
        {"NUL in name", Named(1, std::string("a\0b", 3)), "\"a\\0...\": a name in a cabinet holds no NUL"},
        {"folder skipped", outOfOrder, "folder 2 out of order"},
        {"first folder not 0", firstNotZero, "folder 1 out of order"},
        {"folder too large", Named(2, "big", 0x40000000), "2147483648 bytes; a folder holds at most 2147450880"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.label);
        const std::vector<std::string> data;
        MemoryInput input(data);
        MemoryOutput output;
        try {
            cabwrite::Write(r.entries, input, output, {});
            ADD_FAILURE() << "not refused";
        } catch (const cabwrite::Refused& e) {
            EXPECT_NE(std::string(e.what()).find(r.text), std::string::npos) << e.what();
        }
        EXPECT_TRUE(input.begun.empty());
        EXPECT_TRUE(output.bytes.empty());
    }
}

TEST(CabWriter, PassesOnAFailingReadFromAnyThread) {
    struct Failing final : cabwrite::Input {
        void Begin(std::size_t) override {}
        void Read(unsigned char*, std::size_t) override { throw std::runtime_error("source vanished"); }
    } input;
    MemoryOutput output;
    EXPECT_THROW(cabwrite::Write(Named(1, "a", 100000), input, output, {Compression::Mszip, 4}), std::runtime_error);
}

TEST(CabReader, RefusesADamagedBlockAndAForeignFolder) {
    const Made made = MakeSet({"d", {100000}, {Kind::Text}}, 3);
    std::string cab = WriteCab(made, Compression::Mszip, 1);
    MemoryReadAt source(cab);
    cabread::Listing listing = cabread::List(source);
    cab[listing.folders[0].dataStart + 20] ^= 0x55;
    const auto sink = [](const unsigned char*, std::size_t) { return true; };
    EXPECT_THROW(cabread::DecodeFolder(source, listing, 0, sink), cabread::Unreadable);
    std::string foreign = WriteCab(made, Compression::Mszip, 1);
    foreign[36 + 8 + 8] = 3;   // the first file's folder index
    MemoryReadAt foreignSource(foreign);
    EXPECT_THROW(cabread::List(foreignSource), cabread::Unreadable);
    const std::string notACabinet = "MSCX" + std::string(40, '\0');
    MemoryReadAt notACabinetSource(notACabinet);
    EXPECT_THROW(cabread::List(notACabinetSource), cabread::Unreadable);
}

// Another reader's test of the writer's cabinets, when that reader is installed.
struct Reader {
    const char* label;
    std::vector<std::string> tools;   // the first installed is used
    const char* test;                 // its command, the cabinet's path after it
};

class CabWriterInterop : public ::testing::TestWithParam<Reader> {};

TEST_P(CabWriterInterop, TestsStoredAndMszipOneAndManyFolders) {
    const Reader& reader = GetParam();
    std::string tool;
    for (const std::string& name : reader.tools)
        if (tool.empty() && k4test::RunShell("command -v " + name + " >/dev/null").status == 0) tool = name;
    if (tool.empty()) GTEST_SKIP() << reader.label << " is not installed (Debian packages cabextract, 7zip)";
    k4test::ScratchFolder dir;
    for (const Compression compression : {Compression::Stored, Compression::Mszip})
        for (const std::uint16_t folders : {1, 3}) {
            SCOPED_TRACE(std::to_string(folders) + " folders, compression " + std::to_string(static_cast<int>(compression)));
            const Made made = MakeSet({"i", {0, 1, 32769, 500000, 70000, 12}, {Kind::Text, Kind::Random}, folders}, 5);
            const std::string path = dir / "interop.cab";
            const std::string cab = WriteCab(made, compression, 2);
            k4test::WriteFile(path, k4test::Bytes(cab.begin(), cab.end()));
            const k4test::RunResult run = k4test::RunShell(tool + reader.test + k4test::Quote(path) + " 2>&1");
            EXPECT_EQ(run.status, 0) << run.out;
        }
}

INSTANTIATE_TEST_SUITE_P(Readers, CabWriterInterop,
                         ::testing::Values(Reader{"cabextract", {"cabextract"}, " -t "}, Reader{"SevenZip", {"7z", "7zz"}, " t "}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
