// exit from deep inside a C++ program: atexit handlers and static destructors run in the
// reverse order of their registration, streams are flushed, and the status is the one
// given to exit. A C++ main needs no extern "C" with the C library. Builds natively too.
#include <cstdio>
#include <cstdlib>

namespace {

struct Noisy {
  explicit Noisy(const char* name) : name_(name) { std::printf("construct %s\n", name_); }
  ~Noisy() { std::printf("destroy %s\n", name_); }
  const char* name_;
};

Noisy first("first static");

void handler() { std::printf("atexit handler\n"); }

Noisy& local_static() {
  static Noisy local("function-local static");
  return local;
}

[[noreturn]] void leave(int depth) {
  Noisy automatic("automatic object");  // exit does not unwind: never destroyed
  if (depth == 0) {
    std::printf("exit(5) from depth 30, with output not yet ended by a line end");
    std::exit(5);
  }
  leave(depth - 1);
}

}  // namespace

Noisy second("second static");

int main() {
  std::atexit(handler);
  local_static();
  try {
    throw 42;
  } catch (int value) {
    std::printf("caught %d\n", value);
  }
  leave(30);
}
