// Reading and writing image files: free functions over the raster model.
// The codec is picked by the last three characters of the path: "j2k" goes
// to the JPEG-2000 codec, "jpg" to libjpeg, everything else is recognised by
// content (BMP, TIFF, PNG, GIF, JPEG) and written by suffix.
#pragma once
#include <cstdint>
#include <string>

class CDib;

namespace imagefile {

struct DecodeOptions;

// Reads the first page of a file into image and remembers the path as the
// image's file name. Resolutions below 75 or above 1200 dots per inch
// become 300. False when the file cannot be read; the image is then empty.
// options: decode straight to a lower working resolution (JPEG and
// JPEG-2000 pages) with the decoder threads given there; options->scaleNum
// and scaleDen then tell the scale the page was read at.
bool LoadImageFile(CDib& image, const std::u16string& path, DecodeOptions* options = nullptr);

// Writes image to path (saveOption as MakeSaveOption in
// imagefile/DibReaderWriter.h). False when nothing was written: no pixels, a
// bit count other than 1, 8 or 24, no writer for the suffix, or a failed
// write.
bool SaveImageFile(const CDib& image, const std::u16string& path, uint32_t saveOption);

}  // namespace imagefile
