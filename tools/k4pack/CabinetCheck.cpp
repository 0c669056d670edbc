// The shared cabinet check over a part of a file, with the extractor's name limits.
#include "CabinetCheck.h"

#include "ArchiveNames.h"

namespace k4pack {
namespace {

// The cabinet's bytes inside a larger file (a self-extractor), seen from their start.
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

}  // namespace

cabfmt::Options ExtractorCheckOptions(std::string_view targetDirectory) {
    const std::size_t used = ExtractPrefix(targetDirectory).size();
    cabfmt::Options options;
    options.maxNameLength = used < kMaxExtractPath ? kMaxExtractPath - used : 0;
    options.maxUtfNameLength = options.maxNameLength;
    return options;
}

std::string CabinetCheckFault(const ByteSource& file, std::uint64_t offset, std::uint64_t size,
                              std::string_view targetDirectory) {
    const ByteRange cabinet(file, offset, size);
    SourceReadAt source(cabinet);
    const cabfmt::Result checked = cabfmt::Check(source, ExtractorCheckOptions(targetDirectory));
    return checked.Sound() ? std::string() : checked.text;
}

}  // namespace k4pack
