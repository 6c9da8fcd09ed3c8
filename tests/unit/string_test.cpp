// Memory and string functions of the shipped library.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "support/library_test.h"

namespace {

using nk::test::GuardedBuffer;

// Read-write pages (one unless asked) between two inaccessible ones: a read or write that
// strays from an object placed at either edge faults.
class GuardedPage {
 public:
  explicit GuardedPage(size_t pages = 1) : pages_(pages) {
    size_ = size_t(sysconf(_SC_PAGESIZE));
    base_ = static_cast<unsigned char*>(
        mmap(nullptr, (pages + 2) * size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    mprotect(base_ + size_, pages * size_, PROT_READ | PROT_WRITE);
  }
  ~GuardedPage() { munmap(base_, (pages_ + 2) * size_); }
  GuardedPage(const GuardedPage&) = delete;
  GuardedPage& operator=(const GuardedPage&) = delete;
  unsigned char* start() { return base_ + size_; }
  unsigned char* end() { return base_ + (pages_ + 1) * size_; }
  size_t size() const { return size_; }

 private:
  size_t pages_;
  unsigned char* base_;
  size_t size_;
};

// Contents that make every byte position interesting: mostly one letter, with a few others.
void fill(unsigned char* p, size_t n, std::mt19937& random) {
  for (size_t i = 0; i < n; ++i) p[i] = random() % 8 ? 'a' : static_cast<unsigned char>(0x80 + random() % 100);
}

class String : public nk::test::LibraryTest {
 protected:
  using Copy = void*(void*, const void*, size_t);
  Copy* memcpy_ = fn<Copy>("memcpy");
  Copy* memmove_ = fn<Copy>("memmove");
  void* (*memset_)(void*, int, size_t) = fn<void*(void*, int, size_t)>("memset");
  int (*memcmp_)(const void*, const void*, size_t) = fn<int(const void*, const void*, size_t)>("memcmp");
  void* (*memchr_)(const void*, int, size_t) = fn<void*(const void*, int, size_t)>("memchr");
  size_t (*strlen_)(const char*) = fn<size_t(const char*)>("strlen");
  int (*strcmp_)(const char*, const char*) = fn<int(const char*, const char*)>("strcmp");
  int (*strncmp_)(const char*, const char*, size_t) = fn<int(const char*, const char*, size_t)>("strncmp");
  char* (*strchr_)(const char*, int) = fn<char*(const char*, int)>("strchr");
  char* (*strstr_)(const char*, const char*) = fn<char*(const char*, const char*)>("strstr");

  // How the library reads strings: 1 byte at a time (as under valgrind), 2 sixteen bytes,
  // 3 thirty-two. Every way this processor can run, so that each is tested here.
  unsigned char* read_mode_ = lib.internal_function<unsigned char>("_ZN2nk9gReadModeE");
  std::vector<unsigned char> read_modes() {
    strlen_("settle");
    std::vector<unsigned char> modes = {1, 2};
    if (*read_mode_ == 3) modes.push_back(3);
    return modes;
  }
};

TEST_F(String, CopiesStayInsideTheirBounds) {
  GuardedBuffer dst(16);
  EXPECT_EQ(memcpy_(dst.data(), "0123456789abcdef", 16), dst.data());
  EXPECT_EQ(std::string(dst.data(), 16), "0123456789abcdef");
  EXPECT_EQ(memset_(dst.data() + 4, 0x178, 8), dst.data() + 4);  // low 8 bits only
  EXPECT_EQ(std::string(dst.data(), 16), "0123xxxxxxxxcdef");
  memcpy_(dst.data(), "zz", 0);
  EXPECT_EQ(dst.data()[0], '0');
  fn<void(void*, size_t)>("bzero")(dst.data(), 3);
  fn<void(void*, size_t)>("__bzero")(dst.data() + 13, 3);
  EXPECT_EQ(std::string(dst.data(), 16), std::string("\0\0\0" "3xxxxxxxxc\0\0\0", 16));
  EXPECT_TRUE(dst.intact());

  GuardedBuffer s(8);
  EXPECT_EQ(fn<char*(char*, const char*)>("strcpy")(s.data(), "seven!!"), s.data());
  EXPECT_EQ(s.str(), "seven!!");
  EXPECT_TRUE(s.intact());
}

TEST_F(String, MemmoveHandlesOverlapInBothDirections) {
  // Long enough for any wide copying the compiler may add to come into play.
  std::string base;
  for (int i = 0; i < 200; ++i) base += char('A' + i % 26);
  for (size_t shift : {1u, 7u, 33u}) {
    std::string forward = base, expected = base;
    memmove_(&forward[0], &forward[shift], 150);
    expected.replace(0, 150, base.substr(shift, 150));
    EXPECT_EQ(forward, expected) << shift;

    std::string backward = base;
    expected = base;
    memmove_(&backward[shift], &backward[0], 150);
    expected.replace(shift, 150, base.substr(0, 150));
    EXPECT_EQ(backward, expected) << shift;
  }
  char one[2] = {'a', 'b'};
  memmove_(one, one + 1, 0);
  memmove_(one, one, 2);
  EXPECT_EQ(std::string(one, 2), "ab");
}

TEST_F(String, MemcpyCopiesForwardEvenWhenBlocksOverlap) {
  // Byte 0 first, one at a time: copying onto the next byte repeats the first one.
  std::string s = "a" + std::string(99, '.');
  memcpy_(&s[1], &s[0], 99);
  EXPECT_EQ(s, std::string(100, 'a'));
}

TEST_F(String, ComparisonsUseUnsignedBytes) {
  EXPECT_EQ(memcmp_("a", "c", 1), -2);
  EXPECT_EQ(memcmp_("\xff", "\x00", 1), 255);
  EXPECT_EQ(memcmp_("abc", "abd", 2), 0);
  EXPECT_EQ(memcmp_("x", "y", 0), 0);
  EXPECT_GT(strcmp_("\x80", "a"), 0);
  EXPECT_EQ(strcmp_("abc", "abc"), 0);
  EXPECT_EQ(strcmp_("ab", "abc"), -'c');
  EXPECT_EQ(strcmp_("abc", "ab"), 'c');
  EXPECT_EQ(fn<int(const char*, const char*)>("strcoll")("b", "a"), 1);
  EXPECT_EQ(strncmp_("abc", "abd", 2), 0);
  EXPECT_EQ(strncmp_("abc", "abd", 3), -1);
  EXPECT_EQ(strncmp_("x", "y", 0), 0);
  // Both end together before n: equal, and nothing past the NULs is read.
  const char a[] = {'a', 0, 'x'};
  const char b[] = {'a', 0, 'y'};
  EXPECT_EQ(strncmp_(a, b, 3), 0);
  EXPECT_GT(strncmp_("\xe9", "e", 5), 0);
}

TEST_F(String, Searches) {
  const char* s = "hello";
  EXPECT_EQ(strlen_(s), 5u);
  EXPECT_EQ(strlen_(nullptr), 0u);
  EXPECT_EQ(strchr_(s, 'l'), s + 2);
  EXPECT_EQ(strchr_(s, 'l' + 256), s + 2);
  EXPECT_EQ(strchr_(s, 0), s + 5);
  EXPECT_EQ(strchr_(s, 256), s + 5);
  EXPECT_EQ(strchr_(s, 'z'), nullptr);
  const char high[] = "a\xe9";
  EXPECT_EQ(strchr_(high, 0xe9), high + 1);
  EXPECT_EQ(memchr_(s, 'o', 5), s + 4);
  EXPECT_EQ(memchr_(s, 'o', 4), nullptr);
  const char embedded[] = "a\0b";
  EXPECT_EQ(memchr_(embedded, 'b' + 512, 3), embedded + 2);

  EXPECT_EQ(fn<size_t(const char*, const char*)>("strspn")("  \tx ", " \t"), 3u);
  EXPECT_EQ(fn<size_t(const char*, const char*)>("strspn")("abc", ""), 0u);
  auto strpbrk = fn<char*(const char*, const char*)>("strpbrk");
  EXPECT_EQ(strpbrk(s, "ol"), s + 2);
  EXPECT_EQ(strpbrk(s, "xyz"), nullptr);
  // Bytes above 0x7F and at the edges of the set's 64-bit words (0x3F/0x40, 0x7F/0x80, 0xFF).
  const char upper[] = "\xff\x80?@\x7f!";
  EXPECT_EQ(fn<size_t(const char*, const char*)>("strspn")(upper, "@?\x7f\x80\xff"), 5u);
  EXPECT_EQ(strpbrk(upper, "!\xc0"), upper + 5);
  EXPECT_EQ(strpbrk(upper, "\xbf\x3e\x41"), nullptr);

  const char* h = "aab";
  EXPECT_EQ(strstr_(h, ""), h);
  const char* empty = "";
  EXPECT_EQ(strstr_(empty, ""), empty);
  EXPECT_EQ(strstr_(empty, "a"), nullptr);
  EXPECT_EQ(strstr_(h, "ab"), h + 1);
  EXPECT_EQ(strstr_(h, "aabb"), nullptr);
  EXPECT_EQ(strstr_(h, "b"), h + 2);
  const char* retry = "abcabd";
  EXPECT_EQ(strstr_(retry, "abd"), retry + 3);
}

// Every length up to a few hundred bytes at every alignment, with the object against an
// inaccessible page on either side: results as the byte loops give them, nothing read or
// written outside.
TEST_F(String, WideReadsStayInsideTheirPages) {
  GuardedPage one, two;
  std::mt19937 random(7);
  for (unsigned char mode : read_modes()) {
    *read_mode_ = mode;
    SCOPED_TRACE(testing::Message() << "read mode " << int(mode));
    for (size_t n = 0; n <= 300; ++n) {
      for (size_t edge = 0; edge < 3 * 32; ++edge) {
        // Both objects start near their page's start, or both end near its end, or the first
        // ends near its end while the second starts near its start; at every alignment.
        bool a_at_start = edge < 32, b_at_start = edge < 32 || edge >= 64;
        size_t offset = a_at_start ? edge : one.size() - n - edge % 32;
        unsigned char* a = one.start() + offset;
        unsigned char* b = two.start() + (b_at_start ? (edge * 7) % 32 : two.size() - n - (edge * 5) % 32);
        fill(a, n, random);
        std::memcpy(b, a, n);
        size_t at = n ? random() % n : 0;
        SCOPED_TRACE(testing::Message() << "n " << n << ", edge " << edge << ", at " << at);

        EXPECT_EQ(memchr_(a, 'b', n), nullptr);
        EXPECT_EQ(memcmp_(a, b, n), 0);
        if (n == 0) continue;
        a[at] = 'b';
        EXPECT_EQ(memchr_(a, 'b' + 256, n), a + at);
        EXPECT_EQ(memchr_(a, 'b', at), nullptr);
        EXPECT_EQ(memcmp_(a, b, n), 'b' - b[at]);
        b[at] = a[at];

        // Strings: the last byte is the NUL, and they differ at one place before it.
        a[n - 1] = b[n - 1] = 0;
        const char* x = reinterpret_cast<char*>(a);
        const char* y = reinterpret_cast<char*>(b);
        EXPECT_EQ(strlen_(x), n - 1);
        EXPECT_EQ(strcmp_(x, y), 0);
        EXPECT_EQ(strncmp_(x, y, n + 100), 0);
        if (n == 1) continue;
        at %= n - 1;
        b[at] ^= 0x40;
        int expected = a[at] - b[at];
        EXPECT_EQ(strcmp_(x, y), expected);
        EXPECT_EQ(strcmp_(y, x), -expected);
        EXPECT_EQ(strncmp_(x, y, n), expected);
        EXPECT_EQ(strncmp_(x, y, at), 0);
        if (b_at_start) {  // y one byte longer than x: they differ at x's end
          b[at] = a[at];
          b[n - 1] = 'q';
          b[n] = 0;
          EXPECT_EQ(strcmp_(x, y), -'q');
        }
      }
    }
  }
}

// Strings that run from one page into the next, with inaccessible pages around both: the
// reads that back off from a page end reach into the string's own bytes.
TEST_F(String, ComparisonsRunAcrossPageEnds) {
  GuardedPage one(2), two(2);
  for (unsigned char mode : read_modes()) {
    *read_mode_ = mode;
    for (size_t n = 2; n <= 100; ++n) {
      for (size_t cross = 1; cross < n; cross += 3) {
        size_t later = (cross * 11) % n;  // where the second string crosses
        unsigned char* a = one.start() + one.size() - cross;
        unsigned char* b = two.start() + two.size() - later;
        std::memset(a, 'a', n - 1);
        std::memset(b, 'a', n - 1);
        a[n - 1] = b[n - 1] = 0;
        SCOPED_TRACE(testing::Message() << "mode " << int(mode) << ", n " << n << ", crossing at " << cross);
        const char* x = reinterpret_cast<char*>(a);
        const char* y = reinterpret_cast<char*>(b);
        EXPECT_EQ(strcmp_(x, y), 0);
        EXPECT_EQ(strncmp_(x, y, n + 40), 0);
        size_t at = (cross + later) % (n - 1);
        b[at] = 'c';
        EXPECT_EQ(strcmp_(x, y), 'a' - 'c');
        EXPECT_EQ(strncmp_(y, x, n), 'c' - 'a');
        EXPECT_EQ(strncmp_(y, x, at), 0);
      }
    }
  }
}

// Lengths up to a few hundred, enough for the 128-byte loops to run several times.
TEST_F(String, WideWritesStayInsideTheirObjects) {
  GuardedPage page;
  std::mt19937 random(8);
  std::vector<unsigned char> before(page.size()), expected(page.size());
  auto page_is = [&](const std::vector<unsigned char>& bytes) {
    return std::memcmp(bytes.data(), page.start(), page.size()) == 0;
  };
  for (unsigned char mode : read_modes()) {  // the width of the moves follows the mode
    *read_mode_ = mode;
    SCOPED_TRACE(testing::Message() << "read mode " << int(mode));
    for (size_t n = 0; n <= 520; ++n) {
      fill(before.data(), before.size(), random);
      for (size_t d_align = 0; d_align < 16; ++d_align) {
        for (size_t s_align = 0; s_align < 16; ++s_align) {
          std::memcpy(page.start(), before.data(), page.size());
          unsigned char* d = page.end() - n - d_align;  // ends against the page after
          unsigned char* s = page.start() + s_align;    // starts against the page before
          SCOPED_TRACE(testing::Message() << "n " << n << ", d " << d_align << ", s " << s_align);

          expected = before;
          std::memmove(expected.data() + (d - page.start()), expected.data() + s_align, n);
          EXPECT_EQ(memcpy_(d, s, n), d);
          EXPECT_TRUE(page_is(expected));

          std::memcpy(page.start(), before.data(), page.size());
          EXPECT_EQ(memset_(d, int(0x100 + s_align), n), d);
          expected = before;
          std::memset(expected.data() + (d - page.start()), int(s_align), n);
          EXPECT_TRUE(page_is(expected));

          // Overlapping moves, both ways, by every distance up to 48.
          size_t shift = 1 + (n + d_align + s_align) % 48;
          unsigned char* low = page.start() + s_align;
          for (bool up : {true, false}) {
            std::memcpy(page.start(), before.data(), page.size());
            expected = before;
            unsigned char* to = up ? low + shift : low;
            unsigned char* from = up ? low : low + shift;
            std::memmove(expected.data() + (to - page.start()), expected.data() + (from - page.start()), n);
            EXPECT_EQ(memmove_(to, from, n), to);
            EXPECT_TRUE(page_is(expected)) << up;
          }
        }
      }
    }
  }
}

TEST_F(String, StrdupCopiesThroughMalloc) {
  auto strdup = fn<char*(const char*)>("strdup");
  EXPECT_EQ(strdup(nullptr), nullptr);
  EXPECT_TRUE(machine.calls().empty());
  char* copy = strdup("copy me");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "copy me");
  EXPECT_TRUE(machine.memory().owns(copy));
  ASSERT_EQ(machine.calls().size(), 1u);
  EXPECT_EQ(machine.calls()[0].args[0], 8u);
  fn<void(void*)>("free")(copy);

  machine.memory().fail_nth(1);
  EXPECT_EQ(strdup("x"), nullptr);
  machine.table().disable(nk::sim::Entry::memory_allocate);
  EXPECT_EQ(strdup("x"), nullptr);
}

}  // namespace
