// inspect --json: the inspect report as one JSON object with stable field names.
#include "Cabinet.h"
#include "Inspect.h"
#include "Json.h"
#include "Signature.h"

namespace k4pack {
namespace {

// "YYYY-MM-DD hh:mm:ss" as listed becomes "YYYY-MM-DDThh:mm:ss" (local time, no zone).
std::string IsoTime(const std::string& listed) {
    std::string iso = listed;
    if (iso.size() == 19) iso[10] = 'T';
    return iso;
}

void WriteTexts(JsonWriter& json, const PayloadTexts& texts) {
    json.Key("texts");
    json.BeginObject();
    json.Key("target_directory");
    json.String(texts.targetDirectory);
    json.Key("window_caption");
    json.String(texts.windowCaption);
    json.Key("title_line");
    json.String(texts.titleLine);
    json.EndObject();
}

void WriteLayout(JsonWriter& json, const ReadableFile& file, const PayloadLayout& layout) {
    json.Key("stub");
    json.BeginObject();
    json.Key("kind");
    json.String(PeMachineName(ReadPeMachine(file)));
    json.Key("size");
    json.Number(layout.imageSize);
    json.EndObject();
    json.Key("cabinet");
    json.BeginObject();
    json.Key("offset");
    json.Number(layout.cabinetOffset);
    json.Key("size");
    json.Number(layout.cabinetSize);
    json.EndObject();
    json.Key("padding");
    json.Number(layout.paddingSize);
    json.Key("signature");
    json.BeginObject();
    json.Key("present");
    json.Bool(layout.certificateTableSize != 0);
    json.Key("offset");
    json.Number(layout.certificateTableOffset);
    json.Key("size");
    json.Number(layout.certificateTableSize);
    json.EndObject();
}

void WriteMember(JsonWriter& json, const CabinetEntry& entry) {
    json.BeginObject();
    json.Key("name");
    json.String(entry.name);
    json.Key("size");
    json.Number(entry.size);
    json.Key("time");
    json.String(IsoTime(entry.modified));
    json.Key("folder");
    json.Number(entry.folder);
    json.Key("compression");
    json.String(entry.compression);
    json.EndObject();
}

}  // namespace

void InspectJson(const std::string& path, std::ostream& out) {
    const ReadableFile file(path);
    const PayloadContents payload = ReadValidPayload(file);
    const std::vector<CabinetEntry> entries = ListCabinet(path, payload.layout.cabinetOffset);
    JsonWriter json(out);
    json.BeginObject();
    json.Key("file");
    json.BeginObject();
    json.Key("path");
    json.String(path);
    json.Key("size");
    json.Number(file.Size());
    json.EndObject();
    WriteTexts(json, payload.texts);
    WriteLayout(json, file, payload.layout);
    json.Key("members");
    json.BeginArray();
    for (const CabinetEntry& entry : entries)
        WriteMember(json, entry);
    json.EndArray();
    json.EndObject();
}

}  // namespace k4pack
