// Complex multiplication and division as the compiler calls them (its fast path for a
// product only comes here when the result is NaN), each in its own precision so that
// overflow is recognised as in that type. They follow the recovery of infinities in C's
// Annex G.

namespace {

inline bool is_nan(float x) { return __builtin_isnan(x); }
inline bool is_nan(double x) { return __builtin_isnan(x); }
inline bool is_nan(long double x) { return __builtin_isnan(x); }
inline bool is_inf(float x) { return __builtin_isinf(x); }
inline bool is_inf(double x) { return __builtin_isinf(x); }
inline bool is_inf(long double x) { return __builtin_isinf(x); }
inline float copy_sign(float x, float y) { return __builtin_copysignf(x, y); }
inline double copy_sign(double x, double y) { return __builtin_copysign(x, y); }
inline long double copy_sign(long double x, long double y) { return __builtin_copysignl(x, y); }
inline float log_b(float x) { return __builtin_logbf(x); }
inline double log_b(double x) { return __builtin_logb(x); }
inline long double log_b(long double x) { return __builtin_logbl(x); }
inline float scale(float x, int n) { return __builtin_scalbnf(x, n); }
inline double scale(double x, int n) { return __builtin_scalbn(x, n); }
inline long double scale(long double x, int n) { return __builtin_scalbnl(x, n); }
template <class T> T magnitude(T x) { return x < 0 ? -x : x; }

template <class T> T boxed(T x) { return copy_sign(is_inf(x) ? T(1) : T(0), x); }
template <class T> T nan_to_zero(T x) { return is_nan(x) ? copy_sign(T(0), x) : x; }

template <class T> struct complex_of;
template <> struct complex_of<float> { typedef _Complex float type; };
template <> struct complex_of<double> { typedef _Complex double type; };
template <> struct complex_of<long double> { typedef _Complex long double type; };
template <class T> using complex = typename complex_of<T>::type;

template <class T> complex<T> make(T x, T y) {
  complex<T> z;
  __real__ z = x;
  __imag__ z = y;
  return z;
}

template <class T> complex<T> multiply(T a, T b, T c, T d) {
  T ac = a * c, bd = b * d, ad = a * d, bc = b * c;
  T x = ac - bd, y = ad + bc;
  if (is_nan(x) && is_nan(y)) {
    bool recalculate = false;
    if (is_inf(a) || is_inf(b)) {
      a = boxed(a), b = boxed(b), c = nan_to_zero(c), d = nan_to_zero(d);
      recalculate = true;
    }
    if (is_inf(c) || is_inf(d)) {
      c = boxed(c), d = boxed(d), a = nan_to_zero(a), b = nan_to_zero(b);
      recalculate = true;
    }
    if (!recalculate && (is_inf(ac) || is_inf(bd) || is_inf(ad) || is_inf(bc))) {
      a = nan_to_zero(a), b = nan_to_zero(b), c = nan_to_zero(c), d = nan_to_zero(d);
      recalculate = true;
    }
    if (recalculate) {
      x = T(__builtin_inf()) * (a * c - b * d);
      y = T(__builtin_inf()) * (a * d + b * c);
    }
  }
  return make(x, y);
}

template <class T> complex<T> divide(T a, T b, T c, T d) {
  T logbw = log_b(magnitude(c) > magnitude(d) || is_nan(d) ? magnitude(c) : magnitude(d));
  int ilogbw = 0;
  if (!is_inf(logbw) && !is_nan(logbw)) {
    ilogbw = int(logbw);
    c = scale(c, -ilogbw), d = scale(d, -ilogbw);
  }
  T denominator = c * c + d * d;
  T x = scale((a * c + b * d) / denominator, -ilogbw);
  T y = scale((b * c - a * d) / denominator, -ilogbw);
  if (is_nan(x) && is_nan(y)) {
    T infinity = T(__builtin_inf());
    if (denominator == 0 && (!is_nan(a) || !is_nan(b))) {
      x = copy_sign(infinity, c) * a;
      y = copy_sign(infinity, c) * b;
    } else if ((is_inf(a) || is_inf(b)) && !is_inf(c) && !is_nan(c) && !is_inf(d) && !is_nan(d)) {
      a = boxed(a), b = boxed(b);
      x = infinity * (a * c + b * d);
      y = infinity * (b * c - a * d);
    } else if (is_inf(logbw) && logbw > 0 && !is_inf(a) && !is_nan(a) && !is_inf(b) && !is_nan(b)) {
      c = boxed(c), d = boxed(d);
      x = T(0) * (a * c + b * d);
      y = T(0) * (b * c - a * d);
    }
  }
  return make(x, y);
}

}  // namespace

extern "C" {
float _Complex __mulsc3(float a, float b, float c, float d) { return multiply(a, b, c, d); }
double _Complex __muldc3(double a, double b, double c, double d) { return multiply(a, b, c, d); }
long double _Complex __mulxc3(long double a, long double b, long double c, long double d) {
  return multiply(a, b, c, d);
}
float _Complex __divsc3(float a, float b, float c, float d) { return divide(a, b, c, d); }
double _Complex __divdc3(double a, double b, double c, double d) { return divide(a, b, c, d); }
long double _Complex __divxc3(long double a, long double b, long double c, long double d) {
  return divide(a, b, c, d);
}
}
