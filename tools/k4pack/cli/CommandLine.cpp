// Option parsing and dispatch for k4pack.
#include "CommandLine.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "Commands.h"
#include "PackError.h"
#include "Platform.h"
#include "Usage.h"

namespace k4pack {
namespace {

struct OptionSpec {
    const char* longName;
    char shortName;  // '\0': long form only
    bool takesValue;
};

// Options with a value first, then flags.
constexpr std::array<OptionSpec, 23> kOptions{{
    {"output", 'o', true}, {"stub", 's', true}, {"arch", '\0', true}, {"target", 't', true},
    {"caption", 'c', true}, {"title", 'T', true}, {"cab", '\0', true},
    // The command an installer archive starts after extracting, and where (RunCommand.h).
    {"run", '\0', true},
    // The program's icon, version information and execution level (BrandingOptions.h).
    {"icon", '\0', true}, {"product-name", '\0', true}, {"company", '\0', true},
    {"description", '\0', true}, {"copyright", '\0', true}, {"product-version", '\0', true},
    {"file-version", '\0', true}, {"execution-level", '\0', true},
    {"no-compression", '0', false}, {"run-temporary", '\0', false}, {"threads", 'j', true},
    {"quiet", 'q', false}, {"json", '\0', false},
    {"version", 'V', false}, {"help", 'h', false},
}};

const OptionSpec* FindLong(const std::string& name) {
    auto it = std::find_if(kOptions.begin(), kOptions.end(),
                           [&](const OptionSpec& o) { return name == o.longName; });
    return it == kOptions.end() ? nullptr : &*it;
}

const OptionSpec* FindShort(char name) {
    auto it = std::find_if(kOptions.begin(), kOptions.end(),
                           [&](const OptionSpec& o) { return o.shortName == name; });
    return it == kOptions.end() || name == '\0' ? nullptr : &*it;
}

void Store(ParsedArguments& parsed, const OptionSpec& spec, std::string value) {
    if (!parsed.options.emplace(spec.longName, std::move(value)).second)
        throw UsageError(std::string("option --") + spec.longName + " given twice");
}

// One "-xyz" argument: switches bundled, the first option with a value takes the rest.
void ParseShortGroup(const std::vector<std::string>& args, std::size_t& i,
                     ParsedArguments& parsed) {
    const std::string& arg = args[i];
    for (std::size_t pos = 1; pos < arg.size(); ++pos) {
        const OptionSpec* spec = FindShort(arg[pos]);
        if (spec == nullptr) throw UsageError(std::string("unknown option -") + arg[pos]);
        if (!spec->takesValue) {
            Store(parsed, *spec, "");
            continue;
        }
        if (pos + 1 < arg.size()) {
            Store(parsed, *spec, arg.substr(pos + 1));
        } else {
            if (++i >= args.size())
                throw UsageError(std::string("option -") + arg[pos] + " needs a value");
            Store(parsed, *spec, args[i]);
        }
        return;
    }
}

void ParseLong(const std::vector<std::string>& args, std::size_t& i, ParsedArguments& parsed) {
    const std::string body = args[i].substr(2);
    const std::size_t equals = body.find('=');
    const std::string name = body.substr(0, equals);
    const OptionSpec* spec = FindLong(name);
    if (spec == nullptr) throw UsageError("unknown option --" + name);
    if (!spec->takesValue) {
        if (equals != std::string::npos) throw UsageError("option --" + name + " takes no value");
        Store(parsed, *spec, "");
    } else if (equals != std::string::npos) {
        Store(parsed, *spec, body.substr(equals + 1));
    } else {
        if (++i >= args.size()) throw UsageError("option --" + name + " needs a value");
        Store(parsed, *spec, args[i]);
    }
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            const auto rest = args.begin() + static_cast<std::ptrdiff_t>(i + 1);
            parsed.operands.insert(parsed.operands.end(), rest, args.end());
            break;
        }
        if (arg.starts_with("--"))
            ParseLong(args, i, parsed);
        else if (arg.size() > 1 && arg[0] == '-')
            ParseShortGroup(args, i, parsed);
        else
            parsed.operands.push_back(arg);
    }
    return parsed;
}

Environment ProcessEnvironment() {
    return Environment{std::getenv("SOURCE_DATE_EPOCH"), platform::StandardErrorIsTerminal()};
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const Environment& env) {
    try {
        const std::string command = args.empty() ? "" : args[0];
        const bool named = command == "inspect" || command == "verify";
        const ParsedArguments parsed =
            ParseArguments(std::vector<std::string>(args.begin() + (named ? 1 : 0), args.end()));
        if (parsed.options.count("help")) {
            PrintUsage(out);
            return kExitOk;
        }
        if (parsed.options.count("version")) {
            if (named || parsed.options.size() != 1 || !parsed.operands.empty())
                throw UsageError("--version takes nothing else");
            PrintVersion(out);
            return kExitOk;
        }
        if (command == "inspect") return RunInspect(parsed, out);
        if (command == "verify") return RunVerify(parsed, env, out, err);
        return RunPack(parsed, env, out, err);
    } catch (const UsageError& e) {
        err << "k4pack: " << e.what() << "\nTry 'k4pack --help' for more information.\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        err << "k4pack: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace k4pack
