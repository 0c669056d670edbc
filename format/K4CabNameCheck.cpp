// The check's name rules: each member's name one that may be created, and no two
// members landing in one file (names compared as the file system compares them, and
// no member's name standing for a folder that another member needs).
#include <algorithm>
#include "K4CabFormatDetail.h"
#include "K4MemberNames.h"

namespace cabfmt {

bool NameIsSafe(const Member& m, const Options& options) {
    if (m.Utf() && !membername::IsValidUtf8(m.name)) return false;
    if (membername::IsUnsafe(m.name) || !membername::IsCreatable(m.name)) return false;
    const std::size_t length = m.Utf() ? membername::Utf16Length(m.name) : m.name.size();
    return length <= (m.Utf() ? options.maxUtfNameLength : options.maxNameLength);
}

namespace {
// One name the extraction would create: a member's file or one of its folders.
struct Claim {
    std::string path;
    bool folder = false;
    std::uint32_t member = 0;
    bool operator<(const Claim& o) const {
        if (path != o.path) return path < o.path;
        if (folder != o.folder) return !folder;   // files first within one name
        return member < o.member;
    }
};

// The folded name with either separator as '\' and doubled separators merged,
// which is the path the extraction creates.
std::string FoldedPath(const Member& m, const Options& options) {
    const std::string folded = options.foldName ? options.foldName(m.name, m.Utf()) : membername::FoldAscii(m.name);
    std::string path;
    path.reserve(folded.size());
    for (char c : folded) {
        const bool separator = c == '\\' || c == '/';
        if (separator && (path.empty() || path.back() == '\\')) continue;
        path.push_back(separator ? '\\' : c);
    }
    return path;
}
}  // namespace

std::size_t DuplicateName(const std::vector<Member>& members, const Options& options) {
    std::vector<Claim> claims;
    claims.reserve(members.size() + members.size() / 4);
    std::string lastFolder;
    for (std::uint32_t i = 0; i < members.size(); ++i) {
        std::string path = FoldedPath(members[i], options);
        const std::size_t cut = path.find_last_of('\\');
        const std::string_view folder = cut == std::string::npos ? std::string_view() : std::string_view(path).substr(0, cut);
        // Members of one folder usually follow each other: its folders are claimed once.
        if (folder != lastFolder) {
            lastFolder = folder;
            for (std::size_t at = folder.find('\\'); at != std::string::npos; at = folder.find('\\', at + 1))
                claims.push_back({std::string(folder.substr(0, at)), true, i});
            if (!folder.empty()) claims.push_back({std::string(folder), true, i});
        }
        claims.push_back({std::move(path), false, i});
    }
    std::sort(claims.begin(), claims.end());

    // Within a run of one name, files come first in table order: a second file, or
    // any folder after a file, is a clash; the member named is the later one in the
    // table for two files, the file itself for a file that is also a folder.
    std::uint32_t clash = static_cast<std::uint32_t>(members.size());
    for (std::size_t i = 1; i < claims.size(); ++i) {
        const Claim& first = claims[i - 1];
        if (first.folder || claims[i].path != first.path) continue;
        clash = std::min(clash, claims[i].folder ? first.member : claims[i].member);
    }
    return clash;
}

bool detail::Checker::UniqueNames() {
    const std::size_t clash = DuplicateName(result_.members, options_);
    if (clash == result_.members.size()) return true;
    return Fail(Fault::DuplicateName, Cat({"Duplicate file name ", Quoted(result_.members[clash])}));
}

}  // namespace cabfmt
