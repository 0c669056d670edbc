// What the format tests share: a cabinet held in memory behind the read-at
// interface, which records how it was read, and the gcab cabinets made at build time.
#pragma once
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include "K4CabFormat.h"

namespace formattest {

class MemoryCabinet : public cabfmt::ReadAt {
public:
    explicit MemoryCabinet(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() override { return bytes_.size(); }
    bool Read(std::uint64_t offset, void* buffer, std::size_t count) override {
        ++reads;
        bytesRead += count;
        if (count > largestRead) largestRead = count;
        if (offset >= failFrom) return false;
        if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
        std::memcpy(buffer, bytes_.data() + offset, count);
        return true;
    }

    std::uint64_t failFrom = static_cast<std::uint64_t>(-1);   // reads from here on fail
    std::size_t reads = 0, bytesRead = 0, largestRead = 0;

private:
    std::string bytes_;
};

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
