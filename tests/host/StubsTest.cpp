// The extractor programs k4pack carries: byte for byte the ones this build was given, each
// of its own architecture, chosen by --arch (i686 by default), overridden by -s, and named
// by --version. A build without them says so and asks for -s.
#include "pack/EmbeddedStubs.h"
#include "PackFixture.h"
#include "pe/Signature.h"

using namespace k4test;
using k4pack::StubArch;

namespace {

// The files the build was configured with (K4_STUB_I686, K4_STUB_X86_64); empty for none.
std::string ConfiguredStub(StubArch arch) {
    return arch == StubArch::I686 ? K4_STUB_I686_PATH : K4_STUB_X86_64_PATH;
}

bool Carried() {
    return !k4pack::EmbeddedStub(StubArch::I686).empty() && !k4pack::EmbeddedStub(StubArch::X86_64).empty();
}

Bytes Carried(StubArch arch) {
    const auto bytes = k4pack::EmbeddedStub(arch);
    return Bytes(bytes.begin(), bytes.end());
}

}  // namespace

TEST(CarriedStubs, AreTheProgramsTheBuildMadeEachForItsArchitecture) {
    for (StubArch arch : {StubArch::I686, StubArch::X86_64}) {
        SCOPED_TRACE(std::string(k4pack::ArchName(arch)));
        const std::string configured = ConfiguredStub(arch);
        if (configured.empty()) {
            EXPECT_TRUE(k4pack::EmbeddedStub(arch).empty());
            continue;
        }
        const Bytes carried = Carried(arch);
        EXPECT_EQ(carried, ReadFile(configured));
        EXPECT_STREQ(k4pack::PeMachineName(k4pack::ReadPeMachine(k4pack::MemorySource(carried))),
                     std::string(k4pack::ArchName(arch)).c_str());
    }
}

TEST(CarriedStubs, VersionNamesEachWithItsSize) {
    const RunResult run = RunK4pack({"--version"});
    ASSERT_EQ(run.status, 0);
    std::string expected = "k4pack " K4PACK_VERSION_TEXT "\n";
    if (Carried())
        expected += "carried extractor programs:\n  i686    " + std::to_string(Carried(StubArch::I686).size()) +
                    " bytes\n  x86_64  " + std::to_string(Carried(StubArch::X86_64).size()) + " bytes\n";
    else
        expected += "carried extractor programs: none (a build without stubs: give -s STUB.exe)\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(RunK4pack({"--version", "-o", "x"}).status, 2);
    EXPECT_EQ(RunK4pack({"inspect", "--version"}).status, 2);
}

TEST(CarriedStubs, ArchitectureNames) {
    EXPECT_EQ(k4pack::ParseArch("i686"), StubArch::I686);
    EXPECT_EQ(k4pack::ParseArch("x86_64"), StubArch::X86_64);
    EXPECT_EQ(k4pack::ParseArch("x86"), std::nullopt);
    EXPECT_EQ(k4pack::ParseArch("I686"), std::nullopt);
    EXPECT_EQ(k4pack::ArchName(StubArch::X86_64), "x86_64");
}

TEST_F(PackTest, WithoutStubTheCarriedProgramIsPacked) {
    if (!Carried()) {
        const RunResult run = RunK4pack({"-o", out, src});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("give -s STUB.exe"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(out));
        return;
    }
    for (auto [args, arch] : {std::pair{std::vector<std::string>{}, StubArch::I686},
                              {std::vector<std::string>{"--arch", "i686"}, StubArch::I686},
                              {std::vector<std::string>{"--arch=x86_64"}, StubArch::X86_64}}) {
        SCOPED_TRACE(std::string(k4pack::ArchName(arch)));
        fs::remove(out);
        args.insert(args.end(), {"-o", out, src});
        ASSERT_EQ(RunK4pack(args).status, 0);
        EXPECT_EQ(ReadBack().layout.imageSize, Carried(arch).size());
        const Bytes written = ReadFile(out);
        EXPECT_EQ(Bytes(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(Carried(arch).size())),
                  Carried(arch));
        const RunResult verified = RunK4pack({"verify", out, src});
        EXPECT_EQ(verified.status, 0) << verified.err;
    }
}

TEST_F(PackTest, StubAndArchitectureChoicesThatCannotHold) {
    EXPECT_EQ(RunK4pack({"-o", out, "--arch", "arm64", src}).status, 2);
    EXPECT_EQ(RunK4pack({"-o", out, "--arch", "x86_64", "-s", stub, src}).status, 2);
    EXPECT_EQ(RunK4pack({"-o", out, "--arch", "", src}).status, 2);
    EXPECT_FALSE(fs::exists(out));
    // -s still wins over the carried programs.
    ASSERT_EQ(RunK4pack({"-o", out, "-s", stub, src}).status, 0);
    EXPECT_EQ(ReadBack().layout.imageSize, ReadFile(stub).size());
}

TEST_F(PackTest, CarriedProgramSurvivesRealSigningAndVerifies) {
    if (!Carried() || RunShell("command -v osslsigncode >/dev/null && command -v openssl >/dev/null").status != 0)
        GTEST_SKIP() << "needs the carried programs, osslsigncode and openssl";
    ASSERT_EQ(RunK4pack({"-o", out, src}).status, 0);
    const std::string d = Quote(dir.Path().string());
    const RunResult sign = RunShell(
        "cd " + d + " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 "
        "-subj '/CN=K4 verify test' 2>/dev/null && osslsigncode sign -certs cert.pem -key key.pem "
        "-time 1700000000 -in out.exe -out signed.exe >/dev/null 2>&1 && osslsigncode sign -certs cert.pem "
        "-key key.pem -time 1700000000 -in out.exe -out again.exe >/dev/null 2>&1 && echo signed");
    ASSERT_EQ(sign.out, "signed\n");
    EXPECT_EQ(ReadFile(dir / "signed.exe"), ReadFile(dir / "again.exe")) << "a fixed signing time signs the same bytes";
    const RunResult run = RunK4pack({"verify", dir / "signed.exe", src});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(RunK4pack({"inspect", dir / "signed.exe"}).out.find("signature:        certificate table of"),
              std::string::npos);
}
