/* Links every long double function and complex helper of the platform layer, so that the
   test of their accuracy can call them in this program by name. */
#include <complex.h>
#include <math.h>

long double _Complex __mulxc3(long double, long double, long double, long double);
long double _Complex __divxc3(long double, long double, long double, long double);
double _Complex __muldc3(double, double, double, double);
double _Complex __divdc3(double, double, double, double);
float _Complex __mulsc3(float, float, float, float);
float _Complex __divsc3(float, float, float, float);

void *const linked[] = {
    (void *)acoshl, (void *)acosl, (void *)asinhl, (void *)asinl, (void *)atan2l,
    (void *)atanhl, (void *)atanl, (void *)cbrtl, (void *)ceill, (void *)copysignl,
    (void *)coshl, (void *)cosl, (void *)erfcl, (void *)erfl, (void *)exp2l, (void *)expl,
    (void *)expm1l, (void *)fabsl, (void *)fdiml, (void *)floorl, (void *)fmal, (void *)fmaxl,
    (void *)fminl, (void *)fmodl, (void *)frexpl, (void *)ilogbl, (void *)ldexpl,
    (void *)lgammal, (void *)llrintl, (void *)llroundl, (void *)log10l, (void *)log1pl,
    (void *)log2l, (void *)logbl, (void *)logl, (void *)lrintl, (void *)lroundl, (void *)modfl,
    (void *)nearbyintl, (void *)nextafterl, (void *)nexttoward, (void *)nexttowardf,
    (void *)nexttowardl, (void *)powl, (void *)remainderl, (void *)remquol, (void *)rintl,
    (void *)roundl, (void *)scalblnl, (void *)scalbnl, (void *)sinhl, (void *)sinl,
    (void *)tanhl, (void *)tanl, (void *)tgammal, (void *)truncl, (void *)sqrtl, (void *)hypotl,
    (void *)__mulxc3, (void *)__divxc3, (void *)__muldc3, (void *)__divdc3, (void *)__mulsc3,
    (void *)__divsc3};

int main(void) { return linked[0] == 0; }
