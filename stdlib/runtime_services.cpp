// What an operating system would answer about time, environment and locale, given as
// fixed values; the error number and its messages; and abort, the stop of last resort.

#include <errno.h>
#include <locale.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

int nk_errno;

namespace {

constexpr time_t kFixedTime = 0x4E4B4236;

uint64_t gLuaClockTicks;

char* text(const char* constant) { return const_cast<char*>(constant); }

// The classic "C" locale, except that the monetary decimal point is "." and the char
// fields are 0 rather than CHAR_MAX.
lconv gLocale = {text("."), text(""), text(""), text(""), text(""), text("."), text(""), text(""),
                 text(""),  text(""), 0,        0,        0,        0,         0,        0,
                 0,         0};

}  // namespace

void abort() {
  // With interrupts off, only a non-maskable interrupt can wake the processor; halt again.
  for (;;) asm volatile("cli\n\thlt");
}

time_t time(time_t* out) {
  if (out) *out = kFixedTime;
  return kFixedTime;
}

clock_t clock() { return gLuaClockTicks++; }

char* getenv(const char*) { return nullptr; }

int system(const char*) { return -1; }

char* setlocale(int, const char*) { return text("C"); }

lconv* localeconv() { return &gLocale; }

char* strerror(int number) {
  switch (number) {
    case 0: return text("ok");
    case ENOENT: return text("no such file");
    case EIO: return text("i/o error");
    case EBADF: return text("bad file descriptor");
    case ENOMEM: return text("out of memory");
    case EACCES: return text("permission denied");
    case EEXIST: return text("file exists");
    case EINVAL: return text("invalid argument");
    default: return text("error");
  }
}
