// Shared pieces of the cabinet engine tests.
#include "CabTestSupport.h"
#include <memory>
#include "K4CabSeams.h"
#include "LeBytes.h"

using k4test::PutLe;

std::vector<std::int32_t> ReportedProgress;

std::string DataPath(const std::string& relative) { return std::string(K4_CAB_DATA) + "\\" + relative; }

namespace {
void RecordProgress(std::int32_t percent) { ReportedProgress.push_back(percent); }
}

void RunPass(bool listing, const std::string& cabinet, const std::string& target, ListLines* list) {
    ListingPass = listing;
    TargetListBox = list;
    ProgressHandler = RecordProgress;
    ReportedProgress.clear();
    ClearCabError();
    auto pass = std::make_unique<TDecompr>();
    pass->Open(ShortString(cabinet), ShortString(target));
    pass->Run();
    pass->Close();
    pass.reset();
}

std::string BuildCabinet(const std::vector<CabMember>& members, std::uint16_t setId) {
    std::string data;
    for (const CabMember& m : members) data += m.data;
    const std::size_t blockSize = 32768;
    const std::size_t blocks = (data.size() + blockSize - 1) / blockSize;

    std::string files;
    std::uint32_t offset = 0;
    for (const CabMember& m : members) {
        PutLe(files, files.size(), m.claimedSize >= 0 ? static_cast<std::uint32_t>(m.claimedSize) : static_cast<std::uint32_t>(m.data.size()));
        PutLe(files, files.size(), offset);
        PutLe(files, files.size(), 0, 2);   // folder 0
        PutLe(files, files.size(), m.date, 2);
        PutLe(files, files.size(), m.time, 2);
        PutLe(files, files.size(), m.attribs, 2);
        files += m.name;
        files += '\0';
        offset += static_cast<std::uint32_t>(m.data.size());
    }
    const std::uint32_t headerSize = 36, folderSize = 8;
    const std::uint32_t dataStart = headerSize + folderSize + static_cast<std::uint32_t>(files.size());

    std::string cab(headerSize, '\0');
    cab.replace(0, 4, "MSCF");
    PutLe(cab, 16, headerSize + folderSize);   // first file entry
    cab[24] = 3;                              // format 1.3
    cab[25] = 1;
    PutLe(cab, 26, 1, 2);
    PutLe(cab, 28, static_cast<std::uint32_t>(members.size()), 2);
    PutLe(cab, 32, setId, 2);
    PutLe(cab, cab.size(), dataStart);
    PutLe(cab, cab.size(), static_cast<std::uint32_t>(blocks), 2);
    PutLe(cab, cab.size(), 0, 2);   // no compression
    cab += files;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::string chunk = data.substr(b * blockSize, blockSize);
        PutLe(cab, cab.size(), 0);   // no checksum
        PutLe(cab, cab.size(), static_cast<std::uint32_t>(chunk.size()), 2);
        PutLe(cab, cab.size(), static_cast<std::uint32_t>(chunk.size()), 2);
        cab += chunk;
    }
    PutLe(cab, 8, static_cast<std::uint32_t>(cab.size()));
    return cab;
}

void PatchSetId(std::string& cabinet, std::uint16_t setId) { PutLe(cabinet, 32, setId, 2); }

namespace {
PFNFDICOPY realCopy = nullptr;
}

BentLibrary::BentLibrary(PFNFDICOPY copy) {
    const FdiEntryPoints& real = Fdi();
    realCopy = real.FDICopy;
    bent_.FDICreate = real.FDICreate;
    bent_.FDIIsCabinet = real.FDIIsCabinet;
    bent_.FDIDestroy = real.FDIDestroy;
    bent_.FDICopy = copy;
    UseFdiEntryPointsForTests(&bent_);
}

BentLibrary::~BentLibrary() { UseFdiEntryPointsForTests(nullptr); }

PFNFDICOPY BentLibrary::RealCopy() { return realCopy; }
