// --overlay DIR of morvane-classify: where each page's overlay picture goes.
#pragma once
#include <string>

namespace morvane_cli {

// DIR/NAME.png, NAME being the page's path with its extension dropped and
// every '/' turned into '_' (leading "./", "../" and '/' removed), so that
// pages of the same name in different folders do not overwrite each other.
std::string OverlayPath(const std::string& dir, const std::string& page);

// Creates the folder (and its parents) when missing; false when it cannot.
bool MakeOverlayDirectory(const std::string& dir);

}  // namespace morvane_cli
