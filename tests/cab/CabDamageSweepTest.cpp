// Damaged variants of sound MSZIP cabinets through the real engine and the system's
// cabinet library, one extraction pass each in this process: no variant crashes, none
// writes a file unless the pass reports success, and a success writes the very files of
// the sound cabinet. The exception, listed below with the seeds that make them: damage
// the decoder cannot tell, because the damaged stream still decodes to the stated length.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <exception>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "CabDamage.h"
#include "CabTestSupport.h"
#include "K4Error.h"

using namespace k4test;

namespace {

// Variants per cabinet, the kinds taken in turn.
constexpr std::uint32_t kVariantsPerCabinet = 70;

// Variants (by index; the seed is SeedOf(index)) that decode without error to the right
// length with other bytes: no reader without a sum of the content can tell them from the
// sound cabinet. Most strike noisy.cab's random bytes, which the compressor stored as they
// are inside the deflate stream: there a change keeps the stream valid, and only the block
// checksum could see it, which runs of 4n bytes, swapped words and zeroed checksums evade.
// The rest strike text in blocks whose checksums were zeroed, or swap two words of equal
// position modulo 4 where the stream still decodes. (Archives packed by k4pack carry a
// CRC-32 of their cabinet, which refuses all of these at start.)
const std::set<std::uint32_t> kStillDecodes = {
    58,                                                                  // large.cab
    83, 88, 106, 113, 118,                                               // folders.cab
    141, 143, 146, 151, 155, 156, 158, 160, 161, 163, 166, 170, 173,    // noisy.cab
    178, 180, 181, 183, 188, 190, 193, 196, 203, 206, 208};

// Every file below `root`, by relative path, with its bytes.
void CollectFiles(const std::string& root, const std::string& relative, std::map<std::string, std::string>& files) {
    WIN32_FIND_DATAA entry;
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) CollectFiles(root, path, files);
        else files[path] = ReadAll(root + "\\" + path);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

struct PassResult {
    bool success = false;
    std::string error;
    std::map<std::string, std::string> files;
};

// One extraction pass as the window runs it, into a fresh target.
PassResult Extract(const std::string& cabinet) {
    ScratchFolder dir;
    WriteAll(dir / "variant.cab", cabinet);
    const std::string target = dir / "out";
    CreateDirectoryA(target.c_str(), nullptr);
    PassResult result;
    try {
        RunPass(false, dir / "variant.cab", target + "\\");
        result.error = LastErrorText.Str();
    } catch (const std::exception& e) {
        result.error = std::string("raised: ") + e.what();
    }
    result.success = result.error.empty();
    CollectFiles(target, "", result.files);
    return result;
}

std::string Hex(std::uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace

TEST(DamageSweep, NoVariantCrashesOrWritesWithoutSuccessOrSucceedsWithOtherBytes) {
    std::uint32_t index = 0;
    std::vector<std::string> stillDecoding;
    std::map<std::string, int> outcomes;
    for (const char* name : {"large.cab", "folders.cab", "noisy.cab"}) {
        const std::string sound = ReadAll(DataPath(name));
        const PassResult reference = Extract(sound);
        ASSERT_TRUE(reference.success) << name << ": " << reference.error;
        ASSERT_FALSE(reference.files.empty()) << name;
        for (std::uint32_t i = 0; i < kVariantsPerCabinet; ++i, ++index) {
            const auto kind = static_cast<damage::Kind>(i % damage::KindCount);
            std::string what;
            const std::string variant = damage::Maker(sound, damage::SeedOf(index)).Make(kind, what);
            const std::string label = std::string(name) + " variant " + std::to_string(index) + " (seed " +
                                      Hex(damage::SeedOf(index)) + ", " + damage::KindName(kind) + "): " + what;
            SCOPED_TRACE(label);
            const PassResult result = Extract(variant);
            if (!result.success) {
                ++outcomes["refused"];
                EXPECT_TRUE(result.files.empty()) << "written by a failed pass: " << result.files.size() << " files; " << result.error;
            } else if (result.files == reference.files) {
                ++outcomes["extracted exactly"];
            } else {
                ++outcomes["still decodes"];
                stillDecoding.push_back(label);
                EXPECT_EQ(kStillDecodes.count(index), 1u) << "success with other bytes";
                ASSERT_EQ(result.files.size(), reference.files.size());
                for (const auto& [path, bytes] : reference.files)
                    EXPECT_EQ(result.files.at(path).size(), bytes.size()) << path << ": a partial file";
            }
        }
    }
    EXPECT_GE(index, 200u);
    for (const auto& [outcome, count] : outcomes) std::printf("%s: %d\n", outcome.c_str(), count);
    for (const std::string& label : stillDecoding) std::printf("still decodes: %s\n", label.c_str());
}
