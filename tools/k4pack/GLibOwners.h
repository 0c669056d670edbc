// libgcab in C++: owners for its GObjects and GLib errors, and the loading and entry
// descriptions that the cabinet writer, lister and extractor share.
#pragma once
#include <libgcab.h>

#include <memory>
#include <string>

#include "Cabinet.h"
#include "PackError.h"

namespace k4pack {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// Collects a GError reported through `Out()` and turns it into a PackError.
class GErrorSlot {
public:
    GErrorSlot() = default;
    GErrorSlot(const GErrorSlot&) = delete;
    GErrorSlot& operator=(const GErrorSlot&) = delete;
    ~GErrorSlot() {
        if (raw_) g_error_free(raw_);
    }
    GError** Out() { return &raw_; }
    // The message reported so far, and the slot emptied for the next call.
    std::string Take() {
        GErrorPtr owned(raw_);
        raw_ = nullptr;
        return owned ? owned->message : "unknown libgcab failure";
    }
    [[noreturn]] void Throw(const std::string& what) { throw PackError(what + ": " + Take()); }

private:
    GError* raw_ = nullptr;
};

// A cabinet entry as libgcab describes it, with the folder it lies in.
CabinetEntry DescribeEntry(GCabFile* file, std::uint32_t folder, int comptype);

// The cabinet that starts at byte `offset` of the file at `path`, loaded (header, folders,
// file list). Throws PackError when the file cannot be opened, and PackError starting with
// `unreadable` when libgcab cannot read the cabinet.
GObjectPtr<GCabCabinet> LoadCabinet(const std::string& path, std::uint64_t offset,
                                    const std::string& unreadable);

}  // namespace k4pack
