// Writer and reader of the appended block; the only place that knows its byte layout.
#include "PayloadLayout.h"

#include <array>
#include <cstring>

namespace k4pack {
namespace {

constexpr std::uint32_t kTextFieldCount = 3;
constexpr std::uint32_t kLengthFieldSize = 4;
constexpr std::array<std::uint8_t, 4> kCabinetSignature{'M', 'S', 'C', 'F'};

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
    const std::uint64_t fileSize = imageSize + textFields + cabinetSize + kTrailerSize;
    if (fileSize > kMaxFileSize)
        throw PackError("the self-extractor would be " + std::to_string(fileSize) +
                        " bytes; the extractor reads at most 2 GiB (" +
                        std::to_string(kMaxFileSize) + " bytes)");
    PayloadLayout layout;
    layout.imageSize = imageSize;
    layout.cabinetOffset = imageSize + textFields;
    layout.cabinetSize = cabinetSize;
    layout.blockLength = static_cast<std::uint32_t>(textFields + cabinetSize);
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
    if (layout.cabinetSize != cabinet.Size() ||
        layout.blockLength != fields.size() + cabinet.Size())
        throw PackError("payload layout does not match its texts and cabinet");
    out.Write(fields);
    CopyBytes(cabinet, 0, cabinet.Size(), out);
    std::vector<std::uint8_t> trailer;
    AppendLe32(trailer, layout.blockLength);
    out.Write(trailer);
}

PayloadContents ReadPayload(const ByteSource& file) {
    const std::uint64_t size = file.Size();
    if (size < kTrailerSize) throw InvalidPayload("file is shorter than the 4-byte trailer");
    std::array<std::uint8_t, 4> trailer{};
    file.ReadAt(size - kTrailerSize, trailer);
    const auto blockLength = static_cast<std::int32_t>(LoadLe32(trailer.data()));
    if (blockLength < static_cast<std::int32_t>(kTextFieldCount * kLengthFieldSize))
        throw InvalidPayload("trailer holds " + std::to_string(blockLength) +
                             ", less than the 12 bytes of the length fields");
    if (static_cast<std::uint64_t>(blockLength) > size - kTrailerSize)
        throw InvalidPayload("trailer holds " + std::to_string(blockLength) +
                             ", more than the file has in front of it");

    PayloadContents result;
    PayloadLayout& layout = result.layout;
    layout.blockLength = static_cast<std::uint32_t>(blockLength);
    layout.fileSize = size;
    layout.imageSize = size - kTrailerSize - layout.blockLength;
    const std::uint64_t blockEnd = size - kTrailerSize;
    std::uint64_t offset = layout.imageSize;
    result.texts.targetDirectory = ReadText(file, offset, blockEnd, 1);
    result.texts.windowCaption = ReadText(file, offset, blockEnd, 2);
    result.texts.titleLine = ReadText(file, offset, blockEnd, 3);
    layout.cabinetOffset = offset;
    layout.cabinetSize = blockEnd - offset;

    std::array<std::uint8_t, 4> signature{};
    if (layout.cabinetSize < signature.size())
        throw InvalidPayload("no room for a cabinet after the texts");
    file.ReadAt(offset, signature);
    if (signature != kCabinetSignature)
        throw InvalidPayload("the data after the texts is not a cabinet (no \"MSCF\")");
    return result;
}

}  // namespace k4pack
