// Errors the packer reports to the user, and the exit status each one ends with.
#pragma once
#include <stdexcept>
#include <string>

namespace k4pack {

enum ExitStatus : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// Bad input or a failed operation: shown as "k4pack: <message>", exit status 1.
// Thrown before the output file is replaced, so a failure never leaves output behind.
class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that does not carry a payload the extractor would accept.
class InvalidPayload : public PackError {
public:
    using PackError::PackError;
};

// A command line that cannot be understood: exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace k4pack
