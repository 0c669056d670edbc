// Chunked copying between byte sources and sinks, and byte sources for the shared
// format code.
#include "Bytes.h"

namespace k4pack {

bool SourceReadAt::Read(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset > source_.Size() || count > source_.Size() - offset) return false;
    try {
        source_.ReadAt(offset, std::span(static_cast<std::uint8_t*>(buffer), count));
        return true;
    } catch (const PackError&) {
        return false;
    }
}

void CopyBytes(const ByteSource& from, std::uint64_t offset, std::uint64_t length, ByteSink& to) {
    // 1 MiB at a time: cabinets run up to 2 GiB and need not fit in memory.
    std::vector<std::uint8_t> chunk(std::min<std::uint64_t>(length, 1u << 20));
    while (length > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length, chunk.size()));
        std::span<std::uint8_t> part(chunk.data(), n);
        from.ReadAt(offset, part);
        to.Write(part);
        offset += n;
        length -= n;
    }
}

}  // namespace k4pack
