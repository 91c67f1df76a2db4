#include "imagefile/ImageFile.h"

#include "image/Dib.h"
#include "imagefile/DibReaderWriter.h"
#include "imagefile/ImageCodecs.h"

namespace imagefile {

bool LoadImageFile(CDib& image, const std::u16string& path, DecodeOptions* options) {
    return LoadImageFilePage(image, path, 0, options);
}

bool SaveImageFile(const CDib& image, const std::u16string& path, uint32_t saveOption) {
    return CDibRWOri().Save(image, path, saveOption) == 1;
}

}  // namespace imagefile
