// The progress line: nothing before a second has passed or when disabled, then one line
// rewritten in place at most every 100 ms, counting finished files and bytes, and cleared
// at the end.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "pack/Progress.h"

using k4pack::PackProgress;
using namespace std::chrono_literals;

namespace {

struct FakeClock {
    std::chrono::steady_clock::time_point now{};
    PackProgress::Clock Get() {
        return [this] { return now; };
    }
};

}  // namespace

TEST(PackProgress, LineCountsFilesAndMebibytes) {
    EXPECT_EQ(PackProgress::Line(0, 3, 0, 3 << 20), "k4pack: files 0 of 3, 0.0 of 3.0 MiB");
    EXPECT_EQ(PackProgress::Line(20000, 20000, 47'710'000, 47'710'000),
              "k4pack: files 20000 of 20000, 45.5 of 45.5 MiB");
}

TEST(PackProgress, ShownAfterTheDelayRewrittenAndCleared) {
    FakeClock clock;
    std::ostringstream out;
    {
        PackProgress progress(out, true, 4, 4 << 20, clock.Get());
        progress.FileStarted(1 << 20);
        clock.now += 900ms;
        progress.FileStarted(1 << 20);
        EXPECT_EQ(out.str(), "") << "nothing within the first second";
        clock.now += 200ms;
        progress.FileStarted(1 << 20);
        const std::string first = "\rk4pack: files 2 of 4, 2.0 of 4.0 MiB";
        EXPECT_EQ(out.str(), first);
        clock.now += 50ms;
        progress.FileStarted(1 << 20);
        EXPECT_EQ(out.str(), first) << "not again within 100 ms";
        clock.now += 100ms;
        progress.FileStarted(1 << 20);
        EXPECT_EQ(out.str(), first + "\rk4pack: files 4 of 4, 4.0 of 4.0 MiB");
        progress.Finish();
        std::string cleared(first.size() + 1, ' ');
        cleared.front() = cleared.back() = '\r';
        EXPECT_TRUE(out.str().ends_with(cleared));
    }
    const std::size_t length = out.str().size();
    EXPECT_EQ(out.str().size(), length) << "Finish twice (destructor) clears once";
}

TEST(PackProgress, DisabledOrQuickPacksWriteNothing) {
    FakeClock clock;
    std::ostringstream disabled, quick;
    {
        PackProgress progress(disabled, false, 2, 2, clock.Get());
        clock.now += 5s;
        progress.FileStarted(1);
        progress.FileStarted(1);
    }
    {
        PackProgress progress(quick, true, 2, 2, clock.Get());
        progress.FileStarted(1);
        progress.FileStarted(1);
    }
    EXPECT_EQ(disabled.str(), "");
    EXPECT_EQ(quick.str(), "");
}

// A terminal that has gone away: every write to it throws.
struct GoneTerminal : std::streambuf {
    int writes = 0;
    int_type overflow(int_type) override { return Fail(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return Fail(); }
    int Fail() {
        ++writes;
        throw std::runtime_error("terminal gone");
    }
};

// The display only watches the pack: a stream that throws ends the display, never the
// pack, and nothing is tried on it again.
TEST(PackProgress, AFailingStreamEndsTheDisplayNotThePack) {
    FakeClock clock;
    GoneTerminal terminal;
    std::ostream out(&terminal);
    out.exceptions(std::ios::badbit);
    {
        PackProgress progress(out, true, 3, 3, clock.Get());
        clock.now += 2s;
        EXPECT_NO_THROW(progress.FileStarted(1));
        EXPECT_EQ(terminal.writes, 1);
        out.clear();
        clock.now += 1s;
        progress.FileStarted(1);
        progress.FileStarted(1);
        progress.Finish();
    }
    EXPECT_EQ(terminal.writes, 1) << "nothing tried after the failure";
}
