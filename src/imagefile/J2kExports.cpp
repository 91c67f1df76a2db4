// JPEG-2000 exports: answer failure until the codec lands.
#include "morvane/classifier.h"

extern "C" {
MORVANE_API int MORVANE_CALL j2k_encode(j2k_image_t*, j2k_cp_t*, unsigned char*, int) { return 0; }
MORVANE_API int MORVANE_CALL j2k_decode(unsigned char*, int, j2k_image_t** image, j2k_cp_t** cp) {
    if (image) *image = nullptr;
    if (cp) *cp = nullptr;
    return 0;
}
MORVANE_API void MORVANE_CALL j2k_destroy(j2k_image_t** image, j2k_cp_t** cp) {
    if (image) *image = nullptr;
    if (cp) *cp = nullptr;
}
}
