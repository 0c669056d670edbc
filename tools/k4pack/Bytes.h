// Narrow byte-source and byte-sink interfaces, so the payload layout can be written to and
// read from files and memory alike; little-endian fields through format/K4LittleEndian.h.
#pragma once
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "K4CabFormat.h"
#include "K4LittleEndian.h"
#include "PackError.h"

namespace k4pack {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Fills `out` completely from `offset`, or throws PackError.
    virtual void ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    void ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
            throw PackError("read beyond the end of the data");
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    }

private:
    std::span<const std::uint8_t> bytes_;
};

class MemorySink : public ByteSink {
public:
    void Write(std::span<const std::uint8_t> bytes) override {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

inline void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    unsigned char bytes[4];
    le::Write32(bytes, value);
    out.insert(out.end(), bytes, bytes + sizeof bytes);
}

// A byte source behind the read-at interface of the shared format code (the cabinet
// check, the PE and trailer search): a false answer, never an exception, for a read
// outside the source or a failed one.
class SourceReadAt final : public cabfmt::ReadAt {
public:
    explicit SourceReadAt(const ByteSource& source) : source_(source) {}
    std::uint64_t Size() override { return source_.Size(); }
    bool Read(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    const ByteSource& source_;
};

// The `size` bytes of `file` from `offset` (a cabinet inside a self-extractor), seen from
// their start.
class ByteRange final : public ByteSource {
public:
    ByteRange(const ByteSource& file, std::uint64_t offset, std::uint64_t size)
        : file_(file), offset_(offset), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    void ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset > size_ || out.size() > size_ - offset) throw PackError("read beyond the end of the cabinet");
        file_.ReadAt(offset_ + offset, out);
    }

private:
    const ByteSource& file_;
    std::uint64_t offset_, size_;
};

// Copies `length` bytes of `from`, starting at `offset`, to `to` in bounded chunks.
void CopyBytes(const ByteSource& from, std::uint64_t offset, std::uint64_t length, ByteSink& to);

}  // namespace k4pack
