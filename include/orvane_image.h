#ifndef ORVANE_IMAGE_H
#define ORVANE_IMAGE_H
/* The one pixel format of the window interface: 4 bytes per pixel in the order red, green,
   blue, alpha; rows top to bottom, each directly after the previous one (stride width * 4). */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct OrvaneImage {
  int32_t width;
  int32_t height;
  uint8_t *pixels; /* width * height * 4 bytes */
  void *reserved[2]; /* 0 in records the library makes; never read */
} OrvaneImage;

#ifdef __cplusplus
}
#endif
#endif
