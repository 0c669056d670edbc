// The catalogue of hostile cabinets, each case once, with what the whole-cabinet
// check says of it and what the real program then shows: the format tests hand
// every case to the check, the end-to-end tests to the extractor, which must show
// that one box and write nothing.
#pragma once
#include <string>
#include <vector>
#include "CabWriter.h"
#include "K4CabFormat.h"

namespace hostilecab {

// Three members in two folders, small blocks so that each folder has several: one.txt
// (2500 bytes, blocks 1 to 3) and two.txt (700, blocks 3 and 4) in the first folder,
// sub\three.bin (3100, four blocks) in the second.
inline cabw::Cabinet TwoFolders() {
    cabw::Cabinet cabinet = cabw::OneFile("one.txt", std::string(2500, '1'));
    cabinet.members.push_back(cabw::OneFile("two.txt", std::string(700, '2')).members[0]);
    cabw::Member third = cabw::OneFile("sub\\three.bin", std::string(3100, '3')).members[0];
    third.folder = 1;
    cabinet.members.push_back(third);
    cabinet.folders = 2;
    cabinet.blockSize = 1000;
    return cabinet;
}

// Damage of varying bits: complementing whole words an even number of times would
// leave a XOR checksum unchanged, as the format accepts.
inline std::string Spoiled(std::string bytes, std::size_t at, std::size_t count) {
    for (std::size_t i = at; i < at + count && i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ (1 + i * 37 % 255));
    return bytes;
}

struct Case {
    std::string what;
    std::string bytes;   // the cabinet as handed over
    cabfmt::Fault fault;
    std::string text;    // the check's text
    // The program's box when it is not the check's text: the library's probe refuses
    // what it cannot take for a cabinet before the check is asked.
    std::string box{};
};

inline std::vector<Case> Cases() {
    using cabfmt::Fault;
    const auto spoilt = [](void (*spoil)(cabw::Cabinet&)) {
        cabw::Cabinet cabinet = TwoFolders();
        spoil(cabinet);
        return cabw::Build(cabinet);
    };
    const std::string sound = cabw::Build(TwoFolders());
    const std::size_t dataStart = cabw::DataStart(TwoFolders());
    const std::string notASource = "Not a valid source \"DATAFILE.K4A\"";
    const auto cutAt = [&](std::size_t cut) { return sound.substr(0, cut); };
    const auto cutShort = [&](std::size_t present, std::size_t stated) {
        return "Damaged cabinet: cut short: " + std::to_string(present) + " of its " + std::to_string(stated) +
               " bytes are present";
    };
    return {
        // Fields that lie.
        {"member in a missing folder", spoilt([](cabw::Cabinet& c) { c.members[1].folderIndex = 4; }), Fault::Damaged,
         "Damaged cabinet: \"two.txt\" names folder 5, which the cabinet does not have"},
        {"member continued from an earlier cabinet",
         spoilt([](cabw::Cabinet& c) { c.members[0].folderIndex = cabw::FolderContinuedFromPrev; }), Fault::Damaged,
         "Damaged cabinet: \"one.txt\" is continued from or into another cabinet"},
        {"member continued into a later cabinet",
         spoilt([](cabw::Cabinet& c) { c.members[2].folderIndex = cabw::FolderContinuedToNext; }), Fault::Damaged,
         "Damaged cabinet: \"sub\\three.bin\" is continued from or into another cabinet"},
        {"member past its folder's data", spoilt([](cabw::Cabinet& c) { c.members[1].declaredOffset = 2600; }),
         Fault::Damaged, "Damaged cabinet: \"two.txt\" lies outside its folder's data"},
        {"member far past its folder's data", spoilt([](cabw::Cabinet& c) { c.members[1].declaredOffset = 1000000; }),
         Fault::Damaged, "Damaged cabinet: \"two.txt\" lies outside its folder's data"},
        {"offset and size that wrap 32 bits", spoilt([](cabw::Cabinet& c) {
             c.members[1].declaredOffset = 0xFFFFFFF0u;
             c.members[1].declaredSize = 0x20;
         }),
         Fault::Damaged, "Damaged cabinet: \"two.txt\" lies outside its folder's data"},
        {"file table past the end", spoilt([](cabw::Cabinet& c) { c.declaredFilesStart = 0x10000000; }),
         Fault::Damaged, "Damaged cabinet: file entry 1 lies outside the cabinet"},
        // An entry read from the data finds no end to its name there.
        {"many more file entries than written", spoilt([](cabw::Cabinet& c) { c.declaredFiles = 400; }),
         Fault::Damaged, "Damaged cabinet: the name of file entry 4 runs past the end of the cabinet"},
        {"one file entry more than written", spoilt([](cabw::Cabinet& c) { c.declaredFiles = 4; }), Fault::Damaged,
         "Damaged cabinet: the name of file entry 4 runs past the end of the cabinet"},
        // The first folder's blocks run on into the second's, and past the end.
        {"more blocks than written", spoilt([](cabw::Cabinet& c) { c.declaredBlocks = 50; }), Fault::Damaged,
         "Damaged cabinet: data block 9 of folder 1 lies outside the cabinet"},
        {"fewer blocks than the members need", spoilt([](cabw::Cabinet& c) { c.declaredBlocks = 2; }), Fault::Damaged,
         "Damaged cabinet: \"one.txt\" lies outside its folder's data"},
        {"folder data past the end", spoilt([](cabw::Cabinet& c) { c.declaredDataStart = 0x7FFFFFF0; }),
         Fault::Damaged, "Damaged cabinet: data block 1 of folder 1 lies outside the cabinet"},
        {"unknown compression", spoilt([](cabw::Cabinet& c) { c.declaredCompression = 7; }), Fault::Damaged,
         "Damaged cabinet: folder 1 uses an unknown compression (7)"},
        {"LZX with an impossible window", spoilt([](cabw::Cabinet& c) { c.declaredCompression = 0x0303; }),
         Fault::Damaged, "Damaged cabinet: folder 1 uses an unknown compression (771)"},
        {"unknown version", spoilt([](cabw::Cabinet& c) { c.versionMinor = 2; }), Fault::Damaged,
         "Damaged cabinet: unknown format version 1.2"},
        {"stated size below the fixed header", spoilt([](cabw::Cabinet& c) { c.declaredLength = 30; }),
         Fault::Damaged, "Damaged cabinet: its stated size of 30 bytes is smaller than its header"},
        {"stated size below the headers", spoilt([](cabw::Cabinet& c) { c.declaredLength = 40; }), Fault::Damaged,
         "Damaged cabinet: the folder table lies outside the cabinet"},
        {"stated size past the file", spoilt([](cabw::Cabinet& c) { c.declaredLength = 0x7FFFFFF0; }),
         Fault::Damaged, cutShort(sound.size(), 0x7FFFFFF0)},
        {"a block over the format's limit", spoilt([](cabw::Cabinet& c) {
             c = cabw::OneFile("big.bin", std::string(40000, 'x'));
             c.blockSize = 40000;
         }),
         Fault::Damaged, "Damaged cabinet: data block 1 of folder 1 holds 40000 bytes, more than 32768"},
        {"a last block continued elsewhere", spoilt([](cabw::Cabinet& c) { c.lastBlockContinues = true; }),
         Fault::Damaged, "Damaged cabinet: data block 4 of folder 2 is continued in another cabinet"},
        // Checksums: found before anything is written, not even a member wholly before
        // the spoiled block, nor one in an earlier folder.
        {"a spoiled block after a whole member", spoilt([](cabw::Cabinet& c) { c.badChecksumBlocks = {3}; }),
         Fault::Damaged, "Damaged cabinet: data block 4 of folder 1 fails its checksum"},
        {"a spoiled block in the second folder", spoilt([](cabw::Cabinet& c) { c.badChecksumBlocks = {5}; }),
         Fault::Damaged, "Damaged cabinet: data block 2 of folder 2 fails its checksum"},
        // Sets: the archive carries exactly one cabinet, so a link to another is
        // refused with the other's name.
        {"a link to a previous cabinet", spoilt([](cabw::Cabinet& c) {
             c.flags = cabw::FlagPrevCabinet;
             c.prevCabinet = "first.cab";
             c.prevDisk = "disk 1";
         }),
         Fault::ContinuedFromPrev, "Cabinet continues from another cabinet \"first.cab\""},
        {"a link to a previous cabinet that holds a member's start", spoilt([](cabw::Cabinet& c) {
             c.members[0].folderIndex = cabw::FolderContinuedFromPrev;
             c.flags = cabw::FlagPrevCabinet;
             c.prevCabinet = "part1.cab";
             c.prevDisk = "disk 1";
         }),
         Fault::ContinuedFromPrev, "Cabinet continues from another cabinet \"part1.cab\""},
        {"a link to a next cabinet", spoilt([](cabw::Cabinet& c) {
             c.flags = cabw::FlagNextCabinet;
             c.nextCabinet = "third.cab";
             c.nextDisk = "disk 3";
         }),
         Fault::ContinuedToNext, "Cabinet continues in another cabinet \"third.cab\""},
        // Not a cabinet, or cut short.
        {"no signature", "X" + sound.substr(1), Fault::Damaged, "Damaged cabinet: no cabinet signature", notASource},
        {"cut at 10 bytes", cutAt(10), Fault::Damaged, "Damaged cabinet: the header is cut short", notASource},
        {"cut at 20 bytes", cutAt(20), Fault::Damaged, "Damaged cabinet: the header is cut short", notASource},
        {"cut at 35 bytes", cutAt(35), Fault::Damaged, "Damaged cabinet: the header is cut short", notASource},
        {"cut in the folder entries", cutAt(40), Fault::Damaged, cutShort(40, sound.size())},
        {"cut in the file entries", cutAt(dataStart - 3), Fault::Damaged, cutShort(dataStart - 3, sound.size())},
        {"cut in the data", cutAt(dataStart + 1500), Fault::Damaged, cutShort(dataStart + 1500, sound.size())},
    };
}

}  // namespace hostilecab
