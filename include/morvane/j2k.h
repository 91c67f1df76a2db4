/* Morvane Classifier: JPEG-2000 codestream exports and their records.
 * Records are allocated with the C heap so that j2k_destroy can release
 * records built either by the caller or by j2k_decode. */
#ifndef MORVANE_J2K_H
#define MORVANE_J2K_H

#ifdef __cplusplus
extern "C" {
#endif

/* The record structures are completed together with the codec. */
typedef struct j2k_image j2k_image_t;
typedef struct j2k_cp j2k_cp_t;

MORVANE_API int MORVANE_CALL j2k_encode(j2k_image_t* image, j2k_cp_t* cp, unsigned char* dest, int len);
MORVANE_API int MORVANE_CALL j2k_decode(unsigned char* src, int len, j2k_image_t** image, j2k_cp_t** cp);
MORVANE_API void MORVANE_CALL j2k_destroy(j2k_image_t** image, j2k_cp_t** cp);

#ifdef __cplusplus
}
#endif

#endif /* MORVANE_J2K_H */
