// The payload as the extractor reads it behind its program image: three counted texts
// (target folder, caption, title) and the cabinet, then a trailer holding the length of
// all that. Builds payloads for tests and takes one apart again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "LeBytes.h"

namespace k4test {

// A 4-byte length and the text's bytes.
inline std::string Counted(const std::string& text) { return Le32(static_cast<std::uint32_t>(text.size())) + text; }

// The block followed by the trailer that gives its length.
inline std::string WithTrailer(const std::string& block) {
    return block + Le32(static_cast<std::uint32_t>(block.size()));
}

inline std::string Payload(const std::string& target, const std::string& caption, const std::string& title,
                           const std::string& cabinet) {
    return WithTrailer(Counted(target) + Counted(caption) + Counted(title) + cabinet);
}

// A file's parts: what stands before the payload, the three texts and what follows them
// up to the trailer (the cabinet and any padding behind it).
struct PayloadParts {
    std::string image, target, caption, title, cabinet;
};

// False when the bytes do not end in a well-formed payload: a trailer naming a block
// inside the file, three counted texts inside that block.
inline bool SplitPayload(const std::string& file, PayloadParts& parts) {
    if (file.size() < 4) return false;
    const std::size_t end = file.size() - 4;
    const std::uint32_t block = GetLe(file, end);
    if (block < 12 || block > end) return false;
    std::size_t at = end - block;
    parts.image = file.substr(0, at);
    for (std::string* text : {&parts.target, &parts.caption, &parts.title}) {
        if (end - at < 4) return false;
        const std::uint32_t length = GetLe(file, at);
        at += 4;
        if (length > end - at) return false;
        *text = file.substr(at, length);
        at += length;
    }
    parts.cabinet = file.substr(at, end - at);
    return true;
}

}  // namespace k4test
