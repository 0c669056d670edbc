// The sum record a packer puts in front of the trailer (format/K4CabinetSum.h), for tests
// that build payloads by hand: zlib's CRC-32 of a cabinet and the record's 16 bytes.
#pragma once
#include <zlib.h>
#include <cstdint>
#include <string>
#include "K4CabinetSum.h"

namespace k4test {

inline std::uint32_t Crc32(const std::string& bytes) {
    return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

inline std::string SumRecord(std::uint32_t cabinetSize, std::uint32_t crc) {
    unsigned char record[cabsum::RecordSize];
    cabsum::Encode({cabinetSize, crc}, record);
    return std::string(reinterpret_cast<const char*>(record), sizeof record);
}

// The cabinet, `padding` zero bytes and the record that sums the cabinet: what a packer
// puts between the third text and the trailer.
inline std::string Summed(const std::string& cabinet, std::size_t padding = 0) {
    return cabinet + std::string(padding, '\0') + SumRecord(static_cast<std::uint32_t>(cabinet.size()), Crc32(cabinet));
}

}  // namespace k4test
