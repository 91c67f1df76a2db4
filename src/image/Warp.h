// Fixed-point bilinear resampling along a turned (affine) grid: the fast
// way to straighten or cut out a turned part of a page. Positions are kept
// in 1/65536 pixel and weights in 1/256, so every tier gives the same bytes;
// the values differ from CRawImage::Rotate's double-precision ones by at
// most one gray level or so, and the geometry is the same.
#pragma once
#include <cstdint>

#include "image/Dib.h"

// Destination pixel (x, y) samples the source at
//   X = x0 + x * dxCol + y * dxRow,  Y = y0 + x * dyCol + y * dyRow
// in pixel units, pixel i's centre at i.
struct WarpGrid {
    double x0 = 0, y0 = 0;
    double dxCol = 1, dyCol = 0;
    double dxRow = 0, dyRow = 1;
};

// Makes dst (width x height, the source's bit count and resolution) from an
// 8- or 24-bit source; positions outside the source get `fill` in every
// channel. Returns false (dst untouched) for another bit count, a source or
// destination side beyond 30000 pixels, a grid step beyond 8 pixels, a
// size that Create refuses or no memory.
bool WarpImage(const CRawImage& src, const WarpGrid& grid, int32_t width, int32_t height, uint8_t fill,
               CRawImage* dst);

// Turns an 8- or 24-bit image in place by `angle` radians about its middle
// with the same geometry as CRawImage::Rotate(nullptr, 0, angle, 1,
// keepSize, whiteFill) (positive angle: rows that rose to the right become
// level); 1-bit images and anything WarpImage refuses go through Rotate.
// Returns Rotate's convention: 1 on success, 0 on failure.
int RotateFast(CRawImage& image, double angle, bool keepSize, bool whiteFill);
