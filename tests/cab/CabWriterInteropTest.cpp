// Cabinets from the packer's writer (format/K4CabWriter.h) extracted by the system's
// cabinet library alone: FDICreate and FDICopy with this file's plain callbacks, no engine
// in between, every file compared byte for byte with what was written; and the writer's
// bytes the same for 1 and 8 threads.
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "CabTestSupport.h"
#include "K4CabWriter.h"
#include "UniqueHandle.h"
#include "k4cabstructs.h"

using namespace k4test;
using cabwrite::Compression;

namespace {

// ---- the library's callbacks: plain files through Win32, nothing of the engine; none
// of them throws ----

FNALLOC(Alloc) noexcept { return std::malloc(cb); }
FNFREE(Free) noexcept { std::free(pv); }

FNOPEN(Open) noexcept {
    (void)pmode;   // the library only opens the cabinet, for reading
    const DWORD access = (oflag & (_O_WRONLY | _O_RDWR)) ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    HANDLE h = CreateFileA(pszFile, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(h);
}

FNREAD(Read) noexcept {
    DWORD done = 0;
    return ReadFile(reinterpret_cast<HANDLE>(hf), pv, cb, &done, nullptr) ? done : static_cast<UINT>(-1);
}

FNWRITE(Write) noexcept {
    DWORD done = 0;
    return WriteFile(reinterpret_cast<HANDLE>(hf), pv, cb, &done, nullptr) ? done : static_cast<UINT>(-1);
}

FNCLOSE(Close) noexcept { return CloseHandle(reinterpret_cast<HANDLE>(hf)) ? 0 : -1; }

FNSEEK(Seek) noexcept {
    const DWORD pos = SetFilePointer(reinterpret_cast<HANDLE>(hf), dist, nullptr, static_cast<DWORD>(seektype));
    return pos == INVALID_SET_FILE_POINTER ? -1 : static_cast<LONG>(pos);
}

// What the library said about one extracted file when it closed it.
struct Closed {
    std::string name;
    USHORT date, time, attribs;
};

struct Extraction {
    std::string target;                  // with its trailing '\'
    std::vector<Closed> closed;
    std::vector<std::string> unexpected; // notifications a single cabinet never needs
};

HANDLE CreateTarget(const Extraction& x, const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i)
        if (name[i] == '\\') CreateDirectoryA((x.target + name.substr(0, i)).c_str(), nullptr);
    return CreateFileA((x.target + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

INT_PTR OnNotify(FDINOTIFICATIONTYPE type, const FDINOTIFICATION& info, Extraction& x) {
    switch (type) {
    case fdintCOPY_FILE: {
        HANDLE h = CreateTarget(x, info.psz1);
        return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(h);
    }
    case fdintCLOSE_FILE_INFO:
        x.closed.push_back({info.psz1, info.date, info.time, info.attribs});
        return CloseHandle(reinterpret_cast<HANDLE>(info.hf)) ? TRUE : FALSE;
    case fdintPARTIAL_FILE:
    case fdintNEXT_CABINET:
        x.unexpected.push_back("notification " + std::to_string(type));
        return -1;
    default:
        return 0;
    }
}

// The one place where the library's call meets the test's C++: nothing unwinds through it.
FNFDINOTIFY(Notify) noexcept {
    try {
        return OnNotify(fdint, *pfdin, *static_cast<Extraction*>(pfdin->pv));
    } catch (...) {
        return -1;
    }
}

struct FdiContextTraits {
    using Handle = HFDI;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { Fdi().FDIDestroy(h); }
};
using UniqueFdiContext = UniqueAny<FdiContextTraits>;

UniqueFdiContext CreateContext(ERF& erf) {
    return UniqueFdiContext(Fdi().FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf));
}

// ---- the cabinets ----

enum class Kind { Random, Repetitive };

std::string Content(std::size_t size, Kind kind, std::mt19937& rng) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        out[i] = kind == Kind::Random ? static_cast<char>(rng()) : "repeat, repeat. "[i % 16];
    return out;
}

struct Case {
    const char* label;
    Compression compression;
    std::uint16_t folders;           // the files spread in order over this many folders
    std::vector<std::size_t> sizes;
    std::vector<Kind> kinds;         // repeated over the files
};

struct Made {
    std::vector<cabwrite::Entry> entries;
    std::vector<std::string> data;
};

Made MakeFiles(const Case& c) {
    std::mt19937 rng(static_cast<std::uint32_t>(c.sizes.size() * 31 + c.folders));
    Made made;
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
        made.data.push_back(Content(c.sizes[i], c.kinds[i % c.kinds.size()], rng));
        cabwrite::Entry e;
        e.name = (i % 2 ? "sub\\f" : "f") + std::to_string(i) + ".bin";
        e.size = static_cast<std::uint32_t>(c.sizes[i]);
        e.date = static_cast<std::uint16_t>((45 << 9) | (3 << 5) | (1 + i % 28));
        e.time = static_cast<std::uint16_t>((10 << 11) | ((i % 60) << 5) | (i % 30));
        e.folder = static_cast<std::uint16_t>(i * c.folders / c.sizes.size());
        made.entries.push_back(e);
    }
    return made;
}

struct MemoryInput final : cabwrite::Input {
    explicit MemoryInput(const std::vector<std::string>& data) : data(data) {}
    void Begin(std::size_t index) override {
        file = &data.at(index);
        at = 0;
    }
    void Read(unsigned char* out, std::size_t count) override {
        if (!file || count > file->size() - at) throw std::runtime_error("read past an entry's end");
        std::memcpy(out, file->data() + at, count);
        at += count;
    }
    const std::vector<std::string>& data;
    const std::string* file = nullptr;
    std::size_t at = 0;
};

struct MemoryOutput final : cabwrite::Output {
    void Write(const unsigned char* b, std::size_t n) override { bytes.append(reinterpret_cast<const char*>(b), n); }
    void Rewrite(std::uint64_t offset, const unsigned char* b, std::size_t n) override {
        if (offset > bytes.size() || n > bytes.size() - offset) throw std::runtime_error("rewrite past the end");
        std::memcpy(bytes.data() + offset, b, n);
    }
    std::string bytes;
};

std::string WriteCabinet(const Made& made, Compression compression, unsigned threads) {
    MemoryInput input(made.data);
    MemoryOutput output;
    cabwrite::Write(made.entries, input, output, {compression, threads});
    return output.bytes;
}

// ---- the checks ----

void ExpectLibrarySees(const std::string& path, const Made& made, const std::string& bytes) {
    ERF erf{};
    UniqueFdiContext context = CreateContext(erf);
    ASSERT_TRUE(context) << "FDICreate failed: " << erf.erfOper;
    const INT_PTR hf = Open(const_cast<char*>(path.c_str()), _O_BINARY | _O_RDONLY, 0);
    ASSERT_NE(hf, -1) << path;
    FDICABINETINFO info{};
    const BOOL isCabinet = Fdi().FDIIsCabinet(context.Get(), hf, &info);
    Close(hf);
    ASSERT_TRUE(isCabinet);
    EXPECT_EQ(static_cast<std::size_t>(info.cbCabinet), bytes.size());
    EXPECT_EQ(static_cast<std::size_t>(info.cFiles), made.entries.size());
    EXPECT_EQ(static_cast<int>(info.cFolders), made.entries.empty() ? 0 : made.entries.back().folder + 1);
}

void ExpectExtractedExactly(const ScratchFolder& dir, const Made& made) {
    ERF erf{};
    UniqueFdiContext context = CreateContext(erf);
    ASSERT_TRUE(context) << "FDICreate failed: " << erf.erfOper;
    Extraction x;
    x.target = dir / "out\\";
    ASSERT_TRUE(CreateDirectoryA(x.target.c_str(), nullptr));
    std::string name = "writer.cab", path = dir.Dir();
    ASSERT_TRUE(Fdi().FDICopy(context.Get(), name.data(), path.data(), 0, Notify, nullptr, &x))
        << "FDICopy failed: error " << erf.erfOper;
    EXPECT_TRUE(x.unexpected.empty()) << x.unexpected.front();
    ASSERT_EQ(x.closed.size(), made.entries.size());
    for (std::size_t i = 0; i < made.entries.size(); ++i) {
        const cabwrite::Entry& e = made.entries[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(x.closed[i].name, e.name);
        EXPECT_EQ(x.closed[i].date, e.date);
        EXPECT_EQ(x.closed[i].time, e.time);
        EXPECT_EQ(x.closed[i].attribs & 0x27, e.attribs);
        const std::string extracted = ReadAll(x.target + e.name);
        EXPECT_EQ(extracted.size(), made.data[i].size());
        EXPECT_TRUE(extracted == made.data[i]) << "the bytes differ";
    }
}

constexpr std::size_t ThreeMB = 3 * 1024 * 1024;

std::vector<std::size_t> ManySmall() {
    std::vector<std::size_t> sizes(600);
    for (std::size_t i = 0; i < sizes.size(); ++i) sizes[i] = i % 89 * 7;
    return sizes;
}

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"edges, stored, one folder", Compression::Stored, 1, {0, 1, 32767, 32768, 32769}, {Kind::Random, Kind::Repetitive}},
        {"edges, MSZIP, one folder", Compression::Mszip, 1, {0, 1, 32767, 32768, 32769}, {Kind::Random, Kind::Repetitive}},
        {"edges, stored, three folders", Compression::Stored, 3, {32769, 0, 32767, 1, 32768, 0}, {Kind::Repetitive, Kind::Random}},
        {"edges, MSZIP, three folders", Compression::Mszip, 3, {32769, 0, 32767, 1, 32768, 0}, {Kind::Repetitive, Kind::Random}},
        {"3 MB, stored, one folder", Compression::Stored, 1, {ThreeMB + 5, ThreeMB + 7}, {Kind::Random, Kind::Repetitive}},
        {"3 MB, MSZIP, one folder", Compression::Mszip, 1, {ThreeMB + 5, ThreeMB + 7}, {Kind::Random, Kind::Repetitive}},
        {"3 MB, MSZIP, three folders", Compression::Mszip, 3, {ThreeMB + 3, 32768, ThreeMB + 1}, {Kind::Repetitive, Kind::Random}},
        {"many small, stored, three folders", Compression::Stored, 3, ManySmall(), {Kind::Repetitive, Kind::Random}},
        {"many small, MSZIP, one folder", Compression::Mszip, 1, ManySmall(), {Kind::Random, Kind::Repetitive}},
        {"many small, MSZIP, three folders", Compression::Mszip, 3, ManySmall(), {Kind::Repetitive}},
    };
    return cases;
}

}  // namespace

TEST(CabWriterInterop, TheSystemLibraryExtractsEveryCabinetByteForByte) {
    ASSERT_TRUE(Fdi().Complete()) << "the system cabinet library did not load";
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.label);
        const Made made = MakeFiles(c);
        const std::string one = WriteCabinet(made, c.compression, 1);
        EXPECT_TRUE(WriteCabinet(made, c.compression, 8) == one) << "8 threads wrote other bytes than 1";
        ScratchFolder dir;
        WriteAll(dir / "writer.cab", one);
        ExpectLibrarySees(dir / "writer.cab", made, one);
        ExpectExtractedExactly(dir, made);
    }
}
