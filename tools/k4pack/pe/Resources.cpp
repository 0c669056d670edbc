// The resource directory tree: three levels (type, name, language) of directory tables
// whose entries lead to data entries (address, size, code page) of the bytes themselves.
#include "Resources.h"

#include <algorithm>
#include <tuple>

namespace k4pack {
namespace {

constexpr std::uint32_t kSubdirectoryBit = 0x80000000;
constexpr std::uint32_t kNameBit = 0x80000000;
constexpr std::size_t kDirectoryHeaderSize = 16;
constexpr std::size_t kEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
constexpr std::size_t kDataAlignment = 8;
// More than any program carries; a tree whose entries share subtables could otherwise
// describe millions of resources in a few kilobytes.
constexpr std::size_t kMaxResources = 4096;

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

class TreeReader {
public:
    TreeReader(std::span<const std::uint8_t> section, std::uint32_t rva) : section_(section), rva_(rva) {}

    void Directory(std::uint32_t offset, int level, Resource& path) {
        Need(offset, kDirectoryHeaderSize, "a resource directory");
        const std::size_t count = std::size_t{U16(offset + 12)} + U16(offset + 14);
        Need(offset + kDirectoryHeaderSize, count * kEntrySize, "a resource directory's entries");
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = offset + kDirectoryHeaderSize + i * kEntrySize;
            const std::uint32_t nameField = U32(entry), target = U32(entry + 4);
            const ResourceId id = nameField & kNameBit ? ResourceId{0, Name(nameField & ~kNameBit)}
                                                       : ResourceId{static_cast<std::uint16_t>(nameField), {}};
            if (level == 0) path.type = id;
            if (level == 1) path.name = id;
            if (level == 2) path.language = id.number;
            const bool subdirectory = (target & kSubdirectoryBit) != 0;
            if (subdirectory != (level < 2)) throw PackError("a resource directory tree not three levels deep");
            if (subdirectory)
                Directory(target & ~kSubdirectoryBit, level + 1, path);
            else
                Data(target, path);
        }
    }

    std::vector<Resource> Take() { return std::move(found_); }

private:
    void Need(std::uint64_t offset, std::uint64_t size, const char* what) const {
        if (offset > section_.size() || size > section_.size() - offset)
            throw PackError(std::string(what) + " lies outside the resource section");
    }
    std::uint32_t U16(std::size_t at) const { return le::Read16(section_.data() + at); }
    std::uint32_t U32(std::size_t at) const { return le::Read32(section_.data() + at); }

    std::u16string Name(std::uint32_t offset) const {
        Need(offset, 2, "a resource name");
        const std::size_t length = U16(offset);
        Need(offset + 2, length * 2, "a resource name");
        std::u16string name;
        for (std::size_t i = 0; i < length; ++i)
            name += static_cast<char16_t>(U16(offset + 2 + i * 2));
        return name;
    }

    void Data(std::uint32_t offset, Resource& path) {
        Need(offset, kDataEntrySize, "a resource data entry");
        const std::uint32_t rva = U32(offset), size = U32(offset + 4);
        if (rva < rva_) throw PackError("resource data lies outside the resource section");
        Need(rva - rva_, size, "resource data");
        if (found_.size() == kMaxResources) throw PackError("more than 4096 resources");
        path.codePage = U32(offset + 8);
        path.data.assign(section_.begin() + (rva - rva_), section_.begin() + (rva - rva_ + size));
        found_.push_back(path);
    }

    std::span<const std::uint8_t> section_;
    std::uint32_t rva_;
    std::vector<Resource> found_;
};

// Named entries before numbered ones; names compared as the system compares them, upper case.
bool IdLess(const ResourceId& a, const ResourceId& b) {
    if (a.text.empty() != b.text.empty()) return !a.text.empty();
    if (a.text.empty()) return a.number < b.number;
    auto upper = [](std::u16string text) {
        for (char16_t& c : text)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        return text;
    };
    return upper(a.text) < upper(b.text);
}

bool ResourceLess(const Resource* a, const Resource* b) {
    if (!(a->type == b->type)) return IdLess(a->type, b->type);
    if (!(a->name == b->name)) return IdLess(a->name, b->name);
    return a->language < b->language;
}

// One directory table: its entries' ids and what each leads to (filled in as laid out).
struct Table {
    std::size_t offset = 0;
    std::vector<ResourceId> ids;
    std::vector<std::uint32_t> targets;
};

class TreeWriter {
public:
    explicit TreeWriter(std::vector<const Resource*> sorted) : sorted_(std::move(sorted)) {}

    std::vector<std::uint8_t> Write(std::uint32_t sectionRva) {
        Group();
        const std::size_t dataEntries = PlaceTables();
        const std::vector<std::size_t> dataOffsets = PlaceNamesAndData(dataEntries + sorted_.size() * kDataEntrySize);
        std::size_t nextName = 0;
        for (Table* t : AllTables()) Emit(*t, nextName);
        for (std::size_t i = 0; i < sorted_.size(); ++i) {
            const std::size_t entry = dataEntries + i * kDataEntrySize;
            Put32(entry, sectionRva + static_cast<std::uint32_t>(dataOffsets[i]));
            Put32(entry + 4, static_cast<std::uint32_t>(sorted_[i]->data.size()));
            Put32(entry + 8, sorted_[i]->codePage);
            std::copy(sorted_[i]->data.begin(), sorted_[i]->data.end(), out_.begin() + static_cast<std::ptrdiff_t>(dataOffsets[i]));
        }
        return std::move(out_);
    }

private:
    // One table per level and group of the sorted resources: the root's entries are the
    // types, each type table's the names, each name table's the languages.
    void Group() {
        for (std::size_t i = 0; i < sorted_.size(); ++i) {
            const Resource& r = *sorted_[i];
            const bool newType = i == 0 || !(r.type == sorted_[i - 1]->type);
            if (newType) {
                root_.ids.push_back(r.type);
                types_.emplace_back();
            }
            if (newType || !(r.name == sorted_[i - 1]->name)) {
                types_.back().ids.push_back(r.name);
                names_.emplace_back();
                firstLeaf_.push_back(i);
            }
            names_.back().ids.push_back(ResourceId{r.language, {}});
        }
    }

    // The tables level by level, each entry's target filled in; returns where the data
    // entries begin, right behind the tables.
    std::size_t PlaceTables() {
        std::size_t at = 0;
        for (Table* t : AllTables()) at = Place(*t, at);
        for (const Table& t : types_) root_.targets.push_back(kSubdirectoryBit | static_cast<std::uint32_t>(t.offset));
        std::size_t nameTable = 0;
        for (Table& t : types_)
            for (std::size_t j = 0; j < t.ids.size(); ++j)
                t.targets.push_back(kSubdirectoryBit | static_cast<std::uint32_t>(names_[nameTable++].offset));
        for (std::size_t n = 0; n < names_.size(); ++n)
            for (std::size_t j = 0; j < names_[n].ids.size(); ++j)
                names_[n].targets.push_back(static_cast<std::uint32_t>(at + (firstLeaf_[n] + j) * kDataEntrySize));
        return at;
    }

    // The names from `at` on, then each resource's data on an 8-byte boundary; sizes the
    // output and returns the data offsets.
    std::vector<std::size_t> PlaceNamesAndData(std::size_t at) {
        for (Table* t : AllTables())
            for (const ResourceId& id : t->ids)
                if (!id.text.empty()) {
                    nameOffsets_.push_back(at);
                    at += 2 + id.text.size() * 2;
                }
        std::vector<std::size_t> dataOffsets;
        for (const Resource* r : sorted_) {
            at = AlignUp(at, kDataAlignment);
            dataOffsets.push_back(at);
            at += r->data.size();
        }
        out_.assign(AlignUp(at, kDataAlignment), 0);
        return dataOffsets;
    }

    std::vector<Table*> AllTables() {
        std::vector<Table*> all{&root_};
        for (Table& t : types_) all.push_back(&t);
        for (Table& t : names_) all.push_back(&t);
        return all;
    }

    static std::size_t Place(Table& table, std::size_t at) {
        table.offset = at;
        return at + kDirectoryHeaderSize + table.ids.size() * kEntrySize;
    }
    void Put16(std::size_t at, std::uint32_t value) {
        out_[at] = static_cast<std::uint8_t>(value);
        out_[at + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    void Put32(std::size_t at, std::uint32_t value) { StoreLe32(out_, at, value); }

    void Emit(const Table& table, std::size_t& nextName) {
        const auto named = std::count_if(table.ids.begin(), table.ids.end(), [](const ResourceId& id) { return !id.text.empty(); });
        Put16(table.offset + 12, static_cast<std::uint32_t>(named));
        Put16(table.offset + 14, static_cast<std::uint32_t>(table.ids.size() - static_cast<std::size_t>(named)));
        for (std::size_t i = 0; i < table.ids.size(); ++i) {
            const std::size_t entry = table.offset + kDirectoryHeaderSize + i * kEntrySize;
            const ResourceId& id = table.ids[i];
            if (id.text.empty()) {
                Put32(entry, id.number);
            } else {
                const std::size_t name = nameOffsets_[nextName++];
                Put32(entry, kNameBit | static_cast<std::uint32_t>(name));
                Put16(name, static_cast<std::uint32_t>(id.text.size()));
                for (std::size_t c = 0; c < id.text.size(); ++c) Put16(name + 2 + c * 2, id.text[c]);
            }
            Put32(entry + 4, table.targets[i]);
        }
    }

    std::vector<const Resource*> sorted_;
    Table root_;
    std::vector<Table> types_, names_;
    std::vector<std::size_t> firstLeaf_;  // per name table: the index of its first resource
    std::vector<std::size_t> nameOffsets_;
    std::vector<std::uint8_t> out_;
};

}  // namespace

const PeSection* ResourceSection(const PeHeaders& pe) {
    if (pe.directories.size() <= kResourceDirectory || pe.directories[kResourceDirectory].rva == 0) return nullptr;
    const PeSection* section = pe.SectionAt(pe.directories[kResourceDirectory].rva);
    if (section == nullptr || section->virtualAddress != pe.directories[kResourceDirectory].rva)
        throw PackError("the resource directory does not start a section");
    return section;
}

std::vector<Resource> ReadResourceTree(std::span<const std::uint8_t> section, std::uint32_t sectionRva) {
    TreeReader reader(section, sectionRva);
    Resource path;
    reader.Directory(0, 0, path);
    return reader.Take();
}

std::vector<Resource> ReadProgramResources(std::span<const std::uint8_t> image) {
    const PeHeaders pe = ReadPeHeaders(image);
    const PeSection* section = ResourceSection(pe);
    if (section == nullptr) throw PackError("the program has no resource section");
    const std::size_t size = std::min(section->virtualSize, section->rawSize);
    return ReadResourceTree(image.subspan(section->rawOffset, size), section->virtualAddress);
}

std::vector<std::uint8_t> WriteResourceTree(const std::vector<Resource>& resources, std::uint32_t sectionRva) {
    std::vector<const Resource*> sorted;
    for (const Resource& r : resources) sorted.push_back(&r);
    std::stable_sort(sorted.begin(), sorted.end(), ResourceLess);
    for (std::size_t i = 1; i < sorted.size(); ++i)
        if (!ResourceLess(sorted[i - 1], sorted[i])) throw PackError("two resources of the same type, name and language");
    if (sorted.empty()) throw PackError("no resources to write");
    return TreeWriter(std::move(sorted)).Write(sectionRva);
}

const Resource* FindResource(const std::vector<Resource>& resources, std::uint16_t type, std::uint16_t number) {
    for (const Resource& r : resources)
        if (r.type == ResourceId{type, {}} && r.name == ResourceId{number, {}}) return &r;
    return nullptr;
}

}  // namespace k4pack
