// A text of at most 255 single-byte characters, stored as a length byte followed
// by the characters: the 256-byte message record that stacks copy byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <concepts>
#include <type_traits>

class ShortString {
public:
    static constexpr std::size_t MaxLength = 255;

    constexpr ShortString() = default;
    ShortString(std::string_view text) { Assign(text); }
    ShortString(const char* text) { Assign(text ? std::string_view(text) : std::string_view()); }
    ShortString(const std::string& text) { Assign(std::string_view(text)); }

    std::size_t Length() const { return len_; }
    bool Empty() const { return len_ == 0; }
    const char* Data() const { return chars_; }
    char* Data() { return chars_; }
    std::string_view View() const { return {chars_, len_}; }
    std::string Str() const { return std::string(View()); }

    // 0-based access; the caller keeps the index below Length().
    char operator[](std::size_t i) const { return chars_[i]; }
    char& operator[](std::size_t i) { return chars_[i]; }

    // Sets the length (cut at 255); characters beyond the old length are not cleared.
    void SetLength(std::size_t n) { len_ = static_cast<std::uint8_t>(n > MaxLength ? MaxLength : n); }

    // Every join is cut at 255 characters.
    ShortString& operator+=(std::string_view text) {
        std::size_t room = MaxLength - len_;
        std::size_t n = text.size() < room ? text.size() : room;
        if (n) std::memcpy(chars_ + len_, text.data(), n);
        len_ = static_cast<std::uint8_t>(len_ + n);
        return *this;
    }
    ShortString& operator+=(const ShortString& text) { return *this += text.View(); }
    ShortString& operator+=(const char* text) { return *this += std::string_view(text); }
    ShortString& operator+=(const std::string& text) { return *this += std::string_view(text); }
    ShortString& operator+=(char c) {
        if (len_ < MaxLength) chars_[len_++] = c;
        return *this;
    }

    // A NUL-terminated copy for system calls; a short string itself has no room for
    // the terminator when it holds 255 characters.
    struct CString {
        char text[MaxLength + 1];
        operator const char*() const { return text; }
        const char* c_str() const { return text; }
    };
    CString CStr() const {
        CString out;
        std::memcpy(out.text, chars_, len_);
        out.text[len_] = '\0';
        return out;
    }

    friend bool operator==(const ShortString& a, const ShortString& b) { return a.View() == b.View(); }
    friend bool operator==(const ShortString& a, std::string_view b) { return a.View() == b; }
    friend bool operator==(const ShortString& a, const char* b) { return a.View() == std::string_view(b); }

private:
    void Assign(std::string_view text) {
        len_ = 0;
        *this += text;
    }

    std::uint8_t len_ = 0;
    char chars_[MaxLength] = {};
};

// Only a short string on the left joins as a short string: the left operand is a
// deduced parameter, so a std::string on the left is never converted into one and
// std::string's own operator+ stays unambiguous.
template <class S, class T>
    requires std::same_as<std::remove_cvref_t<S>, ShortString>
inline ShortString operator+(S&& a, const T& b) {
    ShortString out(a);
    out += b;
    return out;
}

static_assert(sizeof(ShortString) == 256, "a short string is the 256-byte message record");
static_assert(std::is_trivially_copyable_v<ShortString>, "stacks copy records byte for byte");
