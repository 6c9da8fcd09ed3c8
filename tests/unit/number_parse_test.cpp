// strtol and its siblings, strtod and strtof: the grammar case by case, wrap-around, and
// strtod against the Linux C library over many decimal inputs.

#include <gtest/gtest.h>

#include <bit>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/library_test.h"
#include "support/near_midpoint.h"

namespace {

using IntegerParser = uint64_t(const char*, char**, int);
using DoubleParser = double(const char*, char**);

constexpr double kInf = std::numeric_limits<double>::infinity();

uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }

// Units in the last place between two non-negative doubles.
uint64_t ulps(double a, double b) {
  uint64_t x = bits(a), y = bits(b);
  return x > y ? x - y : y - x;
}

class NumberParseTest : public nk::test::LibraryTest {
 protected:
  // All four integer forms return 64 bits in rax; the signed ones are compared as bits.
  IntegerParser* integer_parser(const char* name) { return fn<IntegerParser>(name); }
  DoubleParser* strtod = fn<DoubleParser>("strtod");
};

struct IntegerCase {
  const char* name;
  const char* function;
  const char* text;
  int base;
  uint64_t value;
  long end;  // offset of the end pointer from the start
};

TEST_F(NumberParseTest, IntegerGrammar) {
  const uint64_t all_ones = ~uint64_t{0};
  const IntegerCase cases[] = {
      {"sign and trailing letters", "strtol", "  -42abc", 10, uint64_t(-42), 5},
      {"hex prefix, base 0", "strtol", "0x1A", 0, 26, 4},
      {"hex prefix, base 16", "strtol", "0x1A", 16, 26, 4},
      {"capital X prefix", "strtoul", "0X1f", 0, 31, 4},
      {"hex without prefix", "strtol", "1A", 16, 26, 2},
      {"octal by leading zero", "strtol", "017", 0, 15, 3},
      {"8 is no octal digit", "strtol", "08", 0, 0, 1},
      {"lone zero, base 0", "strtol", "0", 0, 0, 1},
      {"bare prefix, base 16", "strtol", "0x", 16, 0, 0},
      {"bare prefix, base 0", "strtol", "0x", 0, 0, 0},
      {"prefix without hex digit", "strtol", "0xg", 16, 0, 0},
      {"prefix after space and sign", "strtoul", " -0x", 16, 0, 0},
      {"x ends a base-10 number", "strtol", "0x5", 10, 0, 1},
      {"x ends a base-8 number", "strtol", "0x7", 8, 0, 1},
      {"prefix is read once", "strtol", "0x0x1", 16, 0, 3},
      {"negative hex", "strtol", "-0x10", 16, uint64_t(-16), 5},
      {"plus sign", "strtol", "+0x10", 0, 16, 5},
      {"every white-space byte", "strtol", "\t\n\v\f\r 7", 10, 7, 7},
      {"no space after the sign", "strtol", "- 5", 10, 0, 0},
      {"two signs", "strtol", "+-5", 10, 0, 0},
      {"empty text", "strtol", "", 10, 0, 0},
      {"sign alone", "strtol", "-", 10, 0, 0},
      {"non-ASCII byte", "strtol", "\xb5", 36, 0, 0},
      {"binary stops at 2", "strtol", "1012", 2, 5, 3},
      {"base 36, both cases", "strtol", "Zz", 36, 35 * 36 + 35, 2},
      {"strtol refuses base 1", "strtol", "1", 1, 0, 0},
      {"strtol refuses base 37", "strtol", "12", 37, 0, 0},
      {"strtoul refuses base -1", "strtoul", "12", -1, 0, 0},
      {"strtoul refuses base 37 after space", "strtoul", "  12", 37, 0, 0},
      {"strtoull base 40 takes z", "strtoull", "z", 40, 35, 1},
      {"strtoull base 40 stops at punctuation", "strtoull", "z!", 40, 35, 1},
      {"strtoll base 1000", "strtoll", "zz", 1000, 35 * 1000 + 35, 2},
      {"strtoull base 1 takes zeros", "strtoull", "001", 1, 0, 2},
      {"strtoull base 1, no zero", "strtoull", "1", 1, 0, 0},
      {"strtoll negative base", "strtoll", "5", -3, 0, 0},
      {"strtoull base 0 settles too", "strtoull", "0x1f", 0, 31, 4},
      {"strtoul of -1", "strtoul", "-1", 10, all_ones, 2},
      {"wraps modulo 2^64", "strtol", "18446744073709551617", 10, 1, 20},
      {"most negative", "strtoll", "-9223372036854775808", 10, uint64_t{1} << 63, 20},
      {"no clamping at the top", "strtol", "9223372036854775808", 10, uint64_t{1} << 63, 19},
      {"long hex wraps", "strtoull", "0x123456789abcdef01", 0, 0x23456789abcdef01, 19},
      {"strtoull negates", "strtoull", "-2", 10, all_ones - 1, 2},
  };
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto parse = integer_parser(c.function);
    char* end = nullptr;
    EXPECT_EQ(parse(c.text, &end, c.base), c.value);
    EXPECT_EQ(end - c.text, c.end);
    EXPECT_EQ(parse(c.text, nullptr, c.base), c.value);  // no end pointer: nothing stored
  }
}

struct DoubleCase {
  const char* name;
  const char* text;
  double value;
  long end;
};

TEST_F(NumberParseTest, DoubleGrammar) {
  const DoubleCase cases[] = {
      {"exponent, trailing letter", "  -12.5e1x", -125.0, 9},
      {"negative exponent", "5e-1", 0.5, 4},
      {"capital E, plus", "1.5E+2", 150.0, 6},
      {"e without digits", "1e", 1.0, 1},
      {"e and sign without digits", "1e+", 1.0, 1},
      {"e and minus without digits", "1E-x", 1.0, 1},
      {"fraction only", ".5", 0.5, 2},
      {"negative fraction only", "-.5", -0.5, 3},
      {"trailing dot", "5.", 5.0, 2},
      {"dot alone", ".", 0.0, 0},
      {"sign alone", "-", 0.0, 0},
      {"dot and exponent", "+.e1", 0.0, 0},
      {"negative zero", "-0", -0.0, 2},
      {"negative zero with exponent", "-0e-5", -0.0, 5},
      {"zero with a huge exponent", "0e999999999999", 0.0, 14},
      {"inf is no number", "inf", 0.0, 0},
      {"nan is no number", "nan", 0.0, 0},
      {"no hex form", "0x10", 0.0, 1},
      {"white space", "\t\n\v\f\r 42", 42.0, 8},
      {"space after sign", "- 1", 0.0, 0},
      {"exponent too long for 32 bits", "1e999999999999", kInf, 14},
      {"negative exponent too long for 32 bits", "1e-999999999999", 0.0, 15},
      {"negative and too large", "-1e999999999999", -kInf, 15},
      {"exponent of 2^32 + 1", "1e4294967297", kInf, 12},
      {"overflow", "1e309", kInf, 5},
      {"underflow", "1e-400", 0.0, 6},
      {"smallest subnormal", "4.9406564584124654e-324", 0x1p-1074, 23},
      {"rounds up to the smallest subnormal", "2.5e-324", 0x1p-1074, 8},
      {"rounds down to zero", "2.4e-324", 0.0, 8},
      {"largest double", "1.7976931348623157e308", 1.7976931348623157e308, 22},
      {"1e23, correctly rounded", "1e23", 1e23, 4},
      {"exact power", "1e22", 1e22, 4},
  };
  for (const DoubleCase& c : cases) {
    SCOPED_TRACE(c.name);
    char* end = nullptr;
    double value = strtod(c.text, &end);
    EXPECT_EQ(bits(value), bits(c.value)) << value << " expected " << c.value;
    EXPECT_EQ(end - c.text, c.end);
  }
}

TEST_F(NumberParseTest, LongMantissasAccumulateAsWritten) {
  // The mantissa is whole * 10 + digit per digit and whole + fraction / scale, in doubles.
  std::mt19937_64 random(2);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    double whole = 0, fraction = 0, scale = 1;
    for (int n = 1 + random() % 40; n > 0; --n) {
      int d = random() % 10;
      text += static_cast<char>('0' + d);
      whole = whole * 10.0 + d;
    }
    text += '.';
    for (int n = random() % 40; n > 0; --n) {
      int d = random() % 10;
      text += static_cast<char>('0' + d);
      fraction = fraction * 10.0 + d;
      scale *= 10.0;
    }
    ASSERT_EQ(bits(strtod(text.c_str(), nullptr)), bits(whole + fraction / scale)) << text;
  }
  // Beyond 308 fraction digits the rest is read and left out: no NaN, no lost fraction.
  std::string thirds = "0." + std::string(400, '3');
  char* end = nullptr;
  EXPECT_LE(ulps(strtod(thirds.c_str(), &end), 1.0 / 3.0), 1u);
  EXPECT_EQ(end - thirds.c_str(), 402);
  std::string tenth = "0.1" + std::string(400, '0');
  EXPECT_LE(ulps(strtod(tenth.c_str(), nullptr), 0.1), 1u);
  std::string half = "0.5" + std::string(400, '0') + "e1";
  EXPECT_EQ(strtod(half.c_str(), &end), 5.0);
  EXPECT_EQ(*end, '\0');
}

// Random decimal texts: `whole` and `fraction` digit counts, an optional exponent.
class DecimalTexts {
 public:
  explicit DecimalTexts(uint64_t seed) : random_(seed) {}
  std::string make(int whole_digits, int fraction_digits, bool exponent, int low = -340,
                   int high = 320) {
    std::string text = digits(whole_digits, true);
    if (fraction_digits > 0) text += "." + digits(fraction_digits, false);
    if (exponent)
      text += "e" + std::to_string(std::uniform_int_distribution<int>(low, high)(random_));
    return text;
  }
  int count(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

 private:
  std::string digits(int n, bool leading) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + (leading && i == 0 ? 1 + random_() % 9 : random_() % 10));
    return s;
  }
  std::mt19937_64 random_;
};

TEST_F(NumberParseTest, StrtodAgreesWithTheCLibrary) {
  DecimalTexts texts(3);
  auto compare = [&](const std::string& text, uint64_t allowed, uint64_t* worst) {
    char* end = nullptr;
    char* expected_end = nullptr;
    double value = strtod(text.c_str(), &end);
    double expected = std::strtod(text.c_str(), &expected_end);
    uint64_t distance = ulps(value, expected);
    if (worst && distance > *worst) *worst = distance;
    EXPECT_LE(distance, allowed) << text << ": " << value << " expected " << expected;
    EXPECT_EQ(end, expected_end) << text;
    return distance <= allowed;
  };
  // Integers of up to 15 digits are exact.
  for (int i = 0; i < 100000; ++i)
    if (!compare(texts.make(texts.count(1, 15), 0, false), 0, nullptr)) break;
  // With a fraction, whole + fraction / scale rounds twice: within one unit.
  for (int i = 0; i < 100000; ++i)
    if (!compare(texts.make(texts.count(0, 15), texts.count(1, 15), false), 1, nullptr)) break;
  // An exact mantissa times an exact power of ten rounds once.
  for (int i = 0; i < 100000; ++i)
    if (!compare(texts.make(texts.count(1, 15), 0, true, -22, 22), 0, nullptr)) break;
  // With a wider exponent an exact mantissa comes out correctly rounded; a mantissa with a
  // fraction brings its own two roundings.
  uint64_t worst_integer = 0, worst_fraction = 0;
  for (int i = 0; i < 200000; ++i)
    if (!compare(texts.make(texts.count(1, 15), 0, true), 0, &worst_integer)) break;
  for (int i = 0; i < 200000; ++i)
    if (!compare(texts.make(texts.count(1, 15), texts.count(1, 15), true), 2, &worst_fraction))
      break;
  std::printf("largest difference from the C library with an exponent: %" PRIu64
              " ulp (integer mantissa), %" PRIu64 " ulp (with fraction)\n",
              worst_integer, worst_fraction);
  RecordProperty("worst_ulps_integer_exponent", static_cast<int>(worst_integer));
  RecordProperty("worst_ulps_fraction_exponent", static_cast<int>(worst_fraction));
}

// Whatever the mantissa, v * 10^e is rounded once from the exact product: the reference is
// the C library reading v's exact decimal expansion with the exponent added.
TEST_F(NumberParseTest, PowerOfTenRoundsTheMantissaOnce) {
  std::mt19937_64 random(5);
  DecimalTexts texts(6);
  std::vector<char> exact(1000);
  for (int i = 0; i < 30000; ++i) {
    // Mantissas from about 10^-320 (many leading fraction zeros) to 10^40, exponents that
    // bring most of them back into range.
    int zeros = static_cast<int>(random() % 321);
    std::string mantissa = i % 2 ? "0." + std::string(zeros, '0') + texts.make(texts.count(1, 20), 0, false)
                                 : texts.make(texts.count(1, 40), texts.count(0, 20), false);
    double v = strtod(mantissa.c_str(), nullptr);
    if (v == 0) continue;
    int magnitude = static_cast<int>(std::floor(std::log10(v)));
    int e = -magnitude + static_cast<int>(random() % 661) - 330;
    std::snprintf(exact.data(), exact.size(), "%.780e", v);
    std::string digits = exact.data();
    size_t mark = digits.find('e');
    std::string reference_text =
        digits.substr(0, mark) + "e" + std::to_string(std::stoi(digits.substr(mark + 1)) + e);
    std::string text = mantissa + "e" + std::to_string(e);
    ASSERT_EQ(bits(strtod(text.c_str(), nullptr)), bits(std::strtod(reference_text.c_str(), nullptr)))
        << text;
  }
}

// Products that land at or next to a halfway point between two doubles, where anything short
// of exact arithmetic picks the wrong neighbour. Their mantissas are exact integers, so the C
// library's correctly rounded reading of the same text is the exact reference.
TEST_F(NumberParseTest, PowerOfTenIsExactNearHalfwayPoints) {
  const char* hard[] = {
      // Classic inputs that a double-double product gets one unit wrong.
      "231010996856685e-073", "609610927149051e-255", "3743626360493413e-165",
      // Paxson's hard cases for 53 bits.
      "5e-20", "67e+14", "985e+15", "7693e-42", "55895e-16", "996622e-44", "7038531e-32",
      "60419369e-46", "702990899e-20", "6930161142e-48", "25933168707e+13",
      "596428896559e+20", "3e-23", "57e+18", "789e-35", "2539e-18", "76173e+28",
      "887745e-11", "5382571e-37", "82381273e-35", "750486563e-38", "3752432815e-39",
      "75224575729e-45", "459926601011e+15",
      // 10^23 = 5^23 * 2^23, and 5^23 has 54 bits: exactly halfway, ties go to even.
      "1e23", "2e23", "4e23", "1024e23", "4503599627370496e23", "3e23", "9e23",
      // Around the largest double and into the subnormals.
      "1797693134862315e293", "1797693134862316e293", "2225073858507201e-323",
      "2225073858507202e-323", "2470328229206232e-339", "2470328229206233e-339",
      "4940656458412465e-339", "1e-324", "3e-324", "7e-324"};
  for (const char* text : hard)
    EXPECT_EQ(bits(strtod(text, nullptr)), bits(std::strtod(text, nullptr))) << text;

  // Integer mantissas up to 2^53 with every exponent that leaves the exact powers.
  std::mt19937_64 random(11);
  for (int i = 0; i < 100000; ++i) {
    uint64_t mantissa = random() >> (11 + random() % 50);
    int e = static_cast<int>(random() % 700) - 350;
    if (e >= -22 && e <= 22) continue;
    std::string text = std::to_string(mantissa) + "e" + std::to_string(e);
    ASSERT_EQ(bits(strtod(text.c_str(), nullptr)), bits(std::strtod(text.c_str(), nullptr))) << text;
  }
}

// The mantissa as the platform accumulates it: whole * 10 + digit, then whole + fraction / scale.
double accumulated(const std::string& mantissa) {
  double whole = 0, fraction = 0, scale = 1;
  size_t point = mantissa.find('.');
  for (size_t i = 0; i < mantissa.size(); ++i) {
    double digit = mantissa[i] - '0';
    if (i < point) whole = whole * 10.0 + digit;
    if (i > point) fraction = fraction * 10.0 + digit, scale *= 10.0;
  }
  return whole + fraction / scale;
}

// m * 2^s written out exactly: a negative s gives -s fraction digits.
std::string decimal(uint64_t m, int s) {
  mpz_class n = static_cast<unsigned long>(m);
  if (s >= 0) return mpz_class(n << s).get_str();
  mpz_class five;
  mpz_ui_pow_ui(five.get_mpz_t(), 5, -s);
  std::string digits = mpz_class(n * five).get_str();
  if (digits.size() <= static_cast<size_t>(-s)) digits.insert(0, -s + 1 - digits.size(), '0');
  return digits.insert(digits.size() + s, ".");
}

// Products built to lie halfway between two doubles or within 2^-30 of a last place from there,
// in every binade from the subnormals to the largest doubles, checked bit for bit against exact
// arithmetic. The mantissa m * 2^s is written as an integer (s = 0), as a long integer with its
// last digits changed, or with -s fraction digits and more appended: the long texts have more
// than 17 digits and are not their accumulated double, which alone decides the result.
TEST_F(NumberParseTest, PowerOfTenRoundsGeneratedMidpointsOnce) {
  using nk::test::power_of_ten, nk::test::power_of_two;
  std::mt19937_64 random(17);
  auto below = [&](uint64_t n) { return random() % n; };
  auto digits = [&](size_t n) {
    std::string s;
    while (s.size() < n) s += static_cast<char>('0' + below(10));
    return s;
  };
  struct Tally {
    int cases = 0, as_built = 0, near = 0, on = 0, before = 0, after = 0, subnormal = 0, top = 0;
    double farthest = 0;  // from a midpoint, in last places, among those as built
  } tally[4];  // integers, long integers, long fractions, random long texts
  const char* kinds[] = {"integer", "long integer", "long fraction"};
  auto check = [&](Tally& t, const std::string& mantissa, int e, double built) {
    double v = accumulated(mantissa);
    nk::test::Rounded exact = nk::test::round_exactly(mpq_class(v) * power_of_ten(e));
    std::string text = mantissa + "e" + std::to_string(e);
    EXPECT_EQ(bits(strtod(text.c_str(), nullptr)), bits(exact.value)) << text;
    ++t.cases;
    if (v != built) return;
    ++t.as_built;
    mpq_class distance = abs(exact.offset);
    t.farthest = std::max(t.farthest, distance.get_d());
    if (distance >= power_of_two(-30)) return;
    ++t.near;
    (exact.offset == 0 ? t.on : exact.offset < 0 ? t.before : t.after)++;
    t.subnormal += exact.value < 0x1p-1022;
    t.top += exact.value >= 0x1p1023;
  };
  int misses = 0;
  for (int i = 0; i < 12000; ++i) {
    int kind = i % 3, s = kind == 0 ? 0 : kind == 1 ? 24 + below(56) : -12 - below(39);
    nk::test::Product p{0, 1 + static_cast<int>(below(23))};
    if (i % 12 < 3) {
      p.mantissa = nk::test::halfway_mantissa(p.e, random);
      if (kind == 1) s = 58 - static_cast<int>(std::bit_width(p.mantissa) + below(75));
    } else {
      // The top binade, the subnormals, any; again where e came out small or the lattice
      // found nothing near.
      for (int tries = 0; p.mantissa == 0 && tries < 20; ++tries) {
        int binade = i % 12 < 6 ? 1023 : i % 12 < 9 ? -1071 + below(49) : -1071 + below(2095);
        p = nk::test::near_midpoint_product(binade, s, random);
        misses += p.mantissa == 0 && std::abs(p.e) >= 24;
      }
      if (p.mantissa == 0) continue;
    }
    std::string text = decimal(p.mantissa, s);
    if (kind == 1) text.replace(text.size() - 3, 3, digits(3));
    if (kind == 2) text += digits(below(7));
    check(tally[kind], text, p.e, std::ldexp(static_cast<double>(p.mantissa), s));
  }
  for (int i = 0; i < 4000; ++i) {
    std::string text = std::to_string(1 + below(9)) + digits(17 + below(23));
    if (i % 2) text.insert(1 + below(text.size() - 1), ".");
    check(tally[3], text, static_cast<int>(below(651)) - 340, -1);
  }
  // The generator's own check: every mantissa that accumulates as built is near a midpoint,
  // on either side and on it, in the subnormals and the top binade too.
  EXPECT_LT(misses, 200);
  for (int k = 0; k < 3; ++k) {
    const Tally& t = tally[k];
    std::printf("%s: %d cases, %d accumulate as built, %d within 2^-30 of a midpoint (%d on it, "
                "%d below, %d above; %d subnormal, %d in the top binade), farthest 2^%.1f\n",
                kinds[k], t.cases, t.as_built, t.near, t.on, t.before, t.after, t.subnormal, t.top,
                std::log2(t.farthest));
    EXPECT_EQ(t.near, t.as_built) << kinds[k];
    EXPECT_GT(t.as_built, t.cases / 3) << kinds[k];
    EXPECT_GT(std::min({t.on, t.before, t.after, t.subnormal, t.top}), t.cases / 20) << kinds[k];
  }
  std::printf("random long texts: %d; lattice misses: %d\n", tally[3].cases, misses);
}

TEST_F(NumberParseTest, StrtofRoundsTheDouble) {
  auto strtof = fn<float(const char*, char**)>("strtof");
  const struct {
    const char* text;
    float value;
    long end;
  } cases[] = {{"0.1", 0.1f, 3},        {"  -2.5e3z", -2500.0f, 8}, {"1e39", INFINITY, 4},
               {"-1e-50", -0.0f, 6},    {"16777217", 16777216.0f, 8}, {"x1", 0.0f, 0},
               {"1.00000017881393432617187499", 1.00000024f, 28}};  // halfway once a double
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char* end = nullptr;
    EXPECT_EQ(std::bit_cast<uint32_t>(strtof(c.text, &end)), std::bit_cast<uint32_t>(c.value));
    EXPECT_EQ(end - c.text, c.end);
  }
}

}  // namespace
