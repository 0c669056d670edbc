// The program's own exception: a failure that ends the running event handler and
// is shown by the application's general error handler with its message.
#pragma once
#include <stdexcept>
#include <string>
#include "ShortString.h"

class K4Error : public std::runtime_error {
public:
    explicit K4Error(const std::string& message) : std::runtime_error(message) {}
};

// A file stream could not open or create its file ("Cannot open file %s",
// "Cannot create file %s").
class K4FileError : public K4Error {
public:
    using K4Error::K4Error;
};
