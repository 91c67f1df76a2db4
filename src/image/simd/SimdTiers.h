// The kernels of each vector tier, gathered into tables by SimdDispatch.cpp.
// Each tier's units are compiled with that tier's instruction-set flags and
// are only called once the processor is known to have them.
#pragma once
#include <cstdint>

#include "image/simd/SimdKernels.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define MORVANE_SIMD_X86 1
#endif

#ifdef MORVANE_SIMD_X86
namespace simd::sse2 {

int PackBelow(const uint8_t* in, int n, int threshold, uint8_t* out);
int PackLess(const uint8_t* a, const uint8_t* b, int n, uint8_t* out);
int PackFlags(const uint8_t* flags, int n, uint8_t* out);
int FlattenRow(const uint8_t* in, int width, int cut, int white, uint8_t* out);
int PackedWindowSums(const uint32_t* cp, int n, int r, int from, uint32_t* wp);
int NiblackCentres(const uint32_t* wp, int from, int end, float inverseF, double inverseD, uint8_t* ct);
int SmoothRow(const uint8_t* r0, const uint16_t* a, const uint16_t* b, const uint16_t* c, int width,
              int16_t* out);
int FullWindowSumsPair(const uint32_t* a, const uint32_t* b, int x, int width, int half, uint32_t* outA,
                       uint32_t* outB);
int FullWindowSums(const uint32_t* a, int x, int width, int half, uint32_t* out);
// From column x on.
int SauvolaRow(const int32_t* wa, const int32_t* wb, const double* inverse, double rowsInverse,
               const uint8_t* row, uint8_t* f, int width, int x);
int PackedColumnUpdate(uint32_t* cp, const uint8_t* add, const uint8_t* sub, int n);

}  // namespace simd::sse2

namespace simd::avx2 {

int NiblackCentres(const uint32_t* wp, int from, int end, float inverseF, double inverseD, uint8_t* ct);
int FullWindowSumsPair(const uint32_t* a, const uint32_t* b, int x, int width, int half, uint32_t* outA,
                       uint32_t* outB);
int FullWindowSums(const uint32_t* a, int x, int width, int half, uint32_t* out);
int SauvolaRow(const int32_t* wa, const int32_t* wb, const double* inverse, double rowsInverse,
               const uint8_t* row, uint8_t* f, int width);
int SurfaceRow(const uint8_t* row, const uint8_t* mark, const uint32_t* packed, int width, uint8_t* out,
               int64_t& rowFg, int64_t& rowBgSum, int64_t& rowExcess);
int DecideRow(const uint8_t* row, const uint8_t* srow, const int32_t* below, const uint8_t* reversed,
              int width, uint8_t* out);
int LuminanceRow(const uint8_t* in, uint8_t* out, int width, const uint8_t* dropBits);
bool RotateGrayRow(const RotateRow& row, uint8_t* out, int32_t dstWidth);
int WarpGrayRow(const WarpRow& row, int n, uint8_t* out);
int GraySumRow24(const uint8_t* in, int n, uint16_t* out);
int PackedColumnUpdate(uint32_t* cp, const uint8_t* add, const uint8_t* sub, int n);

}  // namespace simd::avx2
#endif
