// A small JSON writer (no dependency): objects, arrays, strings, numbers and booleans,
// indented two spaces, with names and texts, which are bytes, escaped as described below.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace k4pack {

// A JSON string literal of `bytes`, quotes included: '"' and '\' escaped, control
// characters as \b \f \n \r \t or \u00XX, and every byte from 0x80 up as \u00XX, that is
// read as Latin-1, so that any byte string gives valid JSON and each byte can be recovered.
std::string JsonString(std::string_view bytes);

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    void BeginObject() { Open('{'); }
    void EndObject() { Close('}'); }
    void BeginArray() { Open('['); }
    // An object or array as the value of `name` inside an object.
    void BeginObject(std::string_view name) { Key(name); BeginObject(); }
    void BeginArray(std::string_view name) { Key(name); BeginArray(); }
    void EndArray() { Close(']'); }
    // The name of the next value inside an object.
    void Key(std::string_view name);

    void String(std::string_view bytes) { Value(JsonString(bytes)); }
    void Number(std::uint64_t value) { Value(std::to_string(value)); }
    void Bool(bool value) { Value(value ? "true" : "false"); }
    void Null() { Value("null"); }

    // A name and its value inside an object.
    void StringField(std::string_view name, std::string_view bytes) { Key(name); String(bytes); }
    void NumberField(std::string_view name, std::uint64_t value) { Key(name); Number(value); }
    void BoolField(std::string_view name, bool value) { Key(name); Bool(value); }

private:
    void Open(char bracket);
    void Close(char bracket);
    void Value(const std::string& text);
    // Comma and line break before a new element of the enclosing object or array.
    void Separate();
    void Indent();

    std::ostream& out_;
    std::vector<std::size_t> counts_;  // elements so far, per open object or array
    bool afterKey_ = false;
};

}  // namespace k4pack
