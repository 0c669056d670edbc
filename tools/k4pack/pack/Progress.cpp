// Progress line for k4pack's pack command.
#include "Progress.h"

#include <cstdio>

namespace k4pack {

PackProgress::PackProgress(std::ostream& out, bool enabled, std::uint64_t totalFiles,
                           std::uint64_t totalBytes, Clock clock)
    : out_(out), enabled_(enabled), totalFiles_(totalFiles), totalBytes_(totalBytes),
      clock_(std::move(clock)), start_(clock_()) {}

std::string PackProgress::Line(std::uint64_t files, std::uint64_t totalFiles, std::uint64_t bytes,
                               std::uint64_t totalBytes) {
    constexpr double kMiB = 1024.0 * 1024.0;
    char text[128];
    std::snprintf(text, sizeof text, "k4pack: files %llu of %llu, %.1f of %.1f MiB",
                  static_cast<unsigned long long>(files), static_cast<unsigned long long>(totalFiles),
                  static_cast<double>(bytes) / kMiB, static_cast<double>(totalBytes) / kMiB);
    return text;
}

template <class Write>
void PackProgress::Guarded(Write write) noexcept {
    try {
        write();
    } catch (...) {
        enabled_ = false;
        shownWidth_ = 0;
    }
}

void PackProgress::FileStarted(std::uint64_t size) noexcept {
    // The file before this one is finished; this one is counted once the next starts.
    if (started_) {
        ++files_;
        bytes_ += pending_;
    }
    started_ = true;
    pending_ = size;
    if (!enabled_) return;
    const auto now = clock_();
    if (now - start_ < kDelay || (shownWidth_ != 0 && now - lastShown_ < kInterval)) return;
    lastShown_ = now;
    Guarded([this] { Show(); });
}

void PackProgress::Show() {
    const std::string line = Line(files_, totalFiles_, bytes_, totalBytes_);
    // Spaces over what is left of a longer line before.
    const std::size_t pad = shownWidth_ > line.size() ? shownWidth_ - line.size() : 0;
    out_ << '\r' << line << std::string(pad, ' ') << std::flush;
    shownWidth_ = line.size() + pad;
}

void PackProgress::Finish() noexcept {
    if (shownWidth_ == 0) return;
    Guarded([this] { out_ << '\r' << std::string(shownWidth_, ' ') << '\r' << std::flush; });
    shownWidth_ = 0;
}

}  // namespace k4pack
