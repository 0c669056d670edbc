// Access to the stub bytes that EmbeddedStubs.S places between begin and end symbols.
#include "EmbeddedStubs.h"

extern "C" {
extern const std::uint8_t k4pack_stub_i686_begin[];
extern const std::uint8_t k4pack_stub_i686_end[];
extern const std::uint8_t k4pack_stub_x86_64_begin[];
extern const std::uint8_t k4pack_stub_x86_64_end[];
}

namespace k4pack {

std::string_view ArchName(StubArch arch) {
    return arch == StubArch::I686 ? "i686" : "x86_64";
}

std::optional<StubArch> ParseArch(std::string_view name) {
    if (name == "i686") return StubArch::I686;
    if (name == "x86_64") return StubArch::X86_64;
    return std::nullopt;
}

std::span<const std::uint8_t> EmbeddedStub(StubArch arch) {
    const std::uint8_t* begin = arch == StubArch::I686 ? k4pack_stub_i686_begin : k4pack_stub_x86_64_begin;
    const std::uint8_t* end = arch == StubArch::I686 ? k4pack_stub_i686_end : k4pack_stub_x86_64_end;
    return {begin, static_cast<std::size_t>(end - begin)};
}

}  // namespace k4pack
