// A throw travelling up through registered frames: every destructor on the way runs,
// newest first, and the thrown object is destroyed once, at the end of its catch.
#include "exceptions_log.h"

namespace {

struct Tracked {
  const char* name;
  ~Tracked() { say(name); }
};

int gErrorsDestroyed = 0;

struct Error {
  int code;
  ~Error() {
    ++gErrorsDestroyed;
    say("~Error %d", code);
  }
};

NOINLINE void level3(int code) {
  Tracked t{"~level3"};
  if (opaque(code) != 0) throw Error{code};
  say("level3 returned");
}

NOINLINE void level2(int code) {
  Tracked t{"~level2"};
  level3(code);
  say("level2 returned");
}

NOINLINE void level1(int code) {
  Tracked a{"~level1.a"};
  Tracked b{"~level1.b"};
  level2(code);
  say("level1 returned");
}

void several_frames() {
  try {
    level1(7);
  } catch (const Error& e) {
    say("caught Error %d", e.code);
    say("end of catch");
  }
  say("after catch, Errors destroyed: %d", gErrorsDestroyed);
}

// No cleanups, no catch: nothing registers here, so the throw passes straight through.
NOINLINE int plain(int code) { level3(code); return opaque(1); }

// Registered, but the throwing call lies outside every exception region (call site -1):
// the frame is abandoned and the object below is never constructed.
NOINLINE void region_after_call(int code) {
  plain(code);
  Tracked never{"~region_after_call (wrong)"};
  say("region_after_call returned");
}

void frames_without_regions() {
  try {
    region_after_call(8);
  } catch (Error& e) {
    say("caught Error %d", e.code);
  }
}

int gDeepDestroyed = 0;

struct Counter {
  ~Counter() { ++gDeepDestroyed; }
};

NOINLINE int deep(int depth) {
  Counter c;
  if (depth == 0) throw Error{10000};
  return deep(depth - 1) + opaque(1);
}

void many_frames() {
  for (int round = 0; round < 2; ++round) {
    gDeepDestroyed = 0;
    try {
      deep(10000);
    } catch (const Error& e) {
      say("deep throw caught: %d", e.code);
    }
    say("frames cleaned up: %d", gDeepDestroyed);
  }
}

}  // namespace

extern "C" int main() {  // freestanding C++ does not give main C linkage by itself
  several_frames();
  frames_without_regions();
  many_frames();
  return gErrorsDestroyed;
}
