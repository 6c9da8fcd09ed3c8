// The nk module: the platform's window, keys, mouse, images, PNG files and fonts for Lua
// scripts, so that small games and tools can be written in Lua alone. The reference is
// apps/norriklua/README.md.
//
//   local w = nk.window("Demo", 320, 200)     -- nil, message when the host has no window
//   local img = nk.image(320, 200, 0, 0, 64)  -- width, height, fill colour (RGBA)
//   img:fill(10, 10, 50, 20, 255, 0, 0)       -- x, y, width, height, colour
//   while not w:shouldclose() do w:push(img) w:update() end
//   w:destroy()
//
// Failures: constructors and loaders give nil and a message, as io.open does; arguments
// of the wrong type, values out of range in methods, and a destroyed window or freed font
// raise errors, as Lua's own functions do.

#include "nk_module.h"

#include <orvane_keys.h>
#include <orvane_media.h>
#include <orvane_window.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "lauxlib.h"

namespace {

constexpr char kWindowType[] = "nk.window";
constexpr char kImageType[] = "nk.image";
constexpr char kFontType[] = "nk.font";

constexpr lua_Integer kMaxSide = 16384;

struct WindowBox {
  OrvaneWindow* window;
  int image_width, image_height;  // of the last push; 0 before it
  lua_Integer frames;             // update() calls so far
};
struct FontBox {
  uintptr_t font;
};

// ---- Images ----------------------------------------------------------------------------

OrvaneImage* check_image(lua_State* L, int index) {
  return static_cast<OrvaneImage*>(luaL_checkudata(L, index, kImageType));
}

uint8_t channel(lua_State* L, int index, lua_Integer fallback) {
  lua_Integer v = luaL_optinteger(L, index, fallback);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// A new image userdata, still without pixels. It owns the malloc'd pixel block put into
// it (the library's convention, so that captured, decoded and rendered pixels are adopted
// as they are). It is made before the pixels, so that nothing leaks when Lua itself runs
// out of memory.
OrvaneImage* push_image(lua_State* L) {
  OrvaneImage* image = static_cast<OrvaneImage*>(lua_newuserdatauv(L, sizeof(OrvaneImage), 0));
  *image = OrvaneImage{0, 0, nullptr, {nullptr, nullptr}};
  luaL_setmetatable(L, kImageType);
  return image;
}

// Hands a library image record's pixels to an image userdata and frees the record.
void adopt(OrvaneImage* image, OrvaneImage* record) {
  *image = OrvaneImage{record->width, record->height, record->pixels, {nullptr, nullptr}};
  free(record);
}

bool valid_size(lua_Integer width, lua_Integer height) {
  return width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide;
}

// The failure result of constructors and loaders: nil and a message.
int fail(lua_State* L, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  luaL_pushfail(L);
  lua_pushvfstring(L, format, arguments);
  va_end(arguments);
  return 2;
}

// Source-over of straight (not premultiplied) RGBA: the result is what the source shows
// over the destination, with the alpha both leave between them. Rounded to nearest.
void blend_pixel(uint8_t* d, const uint8_t* s) {
  uint32_t a = s[3];
  if (a == 255) {
    memcpy(d, s, 4);
    return;
  }
  if (a == 0) return;
  uint32_t under = d[3] * (255 - a);  // the destination's share, in 255ths squared
  uint32_t total = a * 255 + under;   // the result's alpha, in 255ths squared
  for (int i = 0; i < 3; ++i) d[i] = static_cast<uint8_t>((s[i] * a * 255 + d[i] * under + total / 2) / total);
  d[3] = static_cast<uint8_t>((total + 127) / 255);
}

// The part of a w x h rectangle at x, y that lies inside the image, as [x0, x1) x [y0, y1).
struct Span {
  lua_Integer x0, y0, x1, y1;
};

// The end of [start, start + length) cut at limit; scripts may pass any integers.
lua_Integer span_end(lua_Integer start, lua_Integer length, lua_Integer limit) {
  lua_Integer end;
  if (length <= 0) return start;
  if (__builtin_add_overflow(start, length, &end) || end > limit) return limit;
  return end;
}

// Empty spans come out as 0, 0, 0, 0, so that no pointer is formed outside the pixels.
Span clip(const OrvaneImage* image, lua_Integer x, lua_Integer y, lua_Integer w, lua_Integer h) {
  Span s{x < 0 ? 0 : x, y < 0 ? 0 : y, span_end(x, w, image->width), span_end(y, h, image->height)};
  if (s.x1 <= s.x0 || s.y1 <= s.y0) return Span{0, 0, 0, 0};
  return s;
}

void fill_rect(OrvaneImage* image, lua_Integer x, lua_Integer y, lua_Integer w, lua_Integer h,
               const uint8_t rgba[4], bool blend) {
  Span s = clip(image, x, y, w, h);
  for (lua_Integer row = s.y0; row < s.y1; ++row) {
    uint8_t* p = image->pixels + (row * image->width + s.x0) * 4;
    for (lua_Integer col = s.x0; col < s.x1; ++col, p += 4) {
      if (blend) blend_pixel(p, rgba);
      else memcpy(p, rgba, 4);
    }
  }
}

int image_new(lua_State* L) {
  lua_Integer width = luaL_checkinteger(L, 1), height = luaL_checkinteger(L, 2);
  const uint8_t rgba[4] = {channel(L, 3, 0), channel(L, 4, 0), channel(L, 5, 0), channel(L, 6, 255)};
  if (!valid_size(width, height))
    return fail(L, "%I x %I is not an image size (1..%I each)", width, height, kMaxSide);
  OrvaneImage* image = push_image(L);
  image->pixels = static_cast<uint8_t*>(malloc(static_cast<size_t>(width * height * 4)));
  if (!image->pixels) return fail(L, "not enough memory for a %I x %I image", width, height);
  image->width = static_cast<int>(width);
  image->height = static_cast<int>(height);
  fill_rect(image, 0, 0, image->width, image->height, rgba, false);
  return 1;
}

int image_width(lua_State* L) {
  lua_pushinteger(L, check_image(L, 1)->width);
  return 1;
}

int image_height(lua_State* L) {
  lua_pushinteger(L, check_image(L, 1)->height);
  return 1;
}

int image_size(lua_State* L) {
  OrvaneImage* image = check_image(L, 1);
  lua_pushinteger(L, image->width);
  lua_pushinteger(L, image->height);
  return 2;
}

uint8_t* pixel_at(lua_State* L, OrvaneImage* image) {
  lua_Integer x = luaL_checkinteger(L, 2), y = luaL_checkinteger(L, 3);
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return nullptr;
  return image->pixels + (y * image->width + x) * 4;
}

// r, g, b, a of a pixel; nothing for a position outside the image.
int image_get(lua_State* L) {
  uint8_t* p = pixel_at(L, check_image(L, 1));
  if (!p) return 0;
  for (int i = 0; i < 4; ++i) lua_pushinteger(L, p[i]);
  return 4;
}

int image_set(lua_State* L) {
  uint8_t* p = pixel_at(L, check_image(L, 1));
  const uint8_t rgba[4] = {channel(L, 4, 0), channel(L, 5, 0), channel(L, 6, 0), channel(L, 7, 255)};
  if (p) memcpy(p, rgba, 4);
  return 0;
}

// fill replaces the pixels, alpha included; blend lays the colour over them.
int fill_or_blend(lua_State* L, bool blend) {
  OrvaneImage* image = check_image(L, 1);
  lua_Integer x = luaL_checkinteger(L, 2), y = luaL_checkinteger(L, 3);
  lua_Integer w = luaL_checkinteger(L, 4), h = luaL_checkinteger(L, 5);
  const uint8_t rgba[4] = {channel(L, 6, 0), channel(L, 7, 0), channel(L, 8, 0), channel(L, 9, 255)};
  fill_rect(image, x, y, w, h, rgba, blend);
  return 0;
}

int image_fill(lua_State* L) { return fill_or_blend(L, false); }
int image_blend(lua_State* L) { return fill_or_blend(L, true); }

// Lays src over the image with its top-left corner at x, y, clipped (rendered text is
// opaque only where the glyphs are).
int image_draw(lua_State* L) {
  OrvaneImage* dst = check_image(L, 1);
  OrvaneImage* src = check_image(L, 2);
  lua_Integer x = luaL_checkinteger(L, 3), y = luaL_checkinteger(L, 4);
  Span s = clip(dst, x, y, src->width, src->height);
  for (lua_Integer row = s.y0; row < s.y1; ++row) {
    const uint8_t* from = src->pixels + ((row - y) * src->width + (s.x0 - x)) * 4;
    uint8_t* to = dst->pixels + (row * dst->width + s.x0) * 4;
    for (lua_Integer col = s.x0; col < s.x1; ++col, from += 4, to += 4) blend_pixel(to, from);
  }
  return 0;
}

int image_gc(lua_State* L) {
  OrvaneImage* image = check_image(L, 1);
  free(image->pixels);
  image->pixels = nullptr;
  return 0;
}

int image_tostring(lua_State* L) {
  OrvaneImage* image = check_image(L, 1);
  lua_pushfstring(L, "nk.image (%dx%d)", image->width, image->height);
  return 1;
}

int load_png(lua_State* L) {
  const char* path = luaL_checkstring(L, 1);
  OrvaneImage* image = push_image(L);
  int width = 0, height = 0;
  uint8_t* pixels = baremetal_load_raw_image(path, &width, &height);
  if (!pixels) return fail(L, "%s: cannot load the PNG image", path);
  *image = OrvaneImage{width, height, pixels, {nullptr, nullptr}};
  return 1;
}

// ---- Fonts -----------------------------------------------------------------------------

FontBox* check_font(lua_State* L, int index) {
  FontBox* box = static_cast<FontBox*>(luaL_checkudata(L, index, kFontType));
  if (!box->font) luaL_error(L, "the font was freed");
  return box;
}

// Font sizes beyond this are no font size, and would not fit the host's float.
constexpr lua_Number kMaxFontSize = 65536;

bool valid_font_size(lua_Number size) { return size > 0 && size <= kMaxFontSize; }

int font_load(lua_State* L) {
  const char* name = luaL_optstring(L, 1, nullptr);
  lua_Number size = luaL_optnumber(L, 2, 16);
  if (!valid_font_size(size)) return fail(L, "%s is not a font size", luaL_tolstring(L, 2, nullptr));
  FontBox* box = static_cast<FontBox*>(lua_newuserdatauv(L, sizeof(FontBox), 0));
  box->font = 0;
  luaL_setmetatable(L, kFontType);
  box->font = macos_font_load(name, static_cast<float>(size));
  if (!box->font) return fail(L, "%s: cannot load the font", name ? name : "(default)");
  return 1;
}

int font_render(lua_State* L) {
  FontBox* box = check_font(L, 1);
  const char* text = luaL_checkstring(L, 2);
  uint8_t red = channel(L, 3, 0), green = channel(L, 4, 0), blue = channel(L, 5, 0);
  lua_Number alpha = luaL_optnumber(L, 6, 1.0);
  OrvaneImage* image = push_image(L);
  OrvaneImage* rendered = macos_font_render(box->font, text, red, green, blue, alpha);
  if (!rendered) return fail(L, "the host rendered no image for \"%s\"", text);
  adopt(image, rendered);
  return 1;
}

int font_resize(lua_State* L) {
  FontBox* box = check_font(L, 1);
  lua_Number size = luaL_checknumber(L, 2);
  luaL_argcheck(L, valid_font_size(size), 2, "not a font size");
  macos_font_resize(box->font, static_cast<float>(size));
  return 0;
}

int font_gc(lua_State* L) {
  FontBox* box = static_cast<FontBox*>(luaL_checkudata(L, 1, kFontType));
  if (box->font) macos_font_free(box->font);
  box->font = 0;
  return 0;
}

// ---- Windows ---------------------------------------------------------------------------

WindowBox* check_window_box(lua_State* L, int index) {
  WindowBox* box = static_cast<WindowBox*>(luaL_checkudata(L, index, kWindowType));
  if (!box->window) luaL_error(L, "the window was destroyed");
  return box;
}

OrvaneWindow* check_window(lua_State* L, int index) { return check_window_box(L, index)->window; }

int window_new(lua_State* L) {
  const char* title = luaL_optstring(L, 1, "NorrikLua");
  lua_Integer width = luaL_optinteger(L, 2, 640), height = luaL_optinteger(L, 3, 480);
  // The library would make a 0 x 0 window 1 x 1; a script asking for one has a bug to see.
  if (!valid_size(width, height))
    return fail(L, "%I x %I is not a window size (1..%I each)", width, height, kMaxSide);
  WindowBox* box = static_cast<WindowBox*>(lua_newuserdatauv(L, sizeof(WindowBox), 0));
  *box = WindowBox{nullptr, 0, 0, 0};
  luaL_setmetatable(L, kWindowType);
  box->window = createWindow(title, static_cast<int>(width), static_cast<int>(height));
  if (!box->window) return fail(L, "the host has no window");
  return 1;
}

int window_push(lua_State* L) {
  WindowBox* box = check_window_box(L, 1);
  const OrvaneImage* image = check_image(L, 2);
  pushImage(box->window, image);
  box->image_width = image->width;
  box->image_height = image->height;
  return 0;
}

int window_update(lua_State* L) {
  WindowBox* box = check_window_box(L, 1);
  updateWindow(box->window);
  ++box->frames;
  return 0;
}

// The platform has no clock: the frame count is what scripts time things by.
int window_frames(lua_State* L) {
  lua_pushinteger(L, check_window_box(L, 1)->frames);
  return 1;
}

// The image pixel under client position x, y (the last pushed image, or before any push
// one of the window's size), and whether the position is over the image.
int push_image_pixel(lua_State* L, const WindowBox* box, int x, int y) {
  int width = 0, height = 0, image_x, image_y;
  getWindowSize(box->window, &width, &height);
  int image_width = box->image_width ? box->image_width : width;
  int image_height = box->image_height ? box->image_height : height;
  bool over = clientToImage(x, y, width, height, image_width, image_height, &image_x, &image_y);
  lua_pushinteger(L, image_x);
  lua_pushinteger(L, image_y);
  lua_pushboolean(L, over);
  return 3;
}

int window_to_image(lua_State* L) {
  const WindowBox* box = check_window_box(L, 1);
  lua_Integer x = luaL_checkinteger(L, 2), y = luaL_checkinteger(L, 3);
  // Positions far outside the window all come to the same edge pixel.
  constexpr lua_Integer kFar = 1 << 30;
  x = x < -kFar ? -kFar : x > kFar ? kFar : x;
  y = y < -kFar ? -kFar : y > kFar ? kFar : y;
  return push_image_pixel(L, box, static_cast<int>(x), static_cast<int>(y));
}

int window_should_close(lua_State* L) {
  WindowBox* box = static_cast<WindowBox*>(luaL_checkudata(L, 1, kWindowType));
  lua_pushboolean(L, windowShouldClose(box->window));
  return 1;
}

int window_close(lua_State* L) {
  closeWindow(check_window(L, 1));
  return 0;
}

int window_clear(lua_State* L) {
  clearWindow(check_window(L, 1), channel(L, 2, 0), channel(L, 3, 0), channel(L, 4, 0));
  return 0;
}

int window_capture(lua_State* L) {
  OrvaneWindow* window = check_window(L, 1);
  OrvaneImage* image = push_image(L);
  OrvaneImage* captured = captureWindow(window);
  if (!captured) return fail(L, "the window gave no image");
  adopt(image, captured);
  return 1;
}

// title() gives the title; title(text) sets it.
int window_title(lua_State* L) {
  OrvaneWindow* window = check_window(L, 1);
  if (!lua_isnoneornil(L, 2)) {
    setWindowTitle(window, luaL_checkstring(L, 2));
    return 0;
  }
  char* title = getWindowTitle(window);
  lua_pushstring(L, title ? title : "");
  free(title);
  return 1;
}

// size() gives width, height; size(w, h) sets them.
int window_size(lua_State* L) {
  OrvaneWindow* window = check_window(L, 1);
  if (!lua_isnoneornil(L, 2)) {
    lua_Integer w = luaL_checkinteger(L, 2), h = luaL_checkinteger(L, 3);
    luaL_argcheck(L, w >= 1 && w <= kMaxSide, 2, "width out of range (1..16384)");
    luaL_argcheck(L, h >= 1 && h <= kMaxSide, 3, "height out of range (1..16384)");
    setWindowSize(window, static_cast<int>(w), static_cast<int>(h));
    return 0;
  }
  int width = 0, height = 0;
  getWindowSize(window, &width, &height);
  lua_pushinteger(L, width);
  lua_pushinteger(L, height);
  return 2;
}

// Client x, y, the three buttons, then the image pixel under the pointer and whether the
// pointer is over the image.
int window_mouse(lua_State* L) {
  const WindowBox* box = check_window_box(L, 1);
  int x = -1, y = -1;
  getMousePosition(box->window, &x, &y);
  lua_pushinteger(L, x);
  lua_pushinteger(L, y);
  for (unsigned button = 0; button < 3; ++button)
    lua_pushboolean(L, getMouseButtonState(box->window, button));
  return 5 + push_image_pixel(L, box, x, y);
}

int window_destroy(lua_State* L) {
  WindowBox* box = static_cast<WindowBox*>(luaL_checkudata(L, 1, kWindowType));
  if (box->window) destroyWindow(box->window);
  box->window = nullptr;
  return 0;
}

// ---- Keys ------------------------------------------------------------------------------

struct KeyFlag {
  const char* name;
  unsigned char* flag;
};

const KeyFlag kKeys[] = {
    {"return", &keyreturn}, {"up", &keyup},       {"down", &keydown},     {"left", &keyleft},
    {"right", &keyright},   {"a", &keya},         {"b", &keyb},           {"c", &keyc},
    {"d", &keyd},           {"e", &keye},         {"f", &keyf},           {"g", &keyg},
    {"h", &keyh},           {"i", &keyi},         {"j", &keyj},           {"k", &keyk},
    {"l", &keyl},           {"m", &keym},         {"n", &keyn},           {"o", &keyo},
    {"p", &keyp},           {"q", &keyq},         {"r", &keyr},           {"s", &keys},
    {"t", &keyt},           {"u", &keyu},         {"v", &keyv},           {"w", &keyw},
    {"x", &keyx},           {"y", &keyy},         {"z", &keyz},           {"1", &key1},
    {"2", &key2},           {"3", &key3},         {"4", &key4},           {"5", &key5},
    {"6", &key6},           {"7", &key7},         {"8", &key8},           {"9", &key9},
    {"0", &key0},           {"minus", &keyminus}, {"period", &keyperiod}, {"backspace", &keyback},
    {"delete", &keydelete}, {"space", &keyspace},
};

// nk.key(name): whether the key was typed since the last update.
int key(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  for (const KeyFlag& k : kKeys)
    if (strcmp(k.name, name) == 0) return lua_pushboolean(L, *k.flag != 0), 1;
  return luaL_argerror(L, 1, lua_pushfstring(L, "no key named '%s'", name));
}

// nk.keys(): the names of the keys typed since the last update, as a set.
int keys_typed(lua_State* L) {
  lua_newtable(L);
  for (const KeyFlag& k : kKeys)
    if (*k.flag) {
      lua_pushboolean(L, 1);
      lua_setfield(L, -2, k.name);
    }
  return 1;
}

int last_char(lua_State* L) {
  if (keylastchar == 0) return luaL_pushfail(L), 1;
  lua_pushlstring(L, &keylastchar, 1);
  return 1;
}

int update_keys(lua_State* L) {
  updateKeyboardState();
  (void)L;
  return 0;
}

const luaL_Reg kImageMethods[] = {
    {"width", image_width}, {"height", image_height}, {"size", image_size},   {"get", image_get},
    {"set", image_set},     {"fill", image_fill},     {"blend", image_blend}, {"draw", image_draw},
    {nullptr, nullptr}};
const luaL_Reg kFontMethods[] = {{"render", font_render}, {"resize", font_resize}, {"free", font_gc},
                                 {nullptr, nullptr}};
const luaL_Reg kWindowMethods[] = {
    {"push", window_push},   {"update", window_update},   {"shouldclose", window_should_close},
    {"close", window_close}, {"clear", window_clear},     {"capture", window_capture},
    {"title", window_title}, {"size", window_size},       {"mouse", window_mouse},
    {"toimage", window_to_image}, {"frames", window_frames}, {"destroy", window_destroy},
    {nullptr, nullptr}};
const luaL_Reg kFunctions[] = {
    {"window", window_new}, {"image", image_new}, {"loadpng", load_png}, {"font", font_load},
    {"key", key},           {"keys", keys_typed}, {"lastchar", last_char}, {"updatekeys", update_keys},
    {nullptr, nullptr}};

void new_type(lua_State* L, const char* name, const luaL_Reg* methods, lua_CFunction gc,
              lua_CFunction tostring) {
  luaL_newmetatable(L, name);
  // luaL_newlib sizes its table from an array; methods arrive here as a pointer.
  lua_newtable(L);
  luaL_setfuncs(L, methods, 0);
  lua_setfield(L, -2, "__index");
  lua_pushcfunction(L, gc);
  lua_setfield(L, -2, "__gc");
  if (tostring) {
    lua_pushcfunction(L, tostring);
    lua_setfield(L, -2, "__tostring");
  }
  lua_pop(L, 1);
}

int open_nk(lua_State* L) {
  new_type(L, kImageType, kImageMethods, image_gc, image_tostring);
  new_type(L, kFontType, kFontMethods, font_gc, nullptr);
  new_type(L, kWindowType, kWindowMethods, window_destroy, nullptr);
  luaL_newlib(L, kFunctions);
  return 1;
}

}  // namespace

void nklua_open_nk(lua_State* L) {
  luaL_requiref(L, "nk", open_nk, 1);
  lua_pop(L, 1);
}
