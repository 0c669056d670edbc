// Where the program may write: free space, new files, the room a set of files takes,
// and the system's words for a failure.
#include "K4Placement.h"
#include <windows.h>
#include "K4Files.h"
#include "K4LongPath.h"
#include "K4Paths.h"
#include "K4TextEncoding.h"
#include "K4LongDivision.h"
#include "K4Utils.h"
#include "UniqueHandle.h"

namespace {
// The names of the program's own files, unique within the process.
std::uint32_t nameCounter = 0;
}  // namespace

ShortString OwnName() {
    ShortString name("~k4");
    name += IntegerText(GetCurrentProcessId());
    name += '-';
    name += IntegerText(++nameCounter);
    name += ".tmp";
    return name;
}

ShortString SystemReason(std::uint32_t code) {
    char text[ShortString::MaxLength + 1];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    // The system's texts end in a line break; one inside a message reads as a gap.
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) --n;
    for (DWORD i = 0; i < n; ++i)
        if (text[i] == '\r' || text[i] == '\n') text[i] = ' ';
    if (n == 0) return ShortString("error ") + IntegerText(code);
    return ShortString(std::string_view(text, n));
}

ShortString SizeText(std::uint64_t bytes) {
    static constexpr const char units[][3] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024) return IntegerText(static_cast<std::int64_t>(bytes)) + " bytes";
    unsigned shift = 10, unit = 0;
    while (unit < 3 && bytes >= (std::uint64_t{1} << (shift + 10))) {
        shift += 10;
        ++unit;
    }
    // Tenths of the unit, rounded; the units are powers of two, so shifts divide.
    const std::uint64_t tenths = (bytes * 10 + (std::uint64_t{1} << (shift - 1))) >> shift;
    const QuotientAndRest split = DivideLong(tenths, 10);
    ShortString text = IntegerText(static_cast<std::int64_t>(split.quotient));
    text += '.';
    text += static_cast<char>('0' + split.rest);
    text += ' ';
    text += units[unit];
    return text;
}

std::int32_t RoomIn(const std::wstring& folder, VolumeRoom& room) {
    const std::wstring path = PathToOpen(folder.empty() ? L"." : folder, L"", ClassicFolderLimit);
    ULARGE_INTEGER available, total, totalFree;
    if (!GetDiskFreeSpaceExW(path.c_str(), &available, &total, &totalFree)) return LastErrorCode();
    room.free = available.QuadPart;
    room.cluster = 0;
    // The allocation unit is asked of the volume's root; GetDiskFreeSpaceW takes no
    // other folder.
    std::wstring full = FullPathOf(path);
    if (full.rfind(L"\\\\?\\", 0) == 0) full.erase(0, 4);
    if (full.size() < 3 || full[1] != L':') return 0;
    const wchar_t root[] = {full[0], L':', L'\\', L'\0'};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        room.cluster = sectorsPerCluster * bytesPerSector;
    return 0;
}

std::int32_t RoomIn(const ShortString& folder, VolumeRoom& room) {
    return RoomIn(WideFromCodePage(folder.View(), CP_ACP), room);
}

std::uint64_t OnDisk(std::uint64_t bytes, std::uint32_t cluster) {
    // Allocation units are powers of two; any other value is taken as none.
    if (cluster == 0 || (cluster & (cluster - 1)) != 0) return bytes;
    return (bytes + cluster - 1) & ~std::uint64_t{cluster - 1};
}

std::uint64_t SpaceNeeded(const std::vector<PlannedFile>& files, std::uint32_t cluster) {
    // Signed: replaced files can give back more than the files before them took.
    std::int64_t taken = 0, most = 0;
    for (const PlannedFile& f : files) {
        taken += static_cast<std::int64_t>(OnDisk(f.size, cluster));
        if (taken > most) most = taken;
        taken -= static_cast<std::int64_t>(OnDisk(f.replaces, cluster));
    }
    return static_cast<std::uint64_t>(most);
}

std::int32_t ProbeNewFile(const std::wstring& folder) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring path = PathToOpen(folder, WideFromCodePage(OwnName().View(), CP_ACP));
        // Deleted by the system when closed, even if this process ends before.
        UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (file) return 0;
        const std::int32_t err = LastErrorCode();
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) return err;
    }
    return ERROR_FILE_EXISTS;
}

ShortString CurrentFolder() {
    char folder[MAX_PATH];
    const DWORD n = GetCurrentDirectoryA(MAX_PATH, folder);
    if (n == 0 || n >= MAX_PATH) return {};
    ShortString text(std::string_view(folder, n));
    if (folder[n - 1] != '\\') text += '\\';
    return text;
}
