// The about window's test seams: the browser it tests for and starts, and an
// observer of every program start (K4ExternalProcess.h). Read by the about window
// and the launch; only tests set them, through K4AboutSeams.cpp, which the extractor
// program never links.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The browser path that FormShow and weblabelClick test and start, in place of
// BrowserPath while set.
void SetBrowserPathForTests(std::optional<std::string> path);

// Called right after the start attempt with the writable command-line copy handed
// to the system and the error code of a failed start (0 on success), while the copy
// still exists.
using LaunchObserver = std::function<void(const char* commandLineCopy, std::int32_t errorCode)>;
void SetLaunchObserverForTests(LaunchObserver observer);

namespace about_seams {
extern std::optional<std::string> browserPath;  // empty: BrowserPath
extern LaunchObserver launchObserver;           // empty: starts are not observed
}  // namespace about_seams
