// Placeholder dispatcher until the codecs land: every read and write fails.
#include "imagefile/DibReaderWriter.h"

#include "image/Dib.h"

int CDibReaderWriter::LoadThumbnail(CDib&, const std::u16string&, int32_t, int32_t) { return 0; }
int CDibReaderWriter::GetFrameCount(const std::u16string&) { return 0; }

int CDibRWOri::Probe(const std::u16string&) { return 1; }
int CDibRWOri::LoadFromMemory(CDib&, const uint8_t*, int32_t, int32_t) { return 0; }
int CDibRWOri::Load(CDib&, const std::u16string&, int32_t) { return 0; }
int CDibRWOri::Save(const CDib& image, const std::u16string&, uint32_t) {
    if (!image.HasPixels()) return 0;
    if (image.bitCount != 1 && image.bitCount != 8 && image.bitCount != 24) return -1;
    return 0;
}
int CDibRWOri::GetInfo(const std::u16string&, int32_t&, int32_t&, int32_t&, int32_t&, int32_t&) { return 0; }
int CDibRWOri::LoadThumbnail(CDib&, const std::u16string&, int32_t, int32_t) { return 0; }
int CDibRWOri::GetFrameCount(const std::u16string&) { return 0; }
