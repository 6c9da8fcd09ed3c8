// longjmp out of frames that have try blocks (no destructors are skipped), then throws:
// the handler chain must not keep the abandoned frames. The setjmp function has its own
// try and is entered twice.
#include <setjmp.h>

#include "portable_log.h"

namespace {

jmp_buf gEnv;
int gThrown = 0;

struct Error {
  int code;
};

NOINLINE void jump_back(int value) { longjmp(gEnv, value); }

// A frame with its own try, left by longjmp from inside the try.
NOINLINE int guarded(int depth, int value) {
  try {
    if (depth > 0) return guarded(depth - 1, value) + 1;
    jump_back(value);
  } catch (Error& e) {
    say("guarded caught %d (wrong)", e.code);
  }
  return -1;
}

NOINLINE void thrower(int code) {
  ++gThrown;
  throw Error{opaque(code)};
}

// setjmp and a try in one function.
NOINLINE int enter(int value) {
  volatile int jumped = 0;
  try {
    if (setjmp(gEnv) == 0) {
      guarded(opaque(3), value);
    } else {
      jumped = 1;
    }
    thrower(value);
  } catch (Error& e) {
    say("enter %d: jumped %d, caught %d", value, (int)jumped, e.code);
    return e.code;
  }
  return -1;
}

}  // namespace

extern "C" int main() {
  int sum = enter(1) + enter(2);
  // A throw after both jumps, from a fresh try.
  try {
    thrower(3);
  } catch (Error& e) {
    sum += e.code;
    say("after the jumps caught %d", e.code);
  }
  say("sum %d, thrown %d", sum, gThrown);
  return sum == 6 ? 0 : 1;
}
