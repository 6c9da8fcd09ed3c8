// snprintf and vsnprintf: the fixed set of conversions, truncation that keeps the full
// length, and fixed notation beyond the 32-bit range.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "support/library_test.h"

namespace {

using nk::test::GuardedBuffer;

class Format : public nk::test::LibraryTest {
 protected:
  using Snprintf = int(char*, size_t, const char*, ...);
  Snprintf* snprintf_ = fn<Snprintf>("snprintf");

  // Formats into a roomy guarded buffer; checks that the result is the text's length.
  template <class... A>
  std::string format(const char* format, A... args) {
    GuardedBuffer buffer(1024);
    int n = snprintf_(buffer.data(), buffer.size(), format, args...);
    EXPECT_TRUE(buffer.intact());
    std::string text = buffer.str();
    EXPECT_EQ(n, int(text.size())) << format;
    return text;
  }
};

TEST_F(Format, TruncationKeepsThePrefixAndTheFullLength) {
  EXPECT_EQ(snprintf_(nullptr, 0, "abc"), 3);
  GuardedBuffer none(0);
  EXPECT_EQ(snprintf_(none.data(), 0, "abc%d", 12345), 8);
  EXPECT_TRUE(none.intact());

  for (size_t size : {1u, 3u, 4u, 9u, 10u}) {
    GuardedBuffer buffer(size);
    EXPECT_EQ(snprintf_(buffer.data(), size, "abc%s%d", "def", -12), 9);
    EXPECT_EQ(buffer.str(), std::string("abcdef-12").substr(0, size - 1));
    EXPECT_TRUE(buffer.intact()) << size;
  }

  std::string long_text(600, 'q');
  GuardedBuffer small(16);
  EXPECT_EQ(snprintf_(small.data(), small.size(), "%s|%f", long_text.c_str(), 2.5), 609);
  EXPECT_EQ(small.str(), std::string(15, 'q'));
  EXPECT_TRUE(small.intact());
}

TEST_F(Format, IntegersPrintTheirLowThirtyTwoBits) {
  EXPECT_EQ(format("%d|%i|%I", -5, 42, -3), "-5|42|-3");
  EXPECT_EQ(format("%d", INT32_MIN), "-2147483648");
  EXPECT_EQ(format("%u", 4294967295u), "4294967295");
  EXPECT_EQ(format("%lu", 4294967296ul), "0");
  EXPECT_EQ(format("%lld|%lld", -1ll, 0x1FFFFFFFEll), "-1|-2");
  EXPECT_EQ(format("%hd|%hhd|%zu|%td", 65537, 300, size_t{7}, 8l), "65537|300|7|8");
  EXPECT_EQ(format("%x|%X|%x", 255, 255, 0xDEADBEEFu), "ff|FF|deadbeef");
  EXPECT_EQ(format("%08x|%5d|%.3u|%12.4lx", 255, 42, 7u, 0xABCul), "ff|42|7|abc");
  EXPECT_EQ(format("%p|%p", static_cast<void*>(nullptr), reinterpret_cast<void*>(0x12345678ABCDull)),
            "0x0|0x5678abcd");
  // A 64-bit argument takes one slot whatever the modifier says.
  EXPECT_EQ(format("%d %d", 0x100000005ll, 6), "5 6");
}

TEST_F(Format, TextsAndCharacters) {
  EXPECT_EQ(format("[%s]", "text"), "[text]");
  EXPECT_EQ(format("%s", static_cast<const char*>(nullptr)), "(null)");
  EXPECT_EQ(format("%c%c%%", 65, 0x142), "AB%");
  EXPECT_EQ(format("caf\xc3\xa9 %s", "\xff"), "caf\xc3\xa9 \xff");

  // A zero byte from %c is stored and counted.
  GuardedBuffer buffer(8);
  EXPECT_EQ(snprintf_(buffer.data(), buffer.size(), "a%cb", 0), 3);
  EXPECT_EQ(std::string(buffer.data(), 4), std::string("a\0b\0", 4));
  EXPECT_TRUE(buffer.intact());
}

TEST_F(Format, UnknownConversionsPrintAQuestionMarkAndTakeNoArgument) {
  EXPECT_EQ(format("%e %d", 7), "? 7");
  EXPECT_EQ(format("%g%o%n%Lf%jd%qd|%d", 9), "????f?d?d|9");
  EXPECT_EQ(format("%-5d"), "?5d");
  EXPECT_EQ(format("%+d|%d", 3), "?d|3");
  EXPECT_EQ(format("%*d|%s", "x"), "?d|x");
  EXPECT_EQ(format("%5%"), "?");
  // Cut short by the end of the format: one "?" and nothing read past the NUL.
  EXPECT_EQ(format("ab%"), "ab?");
  EXPECT_EQ(format("ab%5"), "ab?");
  EXPECT_EQ(format("ab%."), "ab?");
  EXPECT_EQ(format("ab%l"), "ab?");
  EXPECT_EQ(format("ab%12.3hh"), "ab?");
}

TEST_F(Format, FixedNotationTruncatesToSixDecimals) {
  EXPECT_EQ(format("%f", 1.5), "1.500000");
  EXPECT_EQ(format("%.2f", 1.5), "1.500000");
  EXPECT_EQ(format("%f", -0.5), "-0.500000");
  EXPECT_EQ(format("%f", -0.0), "0.000000");
  EXPECT_EQ(format("%f", 0.0000001), "0.000000");
  EXPECT_EQ(format("%f", 123456.789), "123456.789000");
  EXPECT_EQ(format("%f", 2.675), "2.674999");
  EXPECT_EQ(format("%f", 3.14159), "3.141589");
  EXPECT_EQ(format("%f", 2147483647.9999), "2147483647.999900");
  EXPECT_EQ(format("%d %f %d", 1, 0.25, 2), "1 0.250000 2");
}

TEST_F(Format, FixedNotationBeyondThirtyTwoBits) {
  EXPECT_EQ(format("%f", 2147483648.0), "2147483648.000000");
  EXPECT_EQ(format("%f", -3e9), "-3000000000.000000");
  EXPECT_EQ(format("%f", 4294967296.5), "4294967296.500000");
  EXPECT_EQ(format("%f", 1e20), "100000000000000000000.000000");
  EXPECT_EQ(format("%f", 18446744073709551616.0), "18446744073709551616.000000");
  EXPECT_EQ(format("%f", 9007199254740994.0), "9007199254740994.000000");
  EXPECT_EQ(format("%f", 123456789012.375), "123456789012.375000");
  EXPECT_EQ(format("%f", std::numeric_limits<double>::max()),
            "17976931348623157081452742373170435679807056752584499659891747680315726078002853876058955"
            "86327668781715404589535143824642343213268894641827684675467035375169860499105765512820762"
            "45490090389328944075868508455133942304583236903222948165808559332123348274797826204144723"
            "168738177180919299881250404026184124858368.000000");
  EXPECT_EQ(format("%f|%f|%f", HUGE_VAL, -HUGE_VAL, std::nan("")), "inf|-inf|nan");
  EXPECT_EQ(format("%f", -std::nan("")), "nan");
}

TEST_F(Format, NullFormatGivesEmptyText) {
  GuardedBuffer buffer(4);
  buffer.data()[0] = 'x';
  EXPECT_EQ(snprintf_(buffer.data(), buffer.size(), nullptr), 0);
  EXPECT_EQ(buffer.str(), "");
  EXPECT_TRUE(buffer.intact());
}

}  // namespace
