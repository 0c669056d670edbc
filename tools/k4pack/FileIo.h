// POSIX file owners for the packer: a readable file, an output file that is only ever
// written under a temporary name, and a private temporary folder removed with its contents.
#pragma once
#include <cstdint>
#include <string>

#include "Bytes.h"

namespace k4pack {

// One open file descriptor; closed by the destructor. Move-only.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int Get() const { return fd_; }
    int Release() noexcept;

private:
    int fd_;
};

// A regular file opened for reading; its size is taken once at opening.
class ReadableFile : public ByteSource {
public:
    explicit ReadableFile(const std::string& path);
    std::uint64_t Size() const override { return size_; }
    void ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    FileDescriptor fd_;
    std::uint64_t size_ = 0;
};

// A new file, written sequentially; Close reports what the system reports at the end.
class WritableFile : public ByteSink {
public:
    explicit WritableFile(const std::string& path);
    void Write(std::span<const std::uint8_t> bytes) override;
    // Overwrites bytes already written, at `offset`; the next Write still goes to the end.
    void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Executable for everyone the user's umask lets see it.
    void MakeExecutable();
    // Sync::Yes: on the disk before Close returns, for files that replace an output.
    enum class Sync { Yes, No };
    void Close(Sync sync = Sync::Yes);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    FileDescriptor fd_;
};

// A private folder ".k4pack-XXXXXX" beside a given path, on the same file system so that a
// finished file moves out of it with a rename. Removed with everything in it at the end.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& besidePath);
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Replaces `to` with `from` in one step (rename), so readers see the old or the new file only.
void MoveIntoPlace(const std::string& from, const std::string& to);

// "path: reason" from the current errno.
std::string SystemErrorText(const std::string& path);

}  // namespace k4pack
