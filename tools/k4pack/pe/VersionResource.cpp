// VS_VERSIONINFO blocks: wLength, wValueLength, wType, the key (UTF-16, zero-terminated),
// padding to 4 bytes, the value (wValueLength characters for text, bytes otherwise),
// padding, then the children, each on a 4-byte boundary, within wLength.
#include "VersionResource.h"

#include <algorithm>

#include "PeFile.h"
#include "WindowsText.h"

namespace k4pack {
namespace {

constexpr std::size_t kBlockHeaderSize = 6;
constexpr std::size_t kMaxDepth = 8;  // the resource nests four deep
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::size_t kFixedSize = 52;
constexpr std::size_t kFileVersionField = 8;
constexpr std::size_t kProductVersionField = 16;

std::size_t Align4(std::size_t value) { return (value + 3) & ~std::size_t{3}; }

VersionNode ParseBlock(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t limit, std::size_t depth) {
    if (depth > kMaxDepth) throw PackError("version resource nested too deep");
    if (limit - at < kBlockHeaderSize) throw PackError("version resource block cut short");
    const std::size_t length = le::Read16(bytes.data() + at);
    if (length < kBlockHeaderSize || length > limit - at) throw PackError("version resource block of a wrong length");
    const std::size_t end = at + length;
    VersionNode node;
    const std::size_t valueLength = le::Read16(bytes.data() + at + 2);
    node.type = le::Read16(bytes.data() + at + 4);
    std::size_t p = at + kBlockHeaderSize;
    for (; p + 2 <= end && le::Read16(bytes.data() + p) != 0; p += 2)
        node.key += static_cast<char16_t>(le::Read16(bytes.data() + p));
    p = std::min(Align4(p + 2), end);
    // Writers disagree on whether a text's length counts characters or bytes: the block's
    // end bounds it either way.
    const std::size_t valueBytes = std::min(node.type == 1 ? valueLength * 2 : valueLength, end - p);
    node.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(p), bytes.begin() + static_cast<std::ptrdiff_t>(p + valueBytes));
    for (p = Align4(p + valueBytes); p < end; p = Align4(p)) {
        node.children.push_back(ParseBlock(bytes, p, end, depth + 1));
        p += le::Read16(bytes.data() + p);
    }
    return node;
}

void EncodeBlock(const VersionNode& node, std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    out.resize(start + kBlockHeaderSize, 0);
    for (char16_t c : node.key) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    out.resize(Align4(out.size() + 2), 0);
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const VersionNode& child : node.children) {
        out.resize(Align4(out.size()), 0);
        EncodeBlock(child, out);
    }
    const std::size_t length = out.size() - start;
    if (length > 0xFFFF) throw PackError("version resource over 64 KiB");
    const std::size_t valueLength = node.type == 1 ? node.value.size() / 2 : node.value.size();
    out[start] = static_cast<std::uint8_t>(length);
    out[start + 1] = static_cast<std::uint8_t>(length >> 8);
    out[start + 2] = static_cast<std::uint8_t>(valueLength);
    out[start + 3] = static_cast<std::uint8_t>(valueLength >> 8);
    out[start + 4] = static_cast<std::uint8_t>(node.type);
}

std::vector<std::uint8_t> TextValue(const std::string& utf8) {
    std::vector<std::uint8_t> value;
    for (char16_t c : ResourceUtf16(utf8) + u'\0') {
        value.push_back(static_cast<std::uint8_t>(c));
        value.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return value;
}

std::string TextOf(const std::vector<std::uint8_t>& value) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
        const auto c = static_cast<char16_t>(value[i] | value[i + 1] << 8);
        if (c == 0) break;
        text += c;
    }
    return ShownUtf16(text);
}

void SetNumber(std::vector<std::uint8_t>& fixed, std::size_t at, const VersionNumber& n) {
    StoreLe32(fixed, at, std::uint32_t{n[0]} << 16 | n[1]);
    StoreLe32(fixed, at + 4, std::uint32_t{n[2]} << 16 | n[3]);
}

VersionNumber GetNumber(const std::vector<std::uint8_t>& fixed, std::size_t at) {
    const std::uint32_t high = le::Read32(fixed.data() + at), low = le::Read32(fixed.data() + at + 4);
    return {static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
            static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
}

template <typename Node>
Node* Child(Node& node, const std::u16string& key) {
    for (Node& child : node.children)
        if (child.key == key) return &child;
    return nullptr;
}

}  // namespace

VersionNode ParseVersionResource(std::span<const std::uint8_t> bytes) {
    VersionNode root = ParseBlock(bytes, 0, bytes.size(), 0);
    if (root.key != u"VS_VERSION_INFO" || root.value.size() < kFixedSize || le::Read32(root.value.data()) != kFixedSignature)
        throw PackError("the version resource has no fixed part");
    return root;
}

std::vector<std::uint8_t> EncodeVersionResource(const VersionNode& root) {
    std::vector<std::uint8_t> out;
    EncodeBlock(root, out);
    return out;
}

std::optional<VersionNumber> ParseVersionNumber(const std::string& text) {
    VersionNumber number{};
    std::size_t part = 0, digits = 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '.';
        if (c >= '0' && c <= '9' && digits < 5) {
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
            ++digits;
        } else if (c == '.' && digits > 0 && value <= 0xFFFF && part < 4) {
            number[part++] = static_cast<std::uint16_t>(value);
            value = 0;
            digits = 0;
        } else {
            return std::nullopt;
        }
    }
    if (part != 4) return std::nullopt;
    return number;
}

std::string VersionText(const VersionNumber& n) {
    return std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[2]) + "." + std::to_string(n[3]);
}

void ChangeVersion(VersionNode& root, const VersionChanges& changes) {
    if (changes.fileVersion) SetNumber(root.value, kFileVersionField, *changes.fileVersion);
    if (changes.productVersion) SetNumber(root.value, kProductVersionField, *changes.productVersion);
    VersionNode* tables = Child(root, u"StringFileInfo");
    if (tables == nullptr || tables->children.empty()) {
        if (changes.strings.empty()) return;
        throw PackError("the program's version resource has no string table");
    }
    for (VersionNode& table : tables->children)
        for (const auto& [key, text] : changes.strings) {
            VersionNode* string = Child(table, ResourceUtf16(key));
            if (string == nullptr) string = &table.children.emplace_back(VersionNode{ResourceUtf16(key), 1, {}, {}});
            string->type = 1;
            string->value = TextValue(text);
        }
}

VersionReport DescribeVersion(const VersionNode& root) {
    VersionReport report;
    report.fileVersion = GetNumber(root.value, kFileVersionField);
    report.productVersion = GetNumber(root.value, kProductVersionField);
    const VersionNode* tables = Child(root, u"StringFileInfo");
    if (tables == nullptr || tables->children.empty()) return report;
    const VersionNode& table = tables->children.front();
    report.table = ShownUtf16(table.key);
    for (const VersionNode& string : table.children)
        report.strings.emplace_back(ShownUtf16(string.key), TextOf(string.value));
    return report;
}

std::u16string ResourceUtf16(const std::string& text) {
    std::optional<std::u16string> utf16 = Utf16FromUtf8(text);
    if (!utf16) throw PackError("not UTF-8 text");
    return std::move(*utf16);
}

}  // namespace k4pack
