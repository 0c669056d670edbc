// Finds the running program's own file and copies the payload behind its last byte
// into the settings and the temporary cabinet file.
#include "K4Payload.h"
#include <windows.h>
#include <cstdint>
#include <memory>
#include <string_view>
#include "K4Application.h"
#include "K4BlockFile.h"
#include "K4Settings.h"
#include "K4Utils.h"
#include "UniqueHandle.h"

namespace {

// The cabinet is copied in blocks of this size, so memory use stays the same for a
// payload of any size.
constexpr std::uint32_t CopyBlockSize = 256 * 1024;

// The error code of a trailer that cannot describe a block inside this file.
constexpr std::int32_t BadTrailerError = ERROR_INVALID_DATA;

// Reads the trailer L and moves to the block start size - 4 - L. The trailer is
// untrusted: L must be neither negative nor reach before the start of the file.
std::int32_t SeekToBlock(BlockFile& file, std::int64_t size, std::int64_t& blockLength) {
    if (size < 4) return BadTrailerError;
    if (std::int32_t err = file.Seek(size - 4)) return err;
    unsigned char raw[4];
    if (std::int32_t err = file.Read(raw, 4)) return err;
    std::int32_t l = DecodeLe32(raw);
    if (l < 0 || l > size - 4) return BadTrailerError;
    blockLength = l;
    return file.Seek(size - 4 - l);
}

// Copies count bytes from the file's current position into a new file at outPath
// (replacing any file of that name).
std::int32_t CopyToNewFile(BlockFile& in, std::int64_t count, const char* outPath) {
    UniqueFile out(CreateFileA(outPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return LastErrorCode();
    auto block = std::make_unique<char[]>(CopyBlockSize);
    while (count > 0) {
        auto n = static_cast<std::uint32_t>(count < CopyBlockSize ? count : CopyBlockSize);
        if (std::int32_t err = in.Read(block.get(), n)) return err;
        DWORD written = 0;
        if (!WriteFile(out.Get(), block.get(), n, &written, nullptr)) return LastErrorCode();
        if (written != n) return ERROR_WRITE_FAULT;
        count -= n;
    }
    return 0;
}

// The payload into the settings and the cabinet (with the 4 trailer bytes) into
// DataFileName; 0 when the payload is in place.
std::int32_t ExtractPayload(const std::string& exePath) {
    BlockFile file;
    std::int32_t err = file.Open(exePath.c_str());
    std::int64_t size = 0;
    std::int64_t blockLength = 0;
    if (!err) err = file.Size(size);
    if (!err) err = SeekToBlock(file, size, blockLength);

    // Each text adds its length field and its length; once err is set the texts
    // that follow are empty and read nothing.
    std::int64_t consumed = 0;
    ShortString text1 = ReadCountedString(err, file);
    consumed += 4 + static_cast<std::int64_t>(text1.Length());
    ShortString text2 = ReadCountedString(err, file);
    consumed += 4 + static_cast<std::int64_t>(text2.Length());
    ShortString text3 = ReadCountedString(err, file);
    consumed += 4 + static_cast<std::int64_t>(text3.Length());
    ExtractPath = text1.Str();
    WindowCaption = text2;
    TitleLabelText = text3;

    // What remains of the block after the texts: the cabinet and the trailer. With
    // every read successful it ends exactly at the end of the file, which bounds
    // it by the real file size whatever the stored lengths said.
    std::int64_t cabinetCount = blockLength + 4 - consumed;
    if (err) return err;
    if (cabinetCount <= 0) return BadTrailerError;
    return CopyToNewFile(file, cabinetCount, DataFileName.CStr());
}

}  // namespace

void ParseOwnCommandLine(const ShortString& commandLine, ShortString& directory, ShortString& fileName) {
    ShortString work = TrimSpaces(UpperCaseShort(commandLine));
    if (!work.Empty() && work[0] == '"') {
        std::string_view rest = work.View().substr(1);
        std::size_t close = rest.find('"');
        if (close != std::string_view::npos) rest = rest.substr(0, close);
        work = ShortString(rest);
    }
    ShortString extension;
    SplitPath(work, directory, fileName, extension);
    fileName += ".EXE";
}

void LocateOwnExecutable(ShortString& directory, ShortString& fileName) {
    ParseOwnCommandLine(ShortString(GetCommandLineA()), directory, fileName);
}

std::string OwnModulePath() {
    // The system cuts the path to the buffer and then returns the buffer's size:
    // grow until the whole path fits (long paths go up to 32767 characters).
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::string();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() > 65536) return std::string();
        path.resize(path.size() * 2);
    }
}

bool ReadPayloadFrom(const std::string& exePath) {
    if (exePath.empty() || ExtractPayload(exePath) != 0) {
        app::ShowPlainMessage("Sorry Cannot Find Data");
        app::EndProgram(1);
    }
    return true;
}

bool ReadPayload() {
    // The running module's own path, not the one pieced together from the command
    // line: that one is wrong for a program started without a directory, with an
    // argument containing a point, or under another extension.
    return ReadPayloadFrom(OwnModulePath());
}
