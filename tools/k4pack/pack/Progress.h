// The one-line progress display of a long pack on a terminal: files and bytes done of the
// total, rewritten in place with a carriage return, shown only once a pack has taken more
// than a moment, and cleared at the end.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "cabinet/Cabinet.h"

namespace k4pack {

class PackProgress final : public WriteObserver {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kDelay{1000};   // nothing shown before this
    static constexpr std::chrono::milliseconds kInterval{100}; // at most this often after

    // `out` is the terminal (standard error); nothing is written unless `enabled`.
    PackProgress(std::ostream& out, bool enabled, std::uint64_t totalFiles, std::uint64_t totalBytes,
                 Clock clock = std::chrono::steady_clock::now);
    PackProgress(const PackProgress&) = delete;
    PackProgress& operator=(const PackProgress&) = delete;
    ~PackProgress() { Finish(); }

    // The next file starts: the ones before it are done. A line that cannot be written
    // (the stream throws) ends the display; the pack goes on.
    void FileStarted(std::uint64_t size) noexcept override;
    // Clears the line if one was shown; called again it does nothing. Throws nothing.
    void Finish() noexcept;

    // "files 120 of 20000, 1.2 of 45.6 MiB" for the counts given.
    static std::string Line(std::uint64_t files, std::uint64_t totalFiles, std::uint64_t bytes,
                            std::uint64_t totalBytes);

private:
    void Show();
    // Runs `write` on the stream; when it throws, nothing is shown any more.
    template <class Write>
    void Guarded(Write write) noexcept;

    std::ostream& out_;
    bool enabled_;
    std::uint64_t totalFiles_, totalBytes_;
    Clock clock_;
    std::chrono::steady_clock::time_point start_, lastShown_;
    std::uint64_t files_ = 0, bytes_ = 0;  // finished
    std::uint64_t pending_ = 0;            // the size of the file being written
    bool started_ = false;
    std::size_t shownWidth_ = 0;  // 0: nothing on the line
};

}  // namespace k4pack
