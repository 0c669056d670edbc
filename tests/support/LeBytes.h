// Little-endian fields in byte strings, as the payload, the cabinet format and PE
// headers store them: one writer and one reader, for tests on every platform.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace k4test {

// Writes the low `width` bytes of `value` at `at`, least significant first; the string
// grows when the field reaches past its end (at == size() appends).
inline void PutLe(std::string& bytes, std::size_t at, std::uint32_t value, std::size_t width = 4) {
    if (bytes.size() < at + width) bytes.resize(at + width, '\0');
    for (std::size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The `width`-byte field at `at`, least significant byte first.
inline std::uint32_t GetLe(const std::string& bytes, std::size_t at, std::size_t width = 4) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The four bytes of `value` (negative numbers as their two's complement), for byte
// strings built by concatenation.
inline std::string Le32(std::uint32_t value) {
    std::string bytes;
    PutLe(bytes, 0, value);
    return bytes;
}

}  // namespace k4test
