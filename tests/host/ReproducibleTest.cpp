// Reproducible output: identical inputs give identical bytes, and with SOURCE_DATE_EPOCH a
// copy of the tree made later (newer times) still gives the same bytes.
#include "PackFixture.h"

using namespace k4test;

namespace {

class ReproducibleTest : public PackTest {
protected:
    RunResult PackWith(const std::string& tree, const std::string& output, const char* epoch,
                       const std::string& threads = "") {
        std::ostringstream outText, errText;
        k4pack::Environment env;
        env.sourceDateEpoch = epoch;
        RunResult result;
        std::vector<std::string> args{"-o", output, "-s", stub, "-t", "C:\\Out", "-c", "Caption", tree};
        if (!threads.empty()) args.insert(args.begin(), {"--threads", threads});
        result.status = k4pack::RunCommandLine(args, outText, errText, env);
        result.err = errText.str();
        return result;
    }
    // A copy of the sample tree whose files carry `when` as their time.
    std::string CopyOfSource(const std::string& name, std::time_t when) {
        const std::string copy = dir / name;
        fs::copy(src, copy, fs::copy_options::recursive);
        for (const auto& entry : fs::recursive_directory_iterator(copy))
            if (entry.is_regular_file()) SetModified(entry.path().string(), when);
        return copy;
    }
};

}  // namespace

TEST_F(ReproducibleTest, SameTreeTwiceGivesTheSameBytes) {
    ASSERT_EQ(PackWith(src, dir / "one.exe", nullptr).status, 0);
    ASSERT_EQ(PackWith(src, dir / "two.exe", nullptr).status, 0);
    EXPECT_EQ(ReadFile(dir / "one.exe"), ReadFile(dir / "two.exe"));
}

TEST_F(ReproducibleTest, AnyNumberOfThreadsGivesTheSameBytes) {
    // Enough data for several batches of blocks on every thread.
    WriteFile(src + "/sub/large.bin", PatternBytes(3 << 20, 7));
    ASSERT_EQ(PackWith(src, dir / "default.exe", nullptr).status, 0);
    for (const char* threads : {"1", "2", "8"}) {
        ASSERT_EQ(PackWith(src, dir / "threads.exe", nullptr, threads).status, 0) << threads;
        EXPECT_EQ(ReadFile(dir / "threads.exe"), ReadFile(dir / "default.exe")) << threads << " threads";
        fs::remove(dir / "threads.exe");
    }
}

TEST_F(ReproducibleTest, SourceDateEpochClampsLaterTimesOnly) {
    const std::time_t epoch = SampleTime() + 3600;  // 2021-06-15 11:20:31 local
    const std::string epochText = std::to_string(epoch);
    const std::string newer = CopyOfSource("newer", epoch + 86400 * 30);
    const std::string newest = CopyOfSource("newest", epoch + 86400 * 400);
    ASSERT_EQ(PackWith(newer, dir / "newer.exe", epochText.c_str()).status, 0);
    ASSERT_EQ(PackWith(newest, dir / "newest.exe", epochText.c_str()).status, 0);
    EXPECT_EQ(ReadFile(dir / "newer.exe"), ReadFile(dir / "newest.exe"));
    for (const auto& entry : k4pack::ListCabinet(dir / "newer.exe", ReadBack("newer.exe").layout.cabinetOffset))
        EXPECT_EQ(entry.modified, "2021-06-15 11:20:30") << entry.name;

    // Without it the files' own times are kept, so the two differ.
    ASSERT_EQ(PackWith(newer, dir / "own1.exe", nullptr).status, 0);
    ASSERT_EQ(PackWith(newest, dir / "own2.exe", nullptr).status, 0);
    EXPECT_NE(ReadFile(dir / "own1.exe"), ReadFile(dir / "own2.exe"));
    // Earlier times stay as they are.
    ASSERT_EQ(PackWith(src, dir / "older.exe", epochText.c_str()).status, 0);
    for (const auto& entry : k4pack::ListCabinet(dir / "older.exe", ReadBack("older.exe").layout.cabinetOffset))
        EXPECT_EQ(entry.modified, "2021-06-15 10:20:30") << entry.name;
    // verify judges the sources' times the same way.
    std::ostringstream o, e;
    k4pack::Environment env;
    env.sourceDateEpoch = epochText.c_str();
    EXPECT_EQ(k4pack::RunCommandLine({"verify", dir / "newest.exe", newer}, o, e, env), 0) << e.str();
    EXPECT_EQ(k4pack::RunCommandLine({"verify", dir / "newest.exe", newer}, o, e, {}), 1);
}

TEST_F(ReproducibleTest, MalformedSourceDateEpochIsRefused) {
    for (const char* bad : {"yesterday", "-5", "1.5", " 1", "1234567890123"}) {
        const RunResult run = PackWith(src, out, bad);
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_TRUE(run.err.starts_with("k4pack: SOURCE_DATE_EPOCH is \"")) << run.err;
        EXPECT_FALSE(fs::exists(out));
    }
    EXPECT_EQ(k4pack::ParseSourceDateEpoch(""), std::nullopt);
    EXPECT_EQ(k4pack::ParseSourceDateEpoch(nullptr), std::nullopt);
    EXPECT_EQ(k4pack::ParseSourceDateEpoch("0"), std::optional<std::time_t>(0));
    EXPECT_EQ(k4pack::ParseSourceDateEpoch("1700000000"), std::optional<std::time_t>(1700000000));
}
