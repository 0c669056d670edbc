// PE header reading for the resource writer, and the image checksum.
#include "PeFile.h"

#include <bit>
#include <optional>

namespace k4pack {
namespace {

// Within the headers, which are far below 4 GiB: sizes and offsets fit std::size_t.
constexpr std::size_t kMaxDirectories = 16;

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    void Need(std::uint64_t offset, std::uint64_t size, const char* what) const {
        if (offset > bytes_.size() || size > bytes_.size() - offset)
            throw PackError(std::string(what) + " lies beyond the end of the program");
    }
    std::uint32_t U16(std::size_t at) const { return le::Read16(bytes_.data() + at); }
    std::uint32_t U32(std::size_t at) const { return le::Read32(bytes_.data() + at); }

private:
    std::span<const std::uint8_t> bytes_;
};

void ReadSections(const Reader& in, std::size_t table, std::uint32_t count, PeHeaders& pe) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = table + i * kSectionHeaderSize;
        PeSection section;
        for (std::size_t c = 0; c < kSectionNameSize && in.U16(at + c) != 0; ++c)
            section.name += static_cast<char>(in.U16(at + c) & 0xFF);
        section.virtualSize = in.U32(at + kVirtualSizeField);
        section.virtualAddress = in.U32(at + kVirtualAddressField);
        section.rawSize = in.U32(at + kRawSizeField);
        section.rawOffset = in.U32(at + kRawOffsetField);
        section.characteristics = in.U32(at + kCharacteristicsField);
        section.headerOffset = at;
        pe.sections.push_back(section);
    }
}

void CheckSections(const Reader& in, const PeHeaders& pe) {
    std::uint64_t nextFree = pe.sizeOfHeaders;
    for (const PeSection& section : pe.sections) {
        const std::string name = "section \"" + section.name + "\"";
        if (section.virtualAddress < nextFree || section.virtualAddress % pe.sectionAlignment != 0)
            throw PackError(name + " is out of order or misaligned in memory");
        nextFree = std::uint64_t{section.virtualAddress} + std::max(section.virtualSize, section.rawSize);
        if (section.rawSize != 0) in.Need(section.rawOffset, section.rawSize, (name + "'s data").c_str());
    }
    if (nextFree > pe.sizeOfImage) throw PackError("SizeOfImage does not cover the last section");
}

// Where the shared walk to the data directory stopped, as the packer names it.
void RefuseStop(peimage::HeaderFault fault) {
    switch (fault) {
    case peimage::HeaderFault::None: return;
    case peimage::HeaderFault::NotPe:
        throw PackError("not a PE file (no \"MZ\" header naming a \"PE\" signature and file header inside the file)");
    case peimage::HeaderFault::OutsideFile: throw PackError("the optional header lies beyond the end of the program");
    case peimage::HeaderFault::UnknownKind: throw PackError("an optional header of unknown kind");
    case peimage::HeaderFault::NoDirectoryCount: throw PackError("an optional header too short");
    }
}

}  // namespace

const PeSection* PeHeaders::SectionAt(std::uint32_t rva) const {
    for (const PeSection& section : sections)
        if (rva >= section.virtualAddress &&
            rva - section.virtualAddress < std::max(section.virtualSize, section.rawSize))
            return &section;
    return nullptr;
}

std::uint64_t PeHeaders::RawEnd() const {
    std::uint64_t end = sizeOfHeaders;
    for (const PeSection& section : sections)
        if (section.rawSize != 0) end = std::max<std::uint64_t>(end, std::uint64_t{section.rawOffset} + section.rawSize);
    return end;
}

PeHeaders ReadPeHeaders(std::span<const std::uint8_t> image) {
    const Reader in(image);
    const MemorySource source(image);
    SourceReadAt reader(source);
    peimage::OptionalHeader optional;
    RefuseStop(peimage::WalkHeaders(reader, optional));
    const auto pe = static_cast<std::size_t>(optional.offset - peimage::SignatureAndFileHeaderSize);
    PeHeaders headers;
    headers.machine = static_cast<std::uint16_t>(in.U16(pe + peimage::MachineField));
    const std::uint32_t sectionCount = in.U16(pe + peimage::SectionCountField);
    const std::size_t optionalSize = optional.size;
    headers.optionalHeader = static_cast<std::size_t>(optional.offset);
    headers.pe32Plus = optional.pe32Plus;
    headers.directory = static_cast<std::size_t>(optional.EntryOffset(0));
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(optional.directoryCount, kMaxDirectories); ++i) {
        peimage::DirectoryEntry entry;
        if (!peimage::ReadDirectoryEntry(reader, optional, i, entry))
            throw PackError("a data directory beyond the optional header");
        headers.directories.push_back({entry.address, entry.size});
    }
    headers.sectionAlignment = in.U32(headers.optionalHeader + kSectionAlignmentField);
    headers.fileAlignment = in.U32(headers.optionalHeader + kFileAlignmentField);
    headers.sizeOfImage = in.U32(headers.optionalHeader + kSizeOfImageField);
    headers.sizeOfHeaders = in.U32(headers.optionalHeader + kSizeOfHeadersField);
    if (!std::has_single_bit(headers.sectionAlignment) || !std::has_single_bit(headers.fileAlignment) ||
        headers.fileAlignment > headers.sectionAlignment)
        throw PackError("section or file alignment not a power of two");
    const std::size_t table = headers.optionalHeader + optionalSize;
    in.Need(table, std::uint64_t{sectionCount} * kSectionHeaderSize, "the section table");
    if (table + sectionCount * kSectionHeaderSize > headers.sizeOfHeaders)
        throw PackError("the section table runs beyond SizeOfHeaders");
    ReadSections(in, table, sectionCount, headers);
    CheckSections(in, headers);
    return headers;
}

void PeChecksum::AddWord(std::uint32_t word) {
    sum_ += word;
    sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
}

void PeChecksum::Write(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t raw : bytes) {
        const std::uint32_t byte = position_ >= field_ && position_ - field_ < 4 ? 0 : raw;
        if (position_++ % 2 == 0) {
            pendingLow_ = static_cast<int>(byte);
        } else {
            AddWord(static_cast<std::uint32_t>(pendingLow_) | byte << 8);
            pendingLow_ = -1;
        }
    }
}

std::uint32_t PeChecksum::Value() const {
    std::uint32_t sum = sum_;
    if (pendingLow_ >= 0) {
        sum += static_cast<std::uint32_t>(pendingLow_);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<std::uint32_t>(position_);
}

}  // namespace k4pack
