#include "sim/services/fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include "sim/base/printable.h"
#include "sim/services/files.h"
#include "sim/services/image_record.h"
#include "sim/services/memory.h"

namespace nk::sim {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFontDirectories[] = {"/usr/share/fonts", "/usr/local/share/fonts"};
constexpr size_t kMaxText = 1 << 16;
constexpr uint64_t kMaxFontFile = uint64_t(64) << 20;

void report(const std::string& call, const std::string& what) {
  fprintf(stderr, "nkhost: %s: %s\n", call.c_str(), what.c_str());
}

std::string size_text(float size) {
  char text[32];
  snprintf(text, sizeof text, "%g", size);
  return text;
}

bool valid_size(float size) { return size >= 1 && size <= FontService::kMaxSize; }

// Letters and digits in lower case: "DejaVu Sans-Bold" and DejaVuSans-Bold.ttf meet as
// "dejavusansbold".
std::string folded(std::string_view text) {
  std::string out;
  for (char c : text)
    if (std::isalnum(static_cast<unsigned char>(c))) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The generic family names programs use, as the DejaVu faces that stand for them.
std::string family(std::string_view name) {
  std::string key = folded(name);
  if (key == "sans" || key == "sansserif") return "dejavusans";
  if (key == "serif") return "dejavuserif";
  if (key == "mono" || key == "monospace") return "dejavusansmono";
  return key;
}

// The next code point of UTF-8 text; a malformed sequence counts as U+FFFD and one byte.
uint32_t next_code_point(std::string_view text, size_t& i) {
  auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  unsigned char lead = byte(i);
  size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 1) return text[i++];
  uint32_t code = lead & (0x7F >> length);
  bool valid = length != 0 && lead <= 0xF4 && i + length <= text.size();
  for (size_t k = 1; valid && k < length; ++k) {
    valid = (byte(i + k) & 0xC0) == 0x80;
    code = code << 6 | (byte(i + k) & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  valid = valid && code >= kSmallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
  i += valid ? length : 1;
  return valid ? code : 0xFFFD;
}

// A rendered glyph's coverage, 0..255 per pixel, whatever FreeType's bitmap format.
struct Glyph {
  int x, y;
  uint32_t width, rows;
  std::vector<uint8_t> coverage;
};

Glyph take_glyph(const FT_GlyphSlot slot, int x, int y) {
  const FT_Bitmap& bitmap = slot->bitmap;
  Glyph glyph{x, y, bitmap.width, bitmap.rows, std::vector<uint8_t>(size_t(bitmap.width) * bitmap.rows)};
  bool gray = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY, mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
  for (uint32_t row = 0; row < bitmap.rows && (gray || mono); ++row) {
    const uint8_t* line = bitmap.pitch >= 0 ? bitmap.buffer + size_t(row) * bitmap.pitch
                                            : bitmap.buffer + size_t(bitmap.rows - 1 - row) * -bitmap.pitch;
    for (uint32_t column = 0; column < bitmap.width; ++column) {
      uint8_t value = gray ? line[column] : (line[column / 8] >> (7 - column % 8) & 1) * 255;
      glyph.coverage[size_t(row) * bitmap.width + column] = value;
    }
  }
  return glyph;
}

uint8_t channel(int64_t value) { return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255)); }

}  // namespace

FontService::FontService(FileStore& files, HostMemory& memory) : files_(files), memory_(memory) {}

FontService::~FontService() {
  for (auto& [handle, font] : fonts_) FT_Done_Face(font.face);
  if (library_) FT_Done_FreeType(library_);
}

std::optional<fs::path> FontService::system_font(const char* name) {
  if (system_fonts_.empty()) {
    for (const char* directory : kFontDirectories) {
      std::error_code error;
      for (fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied, error), end;
           !error && it != end; it.increment(error)) {
        std::string extension = folded(it->path().extension().string());
        if (it->is_regular_file(error) && (extension == "ttf" || extension == "otf" || extension == "ttc"))
          system_fonts_.push_back(it->path());
      }
    }
    std::sort(system_fonts_.begin(), system_fonts_.end());
  }
  std::string wanted = family(name ? name : "sans");
  for (const fs::path& path : system_fonts_)
    if (folded(path.stem().string()) == wanted || folded(path.filename().string()) == wanted) return path;
  return std::nullopt;
}

FT_FaceRec_* FontService::open_face(const char* name, std::vector<uint8_t>& bytes) {
  std::string call = "font_load(" + quoted(name) + ")";
  FT_Face face = nullptr;
  // A file of the store comes first.
  if (name) {
    if (auto file = files_.open_for_reading(name, "font_load", false)) {
      if (file->size() > kMaxFontFile) {
        report(call, "the font file is larger than 64 MiB; no font");
        return nullptr;
      }
      bytes.resize(file->size());
      ssize_t got = pread(file->fd(), bytes.data(), bytes.size(), 0);
      if (got != static_cast<ssize_t>(bytes.size()) ||
          FT_New_Memory_Face(library_, bytes.data(), static_cast<FT_Long>(bytes.size()), 0, &face) != 0) {
        report(call, "the file in the store is not a font FreeType can read; no font");
        return nullptr;
      }
      return face;
    }
  }
  auto path = system_font(name);
  if (!path) {
    report(call, name ? "no such font in the file store or among the system's fonts; no font"
                      : "the default font, DejaVu Sans (Debian's fonts-dejavu-core), is not installed");
    return nullptr;
  }
  if (FT_New_Face(library_, path->c_str(), 0, &face) != 0) {
    report(call, "FreeType cannot read " + path->string() + "; no font");
    return nullptr;
  }
  return face;
}

uint64_t FontService::load(const char* name, float size) {
  std::string call = "font_load(" + quoted(name) + ", " + size_text(size) + ")";
  if (!valid_size(size)) {
    report(call, "the pixel size is outside 1..1024; no font");
    return 0;
  }
  if (!library_ && FT_Init_FreeType(&library_) != 0) {
    library_ = nullptr;
    report(call, "FreeType could not start; no font");
    return 0;
  }
  std::vector<uint8_t> bytes;
  FT_Face face = open_face(name, bytes);
  if (!face) return 0;
  if (FT_Set_Char_Size(face, 0, std::lround(size * 64), 72, 72) != 0) {
    FT_Done_Face(face);
    report(call, "the font has no such size; no font");
    return 0;
  }
  uint64_t handle = next_handle_++;
  fonts_.emplace(handle, Font{face, std::move(bytes)});
  return handle;
}

FontService::Font* FontService::find(uint64_t handle, const char* service) {
  auto it = fonts_.find(handle);
  if (it != fonts_.end()) return &it->second;
  report(std::string(service) + "(" + std::to_string(handle) + ")",
         "not a font handle (freed already, or never loaded); ignored");
  return nullptr;
}

void FontService::resize(uint64_t handle, float size) {
  Font* font = find(handle, "font_resize");
  if (!font) return;
  if (!valid_size(size) || FT_Set_Char_Size(font->face, 0, std::lround(size * 64), 72, 72) != 0)
    report("font_resize(" + std::to_string(handle) + ", " + size_text(size) + ")",
           "the pixel size is outside 1..1024 or the font lacks it; the size is unchanged");
}

void FontService::free(uint64_t handle) {
  if (handle == 0) return;
  Font* font = find(handle, "font_free");
  if (!font) return;
  FT_Done_Face(font->face);
  fonts_.erase(handle);
}

// One line: every glyph sits on the same baseline, at the font's ascent from the top, and
// the height (ascent plus descent) is the same for any text in that font and size.
int32_t FontService::render(uint64_t handle, const char* text, int32_t red, int32_t green,
                            int32_t blue, int64_t alpha, void* record) {
  Font* font = find(handle, "font_render");
  if (!font) return 0;
  std::string call = "font_render(" + std::to_string(handle) + ", " + quoted(text) + ")";
  if (!text || !record) {
    report(call, text ? "no record for the result" : "no text");
    return 0;
  }
  size_t length = strnlen(text, kMaxText + 1);
  if (length > kMaxText) {
    report(call, "the text is longer than 65536 bytes; not rendered");
    return 0;
  }
  FT_Face face = font->face;
  int ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
  int descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
  uint32_t height = static_cast<uint32_t>(std::max(1, ascent + descent));

  std::vector<Glyph> glyphs;
  std::string_view view(text, length);
  FT_Pos pen = 0;  // 26.6 fixed point
  FT_UInt previous = 0;
  int left = 0, right = 0;
  for (size_t i = 0; i < view.size();) {
    uint32_t code = next_code_point(view, i);
    if (code < 0x20 || code == 0x7F) continue;  // control characters take no room on one line
    FT_UInt index = FT_Get_Char_Index(face, code);
    FT_Vector kerning{};
    if (previous && index && FT_HAS_KERNING(face) &&
        FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &kerning) == 0)
      pen += kerning.x;
    previous = index;
    if (FT_Load_Glyph(face, index, FT_LOAD_RENDER) != 0) continue;
    FT_GlyphSlot slot = face->glyph;
    glyphs.push_back(take_glyph(slot, static_cast<int>(pen >> 6) + slot->bitmap_left, ascent - slot->bitmap_top));
    left = std::min(left, glyphs.back().x);
    right = std::max(right, glyphs.back().x + static_cast<int>(glyphs.back().width));
    pen += slot->advance.x;
    right = std::max(right, static_cast<int>((pen + 63) >> 6));
    if (uint32_t(right - left) > kMaxWidth) {
      report(call, "the text is wider than 32768 pixels; not rendered");
      return 0;
    }
  }
  auto width = static_cast<uint32_t>(right - left);
  uint64_t bytes = uint64_t(width) * height * 4;
  if (width == 0) return 0;  // nothing to show
  if (bytes > kMaxImageBytes) {
    report(call, "the text would take more than 256 MiB of pixels; not rendered");
    return 0;
  }
  auto* pixels = static_cast<uint8_t*>(memory_.allocate_for_program(bytes));
  if (!pixels) {
    report(call, "no host memory for the pixels; not rendered");
    return 0;
  }
  // The text's colour everywhere, so that scaling never darkens the edges; coverage times
  // the opacity in alpha.
  const uint8_t colour[4] = {channel(red), channel(green), channel(blue), 0};
  for (uint64_t at = 0; at < bytes; at += 4) std::memcpy(pixels + at, colour, 4);
  unsigned opacity = channel(alpha);
  for (const Glyph& glyph : glyphs)
    for (uint32_t row = 0; row < glyph.rows; ++row) {
      int y = glyph.y + static_cast<int>(row);
      if (y < 0 || y >= static_cast<int>(height)) continue;
      for (uint32_t column = 0; column < glyph.width; ++column) {
        unsigned coverage = glyph.coverage[size_t(row) * glyph.width + column];
        uint8_t& out = pixels[(uint64_t(y) * width + uint32_t(glyph.x - left) + column) * 4 + 3];
        out = std::max<uint8_t>(out, static_cast<uint8_t>((coverage * opacity + 127) / 255));
      }
    }
  ImageRecord result{reinterpret_cast<uintptr_t>(pixels), static_cast<uint32_t>(bytes), width, height, 0};
  std::memcpy(record, &result, 20);  // the reserved word is the library's
  return 1;
}

}  // namespace nk::sim
