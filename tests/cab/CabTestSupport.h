// Shared pieces of the cabinet engine tests: a recorded list and progress, one pass
// run as the window runs it, and the library bent for one scope. Cabinets with names
// and fields gcab cannot produce come from the tests' writer (tests/format/CabWriter.h),
// scratch folders and whole files from the test support.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "K4CabWork.h"
#include "K4Files.h"
#include "TestFiles.h"

// Folder of the cabinets and input files made at build time, as Wine sees it.
std::string DataPath(const std::string& relative);

struct LineRecorder final : ListLines {
    std::vector<std::string> lines;
    void AddLine(const ShortString& line) override { lines.push_back(line.Str()); }
};

// Percentages reported through ProgressHandler since the last pass began.
extern std::vector<std::int32_t> ReportedProgress;

// One pass as the window runs it: set the flag and list, clear the error, Open, Run,
// Close, free. A raised failure leaves through here like out of the window's pass.
void RunPass(bool listing, const std::string& cabinet, const std::string& target, ListLines* list = nullptr);

// The system library with its FDICopy replaced until the end of the scope, to bend the
// library's answers or to act around a real pass; the replacement reaches the
// library's own FDICopy through RealCopy().
class BentLibrary {
public:
    explicit BentLibrary(PFNFDICOPY copy);
    ~BentLibrary();
    BentLibrary(const BentLibrary&) = delete;
    BentLibrary& operator=(const BentLibrary&) = delete;
    static PFNFDICOPY RealCopy();

private:
    FdiEntryPoints bent_;
};
