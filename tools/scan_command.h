// morvane-classify --scan: pages captured from a scanner instead of files.
#pragma once
#include <string>
#include <vector>

namespace scancommand {

struct ScanOptions {
    bool enabled = false;     // --scan
    std::string device;       // --device NAME (default: the first scanner SANE finds)
    int pages = 1;            // --pages N (0: until the feeder is empty)
    int dpi = 300;            // --dpi N
    int imageType = 1;        // --mode lineart|gray|color (0, 1, 2)
    std::string saveDir;      // --save DIR
    std::string tempWorkdir;  // device list written for the scan, removed afterwards
};

// Usage lines of the scan options.
extern const char kScanUsage[];

// Consumes the scan option at argv[i] (and its value). Returns 1 when it was
// one, 0 when it was not, -1 after printing an error for a bad value.
// `--dpi` is taken here only once --scan has been seen.
int ParseScanOption(int& i, int argc, char** argv, ScanOptions& options);

// Writes a device list for the scan into a new temporary folder and returns
// that folder (with a trailing '/'), or an empty text on failure.
std::string PrepareScanWorkdir(ScanOptions& options);
void RemoveScanWorkdir(ScanOptions& options);

// Captures and classifies pages with the loaded classifier (library handle
// from dlopen) and the given main-template indexes, printing one line per
// page as for files. Returns the exit status (0 every page classified, 1 a
// page failed, 2 the scanner could not be used).
int RunScan(void* library, const ScanOptions& options, const std::vector<int>& indexes, bool json);

}  // namespace scancommand
