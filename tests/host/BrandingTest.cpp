// Packing with the publisher's icon, version information and execution level, on both
// carried programs: read back by inspect (text and JSON) and verify, the same bytes on
// every run, the program unchanged without those options, the checksum over the whole file,
// a real signature over a branded archive; and the output never one of the inputs.
#include "pack/Branding.h"
#include "pack/EmbeddedStubs.h"
#include "PackFixture.h"
#include "pe/PeFile.h"
#include "pe/Resources.h"

using namespace k4test;
using k4pack::StubArch;

namespace {

const std::vector<std::string> kBranding = {
    "--icon", K4_TEST_ICON, "--product-name", "Example", "--company", "Example Ltd", "--description", "Example setup",
    "--copyright", "(c) Example", "--product-version", "5.6.7.8", "--file-version", "1.2.3.4",
    "--execution-level", "requireAdministrator"};

bool Carried() { return !k4pack::EmbeddedStub(StubArch::I686).empty() && !k4pack::EmbeddedStub(StubArch::X86_64).empty(); }

class BrandingTest : public PackTest {
protected:
    void SetUp() override {
        PackTest::SetUp();
        if (!Carried()) GTEST_SKIP() << "a build without carried programs";
    }
    RunResult PackBranded(const std::string& arch, const std::string& to, std::vector<std::string> extra = kBranding) {
        std::vector<std::string> args = {"-o", to, "--arch", arch, src};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunK4pack(args);
    }
    Bytes ProgramPart(const std::string& path) const {
        const Bytes file = ReadFile(path);
        return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(k4pack::ReadPayload(k4pack::MemorySource(file)).layout.imageSize));
    }
};

}  // namespace

TEST_F(BrandingTest, EveryFieldReadsBackFromBothPrograms) {
    const std::vector<k4pack::IconImage> icon = k4pack::ParseIconFile(ReadFile(K4_TEST_ICON));
    for (const char* arch : {"i686", "x86_64"}) {
        SCOPED_TRACE(arch);
        const RunResult run = PackBranded(arch, out);
        ASSERT_EQ(run.status, 0) << run.err;
        const Bytes program = ProgramPart(out);
        const k4pack::ProgramResources read = k4pack::DescribeProgram(program);
        EXPECT_TRUE(read.faults.empty()) << read.faults.front();
        ASSERT_EQ(read.icon.size(), icon.size());
        const std::vector<k4pack::Resource> resources = k4pack::ReadProgramResources(program);
        for (std::size_t i = 0; i < icon.size(); ++i) {
            EXPECT_EQ(read.icon[i].width, icon[i].width ? icon[i].width : 256u);
            EXPECT_EQ(read.icon[i].bitCount, icon[i].bitCount);
            const k4pack::Resource* image = k4pack::FindResource(resources, k4pack::kRtIcon, read.icon[i].id);
            ASSERT_NE(image, nullptr);
            EXPECT_EQ(image->data, icon[i].data) << "image " << i << ", the bytes of the .ico";
        }
        const std::size_t icons = std::count_if(resources.begin(), resources.end(),
                                                [](const k4pack::Resource& r) { return r.type.number == k4pack::kRtIcon; });
        EXPECT_EQ(icons, icon.size()) << "the program's own images are gone with its group";
        EXPECT_EQ(read.executionLevel, "requireAdministrator");
        ASSERT_TRUE(read.version);
        EXPECT_EQ(k4pack::VersionText(read.version->fileVersion), "1.2.3.4");
        EXPECT_EQ(k4pack::VersionText(read.version->productVersion), "5.6.7.8");

        const RunResult inspect = RunK4pack({"inspect", out});
        for (const char* line : {"icon:             4 images: 16x16 4-bit, 32x32 8-bit, 48x48 32-bit, 256x256 32-bit\n",
                                 "version:          file 1.2.3.4, product 5.6.7.8, strings 040204E3\n",
                                 "  CompanyName:       \"Example Ltd\"\n", "  FileDescription:   \"Example setup\"\n",
                                 "  LegalCopyright:    \"(c) Example\"\n", "  ProductName:       \"Example\"\n",
                                 "  ProductVersion:    \"5.6.7.8\"\n", "  FileVersion:       \"1.2.3.4\"\n",
                                 "execution level:  requireAdministrator\n"})
            EXPECT_NE(inspect.out.find(line), std::string::npos) << line << inspect.out;
        const RunResult json = RunShell(Quote(K4PACK_PROGRAM) + " inspect --json " + Quote(out) + " | python3 " + Quote(K4_JSON_FIELDS));
        for (const char* line : {"program.icon=[4]\n", "program.icon[3].width=256\n", "program.icon[0].bits=4\n",
                                 "program.version.file=1.2.3.4\n", "program.version.table=040204E3\n",
                                 "program.version.strings.ProductName=Example\n", "program.execution_level=requireAdministrator\n"})
            EXPECT_NE(json.out.find(line), std::string::npos) << line << json.out;
        const RunResult verify = RunK4pack({"verify", out, src});
        EXPECT_EQ(verify.status, 0) << verify.err;
    }
}

TEST_F(BrandingTest, SameBytesOnEveryRunAndChecksumOverTheWholeFile) {
    const char* epoch = "SOURCE_DATE_EPOCH=1600000000";
    const std::string program = Quote(K4PACK_PROGRAM) + " -q --arch x86_64 --icon " + Quote(K4_TEST_ICON) +
                                " --file-version 1.2.3.4 --execution-level highestAvailable -o ";
    ASSERT_EQ(RunShell(std::string(epoch) + " " + program + Quote(dir / "a.exe") + " " + Quote(src) + " >/dev/null").status, 0);
    ASSERT_EQ(RunShell(std::string(epoch) + " " + program + Quote(dir / "b.exe") + " " + Quote(src) + " >/dev/null").status, 0);
    const Bytes a = ReadFile(dir / "a.exe");
    EXPECT_EQ(a, ReadFile(dir / "b.exe"));
    const std::size_t field = k4pack::ReadPeHeaders(ProgramPart(dir / "a.exe")).ChecksumOffset();
    k4pack::PeChecksum sum(field);
    sum.Write(a);
    EXPECT_EQ(le::Read32(a.data() + field), sum.Value());
    EXPECT_NE(le::Read32(a.data() + field), le::Read32(k4pack::EmbeddedStub(StubArch::X86_64).data() + field));
    // An installer archive's checksum covers its run record too.
    ASSERT_EQ(RunShell(std::string(epoch) + " " + program + Quote(dir / "c.exe") + " --run 'readme.txt /q' " + Quote(src) +
                       " >/dev/null").status, 0);
    const Bytes c = ReadFile(dir / "c.exe");
    k4pack::PeChecksum withRecord(field);
    withRecord.Write(c);
    EXPECT_EQ(le::Read32(c.data() + field), withRecord.Value());
    EXPECT_NE(le::Read32(c.data() + field), le::Read32(a.data() + field));
}

TEST_F(BrandingTest, WithoutTheOptionsTheProgramIsCopiedByteForByte) {
    for (StubArch arch : {StubArch::I686, StubArch::X86_64}) {
        ASSERT_EQ(RunK4pack({"-o", out, "--arch", std::string(k4pack::ArchName(arch)), src}).status, 0);
        const auto carried = k4pack::EmbeddedStub(arch);
        EXPECT_EQ(ProgramPart(out), Bytes(carried.begin(), carried.end()));
        EXPECT_EQ(RunK4pack({"inspect", out}).out.find("execution level:  asInvoker\n") != std::string::npos, true);
    }
}

TEST_F(BrandingTest, OnlyTheGivenFieldsChange) {
    ASSERT_EQ(PackBranded("i686", out, {"--company", "Other"}).status, 0);
    const k4pack::ProgramResources read = k4pack::DescribeProgram(ProgramPart(out));
    const k4pack::ProgramResources own = k4pack::DescribeProgram(k4pack::EmbeddedStub(StubArch::I686));
    EXPECT_EQ(read.executionLevel, "asInvoker");
    EXPECT_EQ(read.icon.size(), own.icon.size());
    EXPECT_EQ(read.version->fileVersion, own.version->fileVersion);
    ASSERT_EQ(read.version->strings.size(), own.version->strings.size());
    for (std::size_t i = 0; i < own.version->strings.size(); ++i)
        EXPECT_EQ(read.version->strings[i].second, own.version->strings[i].first == "CompanyName" ? "Other" : own.version->strings[i].second);
}

TEST_F(BrandingTest, ASignedBrandedArchiveVerifies) {
    if (RunShell("command -v osslsigncode >/dev/null && command -v openssl >/dev/null").status != 0)
        GTEST_SKIP() << "needs osslsigncode and openssl";
    ASSERT_EQ(PackBranded("x86_64", out).status, 0);
    const std::string d = Quote(dir.Path().string());
    const RunResult sign = RunShell(
        "cd " + d + " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 "
        "-subj '/CN=K4 branding test' 2>/dev/null && osslsigncode sign -certs cert.pem -key key.pem "
        "-in out.exe -out signed.exe >/dev/null 2>&1 && osslsigncode verify -CAfile cert.pem -in signed.exe "
        ">/dev/null 2>&1 && echo verified");
    ASSERT_EQ(sign.out, "verified\n");
    const RunResult run = RunK4pack({"verify", dir / "signed.exe", src});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(RunK4pack({"inspect", dir / "signed.exe"}).out.find("ProductName:       \"Example\""), std::string::npos);
}

TEST_F(BrandingTest, VerifyFindsAProgramLackingWhatTheExtractorNeeds) {
    const auto carried = k4pack::EmbeddedStub(StubArch::X86_64);
    std::vector<k4pack::Resource> resources = k4pack::ReadProgramResources(carried);
    struct Case {
        const char* what;
        std::uint16_t type;
        const char* fault;
    };
    for (const Case& c : {Case{"manifest", k4pack::kRtManifest, "program: no manifest"},
                          Case{"version", k4pack::kRtVersion, "program: no version resource"},
                          Case{"icon group", k4pack::kRtGroupIcon, "program: no icon 1"},
                          Case{"icon images", k4pack::kRtIcon, "program: icon 1 names image"}}) {
        std::vector<k4pack::Resource> fewer = resources;
        std::erase_if(fewer, [&](const k4pack::Resource& r) { return r.type.number == c.type; });
        WriteFile(stub, k4pack::ReplaceResources(carried, fewer));
        ASSERT_EQ(RunK4pack({"-o", out, "-s", stub, src}).status, 0) << c.what;
        const RunResult run = RunK4pack({"verify", out});
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_NE(run.err.find("k4pack: verify: " + std::string(c.fault)), std::string::npos) << run.err;
    }
    Bytes broken(carried.begin(), carried.end());
    k4pack::StoreLe32(broken, k4pack::ReadPeHeaders(broken).optionalHeader + 56, 0x1000);  // SizeOfImage
    WriteFile(stub, broken);
    ASSERT_EQ(RunK4pack({"-o", out, "-s", stub, src}).status, 0);
    EXPECT_NE(RunK4pack({"verify", out}).err.find("k4pack: verify: program: SizeOfImage"), std::string::npos);
    // Branding a program without the resources it changes fails, naming the program.
    WriteFile(stub, k4pack::ReplaceResources(carried, {resources.front()}));
    const RunResult branded = RunK4pack({"-o", out, "-s", stub, "--execution-level", "asInvoker", src});
    EXPECT_EQ(branded.status, 1);
    EXPECT_EQ(branded.err, "k4pack: " + stub + ": the program has no manifest (resource 1 of type 24)\n");
}

TEST_F(BrandingTest, TheOutputIsNeverAnInputNorPackedFromAnInputFolder) {
    // -o in/good.txt in: refused before anything is written; the source stays.
    const Bytes readme = ReadFile(src + "/readme.txt");
    fs::create_symlink(src + "/readme.txt", dir / "alias.txt");
    for (const std::string& output : {src + "/readme.txt", dir / "alias.txt"}) {
        const RunResult run = RunK4pack({"-o", output, "--arch", "x86_64", src + "/readme.txt", src});
        EXPECT_EQ(run.status, 2) << output;
        EXPECT_NE(run.err.find("is the input " + src + "/readme.txt"), std::string::npos) << run.err;
        EXPECT_EQ(ReadFile(src + "/readme.txt"), readme);
    }
    EXPECT_EQ(RunK4pack({"-o", stub, "-s", stub, src}).status, 2) << "the stub";
    // -o in/out.exe in, twice: the second archive holds the sources only.
    const std::string inside = src + "/out.exe";
    ASSERT_EQ(RunK4pack({"-o", inside, "--arch", "x86_64", src}).status, 0);
    const RunResult again = RunK4pack({"-o", inside, "--arch", "x86_64", src});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err, "k4pack: " + inside + ": left out, it is the output file\n");
    std::vector<std::string> names;
    for (const k4pack::CabinetEntry& entry : k4pack::ListCabinet(inside, k4pack::ReadPayload(k4pack::ReadableFile(inside)).layout.cabinetOffset))
        names.push_back(entry.name);
    EXPECT_EQ(names, kSampleNames);
    const RunResult verify = RunK4pack({"verify", inside, src});
    EXPECT_EQ(verify.status, 0) << "verify leaves the archive out of its sources too\n" << verify.err;
}
