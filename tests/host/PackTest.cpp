// Packing folders and cabinets into self-extractors and reading them back: layout, names,
// times and contents in the cabinet, and inspect.
#include <zlib.h>

#include <iomanip>

#include "CabWriter.h"
#include "PackFixture.h"
#include "SignedImage.h"
#include "SumRecordBytes.h"

using namespace k4test;
using k4pack::PayloadTexts;

TEST_F(PackTest, FolderBecomesStubTextsCabinetAndTrailer) {
    const RunResult run = RunK4pack(PackArgs({src}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const Bytes written = ReadFile(out);
    const Bytes stubBytes = ReadFile(stub);
    ASSERT_GT(written.size(), stubBytes.size());
    EXPECT_TRUE(std::equal(stubBytes.begin(), stubBytes.end(), written.begin()));
    const k4pack::PayloadContents payload = ReadBack();
    EXPECT_EQ(payload.texts, (PayloadTexts{"C:\\Out", "Caption", "Title line"}));
    EXPECT_EQ(payload.layout.imageSize, stubBytes.size());
    EXPECT_EQ(le::Read32(written.data() + written.size() - 4),
              written.size() - 4 - stubBytes.size());
    EXPECT_EQ(written.size() % 8, 0u) << "signing must insert nothing before its table";

    std::vector<std::string> names;
    for (const auto& entry : k4pack::ListCabinet(out, payload.layout.cabinetOffset)) {
        names.push_back(entry.name);
        EXPECT_EQ(entry.modified, "2021-06-15 10:20:30") << entry.name;
    }
    EXPECT_EQ(names, kSampleNames);
    struct stat info {};
    ASSERT_EQ(::stat(out.c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IXUSR);
}

TEST_F(PackTest, CabinetReadsBackWithAnIndependentToolInBothCompressions) {
    for (bool store : {false, true}) {
        SCOPED_TRACE(store ? "no compression" : "MSZIP");
        fs::remove(out);
        const RunResult run = RunK4pack(
            PackArgs(store ? std::vector<std::string>{"-0", src} : std::vector<std::string>{src}));
        ASSERT_EQ(run.status, 0) << run.err;
        const Bytes cabinet = CabinetOf(out);
        // CFFOLDER.typeCompress follows the 36-byte header: 1 is MSZIP, 0 none.
        EXPECT_EQ(le::Read16(cabinet.data() + 36 + 6), store ? 0 : 1);

        const RunResult listing = RunShell("cabextract -l " + Quote(out));
        ASSERT_EQ(listing.status, 0) << listing.out;
        for (const char* line : {"21 | 15.06.2021 10:20:30 | readme.txt",
                                 "70000 | 15.06.2021 10:20:30 | sub/deep/data.bin",
                                 "12 | 15.06.2021 10:20:30 | sub/notes.txt"})
            EXPECT_NE(listing.out.find(line), std::string::npos) << line << "\n" << listing.out;

        const std::string unpacked = dir / (store ? "stored" : "mszip");
        ASSERT_EQ(RunShell("cabextract -q -d " + Quote(unpacked) + " " + Quote(out)).status, 0);
        for (const char* name : {"/readme.txt", "/sub/notes.txt", "/sub/deep/data.bin"})
            EXPECT_EQ(ReadFile(unpacked + name), ReadFile(src + name)) << name;
    }
}

TEST_F(PackTest, FileInputsKeepTheirOwnNameAndFolderInputsTheirContents) {
    const RunResult run = RunK4pack(PackArgs({src + "/sub", src + "/readme.txt"}));
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> names;
    for (const auto& entry : k4pack::ListCabinet(out, ReadBack().layout.cabinetOffset))
        names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"deep\\data.bin", "notes.txt", "readme.txt"}));
}

TEST_F(PackTest, GivenCabinetIsCarriedByteForByte) {
    const std::string given = dir / "given.cab";
    ASSERT_EQ(RunShell("cd " + Quote(src) + " && gcab -c -z " + Quote(given) +
                       " readme.txt sub/notes.txt")
                  .status,
              0);
    // Without a command, and with one: its record between the padding and the sum record,
    // its program named in another case and with a slash, kept as the cabinet lists it.
    const std::vector<std::string> command = {"--run", "SUB/Notes.TXT /quiet  \"a b\" ", "--run-temporary"};
    for (const std::string& record :
         {std::string(), RunRecord("sub\\notes.txt", "/quiet  \"a b\" ", runrecord::FlagTemporary)}) {
        SCOPED_TRACE(record.empty() ? "no command" : "a command");
        std::vector<std::string> args = {"--cab", given};
        if (!record.empty()) args.insert(args.end(), command.begin(), command.end());
        const RunResult run = RunK4pack(PackArgs(args));
        ASSERT_EQ(run.status, 0) << run.err;

        const Bytes cabinet = ReadFile(given);
        Bytes expected = ReadFile(stub);
        const Bytes fields = k4pack::EncodeTextFields({"C:\\Out", "Caption", "Title line"});
        expected.insert(expected.end(), fields.begin(), fields.end());
        expected.insert(expected.end(), cabinet.begin(), cabinet.end());
        // Padding, the run record, then the sum record: its marker, the cabinet's length and
        // CRC-32.
        const std::size_t padding = (8 - (expected.size() + record.size() + 16 + 4) % 8) % 8;
        expected.resize(expected.size() + padding, 0);
        expected.insert(expected.end(), record.begin(), record.end());
        for (char c : std::string("K4CRC32\x1A", 8)) expected.push_back(static_cast<std::uint8_t>(c));
        k4pack::AppendLe32(expected, static_cast<std::uint32_t>(cabinet.size()));
        k4pack::AppendLe32(expected, static_cast<std::uint32_t>(crc32(0, cabinet.data(), cabinet.size())));
        k4pack::AppendLe32(expected, static_cast<std::uint32_t>(fields.size() + cabinet.size() + padding +
                                                                record.size() + 16));
        EXPECT_EQ(ReadFile(out), expected);
    }
}

TEST_F(PackTest, InspectShowsTextsCabinetAndFileList) {
    // Without a command, and with one in the target directory and in a temporary folder.
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{}, {"--run", "sub\\notes.txt"},
          {"--run", "\"readme.txt\" /S \"x\"", "--run-temporary"}}) {
        std::vector<std::string> args = command;
        args.push_back(src);
        ASSERT_EQ(RunK4pack(PackArgs(args)).status, 0);
        const k4pack::PayloadLayout layout = ReadBack().layout;
        const Bytes packed = ReadFile(out);
        ASSERT_EQ(layout.sumOffset, packed.size() - 20);
        ASSERT_EQ(layout.sum.crc, crc32(0, &packed[layout.cabinetOffset], layout.cabinetSize));
        const RunResult run = RunK4pack({"inspect", out});
        ASSERT_EQ(run.status, 0) << run.err;

        std::ostringstream expected;
        expected << "target directory: \"C:\\Out\"\n"
                 << "window caption:   \"Caption\"\n"
                 << "title line:       \"Title line\"\n"
                 << "program image:    4096 bytes\n"
                 << "cabinet:          " << layout.cabinetSize << " bytes at offset "
                 << layout.cabinetOffset << "\n"
                 << "padding:          " << layout.paddingSize << " bytes\n"
                 << "signature:        none\n"
                 << "sum record:       CRC-32 0x" << std::hex << std::uppercase << std::setw(8)
                 << std::setfill('0') << layout.sum.crc << std::dec << std::setfill(' ') << " of "
                 << layout.cabinetSize << " bytes, at offset " << layout.sumOffset << "\n";
        if (command.size() == 2)
            expected << "run record:       " << layout.runSize << " bytes at offset " << layout.runOffset << "\n"
                     << "command:          \"sub\\notes.txt\"\n"
                     << "command runs in:  the target directory\n";
        if (command.size() == 3)
            expected << "run record:       " << layout.runSize << " bytes at offset " << layout.runOffset << "\n"
                     << "command:          \"readme.txt\" /S \"x\"\n"
                     << "command runs in:  a temporary folder of its own, removed afterwards\n";
        expected << "files:            3, 70033 bytes\n";
        for (auto [size, name] : {std::pair{21, "readme.txt"}, std::pair{70000, "sub\\deep\\data.bin"},
                                  std::pair{12, "sub\\notes.txt"}})
            expected << std::setw(12) << size << "  2021-06-15 10:20:30  " << name << "\n";
        EXPECT_EQ(run.out, expected.str());
    }
}

TEST_F(PackTest, InspectRefusesFilesWithoutAValidPayload) {
    ASSERT_EQ(RunK4pack(PackArgs({src})).status, 0);
    const Bytes good = ReadFile(out);
    const k4pack::PayloadLayout layout = ReadBack().layout;

    // Cabinet cut short inside a block whose trailer was made to match: only the cabinet's
    // own header can tell.
    Bytes shortCabinet(good.begin(), good.end() - 4 - 100);
    k4pack::AppendLe32(shortCabinet, layout.blockLength - 100);
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"stub without payload", ReadFile(stub)},
        {"cut by one byte", Bytes(good.begin(), good.end() - 1)},
        {"cut by the trailer", Bytes(good.begin(), good.end() - 4)},
        {"cut to half", Bytes(good.begin(), good.begin() + good.size() / 2)},
        {"cabinet cut short", shortCabinet},
    };
    for (const auto& [what, bytes] : files) {
        const std::string path = dir / "bad.exe";
        WriteFile(path, bytes);
        const RunResult run = RunK4pack({"inspect", path});
        EXPECT_EQ(run.status, 1) << what;
        EXPECT_EQ(run.out, "") << what;
        EXPECT_TRUE(run.err.starts_with("k4pack: " + path + ": no valid payload")) << run.err;
    }
    const RunResult missing = RunK4pack({"inspect", dir / "missing.exe"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.starts_with("k4pack: ")) << missing.err;
}

TEST_F(PackTest, SignedProgramIsRefusedAndASignedSelfExtractorInspected) {
    using namespace signedimage;
    const std::string image = Image(PeKind::Pe32, 4096);
    const std::string signedStub = dir / "signed-stub.exe";
    WriteFile(signedStub, ToBytes(Signed(image, PeKind::Pe32, 0)));
    const RunResult refused = RunK4pack({"-o", out, "-s", signedStub, src});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("signed"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(out));

    WriteFile(stub, ToBytes(image));
    ASSERT_EQ(RunK4pack(PackArgs({src})).status, 0) << "the same program unsigned";
    const Bytes packed = ReadFile(out);
    const std::string unsignedList = RunK4pack({"inspect", out}).out;
    ASSERT_NE(unsignedList.find("signature:        none\n"), std::string::npos) << unsignedList;
    for (std::size_t inserted : {0, 5}) {
        SCOPED_TRACE(inserted);
        const std::string table = TableBytes(0x318);
        WriteFile(out, ToBytes(Signed(std::string(packed.begin(), packed.end()), PeKind::Pe32,
                                      inserted, table)));
        const RunResult run = RunK4pack({"inspect", out});
        ASSERT_EQ(run.status, 0) << run.err;
        std::string expected = unsignedList;
        const std::string signature = "signature:        certificate table of 792 bytes at offset " +
                                      std::to_string(packed.size() + inserted) + "\n";
        expected.replace(expected.find("signature:"), std::string("signature:        none\n").size(),
                         signature);
        EXPECT_EQ(run.out, expected);
    }
}

// --run with folders: the program named in any ASCII letter case, with either slash, in
// quotes or not, is kept as the member is listed; the arguments exactly as written. The
// archive is the one packed without the command, its record inserted in front of the sum
// record, the padding keeping it a multiple of 8; it verifies.
TEST_F(PackTest, RunCommandKeepsItsProgramAsListedAndAddsOnlyItsRecord) {
    WriteFile(src + "/My Setup/Setup.exe", ToBytes("MZ a program"));
    ASSERT_EQ(RunK4pack(PackArgs({src})).status, 0);
    const Bytes plain = ReadFile(out);
    const k4pack::PayloadLayout plainLayout = ReadBack().layout;
    const struct {
        std::vector<std::string> options;
        k4pack::RunCommand expected;
    } cases[] = {
        {{"--run", "readme.txt"}, {"readme.txt", "", false}},
        {{"--run", "  README.TXT   /q  "}, {"readme.txt", "/q  ", false}},
        {{"--run", "sub/Deep/DATA.bin -x \"1 2\"", "--run-temporary"}, {"sub\\deep\\data.bin", "-x \"1 2\"", true}},
        {{"--run=\"my setup\\setup.EXE\"\t/S /D=C:\\Program Files\\x"}, {"My Setup\\Setup.exe", "/S /D=C:\\Program Files\\x", false}},
        {{"--run-temporary", "--run", "\"sub\\notes.txt\" caf\xC3\xA9 \xE2\x82\xAC"}, {"sub\\notes.txt", "caf\xC3\xA9 \xE2\x82\xAC", true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        std::vector<std::string> args = c.options;
        args.push_back(src);
        const RunResult run = RunK4pack(PackArgs(args));
        ASSERT_EQ(run.status, 0) << run.err;
        const Bytes packed = ReadFile(out);
        const k4pack::PayloadContents payload = ReadBack();
        EXPECT_EQ(payload.run, c.expected);
        EXPECT_EQ(packed.size() % 8, 0u);
        EXPECT_EQ(k4pack::CabinetSumFault(k4pack::MemorySource(packed), payload.layout), "");

        const std::string record = RunRecord(c.expected.program, c.expected.arguments,
                                             c.expected.temporary ? runrecord::FlagTemporary : 0);
        const std::uint64_t cabinetEnd = plainLayout.cabinetOffset + plainLayout.cabinetSize;
        const std::size_t padding = (8 - (cabinetEnd + record.size() + 16 + 4) % 8) % 8;
        Bytes expected(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(cabinetEnd));
        expected.resize(expected.size() + padding, 0);
        expected.insert(expected.end(), record.begin(), record.end());
        expected.insert(expected.end(), plain.end() - 20, plain.end() - 4);
        k4pack::AppendLe32(expected, static_cast<std::uint32_t>(plainLayout.blockLength - plainLayout.paddingSize +
                                                                padding + record.size()));
        EXPECT_EQ(packed, expected);
        EXPECT_EQ(RunK4pack({"verify", out, src}).status, 0) << RunK4pack({"verify", out, src}).err;
    }
}

// A cabinet taken as is: members marked as UTF-8 can be named by their UTF-8 name, in any
// ASCII letter case.
TEST_F(PackTest, RunCommandNamesACabinetsUtf8Member) {
    cabw::Cabinet cabinet = cabw::OneFile("Caf\xC3\xA9\\Setup.exe", "a program");
    cabinet.members[0].attribs = 0x20 | 0x80;
    WriteFile(dir / "utf8.cab", ToBytes(cabw::Build(cabinet)));
    const RunResult run = RunK4pack(PackArgs({"--cab", dir / "utf8.cab", "--run", "caf\xC3\xA9/setup.exe /S"}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadBack().run, (k4pack::RunCommand{"Caf\xC3\xA9\\Setup.exe", "/S", false}));
    EXPECT_EQ(RunK4pack({"verify", out}).status, 0);
}
