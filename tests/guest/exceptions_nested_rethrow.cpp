// An exception caught again while its first handler still runs: the dispatcher idiom,
// `try { throw; } catch` written inside a catch, a destructor that rethrows to look at the
// exception, and a rethrow that leaves both handlers. Each object is destroyed once.
#include "portable_log.h"

namespace {

int gLive = 0;
int gDestroyed = 0;

struct Error {
  int code;
  explicit Error(int code) : code(code) { ++gLive; }
  Error(const Error& other) : code(other.code) { ++gLive; }
  virtual ~Error() {
    --gLive;
    ++gDestroyed;
    say("~Error %d", code);
  }
};
struct NotFound : Error {
  using Error::Error;
};
struct Denied : Error {
  using Error::Error;
};

NOINLINE void fail(int which) {
  switch (opaque(which)) {
    case 0: throw NotFound(100);
    case 1: throw Denied(101);
    default: throw 7;
  }
}

// The dispatcher: called from inside a catch (...), it rethrows to learn the type.
NOINLINE const char* classify() {
  try {
    throw;
  } catch (NotFound& e) {
    say("classified NotFound %d", e.code);
    return "not found";
  } catch (Error& e) {
    say("classified Error %d", e.code);
    return "error";
  } catch (...) {
    return "unknown";
  }
}

void dispatcher() {
  for (int which = 0; which < 3; ++which) {
    try {
      fail(which);
    } catch (...) {
      const char* kind = classify();
      say("dispatcher: %s, live %d", kind, gLive);
    }
  }
}

void rethrow_inside_catch() {
  try {
    fail(1);
  } catch (Error& outer) {
    try {
      throw;
    } catch (Denied& inner) {
      say("inner sees %d, same object: %d", inner.code, &inner == &outer);
    }
    say("outer still holds %d", outer.code);
  }
  say("after both handlers, live %d", gLive);
}

// A destructor run inside a handler rethrows the handled exception to report it.
struct Reporter {
  ~Reporter() {
    try {
      throw;
    } catch (Error& e) {
      say("reporter saw %d", e.code);
    }
  }
};

void destructor_rethrows() {
  try {
    fail(0);
  } catch (Error& e) {
    {
      Reporter reporter;
    }
    say("handler goes on with %d", e.code);
  }
  say("after reporter, live %d", gLive);
}

NOINLINE void rethrow_twice() {
  try {
    fail(0);
  } catch (Error&) {
    try {
      throw;
    } catch (NotFound& e) {
      say("inner handler passes %d on", e.code);
      throw;
    }
  }
}

void rethrow_out_of_both() {
  try {
    rethrow_twice();
  } catch (Error& e) {
    say("outermost caught %d, live %d", e.code, gLive);
  }
  say("after rethrow out of both, live %d", gLive);
}

}  // namespace

extern "C" int main() {
  dispatcher();
  rethrow_inside_catch();
  destructor_rethrows();
  rethrow_out_of_both();
  say("destroyed %d, live %d", gDestroyed, gLive);
  return gLive;
}
