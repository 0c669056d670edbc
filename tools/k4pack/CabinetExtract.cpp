// Extraction through gcab_cabinet_extract_simple: its file callback, called before each
// member is written, renames the member and hands over the one before it, which libgcab
// has finished and closed by then.
#include "CabinetExtract.h"

#include <exception>
#include <map>
#include <optional>

#include "GLibOwners.h"

namespace k4pack {
namespace {

struct FolderOf {
    std::uint32_t index = 0;
    int comptype = 0;
};

class Extraction {
public:
    Extraction(const std::string& folder, const ExtractedMember& visit) : folder_(folder), visit_(visit) {}

    void Learn(GCabCabinet* cabinet) {
        GPtrArray* folders = gcab_cabinet_get_folders(cabinet);
        for (guint i = 0; i < folders->len; ++i) {
            auto* folder = static_cast<GCabFolder*>(g_ptr_array_index(folders, i));
            GSList* list = gcab_folder_get_files(folder);
            for (GSList* item = list; item != nullptr; item = item->next)
                folders_[static_cast<GCabFile*>(item->data)] = {i, gcab_folder_get_comptype(folder)};
            g_slist_free(list);
        }
    }

    // libgcab's file callback: a C frame, so nothing may be thrown through it.
    static gboolean Next(GCabFile* file, gpointer data) noexcept {
        auto* self = static_cast<Extraction*>(data);
        try {
            if (self->failure_) return FALSE;
            self->HandOver();
            const FolderOf where = self->folders_[file];
            self->current_ = DescribeEntry(file, where.index, where.comptype);
            self->currentFile_ = std::to_string(++self->count_);
            self->currentFile_.insert(0, 1, 'm');
            gcab_file_set_extract_name(file, self->currentFile_.c_str());
            return TRUE;
        } catch (...) {
            self->failure_ = std::current_exception();
            return FALSE;
        }
    }

    // The member being written, once libgcab is done with it.
    void HandOver() {
        if (!current_) return;
        const CabinetEntry entry = std::move(*current_);
        current_.reset();
        visit_(entry, folder_ + "/" + currentFile_);
    }

    void RethrowFailure() const {
        if (failure_) std::rethrow_exception(failure_);
    }
    std::string CurrentName() const { return current_ ? current_->name : std::string(); }

private:
    std::string folder_;
    const ExtractedMember& visit_;
    std::map<GCabFile*, FolderOf> folders_;
    std::optional<CabinetEntry> current_;
    std::string currentFile_;
    std::size_t count_ = 0;
    std::exception_ptr failure_;
};

}  // namespace

std::string ExtractEachMember(const std::string& cabinetPath, const std::string& folder,
                              const ExtractedMember& visit) {
    const GObjectPtr<GCabCabinet> cabinet = LoadCabinet(cabinetPath, 0, "the cabinet cannot be read by libgcab");
    Extraction extraction(folder, visit);
    extraction.Learn(cabinet.get());
    GObjectPtr<GFile> target(g_file_new_for_path(folder.c_str()));
    GErrorSlot error;
    const bool done = gcab_cabinet_extract_simple(cabinet.get(), target.get(), &Extraction::Next,
                                                  &extraction, nullptr, error.Out());
    extraction.RethrowFailure();
    if (!done) {
        const std::string name = extraction.CurrentName();
        return (name.empty() ? std::string("the cabinet") : "\"" + name + "\"") +
               ": cannot be decompressed: " + error.Take();
    }
    extraction.HandOver();
    return {};
}

}  // namespace k4pack
