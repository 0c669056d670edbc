// Setting the about window's test seams: only tests do (K4AboutSeams.h).
#include "K4AboutSeams.h"
#include <utility>

void SetBrowserPathForTests(std::optional<std::string> path) { about_seams::browserPath = std::move(path); }
void SetLaunchObserverForTests(LaunchObserver observer) { about_seams::launchObserver = std::move(observer); }
