#ifndef ORVANE_MATH_H
#define ORVANE_MATH_H
/* Mathematical functions built from the four basic operations: no exceptions, no error
   number, no rounding modes. Where the usual contract gives NaN or an error, these give the
   fixed results noted below. There is no exponential, tangent or inverse trigonometric
   function. */

#define HUGE_VAL (__builtin_huge_val())
#define HUGE_VALF (__builtin_huge_valf())
#define INFINITY (__builtin_inff())
#define NAN (__builtin_nanf(""))

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

double ldexp(double x, int n);
double frexp(double x, int *exponent); /* infinity: itself, exponent 0; NaN: exponent 0 */
double fmod(double x, double y);       /* 0.0 when y is 0 */
double pow(double x, double y);        /* integral y only: 0.0 when y has a fraction */
/* Exact for every argument (a double of 2^52 or more is integral); NaN stays NaN. */
double floor(double x);
double ceil(double x);
double trunc(double x);
double round(double x); /* halfway cases away from zero */
/* Halfway cases away from zero; beyond the 64-bit range the nearest 64-bit value, NaN 0. */
long lround(double x);
__extension__ long long llround(double x); /* C89 has no long long */
double sqrt(double x); /* 0.0 for x <= 0; +infinity for +infinity */
double log(double x);  /* -infinity for x <= 0; +infinity for +infinity */
/* Short Taylor series after reduction into [-pi, pi]: about 0.075 off near +-pi
   (sin(pi) is about -0.0752, cos(pi) about -1.2114). NaN for infinities. */
double sin(double x);
double cos(double x);
double fabs(double x);

float ldexpf(float x, int n);
float frexpf(float x, int *exponent);
float fmodf(float x, float y);
float powf(float x, float y);
float floorf(float x);
float ceilf(float x);
float truncf(float x);
float sqrtf(float x);
float logf(float x);
float sinf(float x);
float cosf(float x);
float fabsf(float x);

/* 1 if x is neither infinite nor NaN, else 0. */
int nk_math_isfinite(double x);
int nk_math_isfinitef(float x);
int nk_math_isfinitel(long double x);
int isfinite(double x); /* the same test as nk_math_isfinite */

#pragma GCC visibility pop
#ifdef __cplusplus
}
/* C++: isfinite is overloaded for the three floating types. */
inline int isfinite(float x) { return nk_math_isfinitef(x); }
inline int isfinite(long double x) { return nk_math_isfinitel(x); }
#else
/* C: isfinite is the type-generic macro; (isfinite)(x) still calls the double function. */
#define isfinite(x)                                                              \
  (sizeof(x) == sizeof(float)    ? nk_math_isfinitef((float)(x))                 \
   : sizeof(x) == sizeof(double) ? nk_math_isfinite((double)(x))                 \
                                 : nk_math_isfinitel((long double)(x)))
#endif
#endif
