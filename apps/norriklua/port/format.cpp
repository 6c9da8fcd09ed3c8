// printf-style formatting for Lua: every C99 conversion with flags, width, precision and
// length modifiers (no %n, no wide characters). Doubles are converted exactly through a
// big integer and rounded half to even, as glibc does, so string.format and tostring give
// the digits a Lua programmer expects.

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "bignum.h"
#include "norriklua_port.h"

namespace {

class Output {
 public:
  Output(char* dst, size_t n) : p_(dst), room_(n) {}
  void put(char c) {
    if (room_ > 1) {
      *p_++ = c;
      --room_;
    }
    ++count_;
  }
  void put(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) put(s[i]);
  }
  void repeat(char c, long n) {
    for (; n > 0; --n) put(c);
  }
  void finish() {
    if (room_) *p_ = '\0';
  }
  size_t count() const { return count_; }

 private:
  char* p_;
  size_t room_;
  size_t count_ = 0;
};

struct Directive {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  char length = 0;  // 'H' hh, 'h', 'l', 'q' ll/j/z/t/q, 'L'
  char conversion = 0;
};

size_t text_length(const char* s, int limit) {
  size_t n = 0;
  while ((limit < 0 || n < static_cast<size_t>(limit)) && s[n]) ++n;
  return n;
}

// Writes prefix (sign, "0x"), then body, padded to the width as the flags ask. zero_ok is
// false where the '0' flag does not apply (text, inf, nan, integers with a precision).
void emit(Output& out, const Directive& directive, const char* prefix, size_t prefix_len,
          const char* body, size_t body_len, long inner_zeros, bool zero_ok) {
  long len = static_cast<long>(prefix_len + body_len) + inner_zeros;
  long pad = directive.width > len ? directive.width - len : 0;
  if (!directive.left && !(directive.zero && zero_ok)) out.repeat(' ', pad);
  out.put(prefix, prefix_len);
  if (!directive.left && directive.zero && zero_ok) out.repeat('0', pad);
  out.repeat('0', inner_zeros);
  out.put(body, body_len);
  if (directive.left) out.repeat(' ', pad);
}

void format_integer(Output& out, const Directive& directive, uint64_t magnitude, bool negative) {
  char c = directive.conversion;
  unsigned base = c == 'o' ? 8 : (c == 'x' || c == 'X') ? 16 : 10;
  const char* digits = c == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  char buf[24];
  int n = 0;
  for (uint64_t v = magnitude; v; v /= base) buf[sizeof buf - 1 - n++] = digits[v % base];
  long zeros = directive.precision > n ? directive.precision - n : 0;
  if (c == 'o' && directive.alt && zeros == 0 && (n == 0 || buf[sizeof buf - n] != '0')) zeros = 1;
  if (n == 0 && directive.precision < 0 && zeros == 0) buf[sizeof buf - 1 - n++] = '0';
  char prefix[2];
  size_t plen = 0;
  bool is_signed = c == 'd' || c == 'i';
  if (is_signed && negative) prefix[plen++] = '-';
  else if (is_signed && directive.plus) prefix[plen++] = '+';
  else if (is_signed && directive.space) prefix[plen++] = ' ';
  if (base == 16 && directive.alt && magnitude) {
    prefix[plen++] = '0';
    prefix[plen++] = c;
  }
  emit(out, directive, prefix, plen, buf + sizeof buf - n, n, zeros, directive.precision < 0);
}

// ---- Floating point -------------------------------------------------------------------

uint64_t bits_of(double x) {
  uint64_t b;
  __builtin_memcpy(&b, &x, sizeof b);
  return b;
}

// The exact decimal digits of a finite, non-zero |x|: value = 0.D * 10^exponent, D without
// leading or trailing zeros.
struct Decimal {
  char digits[800];
  int count = 0;
  int exponent = 0;
};

// Drops D's leading and trailing zeros, keeping its value.
void trim_decimal(Decimal& d) {
  int low = 0;
  while (low < d.count && d.digits[low] == '0') ++low;
  int high = d.count;
  while (high > low && d.digits[high - 1] == '0') --high;
  for (int i = low; i < high; ++i) d.digits[i - low] = d.digits[i];
  d.count = high - low;
  d.exponent -= low;
}

// m * 2^e2 when every fraction bit lies within 64 bits and the whole part fits 64 bits: the
// common numbers, whose digits 128-bit arithmetic gives exactly without the big number.
bool small_exact_decimal(uint64_t m, int e2, Decimal& d) {
  if (e2 > 11 || e2 < -64) return false;
  int k = e2 < 0 ? -e2 : 0;
  using u128 = unsigned __int128;
  u128 one = u128{1} << k;
  uint64_t whole = e2 >= 0 ? m << e2 : static_cast<uint64_t>(u128{m} >> k);
  u128 fraction = u128{m} & (one - 1);
  char reversed[24];
  int n = 0;
  for (; whole; whole /= 10) reversed[n++] = static_cast<char>('0' + whole % 10);
  d.count = 0;
  while (n) d.digits[d.count++] = reversed[--n];
  d.exponent = d.count;
  while (fraction) {
    fraction *= 10;
    d.digits[d.count++] = static_cast<char>('0' + static_cast<int>(fraction >> k));
    fraction &= one - 1;
  }
  trim_decimal(d);
  return true;
}

void exact_decimal(double x, Decimal& d) {
  uint64_t b = bits_of(x) & ~(uint64_t{1} << 63);
  int field = static_cast<int>(b >> 52);
  uint64_t m = b & ((uint64_t{1} << 52) - 1);
  int e2 = field ? field - 1075 : -1074;
  if (field) m |= uint64_t{1} << 52;
  if (small_exact_decimal(m, e2, d)) return;
  nklua::BigNum n;
  n.set(m);
  int point_shift = 0;  // value = N * 10^-point_shift
  if (e2 >= 0) {
    n.shift_left(e2);
  } else {
    n.mul_pow5(-e2);  // m / 2^k = m * 5^k / 10^k
    point_shift = -e2;
  }
  // Nine digits at a time, least significant first.
  char rev[1200];
  int len = 0;
  while (!n.is_zero()) {
    uint32_t chunk = n.div_small(1000000000u);
    for (int i = 0; i < 9; ++i) {
      rev[len++] = static_cast<char>('0' + chunk % 10);
      chunk /= 10;
    }
  }
  while (len > 0 && rev[len - 1] == '0') --len;
  int low = 0;
  while (rev[low] == '0') ++low;
  d.count = 0;
  for (int i = len - 1; i >= low; --i) d.digits[d.count++] = rev[i];
  d.exponent = len - point_shift;
}

// Rounds D to 'keep' digits, half to even on the exact value. keep may be 0 (only the
// carry can survive) or negative (the value rounds to zero).
void round_decimal(Decimal& d, int keep) {
  if (keep >= d.count) return;
  if (keep < 0) {
    d.count = 0;
    return;
  }
  char next = d.digits[keep];
  bool up;
  if (next != '5') {
    up = next > '5';
  } else {
    bool more = keep + 1 < d.count;  // trailing digits are never zeros
    bool odd = keep > 0 && ((d.digits[keep - 1] - '0') & 1);
    up = more || odd;
  }
  d.count = keep;
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[i] == '9') --i;
    if (i < 0) {
      d.digits[0] = '1';
      d.count = 1;
      ++d.exponent;
      return;
    }
    ++d.digits[i];
    d.count = i + 1;
  }
  while (d.count > 0 && d.digits[d.count - 1] == '0') --d.count;
  if (d.count == 0) d.exponent = 0;
}

char digit_at(const Decimal& d, int i) { return i >= 0 && i < d.count ? d.digits[i] : '0'; }

// Appends the digits of fixed and exponent notation into a local buffer that emit() then
// pads. A double has at most 309 integer digits; precision is capped only by the buffer.
class Body {
 public:
  void put(char c) {
    if (len_ < sizeof buf_) buf_[len_++] = c;
  }
  const char* data() const { return buf_; }
  size_t size() const { return len_; }
  void strip_fraction_zeros() {
    bool has_point = false;
    for (size_t i = 0; i < len_; ++i) has_point |= buf_[i] == '.';
    if (!has_point) return;
    while (len_ && buf_[len_ - 1] == '0') --len_;
    if (len_ && buf_[len_ - 1] == '.') --len_;
  }

 private:
  char buf_[1500];
  size_t len_ = 0;
};

void fixed_body(Body& body, const Decimal& d, int precision, bool alt) {
  if (d.exponent <= 0 || d.count == 0) {
    body.put('0');
  } else {
    for (int i = 0; i < d.exponent; ++i) body.put(digit_at(d, i));
  }
  if (precision > 0 || alt) body.put('.');
  for (int i = 0; i < precision; ++i) body.put(digit_at(d, d.exponent + i));
}

// strip: %g without '#' drops the mantissa's trailing zeros (never the exponent's).
void exponent_body(Body& body, const Decimal& d, int precision, bool alt, char e, bool strip) {
  body.put(d.count ? d.digits[0] : '0');
  if (precision > 0 || alt) body.put('.');
  for (int i = 1; i <= precision; ++i) body.put(digit_at(d, i));
  if (strip) body.strip_fraction_zeros();
  int x = d.count ? d.exponent - 1 : 0;
  body.put(e);
  body.put(x < 0 ? '-' : '+');
  if (x < 0) x = -x;
  char digits[6];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + x % 10);
    x /= 10;
  } while (x);
  if (n < 2) digits[n++] = '0';
  while (n) body.put(digits[--n]);
}

void hex_body(Body& body, double x, int precision, bool alt, bool upper) {
  const char* hex = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  uint64_t b = bits_of(x) & ~(uint64_t{1} << 63);
  int field = static_cast<int>(b >> 52);
  uint64_t m = b & ((uint64_t{1} << 52) - 1);
  int lead = field ? 1 : 0;
  int e = b == 0 ? 0 : field ? field - 1023 : -1022;
  int digits = 13;
  if (precision < 0) {
    while (digits > 0 && !(m & 0xF)) {
      m >>= 4;
      --digits;
    }
  } else if (precision < 13) {
    int drop = (13 - precision) * 4;
    uint64_t rest = m & ((uint64_t{1} << drop) - 1);
    uint64_t half = uint64_t{1} << (drop - 1);
    m >>= drop;
    bool odd = precision > 0 ? (m & 1) : (lead & 1);
    if (rest > half || (rest == half && odd)) {
      ++m;
      if (m >> (precision * 4)) {  // the carry reaches the leading digit
        m &= (uint64_t{1} << (precision * 4)) - 1;
        ++lead;
      }
    }
    digits = precision;
  }
  body.put('0');
  body.put(upper ? 'X' : 'x');
  body.put(hex[lead]);
  if (digits > 0 || alt || precision > 0) body.put('.');
  for (int i = digits - 1; i >= 0; --i) body.put(hex[(m >> (i * 4)) & 0xF]);
  for (int i = digits; i < precision; ++i) body.put('0');
  body.put(upper ? 'P' : 'p');
  body.put(e < 0 ? '-' : '+');
  if (e < 0) e = -e;
  char dec[6];
  int n = 0;
  do {
    dec[n++] = static_cast<char>('0' + e % 10);
    e /= 10;
  } while (e);
  while (n) body.put(dec[--n]);
}

void format_double(Output& out, const Directive& directive, double x) {
  char c = directive.conversion;
  bool upper = c == 'F' || c == 'E' || c == 'G' || c == 'A';
  uint64_t b = bits_of(x);
  bool negative = b >> 63;
  char prefix[1];
  size_t plen = 0;
  if (negative) prefix[plen++] = '-';
  else if (directive.plus) prefix[plen++] = '+';
  else if (directive.space) prefix[plen++] = ' ';
  if (((b >> 52) & 0x7FF) == 0x7FF) {
    bool nan = b & ((uint64_t{1} << 52) - 1);
    const char* text = nan ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
    emit(out, directive, prefix, plen, text, 3, 0, false);
    return;
  }
  Body body;
  if (c == 'a' || c == 'A') {
    hex_body(body, x, directive.precision, directive.alt, upper);
    // The '0' flag pads after "0x".
    size_t lead = 2;
    long len = static_cast<long>(plen + body.size());
    if (!directive.left && directive.zero && directive.width > len) {
      emit(out, Directive{}, prefix, plen, body.data(), lead, 0, false);
      out.repeat('0', directive.width - len);
      out.put(body.data() + lead, body.size() - lead);
      return;
    }
    emit(out, directive, prefix, plen, body.data(), body.size(), 0, false);
    return;
  }
  int precision = directive.precision < 0 ? 6 : directive.precision;
  static Decimal d;  // 800 bytes: kept off the stack, which Lua's C calls share
  d.count = 0;
  d.exponent = 0;
  if (x != 0) exact_decimal(x, d);
  if (c == 'f' || c == 'F') {
    round_decimal(d, d.exponent + precision);
    fixed_body(body, d, precision, directive.alt);
  } else if (c == 'e' || c == 'E') {
    round_decimal(d, precision + 1);
    exponent_body(body, d, precision, directive.alt, upper ? 'E' : 'e', false);
  } else {  // g, G
    if (precision == 0) precision = 1;
    round_decimal(d, precision);
    int x10 = d.count ? d.exponent - 1 : 0;
    if (x10 < precision && x10 >= -4) {
      fixed_body(body, d, precision - 1 - x10, directive.alt);
      if (!directive.alt) body.strip_fraction_zeros();
    } else {
      exponent_body(body, d, precision - 1, directive.alt, upper ? 'E' : 'e', !directive.alt);
    }
  }
  emit(out, directive, prefix, plen, body.data(), body.size(), 0, true);
}

const char* parse_spec(const char* f, Directive& directive, va_list& args) {
  for (;; ++f) {
    if (*f == '-') directive.left = true;
    else if (*f == '+') directive.plus = true;
    else if (*f == ' ') directive.space = true;
    else if (*f == '#') directive.alt = true;
    else if (*f == '0') directive.zero = true;
    else break;
  }
  if (*f == '*') {
    directive.width = va_arg(args, int);
    if (directive.width < 0) {
      directive.left = true;
      directive.width = -directive.width;
    }
    ++f;
  } else {
    while (*f >= '0' && *f <= '9') directive.width = directive.width * 10 + (*f++ - '0');
  }
  if (*f == '.') {
    ++f;
    directive.precision = 0;
    if (*f == '*') {
      directive.precision = va_arg(args, int);
      if (directive.precision < 0) directive.precision = -1;
      ++f;
    } else {
      while (*f >= '0' && *f <= '9') directive.precision = directive.precision * 10 + (*f++ - '0');
    }
  }
  for (;; ++f) {
    if (*f == 'h') directive.length = directive.length == 'h' ? 'H' : 'h';
    else if (*f == 'l') directive.length = directive.length == 'l' ? 'q' : 'l';
    else if (*f == 'j' || *f == 'z' || *f == 't' || *f == 'q') directive.length = 'q';
    else if (*f == 'L') directive.length = 'L';
    else break;
  }
  directive.conversion = *f;
  return *f ? f + 1 : f;
}

int64_t signed_argument(const Directive& directive, va_list& args) {
  switch (directive.length) {
    case 'l':
    case 'q': return va_arg(args, long long);
    case 'h': return static_cast<short>(va_arg(args, int));
    case 'H': return static_cast<signed char>(va_arg(args, int));
    default: return va_arg(args, int);
  }
}

uint64_t unsigned_argument(const Directive& directive, va_list& args) {
  switch (directive.length) {
    case 'l':
    case 'q': return va_arg(args, unsigned long long);
    case 'h': return static_cast<unsigned short>(va_arg(args, unsigned));
    case 'H': return static_cast<unsigned char>(va_arg(args, unsigned));
    default: return va_arg(args, unsigned);
  }
}

}  // namespace

extern "C" int nklua_vsnprintf(char* dst, size_t n, const char* format, va_list ap) {
  Output out(dst, n);
  va_list args;
  va_copy(args, ap);
  const char* f = format;
  while (*f) {
    if (*f != '%') {
      out.put(*f++);
      continue;
    }
    Directive directive;
    f = parse_spec(f + 1, directive, args);
    switch (directive.conversion) {
      case 'd':
      case 'i': {
        int64_t v = signed_argument(directive, args);
        uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        format_integer(out, directive, mag, v < 0);
        break;
      }
      case 'u':
      case 'o':
      case 'x':
      case 'X': format_integer(out, directive, unsigned_argument(directive, args), false); break;
      case 'c': {
        char ch = static_cast<char>(va_arg(args, int));
        emit(out, directive, nullptr, 0, &ch, 1, 0, false);
        break;
      }
      case 's': {
        const char* s = va_arg(args, const char*);
        if (!s) s = directive.precision < 0 || directive.precision >= 6 ? "(null)" : "";
        emit(out, directive, nullptr, 0, s, text_length(s, directive.precision), 0, false);
        break;
      }
      case 'p': {
        void* p = va_arg(args, void*);
        if (!p) {
          emit(out, directive, nullptr, 0, "(nil)", 5, 0, false);
          break;
        }
        Directive hex = directive;
        hex.conversion = 'x';
        hex.alt = true;
        format_integer(out, hex, reinterpret_cast<uintptr_t>(p), false);
        break;
      }
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A': {
        double x = directive.length == 'L' ? static_cast<double>(va_arg(args, long double))
                                      : va_arg(args, double);
        format_double(out, directive, x);
        break;
      }
      case '%': out.put('%'); break;
      case '\0': break;  // a lone '%' at the end prints nothing
      default:  // unknown conversion: shown as written
        out.put('%');
        out.put(directive.conversion);
        break;
    }
  }
  va_end(args);
  out.finish();
  size_t count = out.count();
  return count > 0x7FFFFFFF ? -1 : static_cast<int>(count);
}

extern "C" int nklua_snprintf(char* dst, size_t n, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = nklua_vsnprintf(dst, n, format, args);
  va_end(args);
  return result;
}
