#include "imagefile/DebugImages.h"

#include <string>

#include "core/TextConv.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"
#include "platform/PlatformProcesses.h"

namespace imagefile {

using libMorvaneClassifier::AsciiToUtf16;

bool CDebugImages::Save(const CDib& image, const std::u16string& name, int mode) {
    if (mode == 0) {
        counter_ = 1000;
        return true;
    }
    const std::u16string base = directory_.empty() ? libMorvaneClassifier::ModuleDirectory() : directory_;
    const std::u16string dir = base + u"img/";
    libMorvaneClassifier::EnsureDirectory(dir);
    if (mode == 2 || mode == 3) {
        const std::u16string file =
            dir + u"Dbg(" + AsciiToUtf16(std::to_string(counter_).c_str()) + u")_" + name + u".jpg";
        ++counter_;
        if (mode == 2) {
            SaveImageFile(image, file, 0);
        } else {
            CDib separator;
            if (separator.Create(500, 30, 24, 300)) SaveImageFile(separator, file, 0);
        }
        return true;
    }
    SaveImageFile(image, dir + name + u".jpg", 0);
    return true;
}

}  // namespace imagefile
