// Time one page of SANE's test backend two ways, interleaved round by
// round: a bare SANE read of the page into memory (what `scanimage -d test`
// does before writing it out), and the scanner device's Capture (scan start
// with its option settings, the scanning library's page conversion, the row
// copy into the captured image). Prints the medians and the overhead.
//
//   scan_capture [ROUNDS] [DPI]     (defaults: 40 rounds, 300 dpi, colour)
#include <cstdio>
#include <cstdlib>

#ifdef HAVE_SANE
#include <sane/sane.h>
#include <sane/saneopts.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "core/TextConv.h"
#include "devices/DevScanner.h"

using namespace libMorvaneClassifier;

namespace {

// Scan area of both paths: 80 mm by 100 mm (3150 by 3937 thousandths of an inch).
constexpr double kWidthMm = 3150 * 0.0254, kHeightMm = 3937 * 0.0254;

double Now() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

SANE_Int Option(SANE_Handle h, const char* name) {
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(h, i);
        if (!d) return 0;
        if (d->name && std::strcmp(d->name, name) == 0) return i;
    }
}

void SetFixed(SANE_Handle h, const char* name, double value) {
    SANE_Word w = SANE_FIX(value);
    sane_control_option(h, Option(h, name), SANE_ACTION_SET_VALUE, &w, nullptr);
}

// One bare page: start, read everything into memory, cancel. Bytes read.
size_t BarePage(SANE_Handle h, std::vector<unsigned char>& page) {
    if (sane_start(h) != SANE_STATUS_GOOD) return 0;
    SANE_Parameters p;
    sane_get_parameters(h, &p);
    page.resize(static_cast<size_t>(p.bytes_per_line) * static_cast<size_t>(p.lines));
    // As scanimage does: read until the backend reports the end of the page.
    size_t filled = 0;
    SANE_Int n = 0;
    unsigned char spill[4096];
    for (;;) {
        const bool room = filled < page.size();
        unsigned char* into = room ? page.data() + filled : spill;
        const SANE_Int size = room ? static_cast<SANE_Int>(page.size() - filled) : SANE_Int{sizeof(spill)};
        if (sane_read(h, into, size, &n) != SANE_STATUS_GOOD) break;
        if (room) filled += static_cast<size_t>(n);
    }
    sane_cancel(h);
    return filled;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    // Numbers in order; options meant for benchmark programs are ignored.
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] != '-') numbers.push_back(std::atoi(argv[i]));
    const int rounds = numbers.size() > 0 ? numbers[0] : 40;
    const int dpi = numbers.size() > 1 ? numbers[1] : 300;
    if (rounds <= 0 || dpi <= 0) return 2;
    char dir[] = "/tmp/morvane-scanbench-XXXXXX";
    if (!mkdtemp(dir)) return 2;
    const std::string conf = dir;
    FILE* f = std::fopen((conf + "/dll.conf").c_str(), "w");
    std::fputs("test\n", f);
    std::fclose(f);
    f = std::fopen((conf + "/test.conf").c_str(), "w");
    std::fputs("geometry_quant 0.0\n", f);
    std::fclose(f);
    setenv("SANE_CONFIG_DIR", dir, 1);

    // The device path, opened once as LoadClassifier would.
    CDevScanner device;
    auto* info = dynamic_cast<CDevScannerInfo*>(device.GetInfo());
    info->name = u"test:0";
    info->driverPath = u"\\MorvaneSaneDriver.dll";
    info->systemDirectory = Utf8ToUtf16(MORVANE_SCANNER_PLUGIN_DIR);
    info->imageType = 2;
    info->resolution = dpi;
    info->rangeWidth = 3150;
    info->rangeHeight = 3937;
    if (device.Open(u"/nonexistent/") != kDeviceOk) {
        std::fprintf(stderr, "scanner device did not open\n");
        return 1;
    }
    // The bare path shares the SANE session the plug-ins started.
    SANE_Handle h = nullptr;
    if (sane_open("test:1", &h) != SANE_STATUS_GOOD) {
        std::fprintf(stderr, "sane_open failed\n");
        return 1;
    }
    const SANE_Int mode = Option(h, SANE_NAME_SCAN_MODE);
    char color[32] = "Color";
    sane_control_option(h, mode, SANE_ACTION_SET_VALUE, color, nullptr);
    SANE_Word res = dpi;
    const SANE_Int resOption = Option(h, SANE_NAME_SCAN_RESOLUTION);
    const SANE_Option_Descriptor* rd = sane_get_option_descriptor(h, resOption);
    if (rd->type == SANE_TYPE_FIXED) res = SANE_FIX(dpi);
    sane_control_option(h, resOption, SANE_ACTION_SET_VALUE, &res, nullptr);
    SetFixed(h, SANE_NAME_SCAN_TL_X, 0);
    SetFixed(h, SANE_NAME_SCAN_TL_Y, 0);
    SetFixed(h, SANE_NAME_SCAN_BR_X, kWidthMm);
    SetFixed(h, SANE_NAME_SCAN_BR_Y, kHeightMm);

    std::vector<unsigned char> page;
    std::vector<double> bare, dev;
    size_t bytes = 0;
    int width = 0, height = 0;
    for (int r = -2; r < rounds; ++r) {  // two warm-up rounds
        double t0 = Now();
        bytes = BarePage(h, page);
        double t1 = Now();
        if (device.Capture() != kDeviceOk) {
            std::fprintf(stderr, "capture failed\n");
            return 1;
        }
        double t2 = Now();
        width = device.GetCapturedImage(0)->width;
        height = device.GetCapturedImage(0)->height;
        if (r >= 0) {
            bare.push_back(t1 - t0);
            dev.push_back(t2 - t1);
        }
    }
    sane_close(h);
    device.Close();
    unlink((conf + "/dll.conf").c_str());
    unlink((conf + "/test.conf").c_str());
    rmdir(dir);

    const double b = Median(bare), d = Median(dev);
    std::printf("page %dx%d colour at %d dpi (%zu bytes from SANE), %d rounds\n", width, height, dpi, bytes,
                rounds);
    std::printf("bare SANE read      %8.3f ms (median)\n", b);
    std::printf("device Capture      %8.3f ms (median)\n", d);
    std::printf("device-path overhead %+7.1f %%\n", (d - b) / b * 100.0);
    return 0;
}

#else

int main() {
    std::fprintf(stderr, "scan_capture: built without SANE\n");
    return 0;
}

#endif
