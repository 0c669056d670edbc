// File owners for the packer: a readable file, an output file that is only ever written
// under a temporary name, and a private temporary folder removed with its contents. Paths
// are UTF-8; FileIoPosix.cpp and FileIoWindows.cpp hold what differs between the systems.
#pragma once
#include <cstdint>
#include <string>

#include "Bytes.h"

namespace k4pack {

// One open file of the system (a descriptor on POSIX, a handle on Windows, both fit an
// intptr_t and both are invalid as -1); closed by the destructor. Move-only.
class SystemFile {
public:
    using Native = std::intptr_t;
    static constexpr Native kNone = -1;
    explicit SystemFile(Native native = kNone) : native_(native) {}
    SystemFile(SystemFile&& other) noexcept : native_(other.Release()) {}
    SystemFile& operator=(SystemFile&& other) noexcept;
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;
    ~SystemFile();

    Native Get() const { return native_; }
    bool Valid() const { return native_ != kNone; }
    Native Release() noexcept;

private:
    static void CloseNative(Native native) noexcept;  // the system's close, its result unread

    Native native_;
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
    SystemFile file_;
    std::uint64_t size_ = 0;
};

// A new file, written sequentially; Close reports what the system reports at the end.
class WritableFile : public ByteSink {
public:
    explicit WritableFile(const std::string& path);
    void Write(std::span<const std::uint8_t> bytes) override;
    // Overwrites bytes already written, at `offset`; the next Write still goes to the end.
    void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Executable for everyone the user's umask lets see it (POSIX; Windows has no such bit).
    void MakeExecutable();
    // Sync::Yes: on the disk before Close returns, for files that replace an output.
    enum class Sync { Yes, No };
    void Close(Sync sync = Sync::Yes);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    SystemFile file_;
    std::uint64_t end_ = 0;  // where the next Write goes
};

// A private folder ".k4pack-XXXXXX" beside a given path, on the same file system so that a
// finished file moves out of it with a rename. Removed with everything in it at the end.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& besidePath);
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    std::string PathOf(const std::string& name) const;

private:
    std::string path_;
};

// Replaces `to` with `from` in one step (a rename), so readers see the old or the new file only.
void MoveIntoPlace(const std::string& from, const std::string& to);

// "path: reason" from the system's last error (errno, or GetLastError on Windows).
std::string SystemErrorText(const std::string& path);

}  // namespace k4pack
