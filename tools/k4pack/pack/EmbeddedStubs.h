// The extractor programs built into k4pack (i686 and x86_64), chosen by architecture name;
// a developer build may carry none, and then a stub must be given with -s.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace k4pack {

enum class StubArch { I686, X86_64 };

// "i686" or "x86_64".
std::string_view ArchName(StubArch arch);
// The architecture named `name` ("i686", "x86_64"), or nothing for any other text.
std::optional<StubArch> ParseArch(std::string_view name);

// The bytes of the carried extractor program for `arch`; empty when this build carries none.
std::span<const std::uint8_t> EmbeddedStub(StubArch arch);

}  // namespace k4pack
