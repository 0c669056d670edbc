// Setting the about window's test seam: only tests do, so that the extractor
// program, which never calls it, does not carry it.
#include "K4_About.h"

void SetBrowserPathForTests(std::optional<std::string> path) { about_seams::browserPath = std::move(path); }
