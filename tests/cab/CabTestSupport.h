// Shared pieces of the cabinet engine tests: a recorded list and progress, one pass
// run as the window runs it, and a writer of uncompressed cabinets for names and fields
// gcab cannot produce. Scratch folders and whole files come from the test support.
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

// One member of a hand-made cabinet. `claimedSize` >= 0 puts that size in the
// member's entry without data (a cabinet only a listing can read).
struct CabMember {
    std::string name;
    std::string data;
    std::uint16_t date = (41 << 9) | (3 << 5) | 4;   // 2021-03-04
    std::uint16_t time = (5 << 11) | (6 << 5) | 4;   // 05:06:08
    std::uint16_t attribs = 0x20;
    std::int64_t claimedSize = -1;
};
// An uncompressed single-folder cabinet holding the members in order.
std::string BuildCabinet(const std::vector<CabMember>& members, std::uint16_t setId = 0);
// Writes a new set identifier into a cabinet's header.
void PatchSetId(std::string& cabinet, std::uint16_t setId);

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
