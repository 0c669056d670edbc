// Option parsing, help, and the program's exit statuses and messages as a shell sees them.
#include <gtest/gtest.h>

#include "PackFixture.h"

using namespace k4test;

TEST(ParseArguments, AcceptsTheUsualSpellings) {
    const k4pack::ParsedArguments parsed = k4pack::ParseArguments(
        {"--output=a.exe", "-sstub.exe", "-t", "", "-0h", "in1", "-", "--", "-c", "in2"});
    EXPECT_EQ(parsed.options, (std::map<std::string, std::string>{{"output", "a.exe"},
                                                                  {"stub", "stub.exe"},
                                                                  {"target", ""},
                                                                  {"no-compression", ""},
                                                                  {"help", ""}}));
    EXPECT_EQ(parsed.operands, (std::vector<std::string>{"in1", "-", "-c", "in2"}));
    EXPECT_EQ(k4pack::ParseArguments({"-0", "-o", "x", "--caption", "--"}).options.at("caption"),
              "--");
}

TEST(RunCommandLine, HelpGoesToStandardOutputWithStatus0) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"inspect", "--help"}}) {
        const RunResult run = RunK4pack(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.out.starts_with("Usage: k4pack")) << run.out;
        EXPECT_NE(run.out.find("/Q quiet"), std::string::npos) << "the archives' switches are mentioned";
        EXPECT_EQ(run.err, "");
    }
}

TEST_F(PackTest, ProgramReportsThroughExitStatusAndPrefixedMessages) {
    const std::string program = Quote(K4PACK_PROGRAM);
    const RunResult usage = RunShell(program + " 2>&1");
    EXPECT_EQ(usage.status, 2);
    EXPECT_TRUE(usage.out.starts_with("k4pack: ")) << usage.out;

    const RunResult refused = RunShell(program + " -o " + Quote(out) + " -s " +
                                       Quote(src + "/readme.txt") + " " + Quote(src) + " 2>&1");
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.out.starts_with("k4pack: ")) << refused.out;
    EXPECT_FALSE(fs::exists(out));

    const RunResult packed =
        RunShell(program + " -o " + Quote(out) + " -s " + Quote(stub) + " " + Quote(src));
    EXPECT_EQ(packed.status, 0);
    EXPECT_TRUE(packed.out.starts_with(out + ": 3 files, cabinet ")) << packed.out;
    EXPECT_EQ(RunShell(program + " inspect " + Quote(out) + " >/dev/null").status, 0);
    EXPECT_EQ(RunShell(program + " inspect " + Quote(stub) + " 2>/dev/null").status, 1);
}
