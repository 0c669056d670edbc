// What the fuzz target asks of the cabinet writer for any bytes: the first bytes choose
// the compression, the threads and how the rest is cut into files and folders; the
// cabinet written passes the whole-cabinet check, and the reader decodes every file back
// to its bytes. Header-only: the libFuzzer target and the replay of its findings share it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include "CabCheckFuzz.h"
#include "K4CabReader.h"
#include "K4CabWriter.h"

namespace k4fuzz {

struct SlicedInput final : cabwrite::Input {
    explicit SlicedInput(const std::vector<std::string>& files) : files(files) {}
    void Begin(std::size_t index) override {
        current = index;
        at = 0;
    }
    void Read(unsigned char* out, std::size_t count) override {
        std::memcpy(out, files[current].data() + at, count);
        at += count;
    }
    const std::vector<std::string>& files;
    std::size_t current = 0, at = 0;
};

struct GrowingOutput final : cabwrite::Output {
    void Write(const unsigned char* b, std::size_t n) override { bytes.append(reinterpret_cast<const char*>(b), n); }
    void Rewrite(std::uint64_t offset, const unsigned char* b, std::size_t n) override {
        std::memcpy(bytes.data() + offset, b, n);
    }
    std::string bytes;
};

// Empty when the round trip holds; otherwise what went wrong. Byte 0: compression (bit 0),
// threads (bits 1-2), files (bits 3-7, plus one); byte 1: folders over them; then each
// file takes the next (byte * 97) bytes of the rest, the last all that is left.
inline std::string WriteCheckDecode(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return {};
    const unsigned fileCount = (data[0] >> 3) + 1u, folders = data[1] % fileCount + 1u;
    std::size_t at = 2 + fileCount;
    if (at > size) return {};
    std::vector<std::string> files;
    std::vector<cabwrite::Entry> entries;
    for (unsigned i = 0; i < fileCount; ++i) {
        const std::size_t want = i + 1 == fileCount ? size - at : std::size_t{data[2 + i]} * 97;
        const std::size_t take = std::min(want, size - at);
        files.emplace_back(reinterpret_cast<const char*>(data + at), take);
        at += take;
        cabwrite::Entry e;
        e.name = "f" + std::to_string(i);
        e.size = static_cast<std::uint32_t>(take);
        e.folder = static_cast<std::uint16_t>(i * folders / fileCount);
        entries.push_back(e);
    }
    SlicedInput input(files);
    GrowingOutput output;
    const cabwrite::Options options{data[0] & 1 ? cabwrite::Compression::Mszip : cabwrite::Compression::Stored,
                                    ((data[0] >> 1) & 3u) + 1u};
    cabwrite::Write(entries, input, output, options);
    Bytes cabinet(reinterpret_cast<const std::uint8_t*>(output.bytes.data()), output.bytes.size(), true);
    const cabfmt::Result checked = cabfmt::Check(cabinet);
    if (!checked.Sound()) return "the check refuses the cabinet: " + checked.text;
    const cabread::Listing listing = cabread::List(cabinet);
    std::vector<std::string> decoded(listing.folders.size());
    for (std::size_t f = 0; f < decoded.size(); ++f)
        cabread::DecodeFolder(cabinet, listing, f, [&](const unsigned char* b, std::size_t n) {
            decoded[f].append(reinterpret_cast<const char*>(b), n);
            return true;
        });
    for (std::size_t i = 0; i < files.size(); ++i) {
        const cabread::File& file = listing.files.at(i);
        if (decoded.at(file.folder).compare(file.offset, file.size, files[i]) != 0)
            return "file " + std::to_string(i) + " decodes to other bytes";
    }
    return {};
}

}  // namespace k4fuzz
