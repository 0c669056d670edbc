// The packer's side of the shared PE reading: its byte sources behind the read-at interface.
#include "Signature.h"

#include "PeFile.h"

namespace k4pack {

std::optional<CertificateTable> ReadSecurityDirectory(const ByteSource& file) {
    SourceReadAt reader(file);
    const std::optional<peimage::SecurityEntry> entry = peimage::ReadSecurityEntry(reader);
    if (!entry) return std::nullopt;
    return entry->table;
}

std::optional<CertificateTable> FindCertificateTable(const ByteSource& file) {
    SourceReadAt reader(file);
    return peimage::FindCertificateTable(reader);
}

std::optional<std::uint16_t> ReadPeMachine(const ByteSource& file) {
    SourceReadAt reader(file);
    const std::optional<std::uint64_t> pe = peimage::PeHeaderOffset(reader);
    std::uint8_t machine[2];
    // The shared code saw the whole file header fit.
    if (!pe || !reader.Read(*pe + peimage::MachineField, machine, sizeof machine)) return std::nullopt;
    return le::Read16(machine);
}

const char* PeMachineName(std::optional<std::uint16_t> machine) {
    if (machine == kMachineI386) return "i686";
    if (machine == kMachineAmd64) return "x86_64";
    return "unknown";
}

}  // namespace k4pack
