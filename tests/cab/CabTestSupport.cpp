// Shared pieces of the cabinet engine tests.
#include "CabTestSupport.h"
#include <memory>
#include "K4CabSeams.h"

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
    SetFdiEntryPointsForTests(&bent_);
}

BentLibrary::~BentLibrary() { SetFdiEntryPointsForTests(nullptr); }

PFNFDICOPY BentLibrary::RealCopy() { return realCopy; }
