// The nk module: the platform's window, keys, mouse, images, PNG files and fonts for Lua
// scripts, so that small games and tools can be written in Lua alone.
//
//   local w = nk.window("Demo", 320, 200)     -- nil, message when the host has no window
//   local img = nk.image(320, 200, 0, 0, 64)  -- width, height, fill colour (RGBA)
//   img:fill(10, 10, 50, 20, 255, 0, 0)       -- x, y, width, height, colour
//   w:push(img) w:update()
//   while not w:shouldclose() do ... end
//   w:destroy()

#include "nk_module.h"

#include <orvane_keys.h>
#include <orvane_media.h>
#include <orvane_window.h>
#include <stdlib.h>
#include <string.h>

#include "lauxlib.h"

namespace {

constexpr char kWindowType[] = "nk.window";
constexpr char kImageType[] = "nk.image";
constexpr char kFontType[] = "nk.font";

struct WindowBox {
  OrvaneWindow* window;
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

// A new image userdata that owns a malloc'd pixel block (the library's convention, so
// that captured and decoded pixels can be adopted as they are).
OrvaneImage* push_image(lua_State* L, int width, int height, uint8_t* pixels) {
  OrvaneImage* image = static_cast<OrvaneImage*>(lua_newuserdatauv(L, sizeof(OrvaneImage), 0));
  *image = OrvaneImage{width, height, pixels, {nullptr, nullptr}};
  luaL_setmetatable(L, kImageType);
  return image;
}

OrvaneImage* new_image(lua_State* L, lua_Integer width, lua_Integer height) {
  luaL_argcheck(L, width >= 1 && width <= 16384, 1, "width out of range (1..16384)");
  luaL_argcheck(L, height >= 1 && height <= 16384, 2, "height out of range (1..16384)");
  size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  OrvaneImage* image = push_image(L, static_cast<int>(width), static_cast<int>(height), nullptr);
  image->pixels = static_cast<uint8_t*>(malloc(bytes));
  if (!image->pixels) luaL_error(L, "not enough memory for a %dx%d image", image->width, image->height);
  return image;
}

void fill_rect(OrvaneImage* image, lua_Integer x, lua_Integer y, lua_Integer w, lua_Integer h,
               const uint8_t rgba[4]) {
  lua_Integer x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
  lua_Integer x1 = x + w > image->width ? image->width : x + w;
  lua_Integer y1 = y + h > image->height ? image->height : y + h;
  for (lua_Integer row = y0; row < y1; ++row) {
    uint8_t* p = image->pixels + (row * image->width + x0) * 4;
    for (lua_Integer col = x0; col < x1; ++col, p += 4) memcpy(p, rgba, 4);
  }
}

int image_new(lua_State* L) {
  const uint8_t rgba[4] = {channel(L, 3, 0), channel(L, 4, 0), channel(L, 5, 0), channel(L, 6, 255)};
  OrvaneImage* image = new_image(L, luaL_checkinteger(L, 1), luaL_checkinteger(L, 2));
  fill_rect(image, 0, 0, image->width, image->height, rgba);
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

int image_fill(lua_State* L) {
  OrvaneImage* image = check_image(L, 1);
  const uint8_t rgba[4] = {channel(L, 6, 0), channel(L, 7, 0), channel(L, 8, 0), channel(L, 9, 255)};
  fill_rect(image, luaL_checkinteger(L, 2), luaL_checkinteger(L, 3), luaL_checkinteger(L, 4),
            luaL_checkinteger(L, 5), rgba);
  return 0;
}

// Draws src into the image with its top-left corner at x, y, clipped, blending by the
// source's alpha (rendered text is opaque only where the glyphs are).
int image_draw(lua_State* L) {
  OrvaneImage* dst = check_image(L, 1);
  OrvaneImage* src = check_image(L, 2);
  lua_Integer x = luaL_checkinteger(L, 3), y = luaL_checkinteger(L, 4);
  for (lua_Integer row = 0; row < src->height; ++row) {
    lua_Integer dy = y + row;
    if (dy < 0 || dy >= dst->height) continue;
    for (lua_Integer col = 0; col < src->width; ++col) {
      lua_Integer dx = x + col;
      if (dx < 0 || dx >= dst->width) continue;
      const uint8_t* s = src->pixels + (row * src->width + col) * 4;
      uint8_t* d = dst->pixels + (dy * dst->width + dx) * 4;
      unsigned a = s[3];
      for (int i = 0; i < 3; ++i) d[i] = static_cast<uint8_t>((s[i] * a + d[i] * (255 - a) + 127) / 255);
      d[3] = static_cast<uint8_t>(a + (d[3] * (255 - a) + 127) / 255);
    }
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
  int width = 0, height = 0;
  uint8_t* pixels = baremetal_load_raw_image(path, &width, &height);
  if (!pixels) {
    luaL_pushfail(L);
    lua_pushfstring(L, "%s: cannot load the PNG image", path);
    return 2;
  }
  push_image(L, width, height, pixels);
  return 1;
}

// ---- Fonts -----------------------------------------------------------------------------

FontBox* check_font(lua_State* L, int index) {
  FontBox* box = static_cast<FontBox*>(luaL_checkudata(L, index, kFontType));
  if (!box->font) luaL_error(L, "the font was freed");
  return box;
}

int font_load(lua_State* L) {
  const char* name = luaL_optstring(L, 1, nullptr);
  lua_Number size = luaL_optnumber(L, 2, 16);
  luaL_argcheck(L, size > 0 && size <= 1000, 2, "size out of range");
  uintptr_t font = macos_font_load(name, static_cast<float>(size));
  if (!font) {
    luaL_pushfail(L);
    lua_pushfstring(L, "%s: cannot load the font", name ? name : "(default)");
    return 2;
  }
  FontBox* box = static_cast<FontBox*>(lua_newuserdatauv(L, sizeof(FontBox), 0));
  box->font = font;
  luaL_setmetatable(L, kFontType);
  return 1;
}

int font_render(lua_State* L) {
  FontBox* box = check_font(L, 1);
  const char* text = luaL_checkstring(L, 2);
  OrvaneImage* rendered = macos_font_render(
      box->font, text, static_cast<int>(luaL_optinteger(L, 3, 0)), static_cast<int>(luaL_optinteger(L, 4, 0)),
      static_cast<int>(luaL_optinteger(L, 5, 0)), luaL_optnumber(L, 6, 1.0));
  if (!rendered) {
    luaL_pushfail(L);
    return 1;
  }
  push_image(L, rendered->width, rendered->height, rendered->pixels);
  free(rendered);  // the record; the pixels now belong to the Lua image
  return 1;
}

int font_resize(lua_State* L) {
  macos_font_resize(check_font(L, 1)->font, static_cast<float>(luaL_checknumber(L, 2)));
  return 0;
}

int font_gc(lua_State* L) {
  FontBox* box = static_cast<FontBox*>(luaL_checkudata(L, 1, kFontType));
  if (box->font) macos_font_free(box->font);
  box->font = 0;
  return 0;
}

// ---- Windows ---------------------------------------------------------------------------

OrvaneWindow* check_window(lua_State* L, int index) {
  WindowBox* box = static_cast<WindowBox*>(luaL_checkudata(L, index, kWindowType));
  if (!box->window) luaL_error(L, "the window was destroyed");
  return box->window;
}

int window_new(lua_State* L) {
  const char* title = luaL_optstring(L, 1, "NorrikLua");
  lua_Integer width = luaL_optinteger(L, 2, 640), height = luaL_optinteger(L, 3, 480);
  luaL_argcheck(L, width >= 1 && width <= 16384, 2, "width out of range (1..16384)");
  luaL_argcheck(L, height >= 1 && height <= 16384, 3, "height out of range (1..16384)");
  WindowBox* box = static_cast<WindowBox*>(lua_newuserdatauv(L, sizeof(WindowBox), 0));
  box->window = nullptr;
  luaL_setmetatable(L, kWindowType);
  box->window = createWindow(title, static_cast<int>(width), static_cast<int>(height));
  if (!box->window) {
    luaL_pushfail(L);
    lua_pushliteral(L, "the host has no window");
    return 2;
  }
  return 1;
}

int window_push(lua_State* L) {
  pushImage(check_window(L, 1), check_image(L, 2));
  return 0;
}

int window_update(lua_State* L) {
  updateWindow(check_window(L, 1));
  return 0;
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
  OrvaneImage* captured = captureWindow(check_window(L, 1));
  if (!captured) return luaL_pushfail(L), 1;
  push_image(L, captured->width, captured->height, captured->pixels);
  free(captured);
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
    luaL_argcheck(L, w >= 1 && w <= 16384, 2, "width out of range (1..16384)");
    luaL_argcheck(L, h >= 1 && h <= 16384, 3, "height out of range (1..16384)");
    setWindowSize(window, static_cast<int>(w), static_cast<int>(h));
    return 0;
  }
  int width = 0, height = 0;
  getWindowSize(window, &width, &height);
  lua_pushinteger(L, width);
  lua_pushinteger(L, height);
  return 2;
}

int window_mouse(lua_State* L) {
  OrvaneWindow* window = check_window(L, 1);
  int x = -1, y = -1;
  getMousePosition(window, &x, &y);
  lua_pushinteger(L, x);
  lua_pushinteger(L, y);
  lua_pushboolean(L, getMouseButtonState(window, 0));
  lua_pushboolean(L, getMouseButtonState(window, 1));
  lua_pushboolean(L, getMouseButtonState(window, 2));
  return 5;
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
    {"width", image_width}, {"height", image_height}, {"size", image_size}, {"get", image_get},
    {"set", image_set},     {"fill", image_fill},     {"draw", image_draw}, {nullptr, nullptr}};
const luaL_Reg kFontMethods[] = {{"render", font_render}, {"resize", font_resize}, {"free", font_gc},
                                 {nullptr, nullptr}};
const luaL_Reg kWindowMethods[] = {
    {"push", window_push},   {"update", window_update},   {"shouldclose", window_should_close},
    {"close", window_close}, {"clear", window_clear},     {"capture", window_capture},
    {"title", window_title}, {"size", window_size},       {"mouse", window_mouse},
    {"destroy", window_destroy}, {nullptr, nullptr}};
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
