// The file owners on Windows, through the wide API with extended-length paths; every
// failure becomes a PackError naming the path as the user gave it.
#include <algorithm>

#include "FileIo.h"
#include "WindowsWide.h"

namespace k4pack {
namespace {

HANDLE HandleOf(const SystemFile& file) { return reinterpret_cast<HANDLE>(file.Get()); }

SystemFile Owned(HANDLE handle) { return SystemFile(reinterpret_cast<SystemFile::Native>(handle)); }

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// ReadFile and WriteFile move at most a DWORD's worth; a gigabyte at a time.
constexpr std::size_t kChunk = std::size_t{1} << 30;

}  // namespace

std::string SystemErrorText(const std::string& path) {
    const DWORD code = GetLastError();
    return path + ": " + win::ErrorText(code);
}

void SystemFile::CloseNative(Native native) noexcept { CloseHandle(reinterpret_cast<HANDLE>(native)); }

// Others may read, write and rename the file meanwhile, as on POSIX. A folder opens too
// (backup semantics), so that it is refused as "not a regular file" like there.
ReadableFile::ReadableFile(const std::string& path)
    : path_(path),
      file_(Owned(CreateFileW(win::WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr))) {
    if (!file_.Valid()) throw PackError(SystemErrorText(path));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(HandleOf(file_), &info)) throw PackError(SystemErrorText(path));
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || GetFileType(HandleOf(file_)) != FILE_TYPE_DISK)
        throw PackError(path + ": not a regular file");
    size_ = static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
}

void ReadableFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        OVERLAPPED at = At(offset + done);
        DWORD n = 0;
        const auto want = static_cast<DWORD>(std::min(out.size() - done, kChunk));
        if (!ReadFile(HandleOf(file_), out.data() + done, want, &n, &at) && GetLastError() != ERROR_HANDLE_EOF)
            throw PackError(SystemErrorText(path_));
        // The file shrank after it was opened.
        if (n == 0) throw PackError(path_ + ": unexpected end of file");
        done += n;
    }
}

WritableFile::WritableFile(const std::string& path)
    : path_(path),
      file_(Owned(CreateFileW(win::WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr))) {
    if (!file_.Valid()) throw PackError(SystemErrorText(path));
}

// Each write names its offset: on a handle opened for synchronous use a write at an
// offset also moves the file pointer, which Write (FileIo.cpp) therefore never relies on.
void WritableFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at = At(offset + done);
        DWORD n = 0;
        const auto want = static_cast<DWORD>(std::min(bytes.size() - done, kChunk));
        if (!WriteFile(HandleOf(file_), bytes.data() + done, want, &n, &at) || n == 0)
            throw PackError(SystemErrorText(path_));
        done += n;
    }
}

void WritableFile::MakeExecutable() {}

void WritableFile::Close(Sync sync) {
    // A full disk can show up only at the flush or the close; both count before the rename.
    if (sync == Sync::Yes && !FlushFileBuffers(HandleOf(file_))) throw PackError(SystemErrorText(path_));
    if (!CloseHandle(reinterpret_cast<HANDLE>(file_.Release()))) throw PackError(SystemErrorText(path_));
}

void MoveIntoPlace(const std::string& from, const std::string& to) {
    if (!MoveFileExW(win::WidePath(from).c_str(), win::WidePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw PackError(SystemErrorText(to));
}

}  // namespace k4pack
