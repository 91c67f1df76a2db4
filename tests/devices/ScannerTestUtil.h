// Shared pieces of the scanner tests: a temporary folder and a SANE
// configuration that offers only SANE's "test" backend.
#pragma once
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace scannertest {

// A folder under /tmp removed with its files (one level deep) at the end.
class TempFolder {
public:
    TempFolder() {
        char name[] = "/tmp/morvane-scan-XXXXXX";
        if (mkdtemp(name)) path_ = name;
    }
    ~TempFolder() { Remove(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    bool Write(const std::string& file, const std::string& text) const {
        FILE* f = std::fopen((path_ + "/" + file).c_str(), "w");
        if (!f) return false;
        const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        return std::fclose(f) == 0 && ok;
    }

private:
    static void Remove(const std::string& dir) {
        if (dir.empty()) return;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                if (name == "." || name == "..") continue;
                const std::string path = dir + "/" + name;
                struct stat st;
                if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                    Remove(path);
                else
                    unlink(path.c_str());
            }
            closedir(d);
        }
        rmdir(dir.c_str());
    }
    std::string path_;
};

// Points SANE at a folder whose dll.conf names only the "test" backend,
// with whole-pixel geometry (no millimetre steps), for as long as it lives.
class SaneTestBackend {
public:
    // `extra`: further lines of the test backend's configuration.
    explicit SaneTestBackend(const std::string& extra = "") {
        const char* old = std::getenv("SANE_CONFIG_DIR");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        ok_ = folder_.Write("dll.conf", "test\n") &&
              folder_.Write("test.conf", "number_of_devices 2\ngeometry_quant 0.0\nresolution 300.0\n" + extra);
        setenv("SANE_CONFIG_DIR", folder_.Path().c_str(), 1);
    }
    ~SaneTestBackend() {
        if (hadOld_)
            setenv("SANE_CONFIG_DIR", old_.c_str(), 1);
        else
            unsetenv("SANE_CONFIG_DIR");
    }
    bool Ok() const { return ok_; }

private:
    TempFolder folder_;
    std::string old_;
    bool hadOld_ = false;
    bool ok_ = false;
};

// Pixels of a side of `mils` thousandths of an inch at `dpi`, as the test
// backend counts them (whole pixels, rounded down).
inline int Pixels(int mils, int dpi) { return static_cast<int>(static_cast<long long>(mils) * dpi / 1000); }

}  // namespace scannertest
