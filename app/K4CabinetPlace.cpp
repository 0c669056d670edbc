// The temporary cabinet's place: the current directory when it takes the cabinet,
// else a folder of the program's own under the temporary folder.
#include "K4CabinetPlace.h"
#include <windows.h>
#include "K4Files.h"
#include "K4Payload.h"
#include "K4Placement.h"
#include "K4Settings.h"
#include "UniqueHandle.h"

namespace {

ShortString temporaryFolder;
ShortString temporaryFile;
ShortString failureText;

// The folder goes when the program ends by returning from its message loop (a
// closed window, a finished extraction): static objects are destroyed then.
struct RemoveAtEnd {
    ~RemoveAtEnd() { RemoveTemporaryCabinet(); }
} removeAtEnd;

// One place: the file must be creatable there, the volume must hold the cabinet, and
// the copy must not run out of room. 0 when placed; `reason` is set when the place
// does not take the cabinet, and otherwise a non-zero result is the payload's error.
std::int32_t TryPlace(BlockFile& in, std::int64_t start, std::int64_t available, const cabsum::Record* sum,
                      const ShortString& folder, const ShortString& path, std::int32_t& reason) {
    const ShortString::CString name = path.CStr();
    UniqueFile probe(CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) return reason = LastErrorCode();
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    LARGE_INTEGER size{};
    if (existed) GetFileSizeEx(probe.Get(), &size);
    probe.Reset();
    VolumeRoom room;
    if (RoomIn(folder, room) == 0 && OnDisk(static_cast<std::uint64_t>(available), room.cluster) >
                                         room.free + OnDisk(static_cast<std::uint64_t>(size.QuadPart), room.cluster)) {
        if (!existed) DeleteFileA(name);
        return reason = ERROR_DISK_FULL;
    }
    if (const std::int32_t err = in.Seek(start)) return err;
    const std::int32_t err = CopyCabinet(in, available, name, sum);
    // Only writes give these; the payload's reads never do.
    if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL) reason = err;
    return err;
}

// A new folder of the program's own in `root`: its path with a trailing '\', or
// empty with `reason` set.
ShortString MakeOwnFolder(const ShortString& root, std::int32_t& reason) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const ShortString folder = root + OwnName();
        if (CreateDirectoryA(folder.CStr(), nullptr)) return folder + "\\";
        reason = LastErrorCode();
        if (reason != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}

ShortString TempRoot() {
    char root[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof root, root);
    if (n == 0 || n > MAX_PATH) return {};
    return ShortString(std::string_view(root, n));
}

}  // namespace

std::int32_t PlaceCabinet(BlockFile& in, std::int64_t available, const cabsum::Record* sum) {
    std::int64_t start = 0;
    if (std::int32_t err = in.Position(start)) return err;
    std::int32_t hereReason = 0, thereReason = ERROR_PATH_NOT_FOUND;
    std::int32_t err = TryPlace(in, start, available, sum, ShortString(), DataFileName, hereReason);
    if (err == 0 || hereReason == 0) return err;

    const ShortString root = TempRoot();
    ShortString there = root;
    if (!root.Empty()) {
        const ShortString folder = MakeOwnFolder(root, thereReason);
        if (!folder.Empty()) {
            there = folder;
            temporaryFolder = folder;
            temporaryFile = folder + DataFileName;
            // A path cut at 255 characters would name another file.
            if (folder.Length() + DataFileName.Length() > ShortString::MaxLength) {
                thereReason = ERROR_FILENAME_EXCED_RANGE;
            } else {
                thereReason = 0;
                err = TryPlace(in, start, available, sum, folder, temporaryFile, thereReason);
                if (err == 0) {
                    DataFileName = temporaryFile;
                    return 0;
                }
            }
            RemoveTemporaryCabinet();
            if (thereReason == 0) return err;
        }
    }
    failureText = ShortString("Cannot write the temporary file \"");
    failureText += DataFileName;
    failureText += "\" in \"";
    failureText += CurrentFolder();
    failureText += "\" (";
    failureText += SystemReason(static_cast<std::uint32_t>(hereReason));
    failureText += ") nor in \"";
    failureText += there;
    failureText += "\" (";
    failureText += SystemReason(static_cast<std::uint32_t>(thereReason));
    failureText += ')';
    return NoPlaceForCabinet;
}

const ShortString& PlacementFailureText() { return failureText; }

const ShortString& TemporaryCabinetFolder() { return temporaryFolder; }

void RemoveTemporaryCabinet() {
    if (temporaryFolder.Empty()) return;
    DeleteFileA(temporaryFile.CStr());
    RemoveDirectoryA(temporaryFolder.CStr());
    temporaryFolder = ShortString();
    temporaryFile = ShortString();
}
