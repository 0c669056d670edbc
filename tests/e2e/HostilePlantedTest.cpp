// Libraries planted beside the program under the names of the system libraries it
// loads at run time: listing, extracting and the about window never take them.
// Under Wine a library's own build wins over one found beside a program unless the
// load order says otherwise; CTest runs this with the planted names set to "native
// first", as Windows would search, and the probe case shows the setting took.
// version.dll is not among them: Wine's own user32 imports it, so under "native
// first" a planted copy is bound before the program runs its first instruction,
// which Windows's user32 does not do. That the program never imports it is the
// import-table check's to show.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "Driver.h"
#include "HostilePaths.h"
#include "HostileRun.h"

using namespace hostile;

namespace {

const char* const kPlanted[] = {"cabinet.dll", "comctl32.dll"};

std::string PlantedDir() {
    std::string dir = e2e::hostile_paths::PlantedDir;
    for (char& c : dir)
        if (c == '/') c = '\\';
    return dir;
}

class PlantedLibraries : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* dll : kPlanted)
            ASSERT_TRUE(CopyFileA((PlantedDir() + "\\" + dll).c_str(), (arena_.Work() + "\\" + dll).c_str(), FALSE))
                << dll;
        ASSERT_TRUE(CopyFileA((PlantedDir() + "\\k4_planted_probe.exe").c_str(),
                              (arena_.Work() + "\\probe.exe").c_str(), FALSE));
    }
    std::string Marker(const char* dll) const { return arena_.Work() + "\\" + dll + ".loaded"; }

    Arena arena_;
};

}  // namespace

TEST_F(PlantedLibraries, AreTakenByAProgramThatSearchesItsOwnFolder) {
    e2e::Process probe;
    ASSERT_TRUE(probe.Start(arena_.Work() + "\\probe.exe", "probe.exe cabinet.dll comctl32.dll",
                            arena_.Work()));
    ASSERT_TRUE(probe.WaitForExit(e2e::DefaultTimeoutMs));
    for (const char* dll : kPlanted) EXPECT_TRUE(k4test::Exists(Marker(dll))) << dll << ": the marker cannot be seen";
}

TEST_F(PlantedLibraries, AreNeverLoadedByTheExtractor) {
    std::string cabinet;
    ASSERT_TRUE(k4test::ReadBytes(e2e::TestCabinet(), cabinet));
    Options options;
    options.target = arena_.Target();
    options.openAbout = true;
    Outcome outcome = RunProgram(arena_, PayloadFor(cabinet, options), options);
    // A marker would also show as a change outside the target.
    ExpectContained(outcome);
    EXPECT_EQ(outcome.lines.size(), 3u) << "listed";
    EXPECT_TRUE(outcome.aboutShown);
    EXPECT_EQ(outcome.boxes, std::vector<std::string>{SuccessText(arena_.Target())});
    EXPECT_EQ(arena_.TargetFiles().size(), 3u) << "extracted";
    for (const char* dll : kPlanted) EXPECT_FALSE(k4test::Exists(Marker(dll))) << dll << " was loaded from beside the program";
}
