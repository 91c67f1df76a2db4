// Reading and writing image files: free functions over the raster model.
// Files are read through the codec table (imagefile/CodecTable.h): the
// format is recognised by the file's first bytes, whatever its name; the
// suffix only chooses the format a page is written in. Every failure leaves
// its cause in imagefile::LastReadFailure().
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
// The same for page `page` (0 first) of a multi-page file.
bool LoadImageFilePage(CDib& image, const std::u16string& path, int page, DecodeOptions* options = nullptr);
// The same for a file's bytes held in memory (standard input, a host's buffer).
bool LoadEncodedImage(CDib& image, const uint8_t* data, size_t size, int page,
                      DecodeOptions* options = nullptr);
// Pages in the file (1 for single-page formats); 0 when it cannot be read.
int CountImageFilePages(const std::u16string& path);

// Reads an image file for decoding. Refused before anything is read: a
// missing or unreadable file, anything but a regular file, a file on a
// kernel pseudo file system (procfs, sysfs, ...), a file over the image file
// limit (PageBudget::maxFileBytes) or mostly made of holes. Then the first
// bytes must carry a known signature; only then is the rest read, in
// pieces, never beyond the limit.
bool ReadImageFileBytes(const std::u16string& path, std::vector<uint8_t>& data);

// Writes image to path (saveOption as MakeSaveOption in
// imagefile/DibReaderWriter.h). False when nothing was written: no pixels, a
// bit count other than 1, 8 or 24, no writer for the suffix, or a failed
// write.
bool SaveImageFile(const CDib& image, const std::u16string& path, uint32_t saveOption);

}  // namespace imagefile
