// A C++ program's view of math.h: isfinite is overloaded for the three floating types.
#include <math.h>

extern "C" int main() {  // freestanding C++ does not give main C linkage by itself
  volatile float big_float = 3e38f;
  volatile long double big_long = 1e4000L;
  if (!isfinite(big_float)) return 1;
  if (isfinite(big_float * 10.0f)) return 2;
  if (!isfinite(big_long)) return 3;
  if (isfinite(static_cast<double>(big_float) * 1e300)) return 4;
  if (powf(2.0f, 3.0f) != 8.0f || lround(-2.5) != -3) return 5;
  return 0;
}
