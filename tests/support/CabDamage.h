// Damaged variants of a sound cabinet, made from a seed so that every run makes the same
// ones: runs of bytes XORed with one value, swapped words, random bit flips, block
// checksums zeroed and then damage, and cuts at random lengths. The in-place kinds strike
// the data blocks (their headers and data), where the decoder works; the runs are 4n bytes
// long and the swapped words 4n bytes apart, damage the format's XOR checksum cannot see.
// Platform-free and header-only: the engine's sweep and the end-to-end runs share it.
#pragma once
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>
#include "LeBytes.h"

namespace k4test::damage {

enum class Kind { XorRun, SwappedWords, Flips, ZeroedThenDamaged, CutShort };
inline constexpr int KindCount = 5;

inline const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::XorRun: return "xor run";
    case Kind::SwappedWords: return "swapped words";
    case Kind::Flips: return "bit flips";
    case Kind::ZeroedThenDamaged: return "checksums zeroed, then damaged";
    case Kind::CutShort: return "cut short";
    }
    return "?";
}

// Where each data block's data starts and its size, folder by folder (no reserve areas:
// gcab writes none).
inline std::vector<std::pair<std::size_t, std::size_t>> DataBlocks(const std::string& cab) {
    std::vector<std::pair<std::size_t, std::size_t>> found;
    const std::uint32_t folders = GetLe(cab, 26, 2);
    for (std::uint32_t folder = 0; folder < folders; ++folder) {
        std::size_t block = GetLe(cab, 36 + 8 * folder);
        const std::uint32_t blocks = GetLe(cab, 36 + 8 * folder + 4, 2);
        for (std::uint32_t i = 0; i < blocks && block + 8 <= cab.size(); ++i) {
            found.emplace_back(block + 8, GetLe(cab, block + 4, 2));
            block += 8 + found.back().second;
        }
    }
    return found;
}

// Every data block's checksum set to 0, "not computed", in every folder.
inline void ZeroBlockChecksums(std::string& cab) {
    for (const auto& [data, size] : DataBlocks(cab)) PutLe(cab, data - 8, 0);
}

// One variant: the damage made with `rng` on a copy of `sound`, described in `what`.
class Maker {
public:
    Maker(const std::string& sound, std::uint32_t seed) : sound_(sound), rng_(seed) {}

    std::string Make(Kind kind, std::string& what) {
        std::string cab = sound_;
        switch (kind) {
        case Kind::XorRun: XorRun(cab, what); break;
        case Kind::SwappedWords: SwapWords(cab, what); break;
        case Kind::Flips: Flips(cab, what); break;
        case Kind::ZeroedThenDamaged:
            ZeroBlockChecksums(cab);
            what = "checksums zeroed, ";
            if (Below(2) == 0) XorRun(cab, what);
            else Flips(cab, what);
            break;
        case Kind::CutShort: {
            const std::size_t length = Below(cab.size());
            cab.resize(length);
            what = "cut to " + std::to_string(length) + " bytes";
            break;
        }
        }
        return cab;
    }

private:
    // The raw generator's output only: the distributions of the standard library differ
    // between implementations, the generator does not.
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng_() % n); }
    std::size_t DataStart() const { return GetLe(sound_, 36); }
    std::size_t DataSpan() const { return sound_.size() - DataStart(); }

    void XorRun(std::string& cab, std::string& what) {
        const std::size_t length = std::min<std::size_t>(4 * (1 + Below(32)), DataSpan() / 4 * 4);
        const std::size_t at = DataStart() + Below(DataSpan() - length + 1);
        const auto value = static_cast<char>(1 + Below(255));
        for (std::size_t i = at; i < at + length; ++i) cab[i] = static_cast<char>(cab[i] ^ value);
        what += std::to_string(length) + " bytes at " + std::to_string(at) + " XORed with " +
                std::to_string(static_cast<unsigned char>(value));
    }

    void SwapWords(std::string& cab, std::string& what) {
        const std::size_t distance = 4 * (1 + Below(64));
        const std::size_t room = DataSpan() > distance + 4 ? DataSpan() - distance - 4 : 0;
        const std::size_t at = DataStart() + Below(room + 1);
        std::swap_ranges(cab.begin() + static_cast<std::ptrdiff_t>(at), cab.begin() + static_cast<std::ptrdiff_t>(at + 4),
                         cab.begin() + static_cast<std::ptrdiff_t>(at + distance));
        what += "words at " + std::to_string(at) + " and " + std::to_string(at + distance) + " swapped";
    }

    void Flips(std::string& cab, std::string& what) {
        const std::size_t count = 1 + Below(8);
        what += std::to_string(count) + " bits flipped, at";
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = DataStart() + Below(DataSpan());
            cab[at] = static_cast<char>(cab[at] ^ (1 << Below(8)));
            what += " " + std::to_string(at);
        }
    }

    const std::string& sound_;
    std::mt19937 rng_;
};

// The seed of variant `index` of a sweep: fixed, so every run makes the same variants.
inline std::uint32_t SeedOf(std::uint32_t index) { return 0x19190000u + index; }

}  // namespace k4test::damage
