// The commands of k4pack (pack, inspect, verify) on parsed arguments: each checks which
// options it takes, runs, prints its result and returns the exit status. Errors are thrown
// (UsageError, PackError) for RunCommandLine to report.
#pragma once
#include <ostream>

#include "CommandLine.h"

namespace k4pack {

int RunPack(const ParsedArguments& parsed, const Environment& env, std::ostream& out,
            std::ostream& err);
int RunInspect(const ParsedArguments& parsed, std::ostream& out);
int RunVerify(const ParsedArguments& parsed, const Environment& env, std::ostream& out,
              std::ostream& err);

}  // namespace k4pack
