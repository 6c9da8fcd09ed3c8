/* A C program's view of math.h: isfinite is a macro that picks the test by the argument's
   type, and the functions link. Returns 0, or the number of the first check that failed. */
#include <math.h>

int main(void) {
  volatile float big_float = 3e38f;
  volatile double big_double = 1e308;
  volatile long double big_long = 1e4000L;
  if (!isfinite(big_float)) return 1;
  if (isfinite(big_float * 10.0f)) return 2; /* overflows in float only */
  if (!isfinite(big_double)) return 3;
  if (isfinite(big_double * 10.0)) return 4;
  if (!isfinite(big_long)) return 5; /* beyond double, finite as long double */
  if (isfinite(HUGE_VAL) || isfinite(HUGE_VALF) || isfinite(INFINITY) || isfinite(NAN)) return 6;
  if ((isfinite)(2.0) != 1) return 7;
  if (floor(-2.5) != -3.0 || sqrt(0.25) != 0.5 || fabsf(-2.0f) != 2.0f) return 8;
  return 0;
}
