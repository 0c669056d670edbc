// The sum record and the run record a packer puts in front of the trailer
// (format/K4CabinetSum.h, format/K4RunRecord.h), for tests that build payloads by hand.
#pragma once
#include <zlib.h>
#include <cstdint>
#include <string>
#include "K4CabinetSum.h"
#include "K4RunRecord.h"

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

namespace k4test {

// A run record (format/K4RunRecord.h) built by hand, its CRC-32 taken with zlib:
// `crcDelta` is added to the right sum to make a damaged one.
inline std::string RunRecord(const std::string& program, const std::string& arguments, std::uint32_t flags = 0,
                             std::uint32_t crcDelta = 0) {
    std::string fixed(12, '\0');
    runrecord::Tail tail{static_cast<std::uint32_t>(program.size()), static_cast<std::uint32_t>(arguments.size()), flags};
    le::Write32(reinterpret_cast<unsigned char*>(fixed.data()), tail.programLength);
    le::Write32(reinterpret_cast<unsigned char*>(fixed.data()) + 4, tail.argumentsLength);
    le::Write32(reinterpret_cast<unsigned char*>(fixed.data()) + 8, tail.flags);
    tail.crc = Crc32(program + arguments + fixed) + crcDelta;
    unsigned char bytes[runrecord::TailSize];
    runrecord::EncodeTail(tail, bytes);
    return program + arguments + std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace k4test
