// JSON output for inspect --json.
#include "Json.h"

#include <cstdio>

namespace k4pack {

std::string JsonString(std::string_view bytes) {
    std::string out = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20 || byte >= 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void JsonWriter::Key(std::string_view name) {
    Separate();
    out_ << JsonString(name) << ": ";
    afterKey_ = true;
}

void JsonWriter::Open(char bracket) {
    Separate();
    out_ << bracket;
    counts_.push_back(0);
}

void JsonWriter::Close(char bracket) {
    const bool empty = counts_.back() == 0;
    counts_.pop_back();
    if (!empty) {
        out_ << '\n';
        Indent();
    }
    out_ << bracket;
    if (counts_.empty()) out_ << '\n';
}

void JsonWriter::Value(const std::string& text) {
    Separate();
    out_ << text;
}

void JsonWriter::Separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (counts_.empty()) return;
    out_ << (counts_.back()++ == 0 ? "\n" : ",\n");
    Indent();
}

void JsonWriter::Indent() {
    out_ << std::string(2 * counts_.size(), ' ');
}

}  // namespace k4pack
