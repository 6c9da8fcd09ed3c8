/* Functions clang calls on its own for Darwin targets, which programs built hosted (so
   that the compiler may use what it knows of the C library) can meet: sin and cos of
   one argument together, 10 to a power, and memset of a repeated pattern. */
#include <math.h>
#include <stddef.h>
#include <string.h>

struct sin_cos {
  double sin, cos;
};
struct sin_cos_float {
  float sin, cos;
};

struct sin_cos __sincos_stret(double x) {
  return (struct sin_cos){sin(x), cos(x)};
}

struct sin_cos_float __sincosf_stret(float x) {
  return (struct sin_cos_float){sinf(x), cosf(x)};
}

double __exp10(double x) { return pow(10.0, x); }
float __exp10f(float x) { return powf(10.0f, x); }

/* The pattern repeated over length bytes, the last copy cut short. */
static void fill(void *destination, const void *pattern, size_t pattern_size, size_t length) {
  unsigned char *out = destination;
  size_t done = length < pattern_size ? length : pattern_size;
  memcpy(out, pattern, done);
  while (done < length) {  /* doubling what is already there */
    size_t step = done < length - done ? done : length - done;
    memcpy(out + done, out, step);
    done += step;
  }
}

void memset_pattern4(void *destination, const void *pattern, size_t length) {
  fill(destination, pattern, 4, length);
}
void memset_pattern8(void *destination, const void *pattern, size_t length) {
  fill(destination, pattern, 8, length);
}
void memset_pattern16(void *destination, const void *pattern, size_t length) {
  fill(destination, pattern, 16, length);
}
