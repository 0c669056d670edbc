// inspect --json: the inspect report as one JSON object with stable field names.
#include "cabinet/Cabinet.h"
#include "Inspect.h"
#include "InspectProgram.h"
#include "Json.h"
#include "pe/Signature.h"

namespace k4pack {
namespace {

// "YYYY-MM-DD hh:mm:ss" as listed becomes "YYYY-MM-DDThh:mm:ss" (local time, no zone).
std::string IsoTime(const std::string& listed) {
    std::string iso = listed;
    if (iso.size() == 19) iso[10] = 'T';
    return iso;
}

void WriteTexts(JsonWriter& json, const PayloadTexts& texts) {
    json.BeginObject("texts");
    json.StringField("target_directory", texts.targetDirectory);
    json.StringField("window_caption", texts.windowCaption);
    json.StringField("title_line", texts.titleLine);
    json.EndObject();
}

void WriteLayout(JsonWriter& json, const ReadableFile& file, const PayloadLayout& layout) {
    json.BeginObject("stub");
    json.StringField("kind", PeMachineName(ReadPeMachine(file)));
    json.NumberField("size", layout.imageSize);
    json.EndObject();
    json.BeginObject("cabinet");
    json.NumberField("offset", layout.cabinetOffset);
    json.NumberField("size", layout.cabinetSize);
    json.EndObject();
    json.NumberField("padding", layout.paddingSize);
    json.BeginObject("signature");
    json.BoolField("present", layout.certificateTableSize != 0);
    json.NumberField("offset", layout.certificateTableOffset);
    json.NumberField("size", layout.certificateTableSize);
    json.EndObject();
    json.BeginObject("sum");
    json.BoolField("present", layout.sumOffset != 0);
    json.NumberField("offset", layout.sumOffset);
    json.NumberField("covered", layout.sum.cabinetSize);
    json.NumberField("crc32", layout.sum.crc);
    json.EndObject();
}

// "run": the command, or null for an archive without a run record.
void WriteRun(JsonWriter& json, const std::optional<RunCommand>& run, const PayloadLayout& layout) {
    if (!run) {
        json.Key("run");
        json.Null();
        return;
    }
    json.BeginObject("run");
    json.StringField("program", run->program);
    json.StringField("arguments", run->arguments);
    json.BoolField("temporary", run->temporary);
    json.NumberField("offset", layout.runOffset);
    json.NumberField("size", layout.runSize);
    json.EndObject();
}

void WriteMember(JsonWriter& json, const CabinetEntry& entry) {
    json.BeginObject();
    json.StringField("name", entry.name);
    json.NumberField("size", entry.size);
    json.StringField("time", IsoTime(entry.modified));
    json.NumberField("folder", entry.folder);
    json.StringField("compression", entry.compression);
    json.EndObject();
}

}  // namespace

void InspectJson(const std::string& path, std::ostream& out) {
    const ReadableFile file(path);
    const PayloadContents payload = ReadValidPayload(file);
    const std::vector<CabinetEntry> entries = ListCabinet(path, payload.layout.cabinetOffset);
    JsonWriter json(out);
    json.BeginObject();
    json.BeginObject("file");
    json.StringField("path", path);
    json.NumberField("size", file.Size());
    json.EndObject();
    WriteTexts(json, payload.texts);
    WriteLayout(json, file, payload.layout);
    WriteRun(json, payload.run, payload.layout);
    WriteProgramPartJson(json, file, payload.layout);
    json.BeginArray("members");
    for (const CabinetEntry& entry : entries)
        WriteMember(json, entry);
    json.EndArray();
    json.EndObject();
}

}  // namespace k4pack
