// The private temporary folder, through the system layer of Platform.h.
#include "FileIo.h"

#include "Platform.h"

namespace k4pack {

TemporaryFolder::TemporaryFolder(const std::string& besidePath)
    : path_(platform::MakeUniqueFolder(besidePath, ".k4pack-")) {}

TemporaryFolder::~TemporaryFolder() { platform::RemoveTree(path_); }

std::string TemporaryFolder::PathOf(const std::string& name) const { return platform::JoinPath(path_, name); }

}  // namespace k4pack
