// Every input kept in tests/fuzz/regressions (the fuzz target's findings, and a few edge
// cases written by hand) replayed through what the fuzz target asks of the check, in
// every build: it returns, and reads, views and stepped decoding agree; and the same bytes
// written as a cabinet check and decode back.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include "CabCheckFuzz.h"
#include "WriterFuzz.h"

TEST(FuzzRegressions, EveryKeptInputIsCheckedAlikeEveryWay) {
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(K4_FUZZ_REGRESSIONS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(k4fuzz::CheckAllWays(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "")
            << entry.path().filename().string();
        EXPECT_EQ(k4fuzz::WriteCheckDecode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "")
            << entry.path().filename().string();
        ++replayed;
    }
    EXPECT_GE(replayed, 4) << "the hand-written cases at least";
}
