// Helpers for the image file tests: deterministic test pages, pixel
// comparison, temporary paths and raw file access.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "image/Dib.h"

namespace imagefile_test {

inline std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A fresh directory per test program run, below the test framework's temp dir.
inline std::string TempDir() {
    static std::string dir = [] {
        std::string base = ::testing::TempDir();
        if (!base.empty() && base.back() != '/') base += '/';
        std::string templ = base + "morvane_imagefile_XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back(0);
        const char* made = mkdtemp(buf.data());
        if (!made) return base;
        // Removed with everything in it when the test program ends.
        static std::string remove;
        remove = made;
        std::atexit([] { std::filesystem::remove_all(remove); });
        return std::string(made) + "/";
    }();
    return dir;
}

inline std::string TempPath(const std::string& name) { return TempDir() + name; }

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::vector<uint8_t> out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

inline bool FileExists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

// A page with structure in both directions: bars, a diagonal and a gradient.
inline void MakePage(CDib& image, int w, int h, int bpp, int resolution = 300) {
    ASSERT_EQ(image.Create(w, h, bpp, resolution), 1);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = 0; x < w; ++x) {
            const bool ink = ((x / 3 + y / 5) % 4 == 0) || x == y || (x * 7 + y * 3) % 11 == 0;
            if (bpp == 1) {
                if (ink) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            } else if (bpp == 8) {
                row[x] = static_cast<uint8_t>(ink ? 20 : (x * 255) / (w > 1 ? w - 1 : 1));
            } else {
                row[3 * x] = static_cast<uint8_t>((x * 255) / (w > 1 ? w - 1 : 1));
                row[3 * x + 1] = static_cast<uint8_t>((y * 255) / (h > 1 ? h - 1 : 1));
                row[3 * x + 2] = static_cast<uint8_t>(ink ? 10 : 200);
            }
        }
    }
}

inline int PixelBit(const CDib& image, int x, int y) { return (image.Row(y)[x >> 3] >> (7 - (x & 7))) & 1; }

// Largest absolute difference of any pixel value, or -1 when the geometry differs.
inline int MaxDifference(const CDib& a, const CDib& b) {
    if (!a.HasPixels() || !b.HasPixels() || a.width != b.width || a.height != b.height ||
        a.bitCount != b.bitCount)
        return -1;
    int worst = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (a.bitCount == 1) {
                if (PixelBit(a, x, y) != PixelBit(b, x, y)) return 255;
                continue;
            }
            const int n = a.bitCount / 8;
            for (int k = 0; k < n; ++k) {
                const int d = std::abs(int(a.Row(y)[n * x + k]) - int(b.Row(y)[n * x + k]));
                if (d > worst) worst = d;
            }
        }
    }
    return worst;
}

}  // namespace imagefile_test
