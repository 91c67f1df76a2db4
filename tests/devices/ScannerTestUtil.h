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
// with whole-pixel geometry (no millimetre steps). SANE reads where its
// configuration lies once per process, so the folder is one for the whole
// test program; each instance writes the test backend's settings (read
// again at every start of SANE) and puts the plain ones back at the end.
class SaneTestBackend {
public:
    // `extra`: further lines of the test backend's configuration.
    explicit SaneTestBackend(const std::string& extra = "") {
        Shared& shared = Instance();
        ok_ = shared.ok && shared.folder.Write("test.conf", std::string(kBase) + extra);
    }
    ~SaneTestBackend() { Instance().folder.Write("test.conf", kBase); }
    SaneTestBackend(const SaneTestBackend&) = delete;
    SaneTestBackend& operator=(const SaneTestBackend&) = delete;
    bool Ok() const { return ok_; }

private:
    static constexpr const char* kBase = "number_of_devices 2\ngeometry_quant 0.0\nresolution 300.0\n";
    struct Shared {
        TempFolder folder;
        bool ok = false;
        Shared() {
            ok = folder.Write("dll.conf", "test\n");
            setenv("SANE_CONFIG_DIR", folder.Path().c_str(), 1);
        }
    };
    static Shared& Instance() {
        static Shared shared;
        return shared;
    }
    bool ok_ = false;
};

// Pixels of a side of `mils` thousandths of an inch at `dpi`, as the test
// backend counts them (whole pixels, rounded down).
inline int Pixels(int mils, int dpi) { return static_cast<int>(static_cast<long long>(mils) * dpi / 1000); }

}  // namespace scannertest
