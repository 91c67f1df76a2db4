#include "overlay_files.h"

#include <sys/stat.h>

#include <cerrno>

namespace morvane_cli {

std::string OverlayPath(const std::string& dir, const std::string& page) {
    std::string name = page;
    for (;;) {
        if (name.compare(0, 2, "./") == 0)
            name.erase(0, 2);
        else if (name.compare(0, 3, "../") == 0)
            name.erase(0, 3);
        else if (!name.empty() && name[0] == '/')
            name.erase(0, 1);
        else
            break;
    }
    const size_t slash = name.rfind('/');
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash) && dot > 0) name.erase(dot);
    for (char& c : name)
        if (c == '/') c = '_';
    if (name.empty()) name = "page";
    return dir + (dir.empty() || dir.back() == '/' ? "" : "/") + name + ".png";
}

bool MakeOverlayDirectory(const std::string& dir) {
    if (dir.empty()) return false;
    std::string path;
    for (size_t i = 0; i <= dir.size(); ++i) {
        if (i == dir.size() || (dir[i] == '/' && i > 0)) {
            path = dir.substr(0, i);
            if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
        }
    }
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace morvane_cli
