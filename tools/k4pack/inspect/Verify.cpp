// verify in the order the extractor works: payload found (signed files too), cabinet copied
// out on its own, the whole cabinet checked by the shared format check, the run record's
// program found among its members, then every member decompressed by the shared reader,
// its size checked and, with sources, compared with them.
#include "Verify.h"

#include <memory>

#include "cabinet/ArchiveNames.h"
#include "cabinet/CabinetCheck.h"
#include "cabinet/CabinetExtract.h"
#include "FileIo.h"
#include "InspectProgram.h"
#include "K4CabFormat.h"
#include "K4PayloadBlock.h"
#include "pack/PayloadLayout.h"
#include "pack/RunCommand.h"
#include "Platform.h"
#include "VerifySources.h"

namespace k4pack {
namespace {

// The cabinet alone, as the extractor's temporary cabinet holds it.
void CopyCabinet(const ReadableFile& file, const PayloadLayout& layout, const std::string& to) {
    WritableFile out(to);
    CopyBytes(file, layout.cabinetOffset, layout.cabinetSize, out);
    out.Close(WritableFile::Sync::No);
}

std::uint64_t FileSize(const std::string& path) {
    const std::optional<platform::FileFacts> facts = platform::Describe(path);
    if (!facts) throw PackError(path + ": no such file");
    return facts->size;
}

void CheckMembers(const std::string& cabinet, const std::string& folder,
                  SourceComparison* sources, VerifyReport& report) {
    platform::MakeFolder(folder);
    const std::string failure = ExtractEachMember(cabinet, folder, [&](const CabinetEntry& entry,
                                                                        const std::string& file) {
        const std::uint64_t size = FileSize(file);
        if (size != entry.size)
            report.faults.push_back("\"" + entry.name + "\": decompressed to " + std::to_string(size) +
                                    " bytes, the cabinet gives " + std::to_string(entry.size));
        if (sources) sources->Compare(entry, file, report.faults);
        ++report.members;
        report.bytes += size;
        platform::RemoveFile(file);
    });
    if (!failure.empty()) {
        report.faults.push_back(failure);
        return;
    }
    // The packer never writes one; the extractor would have nothing to do.
    if (report.members == 0) report.faults.push_back("the cabinet holds no files");
    if (sources) sources->ReportUnmatched(report.faults);
}

// The extractor starts the record's program from the extracted files: it must be one of
// them, under a name the extractor creates as the record gives it.
void CheckRunProgram(const RunCommand& run, const std::string& cabinetPath, VerifyReport& report) {
    std::vector<CabinetEntry> entries;
    try {
        entries = ListCabinet(cabinetPath, 0);
    } catch (const PackError&) {
        return;  // the cabinet's check names what is wrong with it
    }
    if (!FindProgramMember(run.program, NamableMembers(entries)))
        report.faults.push_back("the run record's program \"" + run.program + "\" is not a file of the cabinet");
}

void VerifyPayload(const VerifyRequest& request, const ReadableFile& file, VerifyReport& report) {
    const PayloadContents payload = ReadPayload(file);
    CheckProgramPart(file, payload.layout, report.faults);
    // The extractor refuses such a payload before it opens its window.
    if (const std::string fault = CabinetSumFault(file, payload.layout); !fault.empty())
        report.faults.push_back(fault);
    const TemporaryFolder scratch(platform::JoinPath(platform::TemporaryDirectory(), "verify"));
    const std::string cabinetPath = scratch.PathOf(payloadblock::TemporaryCabinetName);
    CopyCabinet(file, payload.layout, cabinetPath);
    const ReadableFile cabinet(cabinetPath);
    SourceReadAt source(cabinet);
    const cabfmt::Result checked = cabfmt::Check(source, ExtractorCheckOptions(payload.texts.targetDirectory));
    if (!checked.Sound()) report.faults.push_back("cabinet: " + checked.text);
    if (payload.run) CheckRunProgram(*payload.run, cabinetPath, report);

    std::unique_ptr<SourceComparison> sources;
    if (!request.sources.empty())
        sources = std::make_unique<SourceComparison>(request.sources, request.sourceDateEpoch,
                                                     IdentityOf(request.path));
    try {
        CheckMembers(cabinetPath, scratch.PathOf("members"), sources.get(), report);
    } catch (const PackError& e) {
        report.faults.push_back(e.what());
    }
}

}  // namespace

VerifyReport Verify(const VerifyRequest& request) {
    VerifyReport report;
    try {
        const ReadableFile file(request.path);
        VerifyPayload(request, file, report);
    } catch (const InvalidPayload& e) {
        report.faults.push_back("no valid payload: " + std::string(e.what()));
    } catch (const PackError& e) {
        report.faults.push_back(e.what());
    }
    return report;
}

}  // namespace k4pack
