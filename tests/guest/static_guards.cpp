// What compilers generate around statics and allocation: guarded function-local statics
// (with a retry after a throwing constructor), exit-time registration of their
// destructors, new and delete of single objects and arrays, and placement new.
#include <new>
#include <nk_console.h>
#include <stdio.h>
#include <string.h>

namespace {

void say(const char* text) {
  nk_lua_write(text, strlen(text));
  nk_lua_writeline();
}

void say(const char* format, int value) {
  char line[96];
  snprintf(line, sizeof line, format, value);
  say(line);
}

template <class T>
T opaque(T value) {
  asm volatile("" : "+r"(value));
  return value;
}

int gConstructed = 0;
int gDestroyed = 0;
int gAttempts = 0;

struct Counter {
  int value;
  explicit Counter(int start) : value(start) { ++gConstructed; }
  ~Counter() { ++gDestroyed; }  // registered with __cxa_atexit, never run
};

__attribute__((noinline)) int next_count() {
  static Counter counter(opaque(100));
  return ++counter.value;
}

struct Refused {
  int code;
};

struct Fragile {
  int value;
  Fragile() : value(42) {
    if (++gAttempts == 1) throw Refused{7};
  }
};

__attribute__((noinline)) int fragile_value() {
  static Fragile fragile;
  return fragile.value;
}

struct Shape {
  virtual ~Shape() { ++gDestroyed; }
  virtual int area() const = 0;
};
struct Square : Shape {
  int side;
  explicit Square(int side) : side(side) {}
  int area() const override { return side * side; }
};

struct Tracked {
  int id = 0;
  ~Tracked() { ++gDestroyed; }
};

}  // namespace

extern "C" int main() {
  int a = next_count();
  int b = next_count();
  int c = next_count();
  say("counter %d", a);
  say("counter %d", b);
  say("counter %d", c);
  say("constructed %d", gConstructed);

  try {
    fragile_value();
    say("first attempt (wrong: it throws)");
  } catch (const Refused& refused) {
    say("first attempt threw %d", refused.code);
  }
  say("second attempt %d", fragile_value());
  say("third attempt %d", fragile_value());
  say("attempts %d", gAttempts);

  Shape* shape = new Square(opaque(6));
  say("area %d", shape->area());
  delete shape;

  Tracked* many = new Tracked[opaque(5)];
  for (int i = 0; i < 5; ++i) many[i].id = i;
  delete[] many;

  int* numbers = new int[opaque(3)]{1, 2, 3};
  say("sum %d", numbers[0] + numbers[1] + numbers[2]);
  delete[] numbers;

  void* empty = operator new(opaque(size_t{0}));
  void* other = operator new(opaque(size_t{0}));
  say("empty blocks differ %d", empty != nullptr && empty != other);
  operator delete(empty);
  operator delete(other, sizeof(int));

  alignas(Square) unsigned char room[sizeof(Square)];
  Shape* placed = new (room) Square(opaque(3));
  say("placed area %d", placed->area());
  placed->~Shape();

  say("destroyed %d", gDestroyed);
  return gDestroyed;
}
