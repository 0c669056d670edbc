// Reading the switches from the command line, and the switch list.
#include "K4Switches.h"
#include <windows.h>
#include "K4TextEncoding.h"
#include "K4Utils.h"

Switches ProgramSwitches;

const char SwitchHelpText[] =
    "Switches:\r\n"
    "/Q  quiet: extract without window or message, end with an exit code\r\n"
    "/T:DIR  target directory, quoted when it holds spaces: /T:\"C:\\My Files\"\r\n"
    "/L  list the files and the status line, extract nothing\r\n"
    "/LOG:FILE  append one line per event to FILE\r\n"
    "/?  this list\r\n"
    "Exit codes: 0 done, 1 command line not understood, 2 archive missing or damaged,\r\n"
    "3 target cannot be created or written, 4 failure during the extraction\r\n";

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The next argument of the command line in `work` from `at` on, its quotes dropped
// (a blank inside quotes kept), written over the bytes it was read from; `at` moves
// past it. False when a quote stays open.
bool NextArgument(std::string& work, std::size_t& at, std::string_view& argument) {
    bool quoted = false;
    std::size_t to = at;
    const std::size_t start = at;
    for (; at < work.size() && (quoted || !IsBlank(work[at])); ++at) {
        if (work[at] == '"') quoted = !quoted;
        else work[to++] = work[at];
    }
    argument = std::string_view(work).substr(start, to - start);
    return !quoted;
}

// Whether the argument, past its switch character, starts with `word` (upper case)
// whatever the case; the rest behind it.
bool Named(std::string_view argument, std::string_view word, std::string_view& rest) {
    if (argument.size() <= word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (UpCaseChar(argument[i + 1]) != word[i]) return false;
    rest = argument.substr(word.size() + 1);
    return true;
}

// One argument into the switches; false when it is not one of them.
bool ReadSwitch(std::string_view argument, Switches& s) {
    std::string_view rest;
    if (argument.empty() || (argument[0] != '/' && argument[0] != '-')) return false;
    if (Named(argument, "LOG:", rest) && !rest.empty()) s.logFile = rest;
    else if (Named(argument, "T:", rest) && !rest.empty()) {
        s.hasTarget = true;
        s.target = rest;
    } else if (argument.size() != 2) return false;
    else if (Named(argument, "Q", rest)) s.quiet = true;
    else if (Named(argument, "L", rest)) s.list = true;
    else if (Named(argument, "?", rest)) s.help = true;
    else return false;
    return true;
}

}  // namespace

std::string SwitchCommandLine() { return NarrowFromWide(GetCommandLineW(), CP_UTF8); }

std::wstring WideValue(std::string_view utf8) { return WideFromCodePage(utf8, CP_UTF8); }

std::string ShownValue(std::string_view utf8) { return NarrowFromWide(WideValue(utf8), CP_ACP); }

Switches ParseSwitches(std::string_view commandLine) {
    Switches s;
    // The program's name, as the system reads it: a quoted one up to the next quote,
    // whatever follows it; otherwise up to the first blank.
    while (!commandLine.empty() && IsBlank(commandLine.front())) commandLine.remove_prefix(1);
    const bool quotedName = !commandLine.empty() && commandLine[0] == '"';
    const std::size_t end = quotedName ? commandLine.find('"', 1) : commandLine.find_first_of(" \t");
    commandLine.remove_prefix(end == std::string_view::npos ? commandLine.size() : end + quotedName);
    std::string work(commandLine);
    bool known = false;
    for (std::size_t at = 0;;) {
        while (at < work.size() && IsBlank(work[at])) ++at;
        if (at == work.size()) break;
        const std::size_t start = at;
        std::string_view argument;
        const bool closed = NextArgument(work, at, argument);
        if (closed && ReadSwitch(argument, s)) known = true;
        // As given: the command line itself, where `work` holds the same bytes at the same places.
        else if (s.unknown.empty()) s.unknown = commandLine.substr(start, at - start);
    }
    // A command line without any of these switches is read as it always was: its
    // arguments are not the program's (a shortcut's or a launcher's), and change nothing.
    if (!known) s.unknown.clear();
    return s;
}
