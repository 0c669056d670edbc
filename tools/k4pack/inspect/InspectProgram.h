// The program part of a self-extractor as inspect and verify read it: its icon, version
// information and execution level, and whether it is a sound PE program with the
// resources the extractor needs.
#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "pack/Branding.h"
#include "FileIo.h"
#include "Json.h"
#include "pack/PayloadLayout.h"

namespace k4pack {

// The program part's resources; nothing when it is no PE program with a resource section
// (a stub given with -s may be any file that starts like a PE file).
std::optional<ProgramResources> ReadProgramPart(const ReadableFile& file, const PayloadLayout& layout);

// inspect's lines for them ("icon:", "version:", its strings, "execution level:"), none
// when there are none.
void PrintProgramPart(const ReadableFile& file, const PayloadLayout& layout, std::ostream& out);

// inspect --json's "program" object, left out when there are none.
void WriteProgramPartJson(JsonWriter& json, const ReadableFile& file, const PayloadLayout& layout);

// verify's faults of the program part. A program for i386 or x86-64 (what the extractor is)
// must be a sound PE file, end where the payload begins, and carry icon 1, the manifest and
// the version resource; other stubs are only held to starting like a PE file.
void CheckProgramPart(const ReadableFile& file, const PayloadLayout& layout, std::vector<std::string>& faults);

}  // namespace k4pack
