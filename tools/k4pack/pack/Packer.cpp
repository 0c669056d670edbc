// The packing steps in order: check, build the cabinet, write, rename.
#include "Packer.h"

#include <iostream>
#include <memory>
#include <numeric>

#include "cabinet/ArchiveNames.h"
#include "cabinet/CabinetCheck.h"
#include "FileIo.h"
#include "K4PeImage.h"
#include "pe/PeFile.h"
#include "Progress.h"
#include "pe/Signature.h"
#include "SourceFiles.h"

namespace k4pack {
namespace {

// The extractor program: the file given, or the one carried for the architecture.
struct Stub {
    std::string name;
    std::unique_ptr<ByteSource> bytes;
};

Stub OpenStub(const PackRequest& request) {
    if (!request.stubPath.empty())
        return {request.stubPath, std::make_unique<ReadableFile>(request.stubPath)};
    const std::span<const std::uint8_t> carried = EmbeddedStub(request.arch);
    const std::string name = "the carried " + std::string(ArchName(request.arch)) + " extractor";
    if (carried.empty())
        throw PackError("this k4pack carries no " + std::string(ArchName(request.arch)) +
                        " extractor program (a build without stubs); give -s STUB.exe");
    return {name, std::make_unique<MemorySource>(carried)};
}

std::uint64_t TotalSize(const std::vector<SourceFile>& sources) {
    return std::accumulate(
        sources.begin(), sources.end(), std::uint64_t{0},
        [](std::uint64_t sum, const SourceFile& source) { return sum + source.size; });
}

// Every check on the inputs that needs no output: names, count, total size. The output
// file itself, already there inside an input folder, is never packed.
std::vector<SourceFile> CollectCheckedSources(const PackRequest& request, std::vector<std::string>& leftOut) {
    std::vector<SourceFile> sources = CollectSourceFiles(request.inputs, IdentityOf(request.outputPath), leftOut);
    if (request.sourceDateEpoch) ClampTimes(sources, *request.sourceDateEpoch);
    if (sources.empty()) throw PackError("no files to pack (empty folders only)");
    std::vector<std::string> names;
    for (const SourceFile& source : sources)
        names.push_back(source.name);
    CheckArchiveNames(names, request.texts.targetDirectory);
    const std::uint64_t total = TotalSize(sources);
    if (total > kMaxFolderBytes)
        throw PackError("the files hold " + std::to_string(total) +
                        " bytes; a cabinet holds at most " + std::to_string(kMaxFolderBytes) +
                        " (2 GiB)");
    return sources;
}

// A cabinet taken as is must still be one the extractor can carry, check and unpack safely.
// Its members, as its check read them.
std::vector<cabfmt::Member> CheckGivenCabinet(const PackRequest& request, const ReadableFile& cabinet) {
    if (cabinet.Size() > kMaxFileSize)
        throw PackError(cabinet.Path() + ": " + std::to_string(cabinet.Size()) +
                        " bytes; a cabinet holds at most 2 GiB");
    // The extractor checks the whole cabinet (header, a set, its names, every block decoded)
    // before it extracts anything.
    cabfmt::Result checked = CheckCabinet(cabinet, 0, cabinet.Size(), request.texts.targetDirectory);
    if (!checked.Sound()) throw PackError(cabinet.Path() + ": the extractor would refuse it: " + checked.text);
    if (checked.members.empty()) throw PackError(cabinet.Path() + ": the cabinet holds no files");
    return std::move(checked.members);
}

// The command with its program as the member it names, checked before anything is
// written: a command whose program is not in the archive is refused.
std::optional<RunCommand> ResolveRun(const PackRequest& request, const std::vector<std::string>& members) {
    if (!request.run) return std::nullopt;
    return ResolveRunProgram(*request.run, members);
}

// A signature on the program would end up in the middle of the self-extractor, where it
// covers nothing and where a signing tool, taking everything from the table on as the old
// signature, would cut the payload off. The program is signed after packing, never before.
void CheckUnsignedStub(const std::string& path, const ByteSource& stub) {
    const std::optional<CertificateTable> directory = ReadSecurityDirectory(stub);
    if (directory && (directory->offset != 0 || directory->size != 0))
        throw PackError(path +
                        ": the extractor program is signed; pack an unsigned build and sign "
                        "the self-extractor afterwards");
}

// Writing the archive over a file it is made from would lose that file: compared by the
// system's identity of a file (device and inode, or volume and file index), so that
// another name of the same file is caught too.
void CheckOutputIsNoInput(const PackRequest& request) {
    const std::optional<FileIdentity> output = IdentityOf(request.outputPath);
    if (!output) return;
    std::vector<std::string> given = request.inputs;
    for (const std::string* path : {&request.cabinetPath, &request.stubPath})
        if (!path->empty()) given.push_back(*path);
    for (const std::string& input : given)
        if (IdentityOf(input) == output)
            throw UsageError("the output file " + request.outputPath + " is the input " + input +
                             "; packing would replace it");
}

// The copy of the program with the publisher's resources, named by its source in a failure.
std::vector<std::uint8_t> BrandedProgram(const std::string& name, const ByteSource& stub, const PackRequest& request) {
    std::vector<std::uint8_t> image(stub.Size());
    stub.ReadAt(0, image);
    try {
        return ApplyBranding(image, request.branding);
    } catch (const PackError& e) {
        throw PackError(name + ": " + e.what());
    }
}

// The branded program's checksum, over the whole file it begins: the program, then the
// payload (the cabinet is read a second time for it).
void StoreChecksum(std::vector<std::uint8_t>& program, const PayloadLayout& layout, const PayloadTexts& texts,
                   const ByteSource& cabinet, const std::optional<RunCommand>& run) {
    const std::size_t field = ReadPeHeaders(program).ChecksumOffset();
    PeChecksum sum(field);
    sum.Write(program);
    WritePayload(sum, layout, texts, cabinet, run);
    StoreLe32(program, field, sum.Value());
}

void WriteSelfExtractor(const std::string& path, const ByteSource& stub,
                        const PayloadLayout& layout, const PayloadTexts& texts,
                        const ReadableFile& cabinet, const std::optional<RunCommand>& run) {
    WritableFile out(path);
    CopyBytes(stub, 0, stub.Size(), out);
    WritePayload(out, layout, texts, cabinet, run);
    out.MakeExecutable();
    out.Close();
}

}  // namespace

void CheckPortableExecutable(const ByteSource& file) {
    SourceReadAt reader(file);
    if (!peimage::PeHeaderOffset(reader))
        throw PackError("not a PE file (no \"MZ\" header naming a \"PE\" signature and file header inside the file)");
}

PackSummary Pack(const PackRequest& request) {
    CheckOutputIsNoInput(request);
    CheckPayloadTexts(request.texts);
    const Stub opened = OpenStub(request);
    try {
        CheckPortableExecutable(*opened.bytes);
    } catch (const PackError& e) {
        throw PackError(opened.name + ": " + e.what());
    }
    CheckUnsignedStub(opened.name, *opened.bytes);
    std::vector<std::uint8_t> branded;
    if (request.branding.Any()) branded = BrandedProgram(opened.name, *opened.bytes, request);
    const MemorySource brandedSource(branded);
    const ByteSource& stub = branded.empty() ? *opened.bytes : static_cast<const ByteSource&>(brandedSource);

    PackSummary summary;
    std::vector<SourceFile> sources;
    std::unique_ptr<ReadableFile> givenCabinet;
    std::optional<RunCommand> run;
    if (!request.cabinetPath.empty()) {
        givenCabinet = std::make_unique<ReadableFile>(request.cabinetPath);
        const std::vector<cabfmt::Member> entries = CheckGivenCabinet(request, *givenCabinet);
        summary.files = entries.size();
        run = ResolveRun(request, NamableMembers(entries));
    } else {
        sources = CollectCheckedSources(request, summary.leftOut);
        summary.files = sources.size();
        std::vector<std::string> names;
        for (const SourceFile& source : sources)
            names.push_back(source.name);
        run = ResolveRun(request, names);
    }

    const TemporaryFolder scratch(request.outputPath);
    std::unique_ptr<ReadableFile> builtCabinet;
    if (!givenCabinet) {
        PackProgress progress(request.progress ? *request.progress : std::cerr,
                              request.progress != nullptr, sources.size(), TotalSize(sources));
        WriteCabinet(sources, {request.compression, request.threads}, scratch.PathOf("payload.cab"), &progress);
        builtCabinet = std::make_unique<ReadableFile>(scratch.PathOf("payload.cab"));
    }
    const ReadableFile& cabinet = givenCabinet ? *givenCabinet : *builtCabinet;
    const PayloadLayout layout = PlanPayload(stub.Size(), request.texts, cabinet.Size(), SumRecord::Crc32, run);
    if (!branded.empty()) StoreChecksum(branded, layout, request.texts, cabinet, run);

    const std::string written = scratch.PathOf("output.exe");
    WriteSelfExtractor(written, stub, layout, request.texts, cabinet, run);
    MoveIntoPlace(written, request.outputPath);
    summary.cabinetSize = layout.cabinetSize;
    summary.fileSize = layout.fileSize;
    return summary;
}

}  // namespace k4pack
