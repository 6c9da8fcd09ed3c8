#ifndef NK_HOST_FONTS_H
#define NK_HOST_FONTS_H
/* How nkhost, the desktop stand-in for NorrikBoot, reads the values the library passes
   through to the host's font and picture services (macos_font_load, macos_font_resize,
   macos_font_render, macos_font_free, baremetal_load_raw_image). NorrikBoot itself may
   differ; programs that keep to this work on both.

   macos_font_load(font, size)
     font  A pointer to a NUL-terminated name. nkhost first looks for a font file of that
           name in the file store ("fonts/title.ttf"), then among the system's fonts by
           name, ignoring case, spaces and dashes ("DejaVu Sans Mono", "DejaVuSerif-Bold")
           or by family ("sans", "serif", "monospace"). Null gives DejaVu Sans.
     size  The height of the em in pixels, 1 to 1024.
     Gives 0, with a message on standard error, for a font nkhost cannot find or read
     and for a size outside that range. Handles are small integers, never reused.

   macos_font_resize(font, size): the same sizes; a refused size leaves the font as it was.

   macos_font_render(font, text, red, green, blue, alpha)
     text              UTF-8, rendered on one line with FreeType, anti-aliased. Control
                       characters take no room; a malformed sequence shows as U+FFFD.
     red, green, blue  The text's colour, each clamped to 0..255.
     alpha             The opacity (the library passes 0..255).
     The result is as wide as the text (its advance, and any ink that overhangs it) and as
     high as the font's ascent plus descent at its size, the same for every text of that
     font and size, with the baseline at the ascent: renderings of one font line up when
     placed side by side. Every pixel carries the text's colour; its alpha is the glyph
     coverage times the opacity, so the background is transparent. Empty text, or text
     wider than 32768 pixels, gives no image.

   baremetal_load_raw_image(path, ...)
     path  A PNG file of the file store. Any colour type and bit depth becomes 8-bit RGBA
           (16-bit samples rounded; no gamma correction). Pictures of more than 256 MiB of
           pixels or a side over 65536, and damaged files, give no image and a message.

   File store names are relative to nkhost's --files directory, with '/' between
   subdirectories; they cannot lead outside it. */

/* nkhost's limits, as stated above. */
enum {
  NK_HOST_FONT_MAX_SIZE = 1024,    /* largest font size in pixels */
  NK_HOST_TEXT_MAX_WIDTH = 32768,  /* widest rendered text in pixels */
  NK_HOST_IMAGE_MAX_SIDE = 65536   /* widest or tallest picture */
};
#endif
