// NorrikLua's formatter against glibc's snprintf: millions of random values under random
// conversion specifications must give the same text and the same length.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "apps/norriklua/port/norriklua_port.h"

namespace {

std::string random_spec(std::mt19937_64& rng, const char* conversions) {
  std::string f = "%";
  const char* flags = "-+ #0";
  char conversion = conversions[rng() % std::strlen(conversions)];
  // glibc drops a digit from %#g when rounding carries into a new decade ("%#.3g" of
  // 999.5 gives "1.e+03"); ours keeps the precision, so '#' with g is left out here.
  bool alt_ok = conversion != 'g' && conversion != 'G';
  for (int i = 0; i < 5; ++i)
    if (rng() % 4 == 0 && (flags[i] != '#' || alt_ok)) f += flags[i];
  if (rng() % 2) f += std::to_string(rng() % 30);
  if (rng() % 2) f += "." + std::to_string(rng() % 25);
  f += conversion;
  return f;
}

double random_double(std::mt19937_64& rng) {
  switch (rng() % 6) {
    case 0: {  // any bit pattern: subnormals, huge values, inf, nan
      uint64_t bits = rng();
      double x;
      std::memcpy(&x, &bits, sizeof x);
      return x;
    }
    case 1: return static_cast<double>(static_cast<int64_t>(rng()) >> (rng() % 64));
    case 2: return std::ldexp(static_cast<double>(rng() % 100000), -static_cast<int>(rng() % 20));
    case 3: return (static_cast<double>(rng() % 2000001) - 1000000.0) / 1000.0;  // ties
    case 4: return std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 200) - 100);
    default: return static_cast<double>(rng() % 1000) / 8.0;  // exact halves and eighths
  }
}

void expect_same(const std::string& f, auto value, int& failures) {
  char mine[2048], theirs[2048];
  int a = nklua_snprintf(mine, sizeof mine, f.c_str(), value);
  int b = std::snprintf(theirs, sizeof theirs, f.c_str(), value);
  if ((a != b || std::strcmp(mine, theirs) != 0) && ++failures <= 20)
    ADD_FAILURE() << "format " << f << ": got '" << mine << "' (" << a << "), glibc '" << theirs
                  << "' (" << b << ")";
}

TEST(NorrikLuaFormat, DoublesMatchGlibc) {
  std::mt19937_64 rng(12345);
  int failures = 0;
  for (int i = 0; i < 1500000; ++i) expect_same(random_spec(rng, "feEgGaA"), random_double(rng), failures);
  for (int i = 0; i < 300000; ++i) expect_same("%.14g", random_double(rng), failures);
  for (int i = 0; i < 100000; ++i) expect_same("%.17g", random_double(rng), failures);
  for (int i = 0; i < 20000; ++i) expect_same("%.99f", random_double(rng), failures);
  EXPECT_EQ(failures, 0);
}

TEST(NorrikLuaFormat, IntegersMatchGlibc) {
  std::mt19937_64 rng(777);
  int failures = 0;
  for (int i = 0; i < 1000000; ++i) {
    long long v = static_cast<long long>(rng()) >> (rng() % 64);
    std::string f = random_spec(rng, "diouxX");
    switch (rng() % 3) {
      case 0: expect_same(f.insert(f.size() - 1, "ll"), v, failures); break;
      case 1: expect_same(f, static_cast<int>(v), failures); break;
      default: expect_same(f.insert(f.size() - 1, "hh"), static_cast<int>(v), failures); break;
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(NorrikLuaFormat, TextPointersAndTruncation) {
  int failures = 0;
  for (const char* f : {"%s", "%10s", "%-10s|", "%.2s", "%5.1s", "%c", "%-3c|"})
    if (f[std::strlen(f) - 1] == 'c' || f[std::strlen(f) - 2] == 'c') expect_same(f, 'x', failures);
    else expect_same(f, "hello", failures);
  expect_same("%p", static_cast<void*>(&failures), failures);
  expect_same("%p", static_cast<void*>(nullptr), failures);
  expect_same("100%% %s", "done", failures);
  EXPECT_EQ(failures, 0);

  char small[8];
  EXPECT_EQ(nklua_snprintf(small, sizeof small, "%.3f", 3.14159265), 5);
  EXPECT_EQ(nklua_snprintf(small, sizeof small, "%s", "truncated text"), 14);
  EXPECT_STREQ(small, "truncat");
  EXPECT_EQ(nklua_snprintf(nullptr, 0, "%d", 12345), 5);
}

}  // namespace

namespace {

TEST(NorrikLuaNumberParse, DecimalNumeralsRoundLikeGlibc) {
  std::mt19937_64 rng(31337);
  int failures = 0;
  auto check = [&](const char* text) {
    char *mine_end, *their_end;
    double mine = nklua_strtod(text, &mine_end), theirs = std::strtod(text, &their_end);
    if ((std::memcmp(&mine, &theirs, sizeof mine) != 0 || mine_end != their_end) && ++failures <= 20)
      ADD_FAILURE() << "strtod(\"" << text << "\"): " << mine << " vs glibc " << theirs;
  };
  char text[64];
  for (int i = 0; i < 300000; ++i) {
    uint64_t bits = rng();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    std::snprintf(text, sizeof text, "%.*g", static_cast<int>(rng() % 20) + 1, x);
    check(text);
  }
  for (const char* t : {"0", "-0", ".5", "5.", "1e", "1e+", "  12.5e1x", "0.1", "1e308", "1e309",
                        "2.4703282292062327e-324", "2.4703282292062328e-324", "4.9e-324",
                        "1e-400", "179769313486231580793728971405301e276", "x", "-", ".",
                        "9007199254740993", "123456789012345678901234567890e-10",
                        "0.000000000000000000000000000000000001e38"})
    check(t);
  std::string long_text = "1." + std::string(900, '0') + "1";
  check(long_text.c_str());
  std::string half = "9007199254740993" + std::string(850, '0') + "1e-850";
  check(half.c_str());
  EXPECT_EQ(failures, 0);
}

}  // namespace
