// The program's own exceptions: a failure that ends the running event handler and
// is shown by the application's general error handler with its message.
#pragma once
#include <cstring>
#include <exception>
#include <string_view>

// Derived from std::exception alone and holding its text in place: the standard
// runtime_error family keeps its text in a reference-counted string whose code
// (about 40 KB) the extractor would otherwise carry. Texts are cut at 255
// characters, as every text the program shows is. The virtual functions are out of
// line (K4Error.cpp): one copy of them and of the classes' type information, not one
// in every file that throws.
class K4Error : public std::exception {
public:
    static constexpr std::size_t MaxLength = 255;

    explicit K4Error(std::string_view message) noexcept {
        std::size_t n = message.size() < MaxLength ? message.size() : MaxLength;
        std::memcpy(text_, message.data(), n);
        text_[n] = '\0';
    }
    ~K4Error() override;
    const char* what() const noexcept override;

private:
    char text_[MaxLength + 1];
};

// A file stream could not open or create its file ("Cannot open file %s",
// "Cannot create file %s").
class K4FileError : public K4Error {
public:
    using K4Error::K4Error;
    ~K4FileError() override;
};

// A window's control table is not usable (names, ids, panels), or a control it names
// does not exist: a fault in the program's own design tables.
class K4DesignError : public K4Error {
public:
    using K4Error::K4Error;
    ~K4DesignError() override;
};

// The system refused a window, a control or a window class.
class K4WindowError : public K4Error {
public:
    using K4Error::K4Error;
    ~K4WindowError() override;
};
