// The cabinet writer: the header and tables from the entries alone, then each folder's
// blocks in batches (read, compressed in parallel, written in order), then the header
// again with the sizes and offsets only the written blocks tell.
#include "K4CabWriter.h"
#include <algorithm>
#include <cstring>
#include <memory>
#include "K4CabFormat.h"
#include "K4CabFormatDetail.h"
#include "K4LittleEndian.h"
#include "K4MszipEncode.h"
#include "K4WorkerPool.h"

namespace cabwrite {
namespace {
namespace d = cabfmt::detail;
constexpr std::size_t Block = cabfmt::MaxBlockUncompressed;
// A block's worst case beside its data: its header, "CK" and a stored deflate header.
constexpr std::uint64_t BlockOverhead = d::BlockHeaderSize + 2 + 5;
// Blocks per worker in one batch: enough that a batch's end waits little on its slowest.
constexpr std::size_t BlocksPerWorker = 8;

struct FolderPlan {
    std::size_t first = 0, end = 0;   // its entries
    std::uint64_t bytes = 0;
    std::uint64_t Blocks() const { return (bytes + Block - 1) / Block; }
};

[[noreturn]] void Refuse(const std::string& text) { throw Refused(text); }

std::vector<FolderPlan> PlanFolders(const std::vector<Entry>& entries) {
    std::vector<FolderPlan> folders;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        if (e.folder == folders.size()) folders.push_back({i, i, 0});
        if (e.folder + std::size_t{1} != folders.size())
            Refuse("\"" + e.name + "\": folder " + std::to_string(e.folder) + " out of order");
        folders.back().end = i + 1;
        folders.back().bytes += e.size;
    }
    return folders;
}

std::uint64_t TablesSize(const std::vector<Entry>& entries, std::size_t folders) {
    std::uint64_t size = cabfmt::HeaderSize + d::FolderEntrySize * folders;
    for (const Entry& e : entries) size += d::FileEntrySize + e.name.size() + 1;
    return size;
}

// The header, the folder table (data offsets and the cabinet's size still 0) and the
// file table.
std::vector<unsigned char> Tables(const std::vector<Entry>& entries, const std::vector<FolderPlan>& folders) {
    std::vector<unsigned char> out(TablesSize(entries, folders.size()));
    unsigned char* p = out.data();
    std::memcpy(p, cabfmt::Signature, cabfmt::SignatureSize);
    const std::uint32_t filesStart = cabfmt::HeaderSize + d::FolderEntrySize * static_cast<std::uint32_t>(folders.size());
    le::Write32(p + cabfmt::FilesStartField, filesStart);
    p[cabfmt::MinorVersionField] = cabfmt::MinorVersion;
    p[cabfmt::MajorVersionField] = cabfmt::MajorVersion;
    le::Write16(p + cabfmt::FolderCountField, static_cast<std::uint16_t>(folders.size()));
    le::Write16(p + cabfmt::FileCountField, static_cast<std::uint16_t>(entries.size()));
    for (std::size_t f = 0; f < folders.size(); ++f) {
        unsigned char* folder = p + cabfmt::HeaderSize + d::FolderEntrySize * f;
        le::Write16(folder + d::FolderBlockCountField, static_cast<std::uint16_t>(folders[f].Blocks()));
    }
    unsigned char* file = p + filesStart;
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        if (i > 0 && e.folder != entries[i - 1].folder) offset = 0;
        le::Write32(file + d::FileSizeField, e.size);
        le::Write32(file + d::FileOffsetField, static_cast<std::uint32_t>(offset));
        le::Write16(file + d::FileFolderField, e.folder);
        le::Write16(file + d::FileDateField, e.date);
        le::Write16(file + d::FileTimeField, e.time);
        le::Write16(file + d::FileAttribsField, e.attribs);
        std::memcpy(file + d::FileEntrySize, e.name.data(), e.name.size());
        file += d::FileEntrySize + e.name.size() + 1;
        offset += e.size;
    }
    return out;
}

// One folder's data, read across its entries in order.
class FolderReader {
public:
    FolderReader(const std::vector<Entry>& entries, const FolderPlan& plan, Input& input)
        : entries_(entries), next_(plan.first), end_(plan.end), input_(input) {}

    void Read(unsigned char* out, std::size_t count) {
        while (count > 0) {
            BeginEmpty();
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, left_));
            input_.Read(out, take);
            out += take;
            count -= take;
            left_ -= take;
        }
    }
    // Tells the input of the entries left, all empty once the data is read.
    void Finish() {
        BeginEmpty();
        while (next_ < end_) input_.Begin(next_++);
    }

private:
    void BeginEmpty() {
        while (left_ == 0 && next_ < end_) {
            left_ = entries_[next_].size;
            input_.Begin(next_++);
        }
    }

    const std::vector<Entry>& entries_;
    std::size_t next_, end_;
    Input& input_;
    std::uint64_t left_ = 0;
};

class FolderWriter {
public:
    FolderWriter(const Options& options, WorkerPool& pool)
        : options_(options), pool_(pool), batchBlocks_(BlocksPerWorker * pool.Workers()),
          buffer_(Block + batchBlocks_ * Block), blocks_(batchBlocks_), encoders_(pool.Workers()) {}

    // The folder's blocks; returns the bytes written.
    std::uint64_t Write(FolderReader& reader, std::uint64_t bytes, Output& output) {
        std::uint64_t written = 0, done = 0;
        while (done < bytes) {
            const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(bytes - done, batchBlocks_ * Block));
            reader.Read(buffer_.data() + Block, size);
            const std::size_t count = (size + Block - 1) / Block;
            pool_.Run(count, [&](unsigned worker, std::size_t i) { Encode(worker, i, size, done > 0 || i > 0); });
            for (std::size_t i = 0; i < count; ++i) {
                output.Write(blocks_[i].data(), blocks_[i].size());
                written += blocks_[i].size();
            }
            // Every batch but the last ends on a whole block: its last 32 KB are the history.
            std::memmove(buffer_.data(), buffer_.data() + size, Block);
            done += size;
        }
        reader.Finish();
        return written;
    }

private:
    void Encode(unsigned worker, std::size_t i, std::size_t size, bool hasHistory) {
        const unsigned char* data = buffer_.data() + Block + i * Block;
        const BlockInput input{data - Block, hasHistory ? Block : 0, data, std::min(Block, size - i * Block)};
        if (options_.compression == Compression::Stored) return StoreBlock(input, blocks_[i]);
        if (!encoders_[worker]) encoders_[worker] = std::make_unique<MszipEncoder>(options_.level);
        encoders_[worker]->Encode(input, blocks_[i]);
    }

    const Options& options_;
    WorkerPool& pool_;
    std::size_t batchBlocks_;
    std::vector<unsigned char> buffer_;   // 32 KB of history, then the batch
    std::vector<std::vector<unsigned char>> blocks_;
    std::vector<std::unique_ptr<MszipEncoder>> encoders_;
};

}  // namespace

void CheckEntries(const std::vector<Entry>& entries) {
    if (entries.size() > MaxEntries)
        Refuse(std::to_string(entries.size()) + " files; a cabinet holds at most " + std::to_string(MaxEntries));
    for (const Entry& e : entries) {
        if (e.name.find('\0') != std::string::npos)
            Refuse("\"" + e.name.substr(0, e.name.find('\0')) + "\\0...\": a name in a cabinet holds no NUL");
        if (e.name.empty() || e.name.size() > MaxNameBytes)
            Refuse("\"" + e.name + "\": a name in a cabinet is 1 to " + std::to_string(MaxNameBytes) + " bytes");
    }
    const std::vector<FolderPlan> folders = PlanFolders(entries);
    if (folders.size() > MaxFolders)
        Refuse(std::to_string(folders.size()) + " folders; a cabinet holds at most " + std::to_string(MaxFolders));
    std::uint64_t worst = TablesSize(entries, folders.size());
    for (std::size_t f = 0; f < folders.size(); ++f) {
        if (folders[f].bytes > MaxFolderBytes)
            Refuse("folder " + std::to_string(f) + " holds " + std::to_string(folders[f].bytes) +
                   " bytes; a folder holds at most " + std::to_string(MaxFolderBytes));
        worst += folders[f].bytes + folders[f].Blocks() * BlockOverhead;
    }
    if (worst > 0xFFFFFFFFu)
        Refuse("the cabinet could reach " + std::to_string(worst) + " bytes; a cabinet holds at most 4 GiB - 1");
}

std::uint64_t Write(const std::vector<Entry>& entries, Input& input, Output& output, const Options& options) {
    CheckEntries(entries);
    const std::vector<FolderPlan> folders = PlanFolders(entries);
    std::vector<unsigned char> tables = Tables(entries, folders);
    output.Write(tables.data(), tables.size());
    WorkerPool pool(WorkersFor(options.threads));
    FolderWriter writer(options, pool);
    std::uint64_t position = tables.size();
    for (std::size_t f = 0; f < folders.size(); ++f) {
        unsigned char* folder = tables.data() + cabfmt::HeaderSize + d::FolderEntrySize * f;
        le::Write32(folder + d::FolderDataStartField, static_cast<std::uint32_t>(position));
        le::Write16(folder + d::FolderCompressionField, static_cast<std::uint16_t>(options.compression));
        FolderReader reader(entries, folders[f], input);
        position += writer.Write(reader, folders[f].bytes, output);
    }
    le::Write32(tables.data() + cabfmt::CabinetSizeField, static_cast<std::uint32_t>(position));
    output.Rewrite(0, tables.data(), tables.size());
    return position;
}

}  // namespace cabwrite
