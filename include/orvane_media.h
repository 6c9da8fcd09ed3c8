#ifndef ORVANE_MEDIA_H
#define ORVANE_MEDIA_H
/* Pictures and text as pixels (orvane_image.h), decoded and rendered by the host, and
   the touch bar, which this platform does not have. Every result is a copy in the
   program's memory: release pixel blocks and image records with free. */
#include <stdbool.h> /* __extension__ below: bool (_Bool) also in C89 */
#include <stdint.h>

#include <orvane_image.h>

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

/* Decodes a PNG file of the host's file store into width * height RGBA pixels; null when
   it cannot (width and height, when given, are then 0). "." and ".." components and
   repeated "/" are resolved first; if the host cannot decode the resolved name, the name
   as given is tried once more. */
uint8_t *baremetal_load_raw_image(const char *path, int *width, int *height);
/* Saving is not supported: returns false and writes nothing. */
__extension__ bool baremetal_save_raw_image(const char *path, const uint8_t *pixels, int width,
                                            int height);

/* A font handle; 0 is no font. The arguments below go to the host unchanged (except the
   alpha, converted as stated), and nkhost reads them as described here.
   font: a NUL-terminated name of a font file in the file store or of a font installed
   on the system; null gives a default sans-serif face. size: the pixel height. Gives 0
   for a font the host cannot find. nk_host_fonts.h gives nkhost's details (font names,
   sizes, colours, the layout of rendered text). */
uintptr_t macos_font_load(const char *font, float size);
void macos_font_resize(uintptr_t font, float size);
/* UTF-8 text in the colour red, green, blue (0..255 each) and opacity alpha (0.0..1.0,
   clamped; NaN counts as 0), anti-aliased on a transparent background: one line, as
   wide as the text, as high as the font's line. Null for font 0, null text, or when the
   host renders nothing. */
OrvaneImage *macos_font_render(uintptr_t font, const char *text, int red, int green, int blue,
                               double alpha);
void macos_font_free(uintptr_t font);

/* There is no touch bar: these do nothing, and every button reads as not pressed (0). */
void setTouchBarButtonText(int button, const char *text);
void setTouchBarButtonImage(int button, const OrvaneImage *image);
int getTouchBarButtonState(int button);
void clearTouchBar(void);

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
