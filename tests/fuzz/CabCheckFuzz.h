// What the fuzz target asks of the whole-cabinet check for any bytes: it returns, and it
// comes to the same verdict whether the bytes are read, viewed in place, or decoded in
// steps of one block before the check (as the window decodes in its idle time).
// Header-only: the libFuzzer target and the replay of its kept findings share it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include "K4CabFormat.h"
#include "K4MszipDecode.h"

namespace k4fuzz {

class Bytes final : public cabfmt::ReadAt {
public:
    Bytes(const std::uint8_t* data, std::size_t size, bool viewable) : data_(data), size_(size), viewable_(viewable) {}
    std::uint64_t Size() override { return size_; }
    bool Read(std::uint64_t offset, void* buffer, std::size_t count) override {
        if (offset > size_ || count > size_ - offset) return false;
        if (count != 0) std::memcpy(buffer, data_ + offset, count);
        return true;
    }
    const unsigned char* View(std::uint64_t offset, std::size_t count) override {
        if (!viewable_ || offset > size_ || count > size_ - offset) return nullptr;
        return data_ + offset;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    bool viewable_;
};

inline std::string Verdict(const cabfmt::Result& result) {
    return std::to_string(static_cast<int>(result.fault)) + " " + result.text + " (" +
           std::to_string(result.members.size()) + " members)";
}

// Empty when every way agrees; otherwise the verdicts that differ.
inline std::string CheckAllWays(const std::uint8_t* data, std::size_t size) {
    cabfmt::Options options;
    options.maxNameLength = 200;  // names judged against a limit, as the extractor does
    options.maxUtfNameLength = 200;
    Bytes read(data, size, false);
    const std::string first = Verdict(cabfmt::Check(read, options));
    Bytes viewed(data, size, true);
    const std::string second = Verdict(cabfmt::Check(viewed, options));
    Bytes stepped(data, size, true);
    cabfmt::Decoding decoding(stepped);
    for (int steps = 0; !decoding.Step(1) && steps < 100000; ++steps) {
    }
    const std::string third = Verdict(cabfmt::Check(stepped, options, decoding));
    if (first == second && first == third) return {};
    return "read: " + first + "\nviewed: " + second + "\nstepped: " + third;
}

}  // namespace k4fuzz
