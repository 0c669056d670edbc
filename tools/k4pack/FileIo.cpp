// POSIX file owners for the packer; every failure becomes a PackError naming the path.
#include "FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace k4pack {

std::string SystemErrorText(const std::string& path) {
    return path + ": " + std::strerror(errno);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::Release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

ReadableFile::ReadableFile(const std::string& path)
    : path_(path), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_.Get() < 0) throw PackError(SystemErrorText(path));
    struct stat info {};
    if (::fstat(fd_.Get(), &info) != 0) throw PackError(SystemErrorText(path));
    if (!S_ISREG(info.st_mode)) throw PackError(path + ": not a regular file");
    size_ = static_cast<std::uint64_t>(info.st_size);
}

void ReadableFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd_.Get(), out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw PackError(SystemErrorText(path_));
        // The file shrank after it was opened.
        if (n == 0) throw PackError(path_ + ": unexpected end of file");
        done += static_cast<std::size_t>(n);
    }
}

WritableFile::WritableFile(const std::string& path)
    : path_(path), fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)) {
    if (fd_.Get() < 0) throw PackError(SystemErrorText(path));
}

void WritableFile::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw PackError(SystemErrorText(path_));
        done += static_cast<std::size_t>(n);
    }
}

void WritableFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_.Get(), bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw PackError(SystemErrorText(path_));
        done += static_cast<std::size_t>(n);
    }
}

void WritableFile::MakeExecutable() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_.Get(), 0777 & ~mask) != 0) throw PackError(SystemErrorText(path_));
}

void WritableFile::Close(Sync sync) {
    // A full disk can show up only at fsync or close; both count before the rename.
    if (sync == Sync::Yes && ::fsync(fd_.Get()) != 0) throw PackError(SystemErrorText(path_));
    if (::close(fd_.Release()) != 0) throw PackError(SystemErrorText(path_));
}

TemporaryFolder::TemporaryFolder(const std::string& besidePath) {
    std::filesystem::path parent = std::filesystem::path(besidePath).parent_path();
    if (parent.empty()) parent = ".";
    std::string pattern = (parent / ".k4pack-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr)
        throw PackError("cannot make a temporary folder: " + SystemErrorText(parent.string()));
    path_ = buffer.data();
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void MoveIntoPlace(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) throw PackError(SystemErrorText(to));
}

}  // namespace k4pack
