// The command an installer archive starts once every file is written (--run), as the
// packer takes it from its command line, finds its program among the archive's members
// and keeps it in the run record (format/K4RunRecord.h).
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "K4CabFormat.h"
#include "cabinet/Cabinet.h"

namespace k4pack {

struct RunCommand {
    std::string program;     // a member's path inside the cabinet, as listed, UTF-8
    std::string arguments;   // passed to it as written, UTF-8
    bool temporary = false;  // extract into a fresh temporary folder, removed afterwards

    bool operator==(const RunCommand&) const = default;
};

// --run's COMMAND split as the record keeps it: the first token is the program (in double
// quotes when its name holds a blank, otherwise up to the first blank), forward slashes
// turned into backslashes; after the blanks that separate them, the rest is the arguments,
// exactly as written. Throws UsageError naming what is wrong: no program, a quote left
// open or not followed by a blank, text that is not UTF-8, a program or arguments longer
// than the record holds.
RunCommand ParseRunCommand(std::string_view command, bool temporary);

// The member that `program` names, as listed: compared as the extractor creates files, in
// any ASCII letter case. Nothing when no member has that name.
std::optional<std::string> FindProgramMember(std::string_view program, const std::vector<std::string>& members);

// The names of a cabinet's members a run record can name: those the extractor creates
// under the same UTF-8 name, plain ASCII or marked as UTF-8. A name in the cabinet
// author's code page has no UTF-8 form the packer could know.
std::vector<std::string> NamableMembers(const std::vector<CabinetEntry>& entries);
std::vector<std::string> NamableMembers(const std::vector<cabfmt::Member>& members);

// `command` with its program replaced by the member it names. Throws UsageError naming
// the program when none of `members` is it.
RunCommand ResolveRunProgram(const RunCommand& command, const std::vector<std::string>& members);

// The command as inspect shows it: the program in double quotes, then the arguments.
std::string RunCommandText(const RunCommand& command);

}  // namespace k4pack
