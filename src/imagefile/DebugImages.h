// Numbered debug images: a diagnostic aid that writes intermediate pages as
// JPEG files into the "img/" folder beside the host program.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

class CDib;

namespace imagefile {

class CDebugImages {
public:
    // directory: where the "img/" folder is made (with a trailing '/');
    // empty = the module directory of the platform layer.
    explicit CDebugImages(std::u16string directory = {}) : directory_(std::move(directory)) {}

    // mode 0: restarts the numbering at 1000 and writes nothing;
    // mode 2: writes image as "img/Dbg(<n>)_<name>.jpg" and counts on;
    // mode 3: writes a blank 500x30 separator under the next number;
    // any other mode: writes image as "img/<name>.jpg".
    // Debug output never fails its caller: always true.
    bool Save(const CDib& image, const std::u16string& name, int mode);

private:
    std::u16string directory_;
    int32_t counter_ = 0;
};

}  // namespace imagefile
