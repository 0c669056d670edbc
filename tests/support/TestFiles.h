// Files for Win32 tests: a scratch folder per test, a current directory changed for a
// test's duration, and whole-file reads and writes.
#pragma once
#include <string>
#include <vector>

namespace k4test {

// A new empty folder under the system's temporary folder, removed with everything in it
// (read-only files, subfolders and names outside the ANSI code page included) at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    // The path with a trailing '\', as a target folder is handed to the cabinet engine.
    std::string Dir() const { return path_ + '\\'; }
    std::string operator/(const std::string& name) const { return path_ + '\\' + name; }
    // Writes a file of that name; its full path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// Makes a folder the current directory until the end of the scope.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& folder);
    ~CurrentDirectory();
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::string previous_;
};

// The whole file into `bytes`; false when it cannot be opened or read.
bool ReadBytes(const std::string& path, std::string& bytes);
// The whole file; throws when it cannot be read.
std::string ReadAll(const std::string& path);
// Creates or replaces the file; throws when it cannot be written whole.
void WriteAll(const std::string& path, const std::string& bytes);

// A file or folder of that name is there (the program's own FileExists and
// DirectoryExists, in utils/K4Files.h, tell which).
bool Exists(const std::string& path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);

// The folder of the running test program, where its helper programs are built.
std::string ProgramFolder();

// A build-time host path given as Z:/... with backslashes, as the file functions want.
std::string Backslashed(std::string path);

}  // namespace k4test
