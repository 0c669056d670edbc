// libgcab behind plain C++: cabinet writing, loading and listing, entries described as values.
#include "Cabinet.h"

#include <libgcab.h>

#include <cstdio>
#include <memory>

#include "Bytes.h"
#include "GLibOwners.h"

namespace k4pack {
namespace {

void AddFile(GCabFolder* folder, const SourceFile& source) {
    GObjectPtr<GFile> file(g_file_new_for_path(source.path.c_str()));
    GObjectPtr<GCabFile> entry(gcab_file_new_with_file(source.name.c_str(), file.get()));
    GErrorSlot error;
    if (!gcab_folder_add_file(folder, entry.get(), FALSE, nullptr, error.Out()))
        error.Throw(source.path);
    // Set after adding: adding reads the file's own time, which libgcab stores as UTC.
    const DosStamp stamp = ToDosStamp(source.modified);
    GDateTime* raw = g_date_time_new_utc(stamp.year, stamp.month, stamp.day, stamp.hour,
                                         stamp.minute, stamp.second);
    gcab_file_set_date_time(entry.get(), raw);
    g_date_time_unref(raw);
}

class ObserverCall {
public:
    static gboolean FileStarted(GCabFile* file, gpointer data) {
        static_cast<WriteObserver*>(data)->FileStarted(gcab_file_get_size(file));
        return TRUE;
    }
};

std::string FormatStamp(GCabFile* file) {
    GDateTime* stamp = gcab_file_get_date_time(file);
    if (stamp == nullptr) return "-";
    const DosStamp dos{g_date_time_get_year(stamp),   g_date_time_get_month(stamp),
                       g_date_time_get_day_of_month(stamp), g_date_time_get_hour(stamp),
                       g_date_time_get_minute(stamp), g_date_time_get_second(stamp)};
    g_date_time_unref(stamp);
    return FormatDosStamp(dos);
}

}  // namespace

CabinetHeader ParseCabinetHeader(std::span<const std::uint8_t> head, std::uint64_t available) {
    if (head.size() < cabfmt::SignatureSize || !cabfmt::HasSignature(head.data()))
        throw PackError("not a cabinet (no \"MSCF\" at its start)");
    if (head.size() < kCabinetHeaderSize || available < kCabinetHeaderSize)
        throw PackError("cabinet is shorter than its header");
    CabinetHeader header;
    header.size = le::Read32(head.data() + cabfmt::CabinetSizeField);
    header.folders = le::Read16(head.data() + cabfmt::FolderCountField);
    header.files = le::Read16(head.data() + cabfmt::FileCountField);
    header.flags = le::Read16(head.data() + cabfmt::FlagsField);
    if (header.size > available)
        throw PackError("cabinet is truncated: its header gives " + std::to_string(header.size) +
                        " bytes, " + std::to_string(available) + " are present");
    if (header.flags & cabfmt::FlagsOfASet)
        throw PackError("cabinet is part of a multi-cabinet set; the extractor carries one");
    return header;
}

DosStamp ToDosStamp(std::time_t modified) {
    std::tm local{};
    localtime_r(&modified, &local);
    const int year = local.tm_year + 1900;
    if (year < 1980) return DosStamp{1980, 1, 1, 0, 0, 0};
    if (year > 2107) return DosStamp{2107, 12, 31, 23, 59, 58};
    // A leap second (60) would not fit the 5-bit field of seconds / 2.
    const int second = std::min(local.tm_sec, 59) / 2 * 2;
    return DosStamp{year, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, second};
}

std::string FormatDosStamp(const DosStamp& stamp) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", stamp.year, stamp.month,
                  stamp.day, stamp.hour, stamp.minute, stamp.second);
    return text;
}

std::string CompressionName(int comptype) {
    switch (comptype & GCAB_COMPRESSION_MASK) {
    case GCAB_COMPRESSION_NONE: return "none";
    case GCAB_COMPRESSION_MSZIP: return "mszip";
    case GCAB_COMPRESSION_QUANTUM: return "quantum";
    case GCAB_COMPRESSION_LZX: return "lzx";
    default: return "unknown";
    }
}

CabinetEntry DescribeEntry(GCabFile* file, std::uint32_t folder, int comptype) {
    return CabinetEntry{gcab_file_get_name(file), gcab_file_get_size(file), FormatStamp(file),
                        folder, CompressionName(comptype)};
}

void WriteCabinet(const std::vector<SourceFile>& files, Compression compression,
                  const std::string& cabinetPath, WriteObserver* observer) {
    GObjectPtr<GCabCabinet> cabinet(gcab_cabinet_new());
    GObjectPtr<GCabFolder> folder(gcab_folder_new(
        compression == Compression::Mszip ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE));
    for (const SourceFile& source : files)
        AddFile(folder.get(), source);
    GErrorSlot error;
    if (!gcab_cabinet_add_folder(cabinet.get(), folder.get(), error.Out()))
        error.Throw(cabinetPath);

    GObjectPtr<GFile> target(g_file_new_for_path(cabinetPath.c_str()));
    GObjectPtr<GFileOutputStream> stream(g_file_replace(
        target.get(), nullptr, FALSE, G_FILE_CREATE_REPLACE_DESTINATION, nullptr, error.Out()));
    if (!stream) error.Throw(cabinetPath);
    auto* out = G_OUTPUT_STREAM(stream.get());
    GCabFileCallback started = observer ? &ObserverCall::FileStarted : nullptr;
    if (!gcab_cabinet_write_simple(cabinet.get(), out, started, observer, nullptr, error.Out()))
        error.Throw(cabinetPath);
    if (!g_output_stream_close(out, nullptr, error.Out())) error.Throw(cabinetPath);
}

GObjectPtr<GCabCabinet> LoadCabinet(const std::string& path, std::uint64_t offset,
                                    const std::string& unreadable) {
    GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
    GErrorSlot error;
    GObjectPtr<GFileInputStream> stream(g_file_read(file.get(), nullptr, error.Out()));
    if (!stream) error.Throw(path);
    // libgcab reads header, folders and file list in sequence from the stream's position.
    if (!g_seekable_seek(G_SEEKABLE(stream.get()), static_cast<goffset>(offset), G_SEEK_SET,
                         nullptr, error.Out()))
        error.Throw(path);
    GObjectPtr<GCabCabinet> cabinet(gcab_cabinet_new());
    if (!gcab_cabinet_load(cabinet.get(), G_INPUT_STREAM(stream.get()), nullptr, error.Out()))
        error.Throw(unreadable);
    return cabinet;
}

std::vector<CabinetEntry> ListCabinet(const std::string& path, std::uint64_t offset) {
    const GObjectPtr<GCabCabinet> cabinet = LoadCabinet(path, offset, path + ": cabinet cannot be read");
    std::vector<CabinetEntry> entries;
    GPtrArray* folders = gcab_cabinet_get_folders(cabinet.get());
    for (guint i = 0; i < folders->len; ++i) {
        auto* folder = static_cast<GCabFolder*>(g_ptr_array_index(folders, i));
        GSList* list = gcab_folder_get_files(folder);
        for (GSList* item = list; item != nullptr; item = item->next)
            entries.push_back(DescribeEntry(static_cast<GCabFile*>(item->data), i,
                                            gcab_folder_get_comptype(folder)));
        g_slist_free(list);
    }
    return entries;
}

}  // namespace k4pack
