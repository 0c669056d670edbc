// The packer's cabinets: source files fed to the shared writer, the file list read by the
// shared reader, entries described as values.
#include "Cabinet.h"

#include <cstdio>
#include <memory>

#include "CabinetListing.h"
#include "FileIo.h"
#include "K4CabWriter.h"
#include "Platform.h"

namespace k4pack {
namespace {

// The source files, each opened when the writer begins it.
class SourceInput final : public cabwrite::Input {
public:
    SourceInput(const std::vector<SourceFile>& files, WriteObserver* observer) : files_(files), observer_(observer) {}
    void Begin(std::size_t index) override {
        const SourceFile& source = files_[index];
        if (observer_) observer_->FileStarted(source.size);
        current_ = std::make_unique<ReadableFile>(source.path);
        if (current_->Size() != source.size)
            throw PackError(source.path + ": changed while being packed (" + std::to_string(source.size) + " bytes, now " +
                            std::to_string(current_->Size()) + ")");
        at_ = 0;
    }
    void Read(unsigned char* out, std::size_t count) override {
        current_->ReadAt(at_, std::span(out, count));
        at_ += count;
    }

private:
    const std::vector<SourceFile>& files_;
    WriteObserver* observer_;
    std::unique_ptr<ReadableFile> current_;
    std::uint64_t at_ = 0;
};

class FileOutput final : public cabwrite::Output {
public:
    explicit FileOutput(WritableFile& file) : file_(file) {}
    void Write(const unsigned char* bytes, std::size_t count) override { file_.Write(std::span(bytes, count)); }
    void Rewrite(std::uint64_t offset, const unsigned char* bytes, std::size_t count) override {
        file_.WriteAt(offset, std::span(bytes, count));
    }

private:
    WritableFile& file_;
};

cabwrite::Entry ToEntry(const SourceFile& source) {
    const DosStamp s = ToDosStamp(source.modified);
    cabwrite::Entry entry;
    entry.name = source.name;
    entry.size = static_cast<std::uint32_t>(source.size);
    entry.date = static_cast<std::uint16_t>((s.year - 1980) << 9 | s.month << 5 | s.day);
    entry.time = static_cast<std::uint16_t>(s.hour << 11 | s.minute << 5 | s.second / 2);
    return entry;
}

bool LeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

DosStamp ToDosStamp(std::time_t modified) {
    constexpr DosStamp kFirst{1980, 1, 1, 0, 0, 0}, kLast{2107, 12, 31, 23, 59, 58};
    // A C library that cannot express a time (Windows': before 1970, after 3000) leaves it
    // outside the stamps either way; which end depends on the side it lies on.
    constexpr std::time_t kYear2000 = 946684800;
    const std::optional<std::tm> converted = platform::LocalTime(modified);
    if (!converted) return modified < kYear2000 ? kFirst : kLast;
    const std::tm& local = *converted;
    const int year = local.tm_year + 1900;
    if (year < 1980) return kFirst;
    if (year > 2107) return kLast;
    // A leap second (60) would not fit the 5-bit field of seconds / 2.
    const int second = std::min(local.tm_sec, 59) / 2 * 2;
    return DosStamp{year, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, second};
}

std::optional<DosStamp> FromDosFields(std::uint16_t date, std::uint16_t time) {
    const DosStamp s{1980 + (date >> 9), date >> 5 & 15, date & 31, time >> 11, time >> 5 & 63, (time & 31) * 2};
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (s.month < 1 || s.month > 12 || s.hour > 23 || s.minute > 59 || s.second > 59) return std::nullopt;
    const int days = kDays[s.month - 1] + (s.month == 2 && LeapYear(s.year) ? 1 : 0);
    if (s.day < 1 || s.day > days) return std::nullopt;
    return s;
}

std::string FormatDosStamp(const DosStamp& stamp) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", stamp.year, stamp.month,
                  stamp.day, stamp.hour, stamp.minute, stamp.second);
    return text;
}

std::string CompressionName(int comptype) {
    switch (comptype & 0x000F) {
    case 0: return "none";
    case 1: return "mszip";
    case 2: return "quantum";
    case 3: return "lzx";
    default: return "unknown";
    }
}

CabinetEntry DescribeEntry(const cabread::Listing& listing, std::size_t index) {
    const cabread::File& file = listing.files[index];
    const std::optional<DosStamp> stamp = FromDosFields(file.date, file.time);
    return CabinetEntry{file.name, file.size, stamp ? FormatDosStamp(*stamp) : "-", file.folder,
                        CompressionName(listing.folders[file.folder].compression),
                        (file.attribs & cabfmt::AttribNameIsUtf) != 0};
}

void WriteCabinet(const std::vector<SourceFile>& files, const WriteSettings& settings,
                  const std::string& cabinetPath, WriteObserver* observer) {
    std::vector<cabwrite::Entry> entries;
    for (const SourceFile& source : files) {
        if (source.size > kMaxFolderBytes)
            throw PackError(source.path + ": " + std::to_string(source.size) + " bytes; a cabinet holds at most " +
                            std::to_string(kMaxFolderBytes));
        entries.push_back(ToEntry(source));
    }
    const cabwrite::Options options{
        settings.compression == Compression::Mszip ? cabwrite::Compression::Mszip : cabwrite::Compression::Stored,
        settings.threads};
    WritableFile out(cabinetPath);
    SourceInput input(files, observer);
    FileOutput output(out);
    try {
        cabwrite::Write(entries, input, output, options);
    } catch (const cabwrite::Refused& e) {
        throw PackError(e.what());
    }
    out.Close(WritableFile::Sync::No);
}

cabread::Listing LoadListing(const ByteSource& cabinet, const std::string& unreadable) {
    SourceReadAt source(cabinet);
    try {
        return cabread::List(source);
    } catch (const cabread::Unreadable& e) {
        throw PackError(unreadable + ": " + e.what());
    }
}

std::vector<CabinetEntry> ListCabinet(const std::string& path, std::uint64_t offset) {
    const ReadableFile file(path);
    if (offset > file.Size()) throw PackError(path + ": no cabinet at byte " + std::to_string(offset));
    const ByteRange cabinet(file, offset, file.Size() - offset);
    const cabread::Listing listing = LoadListing(cabinet, path + ": cabinet cannot be read");
    std::vector<CabinetEntry> entries;
    for (std::size_t i = 0; i < listing.files.size(); ++i) entries.push_back(DescribeEntry(listing, i));
    return entries;
}

}  // namespace k4pack
