// Message lookup in a file of fixed-size records: every call opens, reads one
// record and closes again; nothing is cached between calls.
#include "K4Messages.h"
#include <windows.h>
#include <optional>
#include <string>
#include "K4BlockFile.h"
#include "K4Files.h"
#include "K4Utils.h"
#include "UniqueHandle.h"

ShortString MessageFileName;

namespace {

// Reads record `number` into the first `recordSize` characters of `buffer`.
// Result: nothing when every step succeeded, else the code of the first failure.
std::optional<std::int32_t> ReadRecord(const ShortString& fileName, std::int32_t recordSize,
                                       std::int32_t number, ShortString& buffer) {
    // Opened for reading and writing with both shared, as other programs may be
    // editing the file; OPEN_EXISTING because a lookup must never create it.
    UniqueFile file(CreateFileA(fileName.CStr(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastErrorCode();
    std::optional<std::int32_t> failure;
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(number) * recordSize;  // no 32-bit overflow
    DWORD got = 0;
    if (!SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN)) {
        failure = LastErrorCode();  // a negative number lands here
    } else if (!ReadFile(file.Get(), buffer.Data(), static_cast<DWORD>(recordSize), &got, nullptr)) {
        failure = LastErrorCode();
    } else if (got < static_cast<DWORD>(recordSize)) {
        failure = ShortReadError;  // 100: the record lies wholly or partly past the end
    }
    // Closed here rather than by the owner: a failing close counts when nothing
    // failed before it.
    if (!CloseHandle(file.Release()) && !failure) failure = LastErrorCode();
    return failure;
}

ShortString ErrorText(const ShortString& fileName, std::int32_t number, std::int32_t code) {
    ShortString text("error reading message file \"");
    text += fileName;
    text += "\" - index ";
    text += IntegerText(number);
    text += " err ";
    text += IntegerText(code);
    return text;
}

}  // namespace

ShortString ReadMessage(const ShortString& fileName, std::int32_t recordSize, std::int32_t number) {
    if (number == 0) return ShortString();
    // A record must fit one short string; any other size cannot be read at all.
    if (recordSize < 1 || recordSize > static_cast<std::int32_t>(ShortString::MaxLength))
        return ErrorText(fileName, number, ERROR_INVALID_PARAMETER);
    ShortString buffer = SpaceString(recordSize);
    if (auto failure = ReadRecord(fileName, recordSize, number, buffer))
        buffer = ErrorText(fileName, number, *failure);
    return TrimSpaces(buffer);
}

ShortString MessageText(std::int32_t number) {
    return ReadMessage(MessageFileName, MessageRecordSize, number);
}
