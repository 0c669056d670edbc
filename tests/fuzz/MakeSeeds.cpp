// Writes the fuzzer's seed cabinets made by the tests' writer into a folder: stored and
// MSZIP, one folder and several, with and without block checksums, small blocks, a
// reserve area. gcab's cabinets join them at build time (CMakeLists.txt).
#include <cstdio>
#include <fstream>
#include <string>
#include "CabWriter.h"

namespace {

std::string Text(std::size_t size, unsigned seed) {
    std::string text;
    std::uint32_t x = seed;
    while (text.size() < size) {
        x = x * 1103515245u + 12345u;
        text += "line " + std::to_string(x >> 16) + (x & 0x100 ? " of words\n" : " \x01\x02\xFF\n");
    }
    text.resize(size);
    return text;
}

cabw::Cabinet Folders(std::uint16_t folders, std::size_t size) {
    cabw::Cabinet cabinet;
    cabinet.folders = folders;
    for (std::uint16_t i = 0; i < 2 * folders; ++i) {
        cabw::Member member = cabw::OneFile("dir\\file" + std::to_string(i) + ".txt", Text(size + 97 * i, i + 1)).members[0];
        member.folder = static_cast<std::uint16_t>(i % folders);
        cabinet.members.push_back(member);
    }
    return cabinet;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: k4_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    int written = 0;
    auto write = [&](const std::string& name, cabw::Cabinet cabinet) {
        std::ofstream(folder + "/" + name, std::ios::binary) << cabw::Build(cabinet);
        ++written;
    };
    write("stored-one.cab", Folders(1, 3000));
    write("stored-three.cab", Folders(3, 5000));
    cabw::Cabinet mszip = Folders(1, 40000);
    mszip.mszip = true;
    write("mszip-one.cab", mszip);
    cabw::Cabinet three = Folders(3, 20000);
    three.mszip = true;
    three.blockSize = 4096;
    write("mszip-three-small-blocks.cab", three);
    three.noChecksums = true;
    write("mszip-three-no-checksums.cab", three);
    cabw::Cabinet reserve = Folders(2, 2000);
    reserve.mszip = true;
    reserve.blockReserve = 4;
    write("mszip-reserve.cab", reserve);
    write("tiny.cab", cabw::OneFile("a", "b"));
    std::printf("%d seed cabinets written to %s\n", written, folder.c_str());
    return 0;
}
