// What the file owners share on every system, and the private temporary folder through
// the system layer of Platform.h; FileIoPosix.cpp and FileIoWindows.cpp hold the calls.
#include "FileIo.h"

#include "Platform.h"

namespace k4pack {

SystemFile& SystemFile::operator=(SystemFile&& other) noexcept {
    if (this != &other) {
        if (Valid()) CloseNative(native_);
        native_ = other.Release();
    }
    return *this;
}

SystemFile::~SystemFile() {
    if (Valid()) CloseNative(native_);
}

SystemFile::Native SystemFile::Release() noexcept {
    const Native native = native_;
    native_ = kNone;
    return native;
}

void WritableFile::Write(std::span<const std::uint8_t> bytes) {
    WriteAt(end_, bytes);
    end_ += bytes.size();
}

TemporaryFolder::TemporaryFolder(const std::string& besidePath)
    : path_(platform::MakeUniqueFolder(besidePath, ".k4pack-")) {}

TemporaryFolder::~TemporaryFolder() { platform::RemoveTree(path_); }

std::string TemporaryFolder::PathOf(const std::string& name) const { return platform::JoinPath(path_, name); }

}  // namespace k4pack
