#include "imagefile/ImageFile.h"

#include "image/Dib.h"
#include "imagefile/DibReaderWriter.h"
#include "imagefile/ImageCodecs.h"

namespace imagefile {

bool LoadImageFile(CDib& image, const std::u16string& path, DecodeOptions* options) {
    image.Free();
    image.ClearStoredDensity();
    if (options) options->scaleNum = options->scaleDen = 1;
    CDibRWOri reader;
    reader.decodeOptions = options;
    const bool ok = reader.Load(image, path, 0) == 1;
    image.SetFileName(path);
    // The resolution the classifier measures with by default is kept
    // plausible; the density the file stated stays beside it untouched.
    if (image.xResolution < kMinTrustedDpi || image.xResolution > kMaxTrustedDpi) {
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
