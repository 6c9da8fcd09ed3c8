// A global constructor that calls into the library: the loader must run it before main.
#include <string.h>

struct Measured {
  unsigned long length;
  Measured() : length(strlen("initialised")) {}
};

Measured measured;

extern "C" int main() { return static_cast<int>(measured.length); }
