#include "imagefile/ImageFile.h"

#include "image/Dib.h"
#include "imagefile/DibReaderWriter.h"

namespace imagefile {

bool LoadImageFile(CDib& image, const std::u16string& path) {
    image.Free();
    const bool ok = CDibRWOri().Load(image, path, 0) == 1;
    image.SetFileName(path);
    if (image.xResolution < 75 || image.xResolution > 1200) {
        image.xResolution = 300;
        image.yResolution = 300;
    }
    if (!ok) {
        image.Free();
        return false;
    }
    return true;
}

bool SaveImageFile(const CDib& image, const std::u16string& path, uint32_t saveOption) {
    return CDibRWOri().Save(image, path, saveOption) == 1;
}

}  // namespace imagefile
