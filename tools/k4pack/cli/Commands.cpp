// pack, inspect and verify as the command line runs them.
#include "Commands.h"

#include <algorithm>

#include "BrandingOptions.h"
#include "inspect/Inspect.h"
#include "pack/Packer.h"
#include "inspect/Verify.h"

namespace k4pack {
namespace {

std::string Option(const ParsedArguments& parsed, const std::string& name) {
    auto it = parsed.options.find(name);
    return it == parsed.options.end() ? std::string() : it->second;
}

// Refuses any option but `allowed` (and --help, handled before).
void OnlyOptions(const ParsedArguments& parsed, const char* command,
                 std::initializer_list<std::string> allowed, const std::vector<std::string>& more = {}) {
    for (const auto& [name, value] : parsed.options)
        if (name != "help" && std::find(allowed.begin(), allowed.end(), name) == allowed.end() &&
            std::find(more.begin(), more.end(), name) == more.end())
            throw UsageError(std::string(command) + " does not take --" + name);
}

void ChooseStub(const ParsedArguments& parsed, PackRequest& request) {
    request.stubPath = Option(parsed, "stub");
    if (!parsed.options.count("arch")) return;
    if (parsed.options.count("stub")) throw UsageError("give either -s STUB.exe or --arch, not both");
    const std::optional<StubArch> arch = ParseArch(Option(parsed, "arch"));
    if (!arch) throw UsageError("--arch takes i686 or x86_64, not \"" + Option(parsed, "arch") + "\"");
    request.arch = *arch;
}

void ChooseInputs(const ParsedArguments& parsed, PackRequest& request) {
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
    if (parsed.options.count("threads")) {
        const std::string value = Option(parsed, "threads");
        if (value.empty() || value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(value) < 1 || std::stoi(value) > kMaxThreads)
            throw UsageError("--threads takes a number from 1 to " + std::to_string(kMaxThreads) + ", not \"" + value + "\"");
        request.threads = static_cast<unsigned>(std::stoi(value));
    }
}

// --run's command, its program still to be found among the members; --run-temporary
// only says where a command runs.
void ChooseRun(const ParsedArguments& parsed, PackRequest& request) {
    const bool temporary = parsed.options.count("run-temporary") != 0;
    if (!parsed.options.count("run")) {
        if (temporary) throw UsageError("--run-temporary needs --run COMMAND");
        return;
    }
    request.run = ParseRunCommand(Option(parsed, "run"), temporary);
}

}  // namespace

int RunPack(const ParsedArguments& parsed, const Environment& env, std::ostream& out,
            std::ostream& err) {
    OnlyOptions(parsed, "packing", {"output", "stub", "arch", "target", "caption", "title", "cab",
                                    "no-compression", "threads", "quiet", "run", "run-temporary"},
                BrandingOptionNames());
    PackRequest request;
    request.outputPath = Option(parsed, "output");
    if (request.outputPath.empty()) throw UsageError("no output file: give -o OUT.exe");
    ChooseStub(parsed, request);
    request.texts = {Option(parsed, "target"), Option(parsed, "caption"), Option(parsed, "title")};
    ChooseInputs(parsed, request);
    ChooseRun(parsed, request);
    request.branding = BrandingFromOptions(parsed.options);
    request.sourceDateEpoch = ParseSourceDateEpoch(env.sourceDateEpoch);
    if (env.stderrIsTerminal && !parsed.options.count("quiet")) request.progress = &err;
    const PackSummary summary = Pack(request);
    for (const std::string& path : summary.leftOut)
        err << "k4pack: " << path << ": left out, it is the output file\n";
    out << request.outputPath << ": " << summary.files << (summary.files == 1 ? " file" : " files")
        << ", cabinet " << summary.cabinetSize << " bytes, " << summary.fileSize
        << " bytes in all\n";
    return kExitOk;
}

int RunInspect(const ParsedArguments& parsed, std::ostream& out) {
    OnlyOptions(parsed, "inspect", {"json"});
    if (parsed.operands.size() != 1) throw UsageError("inspect needs exactly one FILE");
    if (parsed.options.count("json"))
        InspectJson(parsed.operands[0], out);
    else
        Inspect(parsed.operands[0], out);
    return kExitOk;
}

int RunVerify(const ParsedArguments& parsed, const Environment& env, std::ostream& out,
              std::ostream& err) {
    OnlyOptions(parsed, "verify", {});
    if (parsed.operands.empty()) throw UsageError("verify needs a FILE");
    VerifyRequest request;
    request.path = parsed.operands[0];
    request.sources.assign(parsed.operands.begin() + 1, parsed.operands.end());
    request.sourceDateEpoch = ParseSourceDateEpoch(env.sourceDateEpoch);
    const VerifyReport report = Verify(request);
    for (const std::string& fault : report.faults)
        err << "k4pack: verify: " << fault << "\n";
    if (!report.faults.empty()) {
        err << "k4pack: verify: " << request.path << ": " << report.faults.size()
            << (report.faults.size() == 1 ? " fault\n" : " faults\n");
        return kExitFailure;
    }
    out << request.path << ": verified, " << report.members
        << (report.members == 1 ? " member, " : " members, ") << report.bytes << " bytes"
        << (request.sources.empty() ? "" : ", equal to the sources") << "\n";
    return kExitOk;
}

}  // namespace k4pack
