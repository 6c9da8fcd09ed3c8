// C++ with the C library: std::FILE and std::printf from <cstdio>, exceptions, a static
// object destroyed at exit.
#include <cstdio>
#include <cstring>

#include "shapes.h"

namespace {

struct UnknownShape {
  char name[32];
};

struct Registry {
  ~Registry() { std::printf("registry destroyed\n"); }
  double area(const char* name, double size) {
    double result = shape_area(name, size);
    if (result < 0) {
      UnknownShape error{};
      std::strncpy(error.name, name, sizeof error.name - 1);
      throw error;
    }
    return result;
  }
} registry;

}  // namespace

int main() {
  std::FILE* out = stdout;
  try {
    registry.area("hexagon", 1);
  } catch (const UnknownShape& error) {
    std::fprintf(out, "caught: no shape called %s\n", error.name);
  }
  std::printf("square %g\n", registry.area("square", 2));
  return 0;
}
