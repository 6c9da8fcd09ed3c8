// Character classes: exactly 0 or 1, and nothing outside 7-bit ASCII, over every code a
// caller might pass (EOF, signed chars, values above 255).

#include <climits>
#include <string>

#include "support/library_test.h"

namespace {

class Ctype : public nk::test::LibraryTest {
 protected:
  using Class = int(int);
  void expect_class(const char* name, const std::string& members) {
    Class* test = fn<Class>(name);
    for (int c : {INT_MIN, -129, -128, -1, 255 + 'a', 256 + '0', INT_MAX}) EXPECT_EQ(test(c), 0) << name << " " << c;
    for (int c = 0; c < 256; ++c) {
      int expected = c < 128 && members.find(char(c)) != std::string::npos;
      EXPECT_EQ(test(c), expected) << name << " " << c;
    }
  }
};

const std::string kDigits = "0123456789";
const std::string kLower = "abcdefghijklmnopqrstuvwxyz";
const std::string kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

TEST_F(Ctype, ClassesAreExactRanges) {
  expect_class("isdigit", kDigits);
  expect_class("isxdigit", kDigits + "abcdefABCDEF");
  expect_class("islower", kLower);
  expect_class("isupper", kUpper);
  expect_class("isalpha", kLower + kUpper);
  expect_class("isalnum", kDigits + kLower + kUpper);
  expect_class("isblank", " \t");
  expect_class("isspace", " \t\n\v\f\r");
  std::string printable;
  for (int c = 32; c <= 126; ++c) printable += char(c);
  expect_class("isprint", printable);
}

TEST_F(Ctype, CaseMappingTouchesOnlyAsciiLetters) {
  auto tolower = fn<int(int)>("tolower");
  auto toupper = fn<int(int)>("toupper");
  for (int c = -200; c < 400; ++c) {
    bool upper = c >= 'A' && c <= 'Z';
    bool lower = c >= 'a' && c <= 'z';
    EXPECT_EQ(tolower(c), upper ? c + 32 : c) << c;
    EXPECT_EQ(toupper(c), lower ? c - 32 : c) << c;
  }
  EXPECT_EQ(toupper(233), 233);
  EXPECT_EQ(tolower(-1), -1);
}

}  // namespace
