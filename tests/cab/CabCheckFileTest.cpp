// The cabinet check over a file on disk, as the extraction runs it: through mapped
// views of bounded size (remapped along a large cabinet) and through plain reads,
// with the same verdicts.
#include <gtest/gtest.h>
#include "CabTestSupport.h"
#include "CabWriter.h"
#include "K4CabinetFile.h"
#include "UniqueHandle.h"

using namespace k4test;

namespace {

// Five members of 4 MB each: a cabinet larger than two views.
cabw::Cabinet Large() {
    cabw::Cabinet cabinet;
    for (int i = 0; i < 5; ++i) {
        std::string data(4000000, '\0');
        for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<char>((k * 13 + i * 7) % 253);
        cabinet.members.push_back(cabw::OneFile("part" + std::to_string(i) + ".bin", data).members[0]);
    }
    return cabinet;
}

cabfmt::Result CheckFile(const std::string& path, bool mapped) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file);
    CabinetFile source(file.Get(), mapped);
    return cabfmt::Check(source);
}

}  // namespace

TEST(CabinetFileCheck, MappedAndReadGiveTheSameVerdicts) {
    ScratchFolder dir;
    cabw::Cabinet cabinet = Large();
    WriteAll(dir / "sound.cab", cabw::Build(cabinet));
    for (bool mapped : {true, false}) {
        const cabfmt::Result result = CheckFile(dir / "sound.cab", mapped);
        EXPECT_TRUE(result.Sound()) << result.text;
        EXPECT_EQ(result.members.size(), 5u);
    }
    // A block past the first views: 12 MB in, the 367th of 32768 bytes.
    cabinet.badChecksumBlocks = {366};
    WriteAll(dir / "spoiled.cab", cabw::Build(cabinet));
    for (bool mapped : {true, false}) {
        SCOPED_TRACE(mapped ? "mapped" : "read");
        EXPECT_EQ(CheckFile(dir / "spoiled.cab", mapped).text,
                  "Damaged cabinet: data block 367 of folder 1 fails its checksum");
    }
}

TEST(CabinetFileCheck, AnEmptyFileIsReadNotMapped) {
    ScratchFolder dir;
    WriteAll(dir / "empty.cab", "");
    EXPECT_EQ(CheckFile(dir / "empty.cab", true).text, "Damaged cabinet: the header is cut short");
}
