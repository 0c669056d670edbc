// The file owners on POSIX; every failure becomes a PackError naming the path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "FileIo.h"

namespace k4pack {
namespace {

int Fd(const SystemFile& file) { return static_cast<int>(file.Get()); }

}  // namespace

std::string SystemErrorText(const std::string& path) {
    return path + ": " + std::strerror(errno);
}

void SystemFile::CloseNative(Native native) noexcept { ::close(static_cast<int>(native)); }

ReadableFile::ReadableFile(const std::string& path)
    : path_(path), file_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (!file_.Valid()) throw PackError(SystemErrorText(path));
    struct stat info {};
    if (::fstat(Fd(file_), &info) != 0) throw PackError(SystemErrorText(path));
    if (!S_ISREG(info.st_mode)) throw PackError(path + ": not a regular file");
    size_ = static_cast<std::uint64_t>(info.st_size);
}

void ReadableFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(Fd(file_), out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw PackError(SystemErrorText(path_));
        // The file shrank after it was opened.
        if (n == 0) throw PackError(path_ + ": unexpected end of file");
        done += static_cast<std::size_t>(n);
    }
}

WritableFile::WritableFile(const std::string& path)
    : path_(path), file_(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)) {
    if (!file_.Valid()) throw PackError(SystemErrorText(path));
}

void WritableFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(Fd(file_), bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw PackError(SystemErrorText(path_));
        done += static_cast<std::size_t>(n);
    }
}

void WritableFile::MakeExecutable() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(Fd(file_), 0777 & ~mask) != 0) throw PackError(SystemErrorText(path_));
}

void WritableFile::Close(Sync sync) {
    // A full disk can show up only at fsync or close; both count before the rename.
    if (sync == Sync::Yes && ::fsync(Fd(file_)) != 0) throw PackError(SystemErrorText(path_));
    if (::close(static_cast<int>(file_.Release())) != 0) throw PackError(SystemErrorText(path_));
}

void MoveIntoPlace(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) throw PackError(SystemErrorText(to));
}

}  // namespace k4pack
