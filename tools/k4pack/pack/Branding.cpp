// Icon, version and manifest resources of the extractor program, changed as a whole list
// and written back by the resource section writer.
#include "Branding.h"

#include <algorithm>
#include <array>
#include <set>

#include "pe/Resources.h"

namespace k4pack {
namespace {

constexpr std::size_t kIconDirSize = 6;
constexpr std::size_t kIconFileEntrySize = 16;
constexpr std::size_t kGroupEntrySize = 14;
constexpr std::uint16_t kMainIcon = 1;     // the icon the system shows and the windows load
constexpr std::uint16_t kManifestId = 1;   // CREATEPROCESS_MANIFEST_RESOURCE_ID
constexpr std::uint16_t kVersionId = 1;
constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kBitmapInfoHeaderSize = 40;  // BITMAPINFOHEADER; V4 and V5 are longer

bool IsBitmap(std::span<const std::uint8_t> data) {
    if (data.size() < kBitmapInfoHeaderSize) return false;
    const std::uint32_t size = le::Read32(data.data());
    return size == kBitmapInfoHeaderSize || size == 108 || size == 124;
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

bool IsPng(std::span<const std::uint8_t> data) {
    return data.size() >= kPngSignature.size() && std::equal(kPngSignature.begin(), kPngSignature.end(), data.begin());
}

// The group's entries: (its description, the RT_ICON id it names).
std::vector<std::pair<IconImage, std::uint16_t>> ParseGroup(const std::vector<std::uint8_t>& group) {
    if (group.size() < kIconDirSize || le::Read16(group.data() + 2) != 1) throw PackError("icon group 1 is no icon group");
    const std::size_t count = le::Read16(group.data() + 4);
    if (group.size() < kIconDirSize + count * kGroupEntrySize) throw PackError("icon group 1 is cut short");
    std::vector<std::pair<IconImage, std::uint16_t>> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = group.data() + kIconDirSize + i * kGroupEntrySize;
        IconImage image{e[0], e[1], e[2], le::Read16(e + 4), le::Read16(e + 6), {}};
        image.data.resize(le::Read32(e + 8));
        entries.emplace_back(std::move(image), le::Read16(e + 12));
    }
    return entries;
}

Resource* Find(std::vector<Resource>& resources, std::uint16_t type, std::uint16_t number) {
    for (Resource& r : resources)
        if (r.type == ResourceId{type, {}} && r.name == ResourceId{number, {}}) return &r;
    return nullptr;
}

void ReplaceIcon(std::vector<Resource>& resources, const std::vector<IconImage>& icon) {
    Resource group{{kRtGroupIcon, {}}, {kMainIcon, {}}, 0, 0, {}};
    if (const Resource* old = FindResource(resources, kRtGroupIcon, kMainIcon)) {
        group.language = old->language;
        group.codePage = old->codePage;
        std::set<std::uint16_t> retired;
        for (const auto& [image, id] : ParseGroup(old->data)) retired.insert(id);
        std::erase_if(resources, [&](const Resource& r) {
            return (r.type.text.empty() && r.type.number == kRtIcon && r.name.text.empty() && retired.count(r.name.number)) ||
                   (r.type == group.type && r.name == group.name);
        });
    }
    std::set<std::uint16_t> taken;
    for (const Resource& r : resources)
        if (r.type == ResourceId{kRtIcon, {}} && r.name.text.empty()) taken.insert(r.name.number);
    Put16(group.data, 0);
    Put16(group.data, 1);
    Put16(group.data, static_cast<std::uint32_t>(icon.size()));
    std::uint16_t next = 1;
    for (const IconImage& image : icon) {
        while (taken.count(next)) ++next;
        taken.insert(next);
        group.data.insert(group.data.end(), {image.width, image.height, image.colorCount, 0});
        Put16(group.data, image.planes);
        Put16(group.data, image.bitCount);
        AppendLe32(group.data, static_cast<std::uint32_t>(image.data.size()));
        Put16(group.data, next);
        resources.push_back(Resource{{kRtIcon, {}}, {next, {}}, group.language, group.codePage, image.data});
    }
    resources.push_back(std::move(group));
}

// Where the level's value stands in the manifest: inside the requestedExecutionLevel
// element, between the quotes of its level attribute.
std::optional<std::pair<std::size_t, std::size_t>> LevelValue(const std::string& manifest) {
    const std::size_t element = manifest.find("<requestedExecutionLevel");
    if (element == std::string::npos) return std::nullopt;
    const std::size_t close = manifest.find('>', element);
    std::size_t at = element;
    while ((at = manifest.find("level", at + 1)) != std::string::npos && at < close) {
        std::size_t p = at + 5;
        while (p < close && manifest[p] == ' ') ++p;
        if (p >= close || manifest[p] != '=' || manifest[at - 1] != ' ') continue;
        for (++p; p < close && manifest[p] == ' '; ++p) {}
        const char quote = manifest[p];
        if (quote != '"' && quote != '\'') return std::nullopt;
        const std::size_t end = manifest.find(quote, p + 1);
        if (end == std::string::npos || end > close) return std::nullopt;
        return std::pair{p + 1, end - p - 1};
    }
    return std::nullopt;
}

void SetExecutionLevel(std::vector<Resource>& resources, const std::string& level) {
    Resource* manifest = Find(resources, kRtManifest, kManifestId);
    if (manifest == nullptr) throw PackError("the program has no manifest (resource 1 of type 24)");
    std::string text(manifest->data.begin(), manifest->data.end());
    const auto value = LevelValue(text);
    if (!value) throw PackError("the program's manifest asks for no execution level (requestedExecutionLevel)");
    text.replace(value->first, value->second, level);
    manifest->data.assign(text.begin(), text.end());
}

void DescribeIcon(const std::vector<Resource>& resources, ProgramResources& report) {
    const Resource* group = FindResource(resources, kRtGroupIcon, kMainIcon);
    if (group == nullptr) {
        report.faults.push_back("no icon 1 (the icon the program's windows load)");
        return;
    }
    for (const auto& [image, id] : ParseGroup(group->data)) {
        report.icon.push_back({image.width ? image.width : 256u, image.height ? image.height : 256u, image.bitCount,
                               image.data.size(), id});
        const Resource* found = FindResource(resources, kRtIcon, id);
        if (found == nullptr || found->data.size() != image.data.size())
            report.faults.push_back("icon 1 names image " + std::to_string(id) + ", which is missing or of another size");
    }
    if (report.icon.empty()) report.faults.push_back("icon 1 holds no image");
}

}  // namespace

std::vector<IconImage> ParseIconFile(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kIconDirSize || le::Read16(bytes.data()) != 0 || le::Read16(bytes.data() + 2) != 1)
        throw PackError("not an icon file (no icon directory)");
    const std::size_t count = le::Read16(bytes.data() + 4);
    if (count == 0) throw PackError("the icon file holds no image");
    if (bytes.size() < kIconDirSize + count * kIconFileEntrySize) throw PackError("the icon directory is cut short");
    std::vector<IconImage> images;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = bytes.data() + kIconDirSize + i * kIconFileEntrySize;
        const std::uint64_t size = le::Read32(e + 8), offset = le::Read32(e + 12);
        const std::string which = "image " + std::to_string(i + 1);
        if (size == 0 || offset > bytes.size() || size > bytes.size() - offset)
            throw PackError(which + " lies outside the icon file");
        IconImage image{e[0], e[1], e[2], le::Read16(e + 4), le::Read16(e + 6), {}};
        image.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
        // The group entry's planes and depth let the system pick an image; fill in what the
        // file leaves 0 from the image itself.
        if (IsPng(image.data)) {
            if (image.bitCount == 0) image.bitCount = 32;
        } else if (IsBitmap(image.data)) {
            if (image.bitCount == 0) image.bitCount = le::Read16(image.data.data() + 14);
        } else {
            throw PackError(which + " is neither a bitmap nor a PNG image");
        }
        if (image.planes == 0) image.planes = 1;
        images.push_back(std::move(image));
    }
    return images;
}

std::vector<std::uint8_t> ApplyBranding(std::span<const std::uint8_t> image, const Branding& branding) {
    std::vector<Resource> resources = ReadProgramResources(image);
    if (!branding.icon.empty()) ReplaceIcon(resources, branding.icon);
    const VersionChanges& version = branding.version;
    if (version.fileVersion || version.productVersion || !version.strings.empty()) {
        Resource* found = Find(resources, kRtVersion, kVersionId);
        if (found == nullptr) throw PackError("the program has no version resource");
        VersionNode root = ParseVersionResource(found->data);
        ChangeVersion(root, version);
        found->data = EncodeVersionResource(root);
    }
    if (!branding.executionLevel.empty()) SetExecutionLevel(resources, branding.executionLevel);
    return ReplaceResources(image, resources);
}

ProgramResources DescribeProgram(std::span<const std::uint8_t> image) {
    const std::vector<Resource> resources = ReadProgramResources(image);
    ProgramResources report;
    try {
        DescribeIcon(resources, report);
    } catch (const PackError& e) {
        report.faults.push_back(e.what());
    }
    if (const Resource* version = FindResource(resources, kRtVersion, kVersionId)) {
        try {
            report.version = DescribeVersion(ParseVersionResource(version->data));
        } catch (const PackError& e) {
            report.faults.push_back(std::string("version resource: ") + e.what());
        }
    } else {
        report.faults.push_back("no version resource (the About window's build line)");
    }
    if (const Resource* manifest = FindResource(resources, kRtManifest, kManifestId)) {
        const std::string text(manifest->data.begin(), manifest->data.end());
        if (const auto value = LevelValue(text)) report.executionLevel = text.substr(value->first, value->second);
    } else {
        report.faults.push_back("no manifest (the themed controls and the execution level)");
    }
    return report;
}

}  // namespace k4pack
