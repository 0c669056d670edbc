// Writer and reader of the appended block; the only place that knows its byte layout.
#include "PayloadLayout.h"

#include <array>
#include <cstring>
#include <optional>

#include "Cabinet.h"
#include "Signature.h"

namespace k4pack {
namespace {

constexpr std::uint32_t kTextFieldCount = 3;
constexpr std::uint32_t kLengthFieldSize = 4;
constexpr std::array<std::uint8_t, 4> kCabinetSignature{'M', 'S', 'C', 'F'};
// CFHEADER.cbCabinet: the cabinet's own length, which tells it from the padding behind it.
constexpr std::uint64_t kCabinetSizeField = 8;

void CheckText(const char* what, const std::string& text) {
    if (text.size() > kMaxTextLength)
        throw PackError(std::string(what) + " is " + std::to_string(text.size()) +
                        " bytes long; the extractor accepts at most " +
                        std::to_string(kMaxTextLength));
}

// Reads one length field and its text at `offset` inside a block ending at `blockEnd`.
std::string ReadText(const ByteSource& file, std::uint64_t& offset, std::uint64_t blockEnd,
                     int number) {
    const std::string which = "text " + std::to_string(number);
    if (blockEnd - offset < kLengthFieldSize)
        throw InvalidPayload("block too short for the length of " + which);
    std::array<std::uint8_t, 4> field{};
    file.ReadAt(offset, field);
    offset += kLengthFieldSize;
    const auto length = static_cast<std::int32_t>(LoadLe32(field.data()));
    if (length < 0 || static_cast<std::size_t>(length) > kMaxTextLength)
        throw InvalidPayload("length of " + which + " is " + std::to_string(length) +
                             ", outside 0 to 255");
    if (blockEnd - offset < static_cast<std::uint64_t>(length))
        throw InvalidPayload(which + " runs beyond the block");
    std::string text(static_cast<std::size_t>(length), '\0');
    file.ReadAt(offset, std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size()));
    offset += static_cast<std::uint64_t>(length);
    return text;
}

// Reads the block whose trailer ends at `end` (the end of the file, or in front of a
// certificate table).
PayloadContents ReadPayloadEndingAt(const ByteSource& file, std::uint64_t end) {
    if (end < kTrailerSize) throw InvalidPayload("file is shorter than the 4-byte trailer");
    std::array<std::uint8_t, 4> trailer{};
    file.ReadAt(end - kTrailerSize, trailer);
    const auto blockLength = static_cast<std::int32_t>(LoadLe32(trailer.data()));
    if (blockLength < static_cast<std::int32_t>(kTextFieldCount * kLengthFieldSize))
        throw InvalidPayload("trailer holds " + std::to_string(blockLength) +
                             ", less than the 12 bytes of the length fields");
    if (static_cast<std::uint64_t>(blockLength) > end - kTrailerSize)
        throw InvalidPayload("trailer holds " + std::to_string(blockLength) +
                             ", more than the file has in front of it");

    PayloadContents result;
    PayloadLayout& layout = result.layout;
    layout.blockLength = static_cast<std::uint32_t>(blockLength);
    layout.payloadEnd = end;
    layout.fileSize = file.Size();
    layout.imageSize = end - kTrailerSize - layout.blockLength;
    const std::uint64_t blockEnd = end - kTrailerSize;
    std::uint64_t offset = layout.imageSize;
    result.texts.targetDirectory = ReadText(file, offset, blockEnd, 1);
    result.texts.windowCaption = ReadText(file, offset, blockEnd, 2);
    result.texts.titleLine = ReadText(file, offset, blockEnd, 3);
    layout.cabinetOffset = offset;
    const std::uint64_t available = blockEnd - offset;  // the cabinet and any padding

    std::array<std::uint8_t, 4> field{};
    if (available < field.size()) throw InvalidPayload("no room for a cabinet after the texts");
    file.ReadAt(offset, field);
    if (field != kCabinetSignature)
        throw InvalidPayload("the data after the texts is not a cabinet (no \"MSCF\")");
    // A length the header cannot mean (or one beyond the block, a truncated cabinet) leaves
    // the whole rest as the cabinet, for the header check to judge.
    layout.cabinetSize = available;
    if (available >= kCabinetSizeField + field.size()) {
        file.ReadAt(offset + kCabinetSizeField, field);
        const std::uint64_t ownSize = LoadLe32(field.data());
        if (ownSize >= kCabinetHeaderSize && ownSize <= available) layout.cabinetSize = ownSize;
    }
    layout.paddingSize = available - layout.cabinetSize;
    return result;
}

}  // namespace

void CheckPayloadTexts(const PayloadTexts& texts) {
    CheckText("the target directory", texts.targetDirectory);
    CheckText("the window caption", texts.windowCaption);
    CheckText("the title line", texts.titleLine);
}

PayloadLayout PlanPayload(std::uint64_t imageSize, const PayloadTexts& texts,
                          std::uint64_t cabinetSize) {
    CheckPayloadTexts(texts);
    const std::uint64_t textFields = kTextFieldCount * kLengthFieldSize +
                                     texts.targetDirectory.size() + texts.windowCaption.size() +
                                     texts.titleLine.size();
    // Each term is below 2^63 here (sizes of real files), so the sum cannot wrap.
    const std::uint64_t unpadded = imageSize + textFields + cabinetSize + kTrailerSize;
    const std::uint64_t padding = (kFileAlignment - unpadded % kFileAlignment) % kFileAlignment;
    const std::uint64_t fileSize = unpadded + padding;
    if (fileSize > kMaxFileSize)
        throw PackError("the self-extractor would be " + std::to_string(fileSize) +
                        " bytes; the extractor reads at most 2 GiB (" +
                        std::to_string(kMaxFileSize) + " bytes)");
    PayloadLayout layout;
    layout.imageSize = imageSize;
    layout.cabinetOffset = imageSize + textFields;
    layout.cabinetSize = cabinetSize;
    layout.paddingSize = padding;
    layout.blockLength = static_cast<std::uint32_t>(textFields + cabinetSize + padding);
    layout.payloadEnd = fileSize;
    layout.fileSize = fileSize;
    return layout;
}

std::vector<std::uint8_t> EncodeTextFields(const PayloadTexts& texts) {
    CheckPayloadTexts(texts);
    std::vector<std::uint8_t> out;
    for (const std::string* text :
         {&texts.targetDirectory, &texts.windowCaption, &texts.titleLine}) {
        AppendLe32(out, static_cast<std::uint32_t>(text->size()));
        out.insert(out.end(), text->begin(), text->end());
    }
    return out;
}

void WritePayload(ByteSink& out, const PayloadLayout& layout, const PayloadTexts& texts,
                  const ByteSource& cabinet) {
    const std::vector<std::uint8_t> fields = EncodeTextFields(texts);
    if (layout.cabinetSize != cabinet.Size() || layout.paddingSize >= kFileAlignment ||
        layout.blockLength != fields.size() + cabinet.Size() + layout.paddingSize)
        throw PackError("payload layout does not match its texts and cabinet");
    out.Write(fields);
    CopyBytes(cabinet, 0, cabinet.Size(), out);
    out.Write(std::vector<std::uint8_t>(layout.paddingSize, 0));
    std::vector<std::uint8_t> trailer;
    AppendLe32(trailer, layout.blockLength);
    out.Write(trailer);
}

PayloadContents ReadPayload(const ByteSource& file) {
    SourceReadAt reader(file);
    const std::optional<CertificateTable> table = peimage::FindCertificateTable(reader);
    if (const auto end = table ? peimage::TrailerEndBefore(reader, *table) : std::nullopt) {
        PayloadContents found = ReadPayloadEndingAt(file, *end);
        found.layout.certificateTableOffset = table->offset;
        found.layout.certificateTableSize = table->size;
        return found;
    }
    try {
        return ReadPayloadEndingAt(file, file.Size());
    } catch (const InvalidPayload& e) {
        if (!table) throw;
        throw InvalidPayload(std::string(e.what()) +
                             " (the file is signed, and no payload ends in front of its"
                             " certificate table)");
    }
}

}  // namespace k4pack
