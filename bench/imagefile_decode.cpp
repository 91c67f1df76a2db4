// Decoding an A4 page at 300 dpi (2480 x 3508) through CRawImage::Load and,
// in the same run, through the bare library calls on the same file: JPEG
// (colour), PNG (gray), TIFF CCITT group 4 (bilevel) and JPEG-2000 (gray).
// The ratio Load / bare is the reader's overhead.
//
// Then colour JPEG and JPEG-2000 pages read at a working resolution
// (arguments: the resolution asked for, 0 for full size, and the JPEG-2000
// decoder's threads). CPU time counts every thread of the process.
#include <benchmark/benchmark.h>

#include <jpeglib.h>
#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/Dib.h"
#include "imagefile/DibReaderWriter.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"

namespace {

constexpr int kWidth = 2480, kHeight = 3508;

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A page of text-like blocks on slightly noisy paper.
void MakeA4(CRawImage& page, int bpp) {
    page.Create(kWidth, kHeight, bpp, 300);
    uint32_t state = 12345;
    auto next = [&state]() { return state = state * 1103515245u + 12345u; };
    std::vector<uint8_t> ink(static_cast<size_t>(kWidth) * kHeight, 0);
    for (int line = 0; line < 95; ++line) {
        const int y0 = 150 + line * 34;
        int x = 180;
        while (x < kWidth - 200) {
            const int wordWidth = 20 + static_cast<int>(next() >> 16) % 140;
            for (int y = y0; y < y0 + 22; ++y)
                for (int xx = x; xx < x + wordWidth && xx < kWidth; ++xx)
                    if (((xx * 7 + y * 3) % 5) != 0) ink[static_cast<size_t>(y) * kWidth + xx] = 1;
            x += wordWidth + 18;
        }
    }
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = page.Row(y);
        for (int x = 0; x < kWidth; ++x) {
            const bool black = ink[static_cast<size_t>(y) * kWidth + x] != 0;
            const uint8_t noise = static_cast<uint8_t>((next() >> 24) & 7);
            const uint8_t v = black ? static_cast<uint8_t>(30 + noise) : static_cast<uint8_t>(232 + noise);
            if (bpp == 1) {
                if (black) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            } else if (bpp == 8) {
                row[x] = v;
            } else {
                row[3 * x] = v;
                row[3 * x + 1] = v;
                row[3 * x + 2] = static_cast<uint8_t>(black ? v : 240);
            }
        }
    }
}

struct Files {
    std::string dir, jpeg, png, tiff, j2k, j2kColour;
    ~Files() {
        for (const std::string* f : {&jpeg, &png, &tiff, &j2k, &j2kColour}) std::remove(f->c_str());
        if (!dir.empty()) ::rmdir(dir.c_str());
    }
    Files() {
        char made[] = "/tmp/morvane_bench_XXXXXX";
        if (!mkdtemp(made)) {
            std::fprintf(stderr, "could not make a temporary folder\n");
            std::exit(1);
        }
        dir = made;
        const std::string base = dir + "/a4";
        jpeg = base + ".jpg";
        png = base + ".png";
        tiff = base + ".tif";
        j2k = base + ".j2k";
        j2kColour = base + "_colour.j2k";
        CRawImage colour, gray, bilevel;
        MakeA4(colour, 24);
        MakeA4(gray, 8);
        MakeA4(bilevel, 1);
        if (!imagefile::SaveImageFile(colour, U16(jpeg), MakeSaveOption(2, 85)) ||
            !imagefile::SaveImageFile(gray, U16(png), 0) ||
            !imagefile::SaveImageFile(bilevel, U16(tiff), MakeSaveOption(1, 3)) ||
            !imagefile::SaveImageFile(gray, U16(j2k), 0) ||
            !imagefile::SaveImageFile(colour, U16(j2kColour), 0)) {
            std::fprintf(stderr, "could not write the benchmark pages\n");
            std::exit(1);
        }
    }
};

const Files& TheFiles() {
    static Files files;
    return files;
}

void Load(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        CRawImage image;
        if (!imagefile::LoadImageFile(image, U16(path))) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(image.Bits());
    }
}

void BM_Load_Jpeg(benchmark::State& s) { Load(s, TheFiles().jpeg); }
void BM_Load_Png(benchmark::State& s) { Load(s, TheFiles().png); }
void BM_Load_TiffG4(benchmark::State& s) { Load(s, TheFiles().tiff); }
void BM_Load_J2k(benchmark::State& s) { Load(s, TheFiles().j2k); }

void BM_Bare_Jpeg(benchmark::State& state) {
    const std::string& path = TheFiles().jpeg;
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) {
            state.SkipWithError("open failed");
            break;
        }
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_stdio_src(&cinfo, f);
        if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || !jpeg_start_decompress(&cinfo)) {
            jpeg_destroy_decompress(&cinfo);
            std::fclose(f);
            state.SkipWithError("bare libjpeg decode failed");
            break;
        }
        const size_t stride = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
        std::vector<uint8_t> pixels(stride * cinfo.output_height);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        const bool finished = jpeg_finish_decompress(&cinfo) && err.num_warnings == 0;
        jpeg_destroy_decompress(&cinfo);
        std::fclose(f);
        if (!finished) {
            state.SkipWithError("bare libjpeg decode was not clean");
            break;
        }
        benchmark::DoNotOptimize(pixels.data());
    }
}

void BM_Bare_Png(benchmark::State& state) {
    const std::string& path = TheFiles().png;
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        png_structp png =
            f ? png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr) : nullptr;
        png_infop info = png ? png_create_info_struct(png) : nullptr;
        if (!info || setjmp(png_jmpbuf(png))) {
            png_destroy_read_struct(&png, &info, nullptr);
            if (f) std::fclose(f);
            state.SkipWithError("bare libpng decode failed");
            break;
        }
        png_init_io(png, f);
        png_read_info(png, info);
        const png_uint_32 h = png_get_image_height(png, info);
        const size_t stride = png_get_rowbytes(png, info);
        std::vector<uint8_t> pixels(stride * h);
        std::vector<png_bytep> rows(h);
        for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixels.data() + stride * y;
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        benchmark::DoNotOptimize(pixels.data());
    }
}

void BM_Bare_TiffG4(benchmark::State& state) {
    const std::string& path = TheFiles().tiff;
    for (auto _ : state) {
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        if (!tif) {
            state.SkipWithError("bare libtiff open failed");
            break;
        }
        const tmsize_t stripSize = TIFFStripSize(tif);
        const uint32_t strips = TIFFNumberOfStrips(tif);
        std::vector<uint8_t> pixels(static_cast<size_t>(stripSize) * strips);
        bool ok = stripSize > 0;
        for (uint32_t s = 0; ok && s < strips; ++s)
            ok = TIFFReadEncodedStrip(tif, s, pixels.data() + stripSize * s, stripSize) >= 0;
        TIFFClose(tif);
        if (!ok) {
            state.SkipWithError("bare libtiff decode failed");
            break;
        }
        benchmark::DoNotOptimize(pixels.data());
    }
}

void BM_Bare_J2k(benchmark::State& state) {
    const std::string& path = TheFiles().j2k;
    for (auto _ : state) {
        opj_stream_t* stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_TRUE);
        opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
        opj_dparameters_t params;
        opj_set_default_decoder_parameters(&params);
        opj_setup_decoder(codec, &params);
        opj_image_t* image = nullptr;
        const bool ok = stream && codec && opj_read_header(stream, codec, &image) &&
                        opj_decode(codec, stream, image) && opj_end_decompress(codec, stream);
        if (ok) benchmark::DoNotOptimize(image->comps[0].data);
        if (image) opj_image_destroy(image);
        if (codec) opj_destroy_codec(codec);
        if (stream) opj_stream_destroy(stream);
        if (!ok) {
            state.SkipWithError("bare OpenJPEG decode failed");
            break;
        }
    }
}

// A colour page read as ClassifyImageFile reads it at a working resolution.
void LoadAtResolution(benchmark::State& state, const std::string& path) {
    imagefile::DecodeOptions options;
    options.targetDpi = static_cast<int32_t>(state.range(0));
    options.threads = static_cast<int32_t>(state.range(1));
    int32_t width = 0;
    for (auto _ : state) {
        CRawImage image;
        if (!imagefile::LoadImageFile(image, U16(path), &options)) state.SkipWithError("load failed");
        width = image.width;
        benchmark::DoNotOptimize(image.Bits());
    }
    state.counters["width"] = width;
}

void BM_LoadAt_JpegColour(benchmark::State& s) { LoadAtResolution(s, TheFiles().jpeg); }
void BM_LoadAt_J2kColour(benchmark::State& s) { LoadAtResolution(s, TheFiles().j2kColour); }

}  // namespace

BENCHMARK(BM_LoadAt_JpegColour)
    ->ArgNames({"dpi", "threads"})
    ->Args({0, 1})
    ->Args({150, 1})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(BM_LoadAt_J2kColour)
    ->ArgNames({"dpi", "threads"})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({150, 1})
    ->Args({150, 2})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->MinTime(4.0);

BENCHMARK(BM_Bare_Jpeg)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Load_Jpeg)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Bare_Png)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Load_Png)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Bare_TiffG4)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Load_TiffG4)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Bare_J2k)->Unit(benchmark::kMillisecond)->MinTime(4.0);
BENCHMARK(BM_Load_J2k)->Unit(benchmark::kMillisecond)->MinTime(4.0);

BENCHMARK_MAIN();
