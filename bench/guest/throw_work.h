#pragma once
// The work the exception benchmark times, shared word for word by the platform program and
// the Linux build: a throw from `depth` frames down, each frame with a cleanup (so each one
// registers an unwind context on the platform), caught at the top.

namespace throw_work {

struct Thrown {
  int depth;
};

struct CountsCleanup {
  int* cleaned;
  ~CountsCleanup() { ++*cleaned; }
};

__attribute__((noinline)) inline int descend(int depth, int* cleaned) {
  CountsCleanup guard{cleaned};
  if (depth <= 1) throw Thrown{depth};
  return descend(depth - 1, cleaned) + 1;
}

// depth + 1 when every frame cleaned up and the catch saw the innermost frame's object.
__attribute__((noinline)) inline int throw_and_catch(int depth) {
  int cleaned = 0;
  try {
    descend(depth, &cleaned);
  } catch (const Thrown& thrown) {
    return cleaned + thrown.depth;
  }
  return -1;
}

}  // namespace throw_work
