// Fixed answers about time, environment and locale; error messages; and abort, which
// halts the machine.

#include <cstdint>
#include <string>

#include "support/library_test.h"

namespace {

// The library's lconv: ten text pointers, then eight char fields.
struct Lconv {
  const char* texts[10];
  char fields[8];
};

class RuntimeServices : public nk::test::LibraryTest {};

TEST_F(RuntimeServices, TimeIsConstantAndClockCountsCalls) {
  auto time = fn<long(long*)>("time");
  EXPECT_EQ(time(nullptr), 1313554998);
  EXPECT_EQ(time(nullptr), 1313554998);
  long stored = 0;
  EXPECT_EQ(time(&stored), 1313554998);
  EXPECT_EQ(stored, 1313554998);

  auto clock = fn<unsigned long()>("clock");
  for (unsigned long i = 0; i < 10; ++i) EXPECT_EQ(clock(), i);
  // A fresh copy of the library starts counting again.
  nk::sim::Image& fresh = machine.load_library(nk::test::library_path());
  EXPECT_EQ(fresh.function<unsigned long()>("clock")(), 0u);
}

TEST_F(RuntimeServices, NoEnvironmentAndNoCommandProcessor) {
  auto getenv = fn<char*(const char*)>("getenv");
  EXPECT_EQ(getenv("HOME"), nullptr);
  EXPECT_EQ(getenv(""), nullptr);
  auto system = fn<int(const char*)>("system");
  EXPECT_EQ(system(nullptr), -1);
  EXPECT_EQ(system("ls"), -1);
}

TEST_F(RuntimeServices, TheOneLocale) {
  auto setlocale = fn<char*(int, const char*)>("setlocale");
  EXPECT_STREQ(setlocale(0, nullptr), "C");
  EXPECT_STREQ(setlocale(0, ""), "C");
  EXPECT_STREQ(setlocale(4, "de_DE.UTF-8"), "C");

  auto localeconv = fn<Lconv*()>("localeconv");
  Lconv* locale = localeconv();
  EXPECT_EQ(localeconv(), locale);
  const char* expected[10] = {".", "", "", "", "", ".", "", "", "", ""};
  for (int i = 0; i < 10; ++i) EXPECT_STREQ(locale->texts[i], expected[i]) << i;
  for (int i = 0; i < 8; ++i) EXPECT_EQ(locale->fields[i], 0) << i;
  // The record is the library's own data, not a copy on the host's side.
  EXPECT_TRUE(lib.contains(reinterpret_cast<uint64_t>(locale)));
}

TEST_F(RuntimeServices, ErrorMessagesAndErrno) {
  auto strerror = fn<char*(int)>("strerror");
  const std::pair<int, const char*> known[] = {{0, "ok"},
                                               {2, "no such file"},
                                               {5, "i/o error"},
                                               {9, "bad file descriptor"},
                                               {12, "out of memory"},
                                               {13, "permission denied"},
                                               {17, "file exists"},
                                               {22, "invalid argument"}};
  for (auto [number, text] : known) EXPECT_STREQ(strerror(number), text) << number;
  for (int number : {1, 3, 14, 23, 255, -1, -2, INT32_MIN, INT32_MAX})
    EXPECT_STREQ(strerror(number), "error") << number;
  EXPECT_EQ(*lib.data<int>("nk_errno"), 0);
}

TEST_F(RuntimeServices, AbortHalts) {
  EXPECT_EXIT(fn<void()>("abort")(), ::testing::ExitedWithCode(nk::sim::kExitHalted), "halted");
}

}  // namespace
