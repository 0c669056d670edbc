// The branding options of the command line checked and turned into a Branding: every fault
// is a UsageError naming its option, found before anything is written.
#include "BrandingOptions.h"

#include <algorithm>
#include <array>

#include "FileIo.h"

namespace k4pack {
namespace {

// Option, version string it sets. The two versions also set the fixed part.
constexpr std::array<std::pair<const char*, const char*>, 6> kStringOptions{{
    {"product-name", "ProductName"}, {"company", "CompanyName"}, {"description", "FileDescription"},
    {"copyright", "LegalCopyright"}, {"product-version", "ProductVersion"}, {"file-version", "FileVersion"},
}};
// Texts the packer writes at most, in UTF-16 units: what Windows shows in a file's
// properties without cutting, and far inside the version resource's 64 KiB.
constexpr std::size_t kMaxVersionText = 255;
// An icon file larger than this is no icon a program carries.
constexpr std::uint64_t kMaxIconFile = 16u << 20;

const std::string* Find(const std::map<std::string, std::string>& options, const char* name) {
    const auto it = options.find(name);
    return it == options.end() ? nullptr : &it->second;
}

std::vector<IconImage> ReadIcon(const std::string& path) {
    try {
        const ReadableFile file(path);
        if (file.Size() > kMaxIconFile) throw PackError("over 16 MiB, no icon file");
        std::vector<std::uint8_t> bytes(file.Size());
        file.ReadAt(0, bytes);
        return ParseIconFile(bytes);
    } catch (const PackError& e) {
        throw UsageError("--icon " + path + ": " + e.what());
    }
}

}  // namespace

const std::vector<std::string>& BrandingOptionNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all{"icon", "execution-level"};
        for (const auto& [option, key] : kStringOptions) all.emplace_back(option);
        return all;
    }();
    return names;
}

Branding BrandingFromOptions(const std::map<std::string, std::string>& options) {
    Branding branding;
    if (const std::string* icon = Find(options, "icon")) branding.icon = ReadIcon(*icon);
    for (const auto& [option, key] : kStringOptions) {
        const std::string* text = Find(options, option);
        if (text == nullptr) continue;
        const std::string name = std::string("--") + option;
        std::u16string wide;
        try {
            wide = ResourceUtf16(*text);
        } catch (const PackError&) {
            throw UsageError(name + ": the text is not UTF-8");
        }
        if (wide.size() > kMaxVersionText)
            throw UsageError(name + ": " + std::to_string(wide.size()) + " characters; the version resource takes at most " +
                             std::to_string(kMaxVersionText));
        if (std::string(key).ends_with("Version")) {
            const std::optional<VersionNumber> number = ParseVersionNumber(*text);
            if (!number) throw UsageError(name + " takes a version a.b.c.d (numbers up to 65535), not \"" + *text + "\"");
            (std::string(key) == "FileVersion" ? branding.version.fileVersion : branding.version.productVersion) = number;
        }
        branding.version.strings.emplace_back(key, *text);
    }
    if (const std::string* level = Find(options, "execution-level")) {
        if (std::find(std::begin(kExecutionLevels), std::end(kExecutionLevels), *level) == std::end(kExecutionLevels))
            throw UsageError("--execution-level takes asInvoker, highestAvailable or requireAdministrator, not \"" +
                             *level + "\"");
        branding.executionLevel = *level;
    }
    return branding;
}

}  // namespace k4pack
