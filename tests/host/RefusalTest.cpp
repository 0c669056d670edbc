// Every way the packer refuses its input: the exit status, the message, and that neither an
// output file nor a temporary file is left behind, nor an existing output changed.
#include <sys/stat.h>

#include "pack/EmbeddedStubs.h"
#include "PackFixture.h"
#include "PayloadBlockCases.h"
#include "SignedImage.h"

using namespace k4test;

namespace {

struct Refusal {
    const char* what;
    std::vector<std::string> args;
    int status;
};

class RefusalTest : public PackTest {
protected:
    // Inputs for the refusals below, all made before the folder's contents are noted.
    void MakeBadInputs() {
        WriteFile(dir / "clash/Read.me", ToBytes("1"));
        WriteFile(dir / "clash/READ.ME", ToBytes("2"));
        WriteFile(dir / "reserved/sub/con.txt", ToBytes("device"));
        WriteFile(dir / "colon/a:b.txt", ToBytes("stream"));
        WriteFile(dir / "dot/trailing.", ToBytes("renamed"));
        WriteFile(dir / "accent/caf\xC3\xA9.txt", ToBytes("utf-8"));
        WriteFile(dir / "backslash/a\\b.txt", ToBytes("separator"));
        WriteFile(dir / "long/" + std::string(160, 'n'), ToBytes("long"));
        fs::create_directories(dir / "onlyempty/a/b");
        WriteFile(dir / "linked/real.txt", ToBytes("real"));
        fs::create_directory_symlink(dir / "linked", dir / "linked/loop");
        fs::create_directories(dir / "fifo");
        ASSERT_EQ(::mkfifo((dir / "fifo/pipe").c_str(), 0600), 0);
        fs::create_directories(dir / "huge");
        WriteFile(dir / "huge/big.bin", {});
        fs::resize_file(dir / "huge/big.bin", k4pack::kMaxFolderBytes + 1);  // sparse
        WriteFile(dir / "notpe.exe", ToBytes("#!/bin/sh\n"));
        using signedimage::PeKind;
        WriteFile(dir / "signed.exe",
                  ToBytes(signedimage::Signed(signedimage::Image(PeKind::Pe32Plus), PeKind::Pe32Plus, 0)));
        fs::create_directories(dir / "dangling");
        fs::create_symlink(dir / "gone.txt", dir / "dangling/link.txt");
        MakeBadCabinets();
    }

    void MakeBadCabinets() {
        WriteFile(dir / "notcab.cab", ToBytes("this is no cabinet at all, just some text"));
        k4pack::WriteCabinet({{src + "/readme.txt", "ok.txt", 21, SampleTime()}},
                             k4pack::Compression::Mszip, dir / "good.cab");
        const Bytes good = ReadFile(dir / "good.cab");
        WriteFile(dir / "truncated.cab", Bytes(good.begin(), good.end() - 10));
        Bytes inSet = good;
        inSet[30] = 2;  // "a next cabinet follows"
        WriteFile(dir / "inset.cab", inSet);
        k4pack::WriteCabinet({{src + "/readme.txt", "..\\evil.txt", 21, SampleTime()}},
                             k4pack::Compression::Mszip, dir / "hostile.cab");
        k4pack::WriteCabinet({}, k4pack::Compression::Mszip, dir / "nofiles.cab");
        WriteFile(dir / "undecodable.cab", ToBytes(UndecodableBlockCabinet()));
        WriteFile(dir / "decodable.cab", ToBytes(SoundBlockCabinet()));
        WriteFile(dir / "huge.cab", good);
        fs::resize_file(dir / "huge.cab", std::uint64_t{k4pack::kMaxFileSize} + 1);
    }

    void ExpectRefused(const Refusal& refusal) {
        const std::vector<std::string> before = FolderNames(dir.Path());
        const RunResult run = RunK4pack(refusal.args);
        EXPECT_EQ(run.status, refusal.status) << refusal.what << "\n" << run.err;
        EXPECT_TRUE(run.err.starts_with("k4pack: ")) << refusal.what << "\n" << run.err;
        EXPECT_EQ(run.out, "") << refusal.what;
        EXPECT_EQ(FolderNames(dir.Path()), before) << refusal.what;
    }
};

}  // namespace

TEST_F(RefusalTest, BadInputIsRefusedWithStatus1AndNoOutput) {
    MakeBadInputs();
    const std::string longText(256, 'x');
    const std::string longTarget = "C:\\" + std::string(97, 't');
    const std::vector<Refusal> refusals = {
        {"target of 256 bytes", BareArgs({"-t", longText, src}), 1},
        {"caption of 256 bytes", BareArgs({"-c", longText, src}), 1},
        {"title of 256 bytes", BareArgs({"-T", longText, src}), 1},
        {"missing input", PackArgs({dir / "nothing"}), 1},
        {"empty folders only", PackArgs({dir / "onlyempty"}), 1},
        {"missing stub", {"-o", out, "-s", dir / "nostub.exe", src}, 1},
        {"stub not a PE file", {"-o", out, "-s", dir / "notpe.exe", src}, 1},
        {"stub already signed", {"-o", out, "-s", dir / "signed.exe", src}, 1},
        {"stub is a folder", {"-o", out, "-s", src, src}, 1},
        {"names differing in case only", PackArgs({dir / "clash"}), 1},
        {"reserved device name", PackArgs({dir / "reserved"}), 1},
        {"colon", PackArgs({dir / "colon"}), 1},
        {"trailing dot", PackArgs({dir / "dot"}), 1},
        {"non-ASCII name", PackArgs({dir / "accent"}), 1},
        {"backslash in a name", PackArgs({dir / "backslash"}), 1},
        {"path over 255 with the target", BareArgs({"-t", longTarget, dir / "long"}), 1},
        {"symbolic link to a folder", PackArgs({dir / "linked"}), 1},
        {"named pipe", PackArgs({dir / "fifo"}), 1},
        {"dangling symbolic link", PackArgs({dir / "dangling"}), 1},
        {"files over 2 GiB", PackArgs({dir / "huge"}), 1},
        {"output folder missing", {"-o", dir / "nofolder/out.exe", "-s", stub, src}, 1},
        {"cabinet not a cabinet", PackArgs({"--cab", dir / "notcab.cab"}), 1},
        {"cabinet truncated", PackArgs({"--cab", dir / "truncated.cab"}), 1},
        {"cabinet of a set", PackArgs({"--cab", dir / "inset.cab"}), 1},
        {"cabinet with '..' name", PackArgs({"--cab", dir / "hostile.cab"}), 1},
        {"cabinet over 2 GiB", PackArgs({"--cab", dir / "huge.cab"}), 1},
        {"cabinet missing", PackArgs({"--cab", dir / "missing.cab"}), 1},
        {"cabinet without files", PackArgs({"--cab", dir / "nofiles.cab"}), 1},
        // Its header and file list are sound: only the extractor's check, which decodes every
        // block, finds the stream broken (no checksum stored that could tell).
        {"cabinet whose block does not decode", PackArgs({"--cab", dir / "undecodable.cab"}), 1},
    };
    for (const Refusal& refusal : refusals)
        ExpectRefused(refusal);
    // The same cabinet without its flaws goes through, so the refusals above are its flaws'.
    EXPECT_EQ(RunK4pack(PackArgs({"--cab", dir / "good.cab"})).status, 0);
    EXPECT_EQ(RunK4pack(PackArgs({"--cab", dir / "decodable.cab"})).status, 0) << "the undecodable one unbroken";
}

TEST_F(RefusalTest, CommandLineErrorsEndWithStatus2AndNoOutput) {
    const std::vector<Refusal> refusals = {
        {"nothing at all", {}, 2},
        {"unknown option", PackArgs({"--frobnicate", src}), 2},
        {"unknown short option", PackArgs({"-x", src}), 2},
        {"no output", {"-s", stub, src}, 2},
        {"no inputs", PackArgs({}), 2},
        {"inputs and a cabinet", PackArgs({"--cab", dir / "x.cab", src}), 2},
        {"no compression for a given cabinet", PackArgs({"-0", "--cab", dir / "x.cab"}), 2},
        {"option without its value", {"-s", stub, src, "-o"}, 2},
        {"long option without its value", {"-o", out, src, "--stub"}, 2},
        {"empty cabinet name", PackArgs({"--cab="}), 2},
        {"option twice", PackArgs({"-o", dir / "other.exe", src}), 2},
        {"value for a switch", PackArgs({"--no-compression=yes", src}), 2},
        {"no threads", PackArgs({"--threads", "0", src}), 2},
        {"too many threads", PackArgs({"-j", "257", src}), 2},
        {"threads not a number", PackArgs({"-j", "two", src}), 2},
        {"inspect without a file", {"inspect"}, 2},
        {"inspect with two files", {"inspect", out, stub}, 2},
        {"inspect with an option", {"inspect", "-o", out, stub}, 2},
        {"--run-temporary without --run", PackArgs({"--run-temporary", src}), 2},
        {"an empty command", PackArgs({"--run", "", src}), 2},
        {"a command of blanks", PackArgs({"--run", " \t ", src}), 2},
        {"empty quotes for the program", PackArgs({"--run", "\"\" /q", src}), 2},
        {"the program's quote left open", PackArgs({"--run", "\"readme.txt /q", src}), 2},
        {"arguments right after the quoted program", PackArgs({"--run", "\"readme.txt\"/q", src}), 2},
        {"a command that is not UTF-8", PackArgs({"--run", "readme.txt caf\xE9", src}), 2},
        {"a command twice", PackArgs({"--run", "readme.txt", "--run", "readme.txt", src}), 2},
        {"a command for inspect", {"inspect", "--run", "readme.txt", out}, 2},
        {"a command for verify", {"verify", "--run-temporary", out}, 2},
    };
    for (const Refusal& refusal : refusals)
        ExpectRefused(refusal);
}

TEST_F(RefusalTest, ExistingOutputStaysAsItWasWhenPackingFails) {
    WriteFile(dir / "clash/Read.me", ToBytes("1"));
    WriteFile(dir / "clash/READ.ME", ToBytes("2"));
    WriteFile(out, ToBytes("previous output"));
    ExpectRefused({"refused input", PackArgs({dir / "clash"}), 1});
    EXPECT_EQ(ReadFile(out), ToBytes("previous output"));

    // Fails at the very end (a folder cannot be replaced by a file): the written file and
    // the cabinet are gone with their temporary folder.
    WriteFile(dir / "taken/inside.txt", ToBytes("x"));
    ExpectRefused({"output is a folder", {"-o", dir / "taken", "-s", stub, src}, 1});
    EXPECT_TRUE(fs::is_directory(dir / "taken"));
}

TEST_F(RefusalTest, CabinetWriterAndReaderFailuresBecomeErrors) {
    EXPECT_THROW(k4pack::WriteCabinet({{dir / "gone.txt", "gone.txt", 1, SampleTime()}},
                                      k4pack::Compression::Mszip, dir / "x.cab"),
                 k4pack::PackError);
    EXPECT_THROW(k4pack::WriteCabinet({{src + "/readme.txt", "a.txt", 21, SampleTime()}},
                                      k4pack::Compression::Mszip, dir / "nofolder/x.cab"),
                 k4pack::PackError);
    EXPECT_THROW(k4pack::ListCabinet(dir / "gone.cab", 0), k4pack::PackError);
    EXPECT_THROW(k4pack::ListCabinet(src + "/readme.txt", 0), k4pack::PackError);
}

TEST_F(RefusalTest, BadBrandingEndsWithStatus2NamingTheOptionAndNoOutput) {
    WriteFile(dir / "text.ico", ToBytes("not an icon, just text"));
    WriteFile(dir / "empty.ico", {0, 0, 1, 0, 0, 0});
    const std::string longText(256, 'x');
    const std::string longWide = std::string(128, 'x') + "\xE2\x82\xAC" + std::string(127, 'y');  // 256 characters
    const std::vector<std::pair<Refusal, const char*>> refusals = {
        {{"not an icon", BareArgs({"--icon", dir / "text.ico", src}), 2}, "--icon"},
        {{"icon without images", BareArgs({"--icon", dir / "empty.ico", src}), 2}, "--icon"},
        {{"icon missing", BareArgs({"--icon", dir / "none.ico", src}), 2}, "--icon"},
        {{"icon is a folder", BareArgs({"--icon", src, src}), 2}, "--icon"},
        {{"file version of three parts", BareArgs({"--file-version", "1.2.3", src}), 2}, "--file-version"},
        {{"file version not numeric", BareArgs({"--file-version", "1.2.3.beta", src}), 2}, "--file-version"},
        {{"product version over 65535", BareArgs({"--product-version", "1.2.3.70000", src}), 2}, "--product-version"},
        {{"product name of 256 characters", BareArgs({"--product-name", longText, src}), 2}, "--product-name"},
        {{"company of 256 characters", BareArgs({"--company", longWide, src}), 2}, "--company"},
        {{"description not UTF-8", BareArgs({"--description", "caf\xE9", src}), 2}, "--description"},
        {{"copyright of 256 characters", BareArgs({"--copyright", longText, src}), 2}, "--copyright"},
        {{"unknown execution level", BareArgs({"--execution-level", "admin", src}), 2}, "--execution-level"},
        {{"execution level in other case", BareArgs({"--execution-level", "asinvoker", src}), 2}, "--execution-level"},
        {{"branding for inspect", {"inspect", "--icon", dir / "text.ico", stub}, 2}, "--icon"},
        {{"output is the input file", {"-o", src + "/readme.txt", "-s", stub, src + "/readme.txt", src + "/sub"}, 2},
         "is the input"},
        {{"output is the cabinet", {"-o", dir / "text.ico", "-s", stub, "--cab", dir / "text.ico"}, 2}, "is the input"},
    };
    for (const auto& [refusal, named] : refusals) {
        ExpectRefused(refusal);
        EXPECT_NE(RunK4pack(refusal.args).err.find(named), std::string::npos) << refusal.what;
    }
    // The longest texts and the ends of the ranges go through (with a program that has resources).
    const std::string longest(255, 'x');
    if (!k4pack::EmbeddedStub(k4pack::StubArch::I686).empty())
        EXPECT_EQ(RunK4pack({"-o", out, src, "--product-name", longest, "--company", std::string(127, 'x') + "\xE2\x82\xAC" +
                             std::string(127, 'y'), "--file-version", "65535.0.65535.0", "--execution-level",
                             "highestAvailable"}).status, 0);
    EXPECT_EQ(ReadFile(src + "/readme.txt"), ToBytes("Hello from the demo\r\n"));
}

// A command whose program the archive does not hold, or that a run record cannot hold, is
// refused before anything is written, the message naming the program; the archive's own
// names decide, from the folders as from a cabinet taken as is.
TEST_F(RefusalTest, RunCommandsWhoseProgramIsNoMemberEndWithStatus2NamingIt) {
    WriteFile(dir / "ok.cab", ToBytes(SoundBlockCabinet()));
    cabw::Cabinet codePage = cabw::OneFile("caf\xE9.exe", "code page name");
    WriteFile(dir / "codepage.cab", ToBytes(cabw::Build(codePage)));
    const std::string longest(256, 'p');
    const std::vector<std::pair<Refusal, std::string>> refusals = {
        {{"no such file", PackArgs({"--run", "setup.exe /quiet", src}), 2}, "\"setup.exe\" is not a file of the archive"},
        {{"a folder", PackArgs({"--run", "sub", src}), 2}, "\"sub\""},
        {{"a file of a subfolder without its folder", PackArgs({"--run", "notes.txt", src}), 2},
         "\"notes.txt\" is not a file of the archive; name it by its path inside the archive (\"sub\\notes.txt\"?)"},
        {{"a longer name", PackArgs({"--run", "readme.txt.exe", src}), 2}, "\"readme.txt.exe\""},
        {{"the input folder's own name in front", PackArgs({"--run", "src/readme.txt", src}), 2},
         "\"src\\readme.txt\""},
        {{"the quotes' blank inside the name", PackArgs({"--run", "\"readme .txt\"", src}), 2}, "\"readme .txt\""},
        {{"not in a given cabinet", PackArgs({"--cab", dir / "ok.cab", "--run", "setup.exe"}), 2}, "\"setup.exe\""},
        {{"a name in a cabinet's code page", PackArgs({"--cab", dir / "codepage.cab", "--run", "caf\xC3\xA9.exe"}), 2},
         "\"caf\xC3\xA9.exe\""},
        {{"a program of 256 bytes", PackArgs({"--run", longest + " /q", src}), 2}, "is 256 bytes long; a run record holds at most 255"},
        {{"arguments of 8192 bytes", PackArgs({"--run", "readme.txt " + std::string(8192, 'a'), src}), 2},
         "the arguments of \"readme.txt\" are 8192 bytes long; a run record holds at most 8191"},
    };
    for (const auto& [refusal, named] : refusals) {
        ExpectRefused(refusal);
        EXPECT_NE(RunK4pack(refusal.args).err.find(named), std::string::npos) << refusal.what << "\n"
                                                                              << RunK4pack(refusal.args).err;
    }
    // The longest arguments a record holds go through.
    const std::string arguments = std::string(8190, 'a') + "z";
    ASSERT_EQ(RunK4pack(BareArgs({"--run", "README.TXT " + arguments, src})).status, 0);
    EXPECT_EQ(ReadBack().run, (k4pack::RunCommand{"readme.txt", arguments, false}));
}
