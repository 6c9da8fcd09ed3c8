#pragma once
// The work the exception benchmark times, shared word for word by the platform program and
// the Linux build: a call `depth` frames down, each frame with a cleanup (so each one
// registers an unwind context on the platform), that either throws from the bottom to a
// catch at the top or returns normally (the cost every call pays for being ready to unwind).

namespace throw_work {

struct Thrown {
  int depth;
};

struct CountsCleanup {
  int* cleaned;
  ~CountsCleanup() { ++*cleaned; }
};

__attribute__((noinline)) inline int descend(int depth, bool throws, int* cleaned) {
  CountsCleanup guard{cleaned};
  if (depth <= 1) {
    if (throws) throw Thrown{depth};
    return 1;
  }
  return descend(depth - 1, throws, cleaned) + 1;
}

// depth + 1 when every frame cleaned up and the catch saw the innermost frame's object.
__attribute__((noinline)) inline int throw_and_catch(int depth) {
  int cleaned = 0;
  try {
    descend(depth, true, &cleaned);
  } catch (const Thrown& thrown) {
    return cleaned + thrown.depth;
  }
  return -1;
}

// depth + 1 as well, without any throw.
__attribute__((noinline)) inline int return_normally(int depth) {
  int cleaned = 0;
  int reached;
  try {
    reached = descend(depth, false, &cleaned);
  } catch (const Thrown&) {
    return -1;
  }
  return cleaned - reached + depth + 1;
}

}  // namespace throw_work
