// Extraction through the shared reader: the members in table order, each folder decoded
// once from its start while its members follow each other, every member written to its
// own private file and handed over when complete.
#include "CabinetExtract.h"

#include <memory>
#include <optional>

#include "CabinetListing.h"
#include "FileIo.h"
#include "Platform.h"

namespace k4pack {
namespace {

// A folder's bytes as they are decoded, from a position on.
class FolderStream {
public:
    FolderStream(cabfmt::ReadAt& source, const cabread::Listing& listing, std::size_t folder)
        : decoder_(source, listing, folder) {}
    std::uint64_t Position() const { return position_; }
    std::size_t Index() const { return decoder_.Index(); }
    // Up to `count` bytes from `offset` (not behind Position()) to `out`; fewer when the
    // folder ends. Returns how many.
    std::uint64_t Copy(std::uint64_t offset, std::uint64_t count, ByteSink& out) {
        std::uint64_t copied = 0;
        while (copied < count) {
            if (pending_.empty()) {
                pending_ = decoder_.Next();
                if (pending_.empty()) break;
            }
            const std::uint64_t skip = std::min<std::uint64_t>(offset > position_ ? offset - position_ : 0, pending_.size());
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count - copied, pending_.size() - skip));
            if (skip == 0) out.Write(pending_.first(take));
            const std::uint64_t used = skip > 0 ? skip : take;
            pending_ = pending_.subspan(static_cast<std::size_t>(used));
            position_ += used;
            if (skip == 0) copied += take;
        }
        return copied;
    }

private:
    cabread::FolderDecoder decoder_;
    std::span<const unsigned char> pending_;
    std::uint64_t position_ = 0;
};

}  // namespace

std::string ExtractEachMember(const std::string& cabinetPath, const std::string& folder,
                              const ExtractedMember& visit) {
    const ReadableFile file(cabinetPath);
    SourceReadAt source(file);
    const cabread::Listing listing = LoadListing(file, "the cabinet cannot be read");
    std::unique_ptr<FolderStream> stream;
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        const cabread::File& member = listing.files[i];
        const CabinetEntry entry = DescribeEntry(listing, i);
        const std::string path = platform::JoinPath(folder, "m" + std::to_string(i + 1));
        try {
            // A member behind the decoding, or in another folder: that folder from its start.
            if (!stream || stream->Index() != member.folder || member.offset < stream->Position())
                stream = std::make_unique<FolderStream>(source, listing, member.folder);
            platform::RemoveFile(path);  // a member file of an earlier extraction into the folder
            WritableFile out(path);
            stream->Copy(member.offset, member.size, out);
            out.Close(WritableFile::Sync::No);
        } catch (const cabread::Unreadable& e) {
            return "\"" + member.name + "\": cannot be decompressed: " + e.what();
        }
        visit(entry, path);
    }
    return {};
}

}  // namespace k4pack
