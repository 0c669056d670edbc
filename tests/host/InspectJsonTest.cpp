// inspect --json: the document parsed by Python's JSON parser (json_fields.py), every
// documented field present with the values the layout and the cabinet have, and names that
// are arbitrary bytes escaped so that the parse gives them back.
#include "inspect/Json.h"
#include "K4CabFormatDetail.h"
#include "pe/Signature.h"
#include "PackFixture.h"
#include "SignedImage.h"

using namespace k4test;

namespace {

// The fields of `exe`'s JSON report, one "path=value" a line, as json_fields.py prints them.
RunResult JsonFields(const std::string& exe) {
    return RunShell(Quote(K4PACK_PROGRAM) + " inspect --json " + Quote(exe) + " | python3 " +
                    Quote(K4_JSON_FIELDS));
}

// The cabinet writer stores a name's bytes as they are, never marked as UTF-8: these names
// are code page bytes, which the extractor's check (run by --cab) would refuse under that
// mark. The attributes of the one file entry of the cabinet at `path`.
std::uint16_t FirstAttributes(const std::string& path) {
    const Bytes cabinet = ReadFile(path);
    const std::size_t entry = le::Read32(cabinet.data() + cabfmt::FilesStartField);
    return le::Read16(cabinet.data() + entry + cabfmt::detail::FileAttribsField);
}

}  // namespace

TEST(JsonString, EscapesQuotesControlCharactersAndHighBytes) {
    EXPECT_EQ(k4pack::JsonString("plain name.txt"), "\"plain name.txt\"");
    EXPECT_EQ(k4pack::JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(k4pack::JsonString("\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"");
    EXPECT_EQ(k4pack::JsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(k4pack::JsonString("caf\xE9 \xFF"), "\"caf\\u00e9 \\u00ff\"");
    EXPECT_EQ(k4pack::JsonString(std::string("\0", 1)), "\"\\u0000\"");
}

TEST(JsonWriter, NestsObjectsAndArraysWithCommasInPlace) {
    std::ostringstream text;
    k4pack::JsonWriter json(text);
    json.BeginObject();
    json.Key("a");
    json.Number(1);
    json.Key("list");
    json.BeginArray();
    json.Bool(true);
    json.Null();
    json.BeginObject();
    json.EndObject();
    json.EndArray();
    json.Key("empty");
    json.BeginArray();
    json.EndArray();
    json.EndObject();
    EXPECT_EQ(text.str(), "{\n  \"a\": 1,\n  \"list\": [\n    true,\n    null,\n    {}\n  ],\n  \"empty\": []\n}\n");
}

TEST(PeMachine, NamedOnlyWhenTheHeadersLeadToIt) {
    using namespace signedimage;
    auto machine = [](const std::string& bytes) {
        const Bytes file = ToBytes(bytes);
        return k4pack::PeMachineName(k4pack::ReadPeMachine(k4pack::MemorySource(file)));
    };
    std::string image = Image(PeKind::Pe32Plus);
    k4test::PutLe(image, kPeHeader + 4, 0x8664, 2);
    EXPECT_STREQ(machine(image), "x86_64");
    k4test::PutLe(image, kPeHeader + 4, 0x01C4, 2);  // ARMNT: a PE file, but not one of ours
    EXPECT_STREQ(machine(image), "unknown");
    std::string noMz = image;
    noMz[0] = 'X';
    EXPECT_EQ(k4pack::ReadPeMachine(k4pack::MemorySource(ToBytes(noMz))), std::nullopt);
    std::string farHeader = image;
    k4test::PutLe(farHeader, 0x3C, static_cast<std::uint32_t>(image.size() - 4));  // no room for the file header
    EXPECT_EQ(k4pack::ReadPeMachine(k4pack::MemorySource(ToBytes(farHeader))), std::nullopt);
    EXPECT_EQ(k4pack::ReadPeMachine(k4pack::MemorySource(ToBytes("MZ"))), std::nullopt);
}

TEST_F(PackTest, InspectJsonHoldsLayoutAndEveryMember) {
    std::string image = signedimage::Image(signedimage::PeKind::Pe32, 4096);
    k4test::PutLe(image, signedimage::kPeHeader + 4, 0x14C, 2);  // IMAGE_FILE_MACHINE_I386
    WriteFile(stub, ToBytes(image));
    // Without a command "run" is null; with one, its program, arguments (bytes, as names
    // are), where it runs and where its record lies.
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{}, {"--run", "SUB/notes.txt /q \"a\\b\" \xE2\x82\xAC", "--run-temporary"}}) {
        std::vector<std::string> args = command;
        args.push_back(src);
        ASSERT_EQ(RunK4pack(PackArgs(args)).status, 0);
        const k4pack::PayloadLayout layout = ReadBack().layout;
        const RunResult run = JsonFields(out);
        ASSERT_EQ(run.status, 0) << run.out;
        std::ostringstream runFields;
        if (command.empty())
            runFields << "run=null\n";
        else
            runFields << "run.program=sub\\notes.txt\nrun.arguments=b'/q \"a\\\\b\" \\xe2\\x82\\xac'\nrun.temporary=true"
                      << "\nrun.offset=" << layout.runOffset << "\nrun.size=" << layout.runSize << "\n";
        std::ostringstream expected;
        expected << "file.path=" << out << "\nfile.size=" << layout.fileSize
                 << "\ntexts.target_directory=C:\\Out\ntexts.window_caption=Caption\ntexts.title_line=Title line"
                 << "\nstub.kind=i686\nstub.size=4096\ncabinet.offset=" << layout.cabinetOffset
                 << "\ncabinet.size=" << layout.cabinetSize << "\npadding=" << layout.paddingSize
                 << "\nsignature.present=false\nsignature.offset=0\nsignature.size=0"
                 << "\nsum.present=true\nsum.offset=" << layout.sumOffset << "\nsum.covered=" << layout.cabinetSize
                 << "\nsum.crc32=" << layout.sum.crc << "\n" << runFields.str() << "members=[3]\n";
        int i = 0;
        for (auto [name, size] : {std::pair{"readme.txt", 21}, {"sub\\deep\\data.bin", 70000}, {"sub\\notes.txt", 12}}) {
            const std::string at = "members[" + std::to_string(i++) + "].";
            expected << at << "name=" << name << "\n" << at << "size=" << size << "\n" << at
                     << "time=2021-06-15T10:20:30\n" << at << "folder=0\n" << at << "compression=mszip\n";
        }
        EXPECT_EQ(run.out, expected.str());
    }
}

TEST_F(PackTest, InspectJsonShowsSignatureStoredCabinetsAndByteNames) {
    k4pack::WriteCabinet({{src + "/readme.txt", "caf\xE9\\na\xEFve.txt", 21, SampleTime()}},
                         k4pack::Compression::None, dir / "bytes.cab");
    EXPECT_EQ(FirstAttributes(dir / "bytes.cab"), 0x20) << "archive only, not marked as UTF-8";
    using namespace signedimage;
    const std::string image = Image(PeKind::Pe32Plus, 4096);
    WriteFile(stub, ToBytes(image));
    ASSERT_EQ(RunK4pack(PackArgs({"--cab", dir / "bytes.cab"})).status, 0);
    const Bytes packed = ReadFile(out);
    WriteFile(out, ToBytes(Signed(std::string(packed.begin(), packed.end()), PeKind::Pe32Plus, 0, TableBytes(0x318))));
    const RunResult run = JsonFields(out);
    ASSERT_EQ(run.status, 0) << run.out;
    for (const std::string& line : {std::string("stub.kind=unknown"), std::string("signature.present=true"),
                                    "signature.offset=" + std::to_string(packed.size()), std::string("signature.size=792"),
                                    std::string("sum.present=true"), "sum.offset=" + std::to_string(packed.size() - 20),
                                    std::string("members[0].name=b'caf\\xe9\\\\na\\xefve.txt'"),
                                    std::string("members[0].compression=none")})
        EXPECT_NE(run.out.find(line + "\n"), std::string::npos) << line << "\n" << run.out;
}

TEST_F(PackTest, InspectJsonRefusesFilesWithoutPayload) {
    const RunResult run = RunK4pack({"inspect", "--json", stub});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("k4pack: " + stub + ": no valid payload")) << run.err;
    EXPECT_EQ(RunK4pack({"inspect", "--json", "-0", stub}).status, 2);
    EXPECT_EQ(RunK4pack({"--json", "-o", out, "-s", stub, src}).status, 2) << "--json is inspect's";
}
