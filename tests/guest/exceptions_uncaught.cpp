// A throw that no frame catches: the search finds no handler and the machine halts.
#include "exceptions_log.h"

namespace {
struct Unwanted {
  int code;
};
struct Tracked {
  ~Tracked() { say("~Tracked (wrong: nothing unwinds without a handler)"); }
};
struct Elsewhere {};

NOINLINE void throw_unwanted() {
  Tracked t;
  throw Unwanted{opaque(1)};
}
}  // namespace

extern "C" int main() {  // freestanding C++ does not give main C linkage by itself
  say("throwing");
  try {
    throw_unwanted();
  } catch (Elsewhere&) {
    say("caught (wrong)");
  }
  say("returned (wrong)");
  return 0;
}
