// --run's command: split into program and arguments, its program found among the members.
#include "pack/RunCommand.h"

#include <algorithm>

#include "K4MemberNames.h"
#include "K4RunRecord.h"
#include "PackError.h"

namespace k4pack {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t SkipBlanks(std::string_view text, std::size_t at) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    return at;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The first token and where the text after it begins.
std::pair<std::string, std::size_t> ProgramToken(std::string_view command) {
    const std::size_t start = SkipBlanks(command, 0);
    if (start == command.size()) throw UsageError("--run needs a command: the program to start, then its arguments");
    if (command[start] != '"') {
        std::size_t end = start;
        while (end < command.size() && !IsBlank(command[end])) ++end;
        return {std::string(command.substr(start, end - start)), end};
    }
    const std::size_t close = command.find('"', start + 1);
    if (close == std::string_view::npos)
        throw UsageError("--run: the quote that opens the program is never closed");
    if (close + 1 < command.size() && !IsBlank(command[close + 1]))
        throw UsageError("--run: the quoted program \"" + std::string(command.substr(start + 1, close - start - 1)) +
                         "\" must be followed by a blank, then the arguments");
    if (close == start + 1) throw UsageError("--run: the quotes name no program");
    return {std::string(command.substr(start + 1, close - start - 1)), close + 1};
}

// The last component of a backslash-separated name.
std::string_view LastComponent(std::string_view name) {
    const std::size_t slash = name.rfind('\\');
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

bool Namable(const std::string& name, bool markedUtf8) {
    return IsAscii(name) || (markedUtf8 && membername::IsValidUtf8(name));
}

}  // namespace

RunCommand ParseRunCommand(std::string_view command, bool temporary) {
    if (!membername::IsValidUtf8(command)) throw UsageError("--run: the command is not UTF-8 text");
    auto [program, end] = ProgramToken(command);
    std::replace(program.begin(), program.end(), '/', '\\');
    if (program.size() > runrecord::MaxProgramLength)
        throw UsageError("--run: the program \"" + program + "\" is " + std::to_string(program.size()) +
                         " bytes long; a run record holds at most " + std::to_string(runrecord::MaxProgramLength));
    std::string arguments(command.substr(SkipBlanks(command, end)));
    if (arguments.size() > runrecord::MaxArgumentsLength)
        throw UsageError("--run: the arguments of \"" + program + "\" are " + std::to_string(arguments.size()) +
                         " bytes long; a run record holds at most " +
                         std::to_string(runrecord::MaxArgumentsLength));
    return {program, std::move(arguments), temporary};
}

std::optional<std::string> FindProgramMember(std::string_view program, const std::vector<std::string>& members) {
    const std::string wanted = membername::FoldAscii(program);
    for (const std::string& member : members)
        if (membername::FoldAscii(member) == wanted) return member;
    return std::nullopt;
}

std::vector<std::string> NamableMembers(const std::vector<CabinetEntry>& entries) {
    std::vector<std::string> names;
    for (const CabinetEntry& entry : entries)
        if (Namable(entry.name, entry.utf8Name)) names.push_back(entry.name);
    return names;
}

std::vector<std::string> NamableMembers(const std::vector<cabfmt::Member>& members) {
    std::vector<std::string> names;
    for (const cabfmt::Member& member : members)
        if (Namable(member.name, member.Utf())) names.push_back(member.name);
    return names;
}

RunCommand ResolveRunProgram(const RunCommand& command, const std::vector<std::string>& members) {
    if (const std::optional<std::string> member = FindProgramMember(command.program, members))
        return {*member, command.arguments, command.temporary};
    std::string message = "--run: the program \"" + command.program +
                          "\" is not a file of the archive; name it by its path inside the archive";
    // The likeliest slip: a file of a subfolder named without its folder.
    const std::string wanted = membername::FoldAscii(command.program);
    for (const std::string& member : members)
        if (membername::FoldAscii(LastComponent(member)) == wanted) {
            message += " (\"" + member + "\"?)";
            break;
        }
    throw UsageError(message);
}

std::string RunCommandText(const RunCommand& command) {
    return "\"" + command.program + "\"" + (command.arguments.empty() ? "" : " " + command.arguments);
}

}  // namespace k4pack
