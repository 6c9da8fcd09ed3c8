// Each C++ header of the SDK in use, as an ordinary program would use it. Only standard
// C++: the same source builds natively for comparison.
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <initializer_list>
#include <new>
#include <typeinfo>
#include <utility>

#include "portable_log.h"

namespace {

void c_functions() {
  char text[32];
  std::strcpy(text, "Header");
  say("strlen %d, strcmp %d", (int)std::strlen(text), std::strcmp(text, "Header"));
  say("toupper %c, isdigit %d", std::toupper('q'), std::isdigit('7') != 0);
  say("strtol %d, abs %d", (int)std::strtol("-123", nullptr, 10), (int)std::abs(-40000000000L / 1000));
  say("sqrt %d, floor %d", (int)std::sqrt(144.0), (int)std::floor(-2.5));
  float half = std::fabs(-0.5f);  // the float overload keeps a float
  say("float overload %d", (int)(sizeof(std::sqrt(half)) == sizeof(float)));
  say("isfinite %d", (int)std::isfinite(1.0));
  say("locale %s", std::setlocale(LC_ALL, nullptr));
  std::time_t now = std::time(nullptr);
  say("time %d", now > 0);
  errno = EINVAL;
  say("errno %d", errno);
  std::size_t size = sizeof(std::int64_t) + sizeof(std::uint8_t);
  say("sizes %d", (int)size);
  char* copy = static_cast<char*>(std::malloc(8));
  std::snprintf(copy, 8, "%d", 1234);
  say("snprintf %s", copy);
  std::free(copy);
  std::FILE* no_stream = nullptr;  // the file layer's stream without the C library
  say("FILE %d, limits %d %d", no_stream == nullptr, INT_MAX == 2147483647, DBL_DIG == 15);
}

std::jmp_buf gEnv;
NOINLINE void jump() { std::longjmp(gEnv, 5); }

void jumps() {
  volatile int reached = 0;
  int value = setjmp(gEnv);
  if (value == 0) {
    reached = 1;
    jump();
  }
  say("setjmp came back with %d after %d", value, (int)reached);
}

struct Tracked {
  int id;
  explicit Tracked(int id) : id(id) {}
  Tracked(Tracked&& other) noexcept : id(other.id) { other.id = 0; }
  Tracked& operator=(Tracked&& other) noexcept {
    id = other.id;
    other.id = 0;
    return *this;
  }
};

int sum(std::initializer_list<int> values) {
  int total = 0;
  for (int value : values) total += value;
  return total;
}

template <class T>
Tracked make(T&& argument) {
  return Tracked(std::forward<T>(argument));
}

void language_support() {
  alignas(Tracked) unsigned char storage[sizeof(Tracked)];
  Tracked* placed = new (storage) Tracked(3);
  say("placement new %d at the storage: %d", placed->id, (void*)placed == (void*)storage);
  placed->~Tracked();
  std::nothrow_t tag = std::nothrow;
  (void)tag;

  say("initializer_list: %d values, sum %d", (int)std::initializer_list<int>{1, 2, 3}.size(),
      sum({4, 5, 6}));

  Tracked a(1), b(2);
  std::swap(a, b);
  Tracked c(std::move(a));
  say("swap and move: a %d, b %d, c %d", a.id, b.id, c.id);
  say("forward: %d", make(7).id);
  int left[2] = {1, 2}, right[2] = {3, 4};
  std::swap(left, right);
  say("array swap: %d %d", left[0], right[1]);
  void (*terminate)() noexcept = std::terminate;
  say("terminate is there: %d", terminate != nullptr);
}

struct Shape {
  virtual ~Shape() = default;
};
struct Circle : Shape {};

void type_information() {
  Circle circle;
  Shape& shape = *opaque(static_cast<Shape*>(&circle));
  const std::type_info& dynamic = typeid(shape);
  say("typeid(int) %s, typeid(const char*) %s", typeid(int).name(), typeid(const char*).name());
  say("dynamic type is Circle: %d, not Shape: %d", dynamic == typeid(Circle),
      dynamic != typeid(Shape));
  say("int before long: %d, long before int: %d", typeid(int).before(typeid(long)),
      typeid(long).before(typeid(int)));
  say("equal types hash alike: %d", typeid(shape).hash_code() == typeid(Circle).hash_code());
}

}  // namespace

extern "C" int main() {
  c_functions();
  jumps();
  language_support();
  type_information();
  return 0;
}
