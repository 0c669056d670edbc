// Name rules for cabinet entries, judged the way Windows will read the names on extraction.
#include "ArchiveNames.h"

#include <unordered_map>
#include <unordered_set>

#include "K4MemberNames.h"
#include "K4PayloadBlock.h"
#include "PackError.h"

namespace k4pack {
namespace {

std::string CharacterProblem(unsigned char c, NameBytes bytes) {
    if (c < 0x20) return "contains a control character";
    if (c == ':') return "contains a colon (a drive or a data stream on Windows)";
    if (c == '/') return "contains a forward slash, which Windows reads as a folder separator";
    if (membername::IsForbiddenCharacter(static_cast<char>(c)))
        return std::string("contains '") + static_cast<char>(c) +
               "', which Windows does not allow in names";
    if (c >= 0x80 && bytes == NameBytes::AsciiOnly)
        return "is not plain ASCII; the extractor creates names in the Windows code page";
    return {};
}

std::string ComponentProblem(std::string_view component) {
    if (component.empty()) return "has an empty folder name";
    if (component == "." || component == "..")
        return "has a '" + std::string(component) + "' component";
    if (component.back() == '.' || component.back() == ' ')
        return "has a name ending in a dot or space, which Windows drops";
    if (membername::IsReservedDeviceName(component))
        return "uses the reserved device name '" + std::string(component) + "'";
    return {};
}

}  // namespace

std::string ExtractPrefix(std::string_view targetDirectory) {
    if (targetDirectory.empty()) return payloadblock::DefaultTarget;
    if (targetDirectory == "\\") return {};
    std::string prefix(targetDirectory);
    if (prefix.back() != '\\') prefix += '\\';
    return prefix;
}

std::string NameProblem(std::string_view name, NameBytes bytes) {
    if (name.empty()) return "is empty";
    if (name.front() == '\\') return "is an absolute path";
    for (unsigned char c : name) {
        std::string problem = CharacterProblem(c, bytes);
        if (!problem.empty()) return problem;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = name.find('\\', start);
        std::string problem = ComponentProblem(name.substr(start, end - start));
        if (!problem.empty()) return problem;
        if (end == std::string_view::npos) return {};
        start = end + 1;
    }
}

void CheckArchiveNames(const std::vector<std::string>& names, std::string_view targetDirectory,
                       NameBytes bytes) {
    if (names.size() > kMaxCabinetFiles)
        throw PackError(std::to_string(names.size()) + " files; a cabinet holds at most " +
                        std::to_string(kMaxCabinetFiles));
    const std::size_t prefixLength = ExtractPrefix(targetDirectory).size();
    std::unordered_map<std::string, std::string> files;  // upper case -> name as given
    std::unordered_set<std::string> folders;
    for (const std::string& name : names) {
        const std::string problem = NameProblem(name, bytes);
        if (!problem.empty()) throw PackError("\"" + name + "\" " + problem);
        if (prefixLength + name.size() > kMaxExtractPath)
            throw PackError("\"" + name + "\" is too long: with the target directory \"" +
                            ExtractPrefix(targetDirectory) + "\" its path has " +
                            std::to_string(prefixLength + name.size()) +
                            " characters, more than the extractor's " +
                            std::to_string(kMaxExtractPath));
        const std::string upper = membername::FoldAscii(name);
        if (auto [it, added] = files.emplace(upper, name); !added)
            throw PackError("\"" + it->second + "\" and \"" + name +
                            "\" are the same name on Windows, which ignores letter case");
        if (folders.count(upper))
            throw PackError("\"" + name + "\" is a file and also a folder of another name");
        for (std::size_t pos = upper.find('\\'); pos != std::string::npos;
             pos = upper.find('\\', pos + 1)) {
            const std::string folder = upper.substr(0, pos);
            if (files.count(folder))
                throw PackError("\"" + name + "\" needs a folder where another name is a file");
            folders.insert(folder);
        }
    }
}

}  // namespace k4pack
