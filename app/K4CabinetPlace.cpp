// The temporary cabinet's place (the current directory when it takes the cabinet,
// else a folder of the program's own under the temporary folder) and its copy there.
#include "K4CabinetPlace.h"
#include <windows.h>
#include <memory>
#include <new>
#include "K4Files.h"
#include "K4PayloadBlock.h"
#include "K4Placement.h"
#include "K4Settings.h"
#include "UniqueHandle.h"

namespace {

// The cabinet is copied in blocks of this size, so memory use stays the same for a
// payload of any size. A block that stays in the processor's cache copies a large
// payload markedly faster than a larger one (measured under Wine: 1 GB in about
// 0.9 s with 64 KiB blocks against 1.4 to 1.8 s with 256 KiB).
constexpr std::uint32_t CopyBlockSize = 64 * 1024;

static_assert(DamagedArchiveError == ERROR_CRC);

ShortString temporaryFolder;
ShortString temporaryFile;
ShortString failureText;

// Whether a file of that name is there that the copy's create-always call would
// fail on: the system refuses to replace a hidden or system file unless the caller
// asks for the same attributes (Wine does not apply that rule, so the attributes
// decide here, not the call's failure).
bool KeepsItsPlace(const char* name) {
    const DWORD attributes = GetFileAttributesA(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

// One place: the file must be creatable there, the volume must hold the cabinet, and
// the copy must not run out of room. 0 when placed; `reason` is set when the place
// does not take the cabinet, and otherwise a non-zero result is the payload's error.
std::int32_t TryPlace(BlockFile& in, std::int64_t start, std::int64_t available, const cabsum::Record* sum,
                      const ShortString& folder, const ShortString& path, std::int32_t& reason) {
    const ShortString::CString name = path.CStr();
    if (KeepsItsPlace(name)) return reason = ERROR_ACCESS_DENIED;
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

std::int32_t CopyCabinet(BlockFile& in, std::int64_t available, const char* outPath, const cabsum::Record* sum) {
    UniqueFile out(CreateFileA(outPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return LastErrorCode();
    // One allocation: the copy block, and behind it the sum's tables when there is a sum.
    auto block = std::make_unique<char[]>(CopyBlockSize + (sum ? sizeof(cabsum::Crc32) : 0));
    const cabsum::Crc32* summer = sum ? new (block.get() + CopyBlockSize) cabsum::Crc32 : nullptr;
    std::int64_t count = available;
    std::uint32_t crc = 0;
    std::int32_t err = 0;
    for (bool first = true; count > 0 && !err; first = false) {
        auto n = static_cast<std::uint32_t>(count < CopyBlockSize ? count : CopyBlockSize);
        if ((err = in.Read(block.get(), n)) != 0) break;
        if (first) {
            count = static_cast<std::int64_t>(payloadblock::CabinetLength(
                reinterpret_cast<const unsigned char*>(block.get()), n, static_cast<std::uint64_t>(available)));
            // The record sums the cabinet the packer wrote, whose header stated its size,
            // within the bytes in front of the record.
            if (sum && count != sum->cabinetSize) {
                err = DamagedArchiveError;
                break;
            }
            if (n > count) n = static_cast<std::uint32_t>(count);
        }
        // The copy reads every byte anyway: summing them here costs no second pass.
        if (summer) crc = summer->Update(crc, reinterpret_cast<const unsigned char*>(block.get()), n);
        DWORD written = 0;
        if (!WriteFile(out.Get(), block.get(), n, &written, nullptr)) err = LastErrorCode();
        else if (written != n) err = ERROR_WRITE_FAULT;
        count -= n;
    }
    if (!err && sum && crc != sum->crc) err = DamagedArchiveError;
    if (err) {
        out.Reset();
        DeleteFileA(outPath);
    }
    return err;
}

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

void RemoveTemporaryCabinet() {
    if (temporaryFolder.Empty()) return;
    DeleteFileA(temporaryFile.CStr());
    RemoveDirectoryA(temporaryFolder.CStr());
    temporaryFolder = ShortString();
    temporaryFile = ShortString();
}
