// The program image rebuilt around a new resource section. The section keeps its address,
// so nothing in front of it moves; it may grow or shrink, and the sections behind it move
// with its end. Only the base relocations may stand there: their contents hold addresses of
// other sections, never their own, and only the relocation directory entry points at them.
// Both extractor builds link .rsrc second to last, in front of .reloc.
#include "Resources.h"

namespace k4pack {
namespace {

constexpr std::uint32_t kInitializedData = 0x40;  // IMAGE_SCN_CNT_INITIALIZED_DATA
constexpr std::size_t kSizeOfInitializedDataField = 8;
constexpr std::size_t kSymbolTableField = 8;  // IMAGE_FILE_HEADER's PointerToSymbolTable

std::uint32_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
    return static_cast<std::uint32_t>((value + alignment - 1) / alignment * alignment);
}

// Throws unless everything behind the resource section may move: the relocations only,
// named by no directory entry but their own, with their data behind the resources' data.
void CheckMovable(const PeHeaders& pe, std::size_t index) {
    const PeSection& resources = pe.sections[index];
    for (std::size_t i = index + 1; i < pe.sections.size(); ++i) {
        const PeSection& later = pe.sections[i];
        const bool relocations = pe.directories.size() > kRelocationDirectory &&
                                 pe.SectionAt(pe.directories[kRelocationDirectory].rva) == &later;
        if (!relocations)
            throw PackError("section \"" + later.name + "\" follows the resource section; only the base "
                            "relocations may, as they can move");
        if (later.rawSize != 0 && later.rawOffset < std::uint64_t{resources.rawOffset} + resources.rawSize)
            throw PackError("the relocations' data lies in front of the resources' data");
    }
    // The security entry holds a file offset, and is empty in an unsigned program.
    for (std::uint32_t d = 0; d < pe.directories.size(); ++d) {
        if (d == kResourceDirectory || d == kRelocationDirectory || d == peimage::SecurityDirectoryIndex) continue;
        if (pe.directories[d].rva >= resources.virtualAddress)
            throw PackError("data directory " + std::to_string(d) + " points behind the resource section");
    }
    for (std::size_t i = 0; i < index; ++i)
        if (pe.sections[i].rawSize != 0 && pe.sections[i].rawOffset + std::uint64_t{pe.sections[i].rawSize} > resources.rawOffset)
            throw PackError("section \"" + pe.sections[i].name + "\" has its data behind the resources' data");
}

void Append(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes, std::uint32_t alignment) {
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.resize(AlignUp(out.size(), alignment), 0);
}

}  // namespace

std::vector<std::uint8_t> ReplaceResources(std::span<const std::uint8_t> image, const std::vector<Resource>& resources) {
    const PeHeaders pe = ReadPeHeaders(image);
    const PeSection* found = ResourceSection(pe);
    if (found == nullptr) throw PackError("the program has no resource section");
    const std::size_t index = static_cast<std::size_t>(found - pe.sections.data());
    CheckMovable(pe, index);
    const PeSection& old = *found;
    const std::vector<std::uint8_t> tree = WriteResourceTree(resources, old.virtualAddress);

    std::vector<std::uint8_t> out(image.begin(), image.begin() + old.rawOffset);
    Append(out, tree, pe.fileAlignment);
    const std::uint32_t rawSize = static_cast<std::uint32_t>(out.size() - old.rawOffset);
    StoreLe32(out, old.headerOffset + kVirtualSizeField, static_cast<std::uint32_t>(tree.size()));
    StoreLe32(out, old.headerOffset + kRawSizeField, rawSize);
    StoreLe32(out, pe.DirectoryOffset(kResourceDirectory), old.virtualAddress);
    StoreLe32(out, pe.DirectoryOffset(kResourceDirectory) + 4, static_cast<std::uint32_t>(tree.size()));

    std::uint32_t nextAddress = AlignUp(std::uint64_t{old.virtualAddress} + tree.size(), pe.sectionAlignment);
    for (std::size_t i = index + 1; i < pe.sections.size(); ++i) {
        const PeSection& later = pe.sections[i];
        const std::uint32_t rva = pe.directories[kRelocationDirectory].rva;
        StoreLe32(out, pe.DirectoryOffset(kRelocationDirectory), nextAddress + (rva - later.virtualAddress));
        StoreLe32(out, later.headerOffset + kVirtualAddressField, nextAddress);
        if (later.rawSize != 0) {
            StoreLe32(out, later.headerOffset + kRawOffsetField, static_cast<std::uint32_t>(out.size()));
            Append(out, image.subspan(later.rawOffset, later.rawSize), pe.fileAlignment);
        }
        nextAddress = AlignUp(std::uint64_t{nextAddress} + std::max(later.virtualSize, later.rawSize), pe.sectionAlignment);
    }
    // Anything the program carries behind its sections stays behind them; a COFF symbol
    // table there (an unstripped program) is named by the file header, which follows it.
    const std::size_t symbols = pe.optionalHeader - peimage::FileHeaderSize + kSymbolTableField;
    const std::uint32_t symbolTable = le::Read32(out.data() + symbols);
    if (symbolTable >= pe.RawEnd())
        StoreLe32(out, symbols, static_cast<std::uint32_t>(symbolTable - pe.RawEnd() + out.size()));
    out.insert(out.end(), image.begin() + static_cast<std::ptrdiff_t>(pe.RawEnd()), image.end());
    StoreLe32(out, pe.optionalHeader + kSizeOfImageField, nextAddress);
    if (old.characteristics & kInitializedData) {
        const std::size_t field = pe.optionalHeader + kSizeOfInitializedDataField;
        StoreLe32(out, field, le::Read32(out.data() + field) - old.rawSize + rawSize);
    }
    return out;
}

}  // namespace k4pack
