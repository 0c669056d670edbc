// The packer's names: the extractor's rules (cabfmt) applied before a cabinet is written,
// the refusals worded for the packer's user.
#include "ArchiveNames.h"

#include <algorithm>

#include "K4PayloadBlock.h"
#include "PackError.h"

namespace k4pack {
namespace {

bool PlainAscii(std::string_view name) {
    return std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Why the extractor's rules refuse `name`: its length under the target directory, or what
// they refuse in any name.
std::string Refusal(const std::string& name, std::string_view targetDirectory) {
    const std::string prefix = ExtractPrefix(targetDirectory);
    if (prefix.size() + name.size() > kMaxExtractPath)
        return "\"" + name + "\" is too long: with the target directory \"" + prefix + "\" its path has " +
               std::to_string(prefix.size() + name.size()) + " characters, more than the extractor's " +
               std::to_string(kMaxExtractPath);
    return "\"" + name +
           "\" is a name the extractor refuses to create: absolute or with a drive, a colon, a '.' or "
           "'..' part, a reserved device name, a character Windows does not allow, or a part ending "
           "in a dot or space";
}

}  // namespace

std::string ExtractPrefix(std::string_view targetDirectory) {
    if (targetDirectory.empty()) return payloadblock::DefaultTarget;
    if (targetDirectory == "\\") return {};
    std::string prefix(targetDirectory);
    if (prefix.back() != '\\') prefix += '\\';
    return prefix;
}

cabfmt::Options ExtractorCheckOptions(std::string_view targetDirectory) {
    const std::size_t used = ExtractPrefix(targetDirectory).size();
    cabfmt::Options options;
    options.maxNameLength = used < kMaxExtractPath ? kMaxExtractPath - used : 0;
    options.maxUtfNameLength = options.maxNameLength;
    return options;
}

void CheckArchiveNames(const std::vector<std::string>& names, std::string_view targetDirectory) {
    if (names.size() > kMaxCabinetFiles)
        throw PackError(std::to_string(names.size()) + " files; a cabinet holds at most " +
                        std::to_string(kMaxCabinetFiles));
    const cabfmt::Options options = ExtractorCheckOptions(targetDirectory);
    std::vector<cabfmt::Member> members;
    members.reserve(names.size());
    for (const std::string& name : names) {
        if (!PlainAscii(name))
            throw PackError("\"" + name + "\" is not plain ASCII; the extractor creates names in the Windows code page");
        cabfmt::Member member;
        member.name = name;
        if (!cabfmt::NameIsSafe(member, options)) throw PackError(Refusal(name, targetDirectory));
        members.push_back(std::move(member));
    }
    const std::size_t clash = cabfmt::DuplicateName(members, options);
    if (clash < names.size())
        throw PackError("\"" + names[clash] +
                        "\" meets another name on Windows: the same name in another letter case, or a file "
                        "where another name needs a folder");
}

}  // namespace k4pack
