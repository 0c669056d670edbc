// The extractor program's resources read back from a self-extractor's first part.
#include "InspectProgram.h"

#include "pe/PeFile.h"
#include "pe/Signature.h"

namespace k4pack {
namespace {

// Larger than any extractor program; a bigger program part is not read into memory.
constexpr std::uint64_t kMaxProgramSize = 64u << 20;

std::vector<std::uint8_t> ProgramBytes(const ReadableFile& file, const PayloadLayout& layout) {
    if (layout.imageSize > kMaxProgramSize) throw PackError("a program part over 64 MiB");
    std::vector<std::uint8_t> bytes(layout.imageSize);
    file.ReadAt(0, bytes);
    return bytes;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::optional<ProgramResources> ReadProgramPart(const ReadableFile& file, const PayloadLayout& layout) {
    try {
        return DescribeProgram(ProgramBytes(file, layout));
    } catch (const PackError&) {
        return std::nullopt;
    }
}

void PrintProgramPart(const ReadableFile& file, const PayloadLayout& layout, std::ostream& out) {
    const std::optional<ProgramResources> program = ReadProgramPart(file, layout);
    if (!program) return;
    out << "icon:             " << program->icon.size() << (program->icon.size() == 1 ? " image" : " images");
    const char* separator = ": ";
    for (const IconEntry& image : program->icon) {
        out << separator << image.width << "x" << image.height << " " << image.bitCount << "-bit";
        separator = ", ";
    }
    out << "\n";
    if (const auto& version = program->version) {
        out << "version:          file " << VersionText(version->fileVersion) << ", product "
            << VersionText(version->productVersion) << ", strings " << version->table << "\n";
        for (const auto& [key, value] : version->strings)
            out << "  " << key << ":" << std::string(key.size() < 18 ? 18 - key.size() : 1, ' ') << Quoted(value) << "\n";
    }
    out << "execution level:  " << (program->executionLevel.empty() ? "none asked for" : program->executionLevel) << "\n";
}

void WriteProgramPartJson(JsonWriter& json, const ReadableFile& file, const PayloadLayout& layout) {
    const std::optional<ProgramResources> program = ReadProgramPart(file, layout);
    if (!program) return;
    json.BeginObject("program");
    json.BeginArray("icon");
    for (const IconEntry& image : program->icon) {
        json.BeginObject();
        json.NumberField("width", image.width);
        json.NumberField("height", image.height);
        json.NumberField("bits", image.bitCount);
        json.NumberField("size", image.size);
        json.EndObject();
    }
    json.EndArray();
    if (const auto& version = program->version) {
        json.BeginObject("version");
        json.StringField("file", VersionText(version->fileVersion));
        json.StringField("product", VersionText(version->productVersion));
        json.StringField("table", version->table);
        json.BeginObject("strings");
        for (const auto& [key, value] : version->strings) json.StringField(key, value);
        json.EndObject();
        json.EndObject();
    }
    json.StringField("execution_level", program->executionLevel);
    json.EndObject();
}

void CheckProgramPart(const ReadableFile& file, const PayloadLayout& layout, std::vector<std::string>& faults) {
    const std::optional<std::uint16_t> machine = ReadPeMachine(file);
    if (machine != kMachineI386 && machine != kMachineAmd64) return;
    try {
        const std::vector<std::uint8_t> bytes = ProgramBytes(file, layout);
        const PeHeaders pe = ReadPeHeaders(bytes);
        if (pe.RawEnd() > bytes.size()) faults.push_back("program: its sections run into the payload");
        for (const std::string& fault : DescribeProgram(bytes).faults) faults.push_back("program: " + fault);
    } catch (const PackError& e) {
        faults.push_back(std::string("program: ") + e.what());
    }
}

}  // namespace k4pack
