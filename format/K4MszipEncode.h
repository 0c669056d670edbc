// One data block of a cabinet folder made ready to write: its 8-byte header (checksum,
// data size, output size) and its data, stored or MSZIP ("CK" and a raw deflate stream
// that ends with the block, the folder's previous 32 KB given to zlib as its dictionary).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>
#include <zlib.h>

namespace cabwrite {

// The block's 32 KB of input and the up to 32 KB of the folder that precede it.
struct BlockInput {
    const unsigned char* history = nullptr;
    std::size_t historySize = 0;
    const unsigned char* data = nullptr;
    std::size_t size = 0;   // 1 to 32768
};

// Stored: the block's data as it is, behind its header.
void StoreBlock(const BlockInput& input, std::vector<unsigned char>& out);

// A zlib deflate stream kept from block to block, one per thread.
class MszipEncoder {
public:
    // `level`: zlib's 1 to 9 (or Z_DEFAULT_COMPRESSION). Throws std::bad_alloc when zlib
    // has no memory.
    explicit MszipEncoder(int level);
    ~MszipEncoder();
    MszipEncoder(const MszipEncoder&) = delete;
    MszipEncoder& operator=(const MszipEncoder&) = delete;

    // The block compressed into `out` (header and data); a stored deflate block instead
    // where deflate would not make it smaller, so that no block's data passes
    // 32768 + 6144 bytes.
    void Encode(const BlockInput& input, std::vector<unsigned char>& out);

private:
    z_stream stream_ = {};
};

}  // namespace cabwrite
