// Option parsing and dispatch for k4pack.
#include "CommandLine.h"

#include <algorithm>
#include <array>

#include "Inspect.h"
#include "Packer.h"

namespace k4pack {
namespace {

struct OptionSpec {
    const char* longName;
    char shortName;  // '\0': long form only
    bool takesValue;
};

constexpr std::array<OptionSpec, 8> kOptions{{
    {"output", 'o', true},
    {"stub", 's', true},
    {"target", 't', true},
    {"caption", 'c', true},
    {"title", 'T', true},
    {"cab", '\0', true},
    {"no-compression", '0', false},
    {"help", 'h', false},
}};

constexpr const char* kUsage =
    "Usage: k4pack [OPTIONS] -o OUT.exe -s STUB.exe INPUT...\n"
    "       k4pack [OPTIONS] -o OUT.exe -s STUB.exe --cab FILE.cab\n"
    "       k4pack inspect FILE.exe\n"
    "\n"
    "Packs files and folders into a cabinet and appends it, behind three texts, to a copy\n"
    "of the extractor program STUB.exe: the result OUT.exe is a self-extractor.\n"
    "A file INPUT is stored under its own name; a folder INPUT contributes everything\n"
    "below it, named relative to the folder, with backslashes between folder names.\n"
    "'inspect' prints the texts and the cabinet's file list of a self-extractor.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE      write the self-extractor to FILE (replaced only on success)\n"
    "  -s, --stub FILE        the extractor program, a Windows PE file\n"
    "  -t, --target TEXT      default target directory (text 1, at most 255 bytes)\n"
    "  -c, --caption TEXT     window caption (text 2, at most 255 bytes)\n"
    "  -T, --title TEXT       title line (text 3, at most 255 bytes)\n"
    "      --cab FILE         carry the existing cabinet FILE as is instead of INPUTs\n"
    "  -0, --no-compression   store the files uncompressed (default: MSZIP)\n"
    "  -h, --help             show this help and exit\n"
    "\n"
    "Signing: pack first, then sign OUT.exe; never pack a signed program. Signing appends\n"
    "a certificate table, and the extractor finds its payload in front of it. For example:\n"
    "  k4pack -o setup.exe -s K4EXTRACTOR.exe files/\n"
    "  openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem \\\n"
    "      -days 365 -subj '/CN=Example Publisher'\n"
    "  osslsigncode sign -certs cert.pem -key key.pem -in setup.exe -out setup-signed.exe\n"
    "  osslsigncode verify -CAfile cert.pem -in setup-signed.exe\n"
    "\n"
    "Exit status: 0 success, 1 failure (no output written), 2 command line not understood.\n";

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

std::string Option(const ParsedArguments& parsed, const std::string& name) {
    auto it = parsed.options.find(name);
    return it == parsed.options.end() ? std::string() : it->second;
}

int RunInspect(const ParsedArguments& parsed, std::ostream& out) {
    if (parsed.options.size() != parsed.options.count("help"))
        throw UsageError("inspect takes no options");
    if (parsed.operands.size() != 1) throw UsageError("inspect needs exactly one FILE");
    Inspect(parsed.operands[0], out);
    return kExitOk;
}

int RunPack(const ParsedArguments& parsed, std::ostream& out) {
    PackRequest request;
    request.outputPath = Option(parsed, "output");
    request.stubPath = Option(parsed, "stub");
    if (request.outputPath.empty()) throw UsageError("no output file: give -o OUT.exe");
    if (request.stubPath.empty()) throw UsageError("no extractor program: give -s STUB.exe");
    request.texts = {Option(parsed, "target"), Option(parsed, "caption"), Option(parsed, "title")};
    request.inputs = parsed.operands;
    request.cabinetPath = Option(parsed, "cab");
    if (parsed.options.count("cab") && request.cabinetPath.empty())
        throw UsageError("option --cab needs a file name");
    if (!request.cabinetPath.empty() && !request.inputs.empty())
        throw UsageError("give either INPUTs or --cab, not both");
    if (request.cabinetPath.empty() && request.inputs.empty())
        throw UsageError("nothing to pack: give INPUT files or folders, or --cab");
    if (parsed.options.count("no-compression")) {
        if (!request.cabinetPath.empty())
            throw UsageError("--no-compression does not apply to a cabinet taken as is");
        request.compression = Compression::None;
    }
    const PackSummary summary = Pack(request);
    out << request.outputPath << ": " << summary.files << (summary.files == 1 ? " file" : " files")
        << ", cabinet " << summary.cabinetSize << " bytes, " << summary.fileSize
        << " bytes in all\n";
    return kExitOk;
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

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        const bool inspect = !args.empty() && args[0] == "inspect";
        const ParsedArguments parsed =
            ParseArguments(std::vector<std::string>(args.begin() + (inspect ? 1 : 0), args.end()));
        if (parsed.options.count("help")) {
            out << kUsage;
            return kExitOk;
        }
        return inspect ? RunInspect(parsed, out) : RunPack(parsed, out);
    } catch (const UsageError& e) {
        err << "k4pack: " << e.what() << "\nTry 'k4pack --help' for more information.\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        err << "k4pack: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace k4pack
