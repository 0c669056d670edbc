// The command line of k4pack: option parsing and dispatch to the commands (pack, inspect,
// verify) and the help and version texts, with errors on `err` prefixed "k4pack: " and the
// exit status as result.
#pragma once
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace k4pack {

struct ParsedArguments {
    std::map<std::string, std::string> options;  // long name -> value ("" for switches)
    std::vector<std::string> operands;
};

// GNU-style: "--name value", "--name=value", "-o value", "-ovalue", bundled switches ("-0h"),
// "--" ends the options. Throws UsageError for an unknown option, a missing value, a value
// given to a switch, or an option given twice.
ParsedArguments ParseArguments(const std::vector<std::string>& args);

// What k4pack takes from its surroundings besides the arguments.
struct Environment {
    const char* sourceDateEpoch = nullptr;  // SOURCE_DATE_EPOCH, null when unset
    bool stderrIsTerminal = false;          // progress is shown only on a terminal
};

// The process's own environment and standard error.
Environment ProcessEnvironment();

// Runs k4pack with `args` (without the program name). Returns 0, 1 (failure, nothing
// written; for verify: a fault found) or 2 (command line not understood).
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const Environment& env);
inline int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return RunCommandLine(args, out, err, ProcessEnvironment());
}

}  // namespace k4pack
