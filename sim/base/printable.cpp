#include "sim/base/printable.h"

#include <cstdio>
#include <cstring>

namespace nk::sim {
namespace {

// The length of the UTF-8 sequence at the start of bytes, 0 when it is not one. C1 controls
// (U+0080..U+009F) count as not printable: terminals act on them.
size_t printable_sequence(std::string_view bytes) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = byte(0);
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || bytes.size() < length) return 0;
  uint32_t code = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  bool valid = code >= kSmallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
  return valid && code >= 0xA0 ? length : 0;
}

}  // namespace

std::string printable(std::string_view bytes, size_t max_bytes) {
  std::string out;
  size_t i = 0;
  while (i < bytes.size() && out.size() < max_bytes) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
      ++i;
    } else if (size_t n = c >= 0x80 ? printable_sequence(bytes.substr(i)) : 0) {
      out.append(bytes.substr(i, n));
      i += n;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else {
      const char* named = c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : nullptr;
      char hex[5];
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += named ? named : hex;
      ++i;
    }
  }
  if (i < bytes.size()) out += "...";
  return out;
}

std::string quoted(const char* text) {
  if (!text) return "null";
  return '"' + printable(std::string_view(text, strnlen(text, 4097))) + '"';
}

}  // namespace nk::sim
