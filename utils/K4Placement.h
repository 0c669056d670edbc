// Where the program may write, asked of the system before it writes: a folder's free
// space and allocation unit, whether it takes a new file, what a set of files will
// take there, and the system's own words for a failure. Callers turn the answers into
// their messages.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "ShortString.h"

// The system's text for an error code (FormatMessage, the system's language), line
// breaks removed; "error N" when the system has no text for it.
ShortString SystemReason(std::uint32_t code);

// A byte count for people: "512 bytes", "12.0 KB", "48.2 MB", "1.5 GB" (units of
// 1024, one decimal, rounded to the nearest tenth).
ShortString SizeText(std::uint64_t bytes);

// A folder's volume: the bytes this user may still write there, and the unit files
// take space in (0 when the system does not say).
struct VolumeRoom {
    std::uint64_t free = 0;
    std::uint32_t cluster = 0;
};
// For `folder` (with or without its trailing '\'; empty: the current directory; any
// length): 0, or the system error of the query.
std::int32_t RoomIn(const std::wstring& folder, VolumeRoom& room);
std::int32_t RoomIn(const ShortString& folder, VolumeRoom& room);

// `bytes` as the volume holds them: rounded up to whole clusters (a cluster of 0
// leaves them as they are).
std::uint64_t OnDisk(std::uint64_t bytes, std::uint32_t cluster);

// One file an extraction will write, in the order it is written: its size, and the
// size of the file of that name that is there now and will be replaced (0: none).
struct PlannedFile {
    std::uint64_t size = 0;
    std::uint64_t replaces = 0;
};
// The most the files take at any moment, in clusters: a replaced file stays until its
// replacement is whole (so that a failed write never costs the old one), and only
// then gives its room back.
std::uint64_t SpaceNeeded(const std::vector<PlannedFile>& files, std::uint32_t cluster);

// Creates a new file of an unused name in `folder` (ending in '\', or empty for the
// current directory; any length) and deletes it again: 0, or the system error of the
// creation.
std::int32_t ProbeNewFile(const std::wstring& folder);

// The current directory (with a trailing '\'), for messages; empty if the system has none.
ShortString CurrentFolder();
// "~k4" with the process and a counter, ".tmp": a name for a file or folder of the
// program's own, not used twice in a process.
ShortString OwnName();
