// A cabinet held in memory behind the format check's read-at interface, which
// records how it was read; shared by the format tests and the end-to-end tests.
#pragma once
#include <cstring>
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

}  // namespace formattest
