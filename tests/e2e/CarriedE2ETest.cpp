// A self-extractor packed with the extractor program k4pack carries (no -s), for this
// build's architecture, started under Wine: its window lists the files, Start extracts
// them, and every file equals the one it was packed from. The same archive with any byte
// of its cabinet changed is refused at start as damaged, by the sum record k4pack wrote.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "CarriedPaths.h"
#include "Driver.h"
#include "HostileRun.h"
#include "SumRecordBytes.h"

using namespace e2e;
using namespace k4test;

namespace {

const char* const kMembers[] = {"empty.txt", "readme.txt", "sub\\data.bin"};

std::string Input(const char* name) { return Backslashed(carried_paths::Input) + "\\" + name; }

}  // namespace

TEST(CarriedE2E, PackedWithoutAStubListsAndExtractsItsFiles) {
    ScratchFolder folder;
    std::string bytes;
    ASSERT_TRUE(ReadBytes(Backslashed(carried_paths::Folder) + "\\carried.exe", bytes));
    const std::string exe = folder / "SETUP.EXE";
    WriteAll(exe, bytes);
    Process process;
    ASSERT_TRUE(process.Start(exe, "\"" + exe + "\"", folder.Path()));
    HWND window = nullptr;
    for (DWORD start = GetTickCount(); !window && GetTickCount() - start < DefaultTimeoutMs && process.Running();)
        if (!(window = probe::VisibleMainWindow(process.Id(), "K4 carried test"))) Sleep(50);
    ASSERT_NE(window, nullptr) << "no main window; exit code " << process.ExitCode();
    ASSERT_TRUE(process.WaitForIdle(DefaultTimeoutMs));
    HWND list = probe::FindChild(window, "ListBox");
    ASSERT_NE(list, nullptr);
    const std::vector<std::string> lines = probe::ListBoxLines(list);
    ASSERT_EQ(lines.size(), std::size(kMembers));
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(kMembers[i], 0), 0u) << lines[i];

    const std::string target = folder / "out";
    EXPECT_EQ(ExtractThroughWindow(process, window, target), "Ok Files have been extracted as \"" + target + "\\\"");
    ASSERT_TRUE(process.WaitForExit(DefaultTimeoutMs));
    EXPECT_EQ(process.ExitCode(), 0u);
    EXPECT_EQ(FirstDifferentFile(Backslashed(carried_paths::Input), target, kMembers), "");
}

namespace {

// The carried archive's payload (everything behind this build's program) and where its
// cabinet and sum record lie in it.
struct CarriedPayload {
    std::string bytes;
    std::size_t cabinetAt = 0, cabinetSize = 0, recordAt = 0;
};

CarriedPayload ReadCarriedPayload() {
    CarriedPayload payload;
    std::string file, stub;
    EXPECT_TRUE(ReadBytes(Backslashed(carried_paths::Folder) + "\\carried.exe", file));
    EXPECT_TRUE(ReadBytes(ExtractorExe(), stub));
    PayloadParts parts;
    EXPECT_TRUE(SplitPayload(file, parts));
    EXPECT_EQ(parts.image.size(), stub.size());
    payload.bytes = file.substr(stub.size());
    payload.cabinetAt = payload.bytes.size() - 4 - parts.cabinet.size();
    payload.cabinetSize = GetLe(parts.cabinet, 8);
    payload.recordAt = payload.bytes.size() - 4 - cabsum::RecordSize;
    EXPECT_EQ(payload.bytes.substr(payload.recordAt, 8), std::string("K4CRC32\x1A")) << "k4pack wrote a sum record";
    return payload;
}

// Every data block's checksum set to 0 ("not computed", which the format allows) and the
// sum record made anew, as k4pack would write it for such a cabinet.
CarriedPayload WithoutBlockChecksums(CarriedPayload payload) {
    std::string& bytes = payload.bytes;
    const std::size_t cab = payload.cabinetAt;
    const std::uint32_t folders = GetLe(bytes, cab + 26, 2);
    for (std::uint32_t folder = 0; folder < folders; ++folder) {
        std::size_t block = cab + GetLe(bytes, cab + 36 + 8 * folder);
        const std::uint32_t blocks = GetLe(bytes, cab + 36 + 8 * folder + 4, 2);
        for (std::uint32_t i = 0; i < blocks; ++i) {
            PutLe(bytes, block, 0);
            block += 8 + GetLe(bytes, block + 4, 2);
        }
    }
    const std::string cabinet = bytes.substr(cab, payload.cabinetSize);
    bytes.replace(payload.recordAt, cabsum::RecordSize,
                  SumRecord(static_cast<std::uint32_t>(cabinet.size()), Crc32(cabinet)));
    return payload;
}

const char kDamaged[] = "The archive is damaged: its cabinet does not match its checksum";

}  // namespace

// One byte changed in the header, in the file table, at the start, middle and end of the
// compressed data, with the block checksums set and with them zeroed: the program says the
// archive is damaged before any window and writes nothing. The zeroed variant, sound, still
// extracts; so does the archive without its record, read as older archives are.
TEST(CarriedE2E, AnyChangedByteOfTheCabinetIsRefusedAtStart) {
    const CarriedPayload summed = ReadCarriedPayload();
    ASSERT_FALSE(HasFailure());
    const CarriedPayload zeroed = WithoutBlockChecksums(summed);
    const std::uint32_t filesAt = GetLe(summed.bytes, summed.cabinetAt + 16);
    const std::uint32_t dataAt = GetLe(summed.bytes, summed.cabinetAt + 36);
    const std::size_t offsets[] = {4, 24, filesAt + 20, dataAt + 9, (dataAt + summed.cabinetSize) / 2,
                                   summed.cabinetSize - 1};
    hostile::Options options;
    options.caption = "K4 carried test";
    for (const CarriedPayload* variant : {&summed, &zeroed}) {
        for (std::size_t offset : offsets) {
            SCOPED_TRACE(std::string(variant == &summed ? "block checksums set" : "block checksums zeroed") +
                         ", cabinet byte " + std::to_string(offset));
            std::string damaged = variant->bytes;
            damaged[variant->cabinetAt + offset] = static_cast<char>(damaged[variant->cabinetAt + offset] ^ 0x21);
            hostile::Arena arena;
            options.target = arena.Target();
            const hostile::Outcome outcome = hostile::RunProgram(arena, damaged, options);
            hostile::ExpectContained(outcome);
            EXPECT_FALSE(outcome.windowShown);
            EXPECT_EQ(outcome.boxes, std::vector<std::string>{kDamaged});
            EXPECT_EQ(outcome.exitCode, 1u);
            EXPECT_TRUE(arena.TargetFiles().empty());
            EXPECT_FALSE(Exists(arena.Work() + "\\DATAFILE.K4A")) << "no temporary cabinet left";
        }
    }

    const std::string withoutRecord = [&] {
        std::string bytes = summed.bytes;
        bytes.erase(summed.recordAt, cabsum::RecordSize);
        PutLe(bytes, bytes.size() - 4, GetLe(bytes, bytes.size() - 4) - cabsum::RecordSize);
        return bytes;
    }();
    for (const std::string* sound : {&zeroed.bytes, &withoutRecord}) {
        SCOPED_TRACE(sound == &zeroed.bytes ? "block checksums zeroed" : "no sum record");
        hostile::Arena arena;
        options.target = arena.Target();
        const hostile::Outcome outcome = hostile::RunProgram(arena, *sound, options);
        hostile::ExpectContained(outcome);
        EXPECT_EQ(outcome.boxes, std::vector<std::string>{hostile::SuccessText(options.target)});
        EXPECT_EQ(arena.TargetFiles().size(), std::size(kMembers));
        for (const char* member : kMembers) {
            std::string expected, extracted;
            ASSERT_TRUE(ReadBytes(Input(member), expected)) << member;
            ASSERT_TRUE(ReadBytes(options.target + member, extracted)) << member;
            EXPECT_TRUE(extracted == expected) << member;
        }
    }
}
