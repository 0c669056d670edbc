// What the format tests share: checking a cabinet held in memory, and the gcab
// cabinets made at build time.
#pragma once
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include "K4CabFormat.h"
#include "MemoryCabinet.h"

namespace formattest {

inline cabfmt::Result CheckBytes(const std::string& bytes, const cabfmt::Options& options = {}) {
    MemoryCabinet cabinet(bytes);
    return cabfmt::Check(cabinet, options);
}

// A cabinet gcab made at build time ("mszip.cab", "stored.cab").
inline std::string GcabCabinet(const char* name) {
    std::ifstream in(std::string(K4_FORMAT_DATA) + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace formattest
