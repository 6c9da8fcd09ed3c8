// A destructor run by the unwinding throws. Destructors may not throw, so the exception
// ends in std::terminate even though a catch-all waits further up.
#include "exceptions_log.h"

namespace {
struct First {
  int code;
};
struct Second {
  int code;
};

NOINLINE void throw_second() { throw Second{opaque(2)}; }

struct ThrowsWhenDestroyed {
  ~ThrowsWhenDestroyed() {
    say("destructor throwing");
    throw_second();
  }
};

NOINLINE void throw_first() {
  ThrowsWhenDestroyed t;
  throw First{opaque(1)};
}
}  // namespace

extern "C" int main() {  // freestanding C++ does not give main C linkage by itself
  try {
    throw_first();
  } catch (...) {
    say("caught (wrong)");
  }
  say("returned (wrong)");
  return 0;
}
