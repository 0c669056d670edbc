// The inspect command: the same validity rules as the extractor's payload reader, signed
// files included, and its cabinet check, plus the cabinet's own header and file list.
#include "Inspect.h"

#include <iomanip>

#include "cabinet/Cabinet.h"
#include "cabinet/CabinetCheck.h"
#include "FileIo.h"
#include "InspectProgram.h"
#include "pack/PayloadLayout.h"

namespace k4pack {

PayloadContents ReadValidPayload(const ReadableFile& file) {
    try {
        PayloadContents payload = ReadPayload(file);
        const PayloadLayout& layout = payload.layout;
        // The extractor's own check (header, a set, every block decoded), as it runs it on the
        // cabinet before its window opens.
        const std::string fault =
            CabinetCheckFault(file, layout.cabinetOffset, layout.cabinetSize, payload.texts.targetDirectory);
        if (!fault.empty()) throw PackError("cabinet: " + fault);
        return payload;
    } catch (const PackError& e) {
        throw InvalidPayload(file.Path() + ": no valid payload: " + e.what());
    }
}

void Inspect(const std::string& path, std::ostream& out) {
    const ReadableFile file(path);
    const PayloadContents payload = ReadValidPayload(file);
    const PayloadLayout& layout = payload.layout;
    const std::vector<CabinetEntry> entries = ListCabinet(path, layout.cabinetOffset);

    std::uint64_t total = 0;
    for (const CabinetEntry& entry : entries)
        total += entry.size;
    out << "target directory: \"" << payload.texts.targetDirectory << "\"\n"
        << "window caption:   \"" << payload.texts.windowCaption << "\"\n"
        << "title line:       \"" << payload.texts.titleLine << "\"\n"
        << "program image:    " << layout.imageSize << " bytes\n"
        << "cabinet:          " << layout.cabinetSize << " bytes at offset " << layout.cabinetOffset
        << "\n"
        << "padding:          " << layout.paddingSize << " bytes\n";
    if (layout.certificateTableSize == 0)
        out << "signature:        none\n";
    else
        out << "signature:        certificate table of " << layout.certificateTableSize
            << " bytes at offset " << layout.certificateTableOffset << "\n";
    if (layout.sumOffset == 0)
        out << "sum record:       none\n";
    else
        out << "sum record:       CRC-32 0x" << std::hex << std::uppercase << std::setw(8)
            << std::setfill('0') << layout.sum.crc << std::dec << std::nouppercase << std::setfill(' ') << " of "
            << layout.sum.cabinetSize << " bytes, at offset " << layout.sumOffset << "\n";
    if (payload.run) {
        out << "run record:       " << layout.runSize << " bytes at offset " << layout.runOffset << "\n"
            << "command:          " << RunCommandText(*payload.run) << "\n"
            << "command runs in:  "
            << (payload.run->temporary ? "a temporary folder of its own, removed afterwards" : "the target directory")
            << "\n";
    }
    PrintProgramPart(file, layout, out);
    out << "files:            " << entries.size() << ", " << total << " bytes\n";
    for (const CabinetEntry& entry : entries)
        out << std::setw(12) << entry.size << "  " << entry.modified << "  " << entry.name << "\n";
}

}  // namespace k4pack
