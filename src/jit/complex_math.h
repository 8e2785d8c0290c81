// Complex elementary functions for transforms given at run time: the
// functions an expression may call, on the working complex type wcomplex
// (double2, or float2 in the single-precision build) and on the other one.
//
// The same header is compiled by the host C++ compiler, by nvcc and by NVRTC,
// so it uses only the math functions that CUDA device code has, no standard
// library types, and no header but the project's own under NVRTC (which
// provides the math functions as builtins).
//
// Branch cuts and principal values follow C99 Annex G and std::complex,
// including the sign of a zero part on a cut: log(-1 - 0i) = -i pi. Finite
// arguments are the design range; non-finite ones give some NaN or infinity,
// never a trap. Every function takes and returns the complex type C by value,
// C being double2 or float2; the arithmetic is in its component type R.
#pragma once

#if !defined(__CUDACC_RTC__)
#include <math.h>
#endif

#include "orvane/config.h"

// The rare paths of the functions (operands out of the common range) are kept
// out of line, so that the common path stays small where it is inlined into
// the generated code, and that code is not crowded by what it seldom runs.
#if defined(__CUDACC__)
#define ORVANE_CX_RARE __noinline__
#else
#define ORVANE_CX_RARE __attribute__((noinline, cold))
#endif

// The generated code of a run-time transform is written in these names.
using orvane::wcomplex;
using orvane::wreal;

namespace cx_detail {

// The component type of a complex type; any other type fails here.
template <class C>
struct Part;
template <>
struct Part<double2> {
  typedef double type;
};
template <>
struct Part<float2> {
  typedef float type;
};

// The math library by component type: the double function or its float twin.
#define ORVANE_CX_MATH1(fn)                                  \
  ORVANE_HD inline double fn##_(double v) { return fn(v); } \
  ORVANE_HD inline float fn##_(float v) { return fn##f(v); }
#define ORVANE_CX_MATH2(fn)                                                \
  ORVANE_HD inline double fn##_(double a, double b) { return fn(a, b); } \
  ORVANE_HD inline float fn##_(float a, float b) { return fn##f(a, b); }
ORVANE_CX_MATH1(sqrt)
ORVANE_CX_MATH1(exp)
ORVANE_CX_MATH1(log)
ORVANE_CX_MATH1(log1p)
ORVANE_CX_MATH1(sin)
ORVANE_CX_MATH1(cos)
ORVANE_CX_MATH1(tan)
ORVANE_CX_MATH1(sinh)
ORVANE_CX_MATH1(cosh)
ORVANE_CX_MATH1(asin)
ORVANE_CX_MATH1(acos)
ORVANE_CX_MATH1(fabs)
ORVANE_CX_MATH1(floor)
ORVANE_CX_MATH2(atan2)
ORVANE_CX_MATH2(hypot)
ORVANE_CX_MATH2(pow)
ORVANE_CX_MATH2(copysign)
#undef ORVANE_CX_MATH1
#undef ORVANE_CX_MATH2
ORVANE_HD inline double fma_(double a, double b, double c) { return fma(a, b, c); }
ORVANE_HD inline float fma_(float a, float b, float c) { return fmaf(a, b, c); }
// The bits of a double or a float, and back, without a library call.
#if defined(__CUDA_ARCH__)
ORVANE_HD inline long long bitsOf(double v) { return __double_as_longlong(v); }
ORVANE_HD inline double doubleOf(long long b) { return __longlong_as_double(b); }
ORVANE_HD inline int bitsOf(float v) { return __float_as_int(v); }
ORVANE_HD inline float floatOf(int b) { return __int_as_float(b); }
#else
inline long long bitsOf(double v) {
  long long b;
  __builtin_memcpy(&b, &v, sizeof b);
  return b;
}
inline double doubleOf(long long b) {
  double v;
  __builtin_memcpy(&v, &b, sizeof v);
  return v;
}
inline int bitsOf(float v) {
  int b;
  __builtin_memcpy(&b, &v, sizeof b);
  return b;
}
inline float floatOf(int b) {
  float v;
  __builtin_memcpy(&v, &b, sizeof v);
  return v;
}
#endif
// v 2^e and the binary exponent of v, as scalbn and ilogb give them. Where
// 2^e is a normal number, v * 2^e is the same correctly rounded value as
// scalbn's, and a normal v's exponent is in its bits: the library is called
// only outside those ranges, which keeps the hot paths (division) free of calls.
ORVANE_HD inline double scalbn_(double v, int e) {
  return e >= -1022 && e <= 1023 ? v * doubleOf((long long)(e + 1023) << 52) : scalbn(v, e);
}
ORVANE_HD inline float scalbn_(float v, int e) {
  return e >= -126 && e <= 127 ? v * floatOf((e + 127) << 23) : scalbnf(v, e);
}
ORVANE_HD inline int ilogb_(double v) {
  const int field = int((bitsOf(v) >> 52) & 0x7ff);
  return field != 0 && field != 0x7ff ? field - 1023 : ilogb(v);
}
ORVANE_HD inline int ilogb_(float v) {
  const int field = (bitsOf(v) >> 23) & 0xff;
  return field != 0 && field != 0xff ? field - 127 : ilogbf(v);
}

// Constants and switch-over points of each precision.
template <class R>
struct Limits;
template <>
struct Limits<double> {
  ORVANE_HD static double largest() { return 1.7976931348623157e308; }
  ORVANE_HD static double minNormal() { return 2.2250738585072014e-308; }
  ORVANE_HD static double sqrtMinNormal() { return 1.4916681462400413e-154; }
  ORVANE_HD static double epsilon() { return 2.220446049250313e-16; }
  // exp and cosh are finite below this; above it e^-2|x| is far below epsilon.
  ORVANE_HD static double expLimit() { return 709.0; }
  // tanh(x) rounds to +-1 beyond this.
  ORVANE_HD static double tanhLimit() { return 22.0; }
  // Beyond this modulus the inverse functions take their asymptotic forms,
  // whose relative error 1/|z|^2 is under half an ulp.
  ORVANE_HD static double bigArg() { return 268435456.0; }  // 2^28
  // Exponent that lifts any subnormal to a normal number.
  ORVANE_HD static int upscale() { return 54; }
  // 2^-250 and 2^250: where the parts of a divisor and the dividend's larger
  // part lie between them, division needs no scaling (see cx_div).
  ORVANE_HD static double plainDivLow() { return 5.527147875260445e-76; }
  ORVANE_HD static double plainDivHigh() { return 1.8092513943330656e+75; }
  ORVANE_HD static double pi() { return 3.141592653589793; }
  ORVANE_HD static double halfPi() { return 1.5707963267948966; }
  ORVANE_HD static double ln2() { return 0.6931471805599453; }
};
template <>
struct Limits<float> {
  ORVANE_HD static float largest() { return 3.40282347e38f; }
  ORVANE_HD static float minNormal() { return 1.17549435e-38f; }
  ORVANE_HD static float sqrtMinNormal() { return 1.08420217e-19f; }
  ORVANE_HD static float epsilon() { return 1.1920929e-7f; }
  ORVANE_HD static float expLimit() { return 88.0f; }
  ORVANE_HD static float tanhLimit() { return 9.0f; }
  ORVANE_HD static float bigArg() { return 8192.0f; }  // 2^13
  ORVANE_HD static int upscale() { return 24; }
  ORVANE_HD static float plainDivLow() { return 4.65661287e-10f; }  // 2^-31
  ORVANE_HD static float plainDivHigh() { return 2147483648.0f; }   // 2^31
  ORVANE_HD static float pi() { return 3.14159265f; }
  ORVANE_HD static float halfPi() { return 1.57079633f; }
  ORVANE_HD static float ln2() { return 0.693147181f; }
};

template <class R>
ORVANE_HD inline R infinity() {
  const R big = Limits<R>::largest();
  return big * R(2);
}
template <class R>
ORVANE_HD inline R quietNaN() {
  const R inf = infinity<R>();
  return inf - inf;
}
template <class R>
ORVANE_HD inline bool isFinite(R v) {
  return fabs_(v) <= Limits<R>::largest();
}
template <class R>
ORVANE_HD inline bool signBit(R v) {
  return copysign_(R(1), v) < R(0);
}

// a + b rounded, and its rounding error exactly in err (Knuth's TwoSum).
template <class R>
ORVANE_HD inline R twoSum(R a, R b, R& err) {
  const R s = a + b;
  const R bv = s - a;
  const R av = s - bv;
  err = (a - av) + (b - bv);
  return s;
}

// v * e^|u| / 2 for |u| past the range of cosh: e^(|u|/2) taken twice, so
// that the product overflows only when it must (v * h is at most the result,
// as h > 2). Zero stays zero.
template <class R>
ORVANE_HD inline R halfExpTimes(R v, R au) {
  if (v == R(0)) return v;
  const R h = exp_(R(0.5) * au);
  return (v * h) * (R(0.5) * h);
}

}  // namespace cx_detail

// ---- Construction and parts ----------------------------------------------------

template <class C>
ORVANE_HD inline C cx_make(typename cx_detail::Part<C>::type re, typename cx_detail::Part<C>::type im) {
  C z;
  z.x = re;
  z.y = im;
  return z;
}

// The working complex number re + i im.
ORVANE_HD inline wcomplex cx(wreal re, wreal im) { return cx_make<wcomplex>(re, im); }

template <class C>
ORVANE_HD inline C cx_real(C z) {
  return cx_make<C>(z.x, 0);
}
template <class C>
ORVANE_HD inline C cx_imag(C z) {
  return cx_make<C>(z.y, 0);
}
template <class C>
ORVANE_HD inline C cx_conj(C z) {
  return cx_make<C>(z.x, -z.y);
}
template <class C>
ORVANE_HD inline C cx_abs(C z) {
  return cx_make<C>(cx_detail::hypot_(z.x, z.y), 0);
}
template <class C>
ORVANE_HD inline C cx_arg(C z) {
  return cx_make<C>(cx_detail::atan2_(z.y, z.x), 0);
}

// ---- Arithmetic ------------------------------------------------------------------

template <class C>
ORVANE_HD inline C cx_add(C a, C b) {
  return cx_make<C>(a.x + b.x, a.y + b.y);
}
template <class C>
ORVANE_HD inline C cx_sub(C a, C b) {
  return cx_make<C>(a.x - b.x, a.y - b.y);
}
// Negation as subtraction from zero: a zero part comes out +0, so -a of a
// real a is the real number -a with imaginary part +0, the same value as
// 0 - a, and lies on the upper side of a branch cut like any other real.
template <class C>
ORVANE_HD inline C cx_neg(C z) {
  typedef typename cx_detail::Part<C>::type R;
  return cx_make<C>(R(0) - z.x, R(0) - z.y);
}
template <class C>
ORVANE_HD inline C cx_mul(C a, C b) {
  return cx_make<C>(a.x * b.x - a.y * b.y, a.x * b.y + a.y * b.x);
}

namespace cx_detail {

// a / b for a divisor with two nonzero parts, scaled: the divisor by a power
// of two (exactly) to a modulus near 1, the dividend out of the ranges where
// the products would overflow or go subnormal, and the scale applied last, so
// only a quotient that is itself out of range overflows or underflows.
template <class C>
ORVANE_HD ORVANE_CX_RARE C divScaled(C a, C b) {
  typedef typename Part<C>::type R;
  typedef Limits<R> L;
  const R bx = fabs_(b.x), by = fabs_(b.y);
  const R bm = bx > by ? bx : by;
  if (!isFinite(bm)) {
    // Infinite or NaN divisor: the plain formula, whatever it gives.
    const R d = b.x * b.x + b.y * b.y;
    return cx_make<C>((a.x * b.x + a.y * b.y) / d, (a.y * b.x - a.x * b.y) / d);
  }
  const int eb = ilogb_(bm);
  const R brs = scalbn_(b.x, -eb), bis = scalbn_(b.y, -eb);
  const R am = fabs_(a.x) > fabs_(a.y) ? fabs_(a.x) : fabs_(a.y);
  int ea = 0;
  if (am > L::largest() / R(8)) {
    ea = 3;
  } else if (am < L::minNormal() * R(4) / L::epsilon()) {
    ea = -L::upscale();
  }
  const R ars = scalbn_(a.x, -ea), ais = scalbn_(a.y, -ea);
  const R d = brs * brs + bis * bis;
  const R re = (ars * brs + ais * bis) / d;
  const R im = (ais * brs - ars * bis) / d;
  return cx_make<C>(scalbn_(re, ea - eb), scalbn_(im, ea - eb));
}

}  // namespace cx_detail

// a / b. A real or imaginary divisor divides each part once (so 9/11 is the
// correctly rounded quotient). Where both parts of the divisor and the larger
// part of the dividend lie in [2^-k, 2^k] (k = 250 in double, 31 in float),
// the textbook formula loses nothing: every product that decides a part is a
// normal number (one that is not lies far below half an ulp of the other),
// and neither the denominator nor the quotient can overflow. It gives the
// scaled formula's bits (scaling by powers of two changes no rounding there),
// save that a quotient in the subnormal range is rounded once instead of
// twice, at a fraction of its cost. Other operands are scaled (divScaled).
template <class C>
ORVANE_HD inline C cx_div(C a, C b) {
  typedef typename cx_detail::Part<C>::type R;
  typedef cx_detail::Limits<R> L;
  using namespace cx_detail;
  const R bx = fabs_(b.x), by = fabs_(b.y);
  const R am = fabs_(a.x) > fabs_(a.y) ? fabs_(a.x) : fabs_(a.y);
  const R bLow = bx < by ? bx : by, bHigh = bx < by ? by : bx;
  const R low = bLow < am ? bLow : am, high = bHigh < am ? am : bHigh;
  // A zero part of the divisor fails the first test, an infinite part the
  // second; a NaN part gives NaN parts on either way.
  if (low >= L::plainDivLow() && high <= L::plainDivHigh()) {
    const R d = b.x * b.x + b.y * b.y;
    return cx_make<C>((a.x * b.x + a.y * b.y) / d, (a.y * b.x - a.x * b.y) / d);
  }
  if (b.y == R(0)) return cx_make<C>(a.x / b.x, a.y / b.x);
  if (b.x == R(0)) return cx_make<C>(a.y / b.y, R(0) - a.x / b.y);
  return divScaled(a, b);
}

// ---- Exponential, logarithm, square root -------------------------------------------

template <class C>
ORVANE_HD inline C cx_exp(C z) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  if (z.y == R(0)) return cx_make<C>(exp_(z.x), z.y);
  const R c = cos_(z.y), s = sin_(z.y);
  if (z.x > Limits<R>::expLimit()) {
    const R h = exp_(R(0.5) * z.x);
    return cx_make<C>((h * c) * h, (h * s) * h);
  }
  const R e = exp_(z.x);
  return cx_make<C>(e * c, e * s);
}

// log|z| + i arg z. Near the unit circle log|z| is log1p of |z|^2 - 1, formed
// from exact squares (fma) so that the cancellation in it loses nothing;
// moduli near overflow or in the subnormal range are scaled by powers of two.
template <class C>
ORVANE_HD inline C cx_log(C z) {
  typedef typename cx_detail::Part<C>::type R;
  typedef cx_detail::Limits<R> L;
  using namespace cx_detail;
  const R ax = fabs_(z.x), ay = fabs_(z.y);
  const R a = ax > ay ? ax : ay, b = ax > ay ? ay : ax;
  R re;
  if (a >= R(0.5) && a <= R(1.4)) {
    // |z|^2 - 1 from the squares and their rounding errors. Where it is near
    // zero the differences below are exact (Sterbenz): a*a - 1 when a*a is
    // at least 1/2; otherwise both squares are near 1/2.
    const R pa = a * a, ea = fma_(a, a, -pa);
    const R pb = b * b, eb = fma_(b, b, -pb);
    const R u = pa >= R(0.5) ? (pa - R(1)) + pb : (pa - R(0.5)) + (pb - R(0.5));
    // u + ea + eb by compensated sums: the sum may cancel far below ea.
    R e1, e2;
    const R t1 = twoSum(u, ea, e1);
    const R t2 = twoSum(t1, eb, e2);
    re = R(0.5) * log1p_(t2 + (e1 + e2));
  } else if (a > L::largest() / R(4)) {
    re = log_(hypot_(R(0.5) * ax, R(0.5) * ay)) + L::ln2();
  } else if (a < L::minNormal()) {
    const int k = L::upscale();
    re = log_(hypot_(scalbn_(ax, k), scalbn_(ay, k))) - R(k) * L::ln2();
  } else {
    re = log_(hypot_(ax, ay));
  }
  return cx_make<C>(re, atan2_(z.y, z.x));
}

// Principal square root: t = sqrt((|x| + |z|)/2) carries the larger part, the
// other is |y|/(2t); no cancellation anywhere. Huge and subnormal arguments
// are scaled by even powers of two.
template <class C>
ORVANE_HD inline C cx_sqrt(C z) {
  typedef typename cx_detail::Part<C>::type R;
  typedef cx_detail::Limits<R> L;
  using namespace cx_detail;
  if (z.x == R(0) && z.y == R(0)) return cx_make<C>(R(0), z.y);
  const R ax = fabs_(z.x), ay = fabs_(z.y);
  R t;
  if (ax > L::largest() / R(4) || ay > L::largest() / R(4)) {
    const R qx = R(0.25) * ax, qy = R(0.25) * ay;
    t = R(2) * sqrt_(R(0.5) * (qx + hypot_(qx, qy)));
  } else if (ax < R(2) * L::minNormal() && ay < R(2) * L::minNormal()) {
    const int k = L::upscale();
    const R sx = scalbn_(ax, 2 * k), sy = scalbn_(ay, 2 * k);
    t = scalbn_(sqrt_(R(0.5) * (sx + hypot_(sx, sy))), -k);
  } else {
    t = sqrt_(R(0.5) * (ax + hypot_(ax, ay)));
  }
  if (z.x >= R(0)) return cx_make<C>(t, z.y / (R(2) * t));
  return cx_make<C>(ay / (R(2) * t), copysign_(t, z.y));
}

// ---- Trigonometric and hyperbolic functions -----------------------------------------

template <class C>
ORVANE_HD inline C cx_sinh(C z) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  const R c = cos_(z.y), s = sin_(z.y);
  const R ax = fabs_(z.x);
  if (ax <= Limits<R>::expLimit()) return cx_make<C>(sinh_(z.x) * c, cosh_(z.x) * s);
  const R re = halfExpTimes(c, ax);
  return cx_make<C>(signBit(z.x) ? -re : re, halfExpTimes(s, ax));
}

template <class C>
ORVANE_HD inline C cx_cosh(C z) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  const R c = cos_(z.y), s = sin_(z.y);
  const R ax = fabs_(z.x);
  if (ax <= Limits<R>::expLimit()) return cx_make<C>(cosh_(z.x) * c, sinh_(z.x) * s);
  const R im = halfExpTimes(s, ax);
  return cx_make<C>(halfExpTimes(c, ax), signBit(z.x) ? -im : im);
}

// sin z = sin x cosh y + i cos x sinh y.
template <class C>
ORVANE_HD inline C cx_sin(C z) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  const R s = sin_(z.x), c = cos_(z.x);
  const R ay = fabs_(z.y);
  if (ay <= Limits<R>::expLimit()) return cx_make<C>(s * cosh_(z.y), c * sinh_(z.y));
  const R im = halfExpTimes(c, ay);
  return cx_make<C>(halfExpTimes(s, ay), signBit(z.y) ? -im : im);
}

// cos z = cos x cosh y - i sin x sinh y.
template <class C>
ORVANE_HD inline C cx_cos(C z) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  const R s = sin_(z.x), c = cos_(z.x);
  const R ay = fabs_(z.y);
  if (ay <= Limits<R>::expLimit()) return cx_make<C>(c * cosh_(z.y), -(s * sinh_(z.y)));
  const R im = halfExpTimes(s, ay);
  return cx_make<C>(halfExpTimes(c, ay), signBit(z.y) ? im : -im);
}

// tanh z by Kahan's formula: with t = tan y, b = 1 + t^2, s = sinh x,
// tanh z = (b s cosh x + i t) / (1 + b s^2); for |t| > 1 the same with
// numerator and denominator divided by t^2, so that nothing overflows near
// the poles. Past tanhLimit the real part is +-1 and the imaginary part
// 4 sin y cos y e^(-2|x|).
template <class C>
ORVANE_HD inline C cx_tanh(C z) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  const R ax = fabs_(z.x);
  if (ax > Limits<R>::tanhLimit()) {
    const R e = exp_(-ax);
    return cx_make<C>(copysign_(R(1), z.x), ((R(4) * sin_(z.y)) * cos_(z.y)) * e * e);
  }
  const R t = tan_(z.y), sh = sinh_(z.x), ch = cosh_(z.x);
  const R ss = sh * sh;
  if (fabs_(t) <= R(1)) {
    const R beta = R(1) + t * t;
    const R d = R(1) + beta * ss;
    return cx_make<C>((beta * ch) * sh / d, t / d);
  }
  const R u = R(1) / t, uu = u * u;
  const R d = uu + (R(1) + uu) * ss;
  // sh / d first: with a tiny x, d may be tiny too and the quotient normal.
  return cx_make<C>(((R(1) + uu) * ch) * (sh / d), u / d);
}

// tan z = -i tanh(iz).
template <class C>
ORVANE_HD inline C cx_tan(C z) {
  const C w = cx_tanh(cx_make<C>(-z.y, z.x));
  return cx_make<C>(w.y, -w.x);
}

// ---- Inverse functions ------------------------------------------------------------------

namespace cx_detail {

// asin and acos of x + iy for x, y >= 0 by the algorithm of Hull, Fairgrieve
// and Tang (ACM TOMS 23, 1997): with R = |z + 1|/2, S = |z - 1|/2, A = R + S,
// asin z = asin(x/A) + i log(A + sqrt(A^2 - 1)), where A - 1 and A^2 - x^2
// are formed from differences that cancel exactly. Returns the real part of
// asin (acos when wantAcos) and the (non-negative) size of the imaginary part.
template <class R>
ORVANE_HD inline void asinAcos(R x, R y, bool wantAcos, R& re, R& im) {
  typedef Limits<R> L;
  if (x > L::bigArg() || y > L::bigArg()) {
    // asin z = -i log(2iz) to within 1/|z|^2.
    if (x > L::largest() / R(4) || y > L::largest() / R(4)) {
      im = log_(hypot_(R(0.5) * x, R(0.5) * y)) + R(2) * L::ln2();
    } else {
      im = log_(hypot_(x, y)) + L::ln2();
    }
    re = wantAcos ? atan2_(y, x) : atan2_(x, y);
    return;
  }
  const R xp1 = x + R(1), xm1 = x - R(1), omx = R(1) - x;
  const R r = hypot_(xp1, y), s = hypot_(xm1, y);
  R a = R(0.5) * (r + s);
  if (a < R(1)) a = R(1);
  const R yy = y * y;
  if (a > R(1.5)) {
    im = log_(a + sqrt_(a * a - R(1)));
  } else if (x < R(1) && y < L::epsilon() * omx) {
    // y so small against 1 - x that y^2 is negligible (and may underflow).
    im = y / sqrt_(omx * xp1);
  } else {
    // 2(A - 1), halved only after the product, so that a subnormal y at
    // x = 1 loses no bits: sqrt((A - 1)(A + 1)) is then sqrt(y) exactly.
    const R am1x2 = x < R(1) ? yy / (r + xp1) + yy / (s + omx) : yy / (r + xp1) + (s + xm1);
    im = log1p_(R(0.5) * am1x2 + sqrt_((am1x2 * (a + R(1))) * R(0.5)));
  }
  const R b = x / a;
  if (b <= R(0.6417)) {
    re = wantAcos ? acos_(b) : asin_(b);
    return;
  }
  // d = sqrt(A^2 - x^2) = sqrt((A + x)(A - x)).
  const R d = x <= R(1) ? sqrt_(R(0.5) * (a + x) * (yy / (r + xp1) + (s + omx)))
                        : y * sqrt_(R(0.5) * ((a + x) / (r + xp1) + (a + x) / (s + xm1)));
  re = wantAcos ? atan2_(d, x) : atan2_(x, d);
}

// atanh of x + iy for x, y >= 0: real part log((1 + x)^2 + y^2) - log((1 - x)^2 + y^2)
// over 4, as log1p of 4x / ((1 - x)^2 + y^2); imaginary part half the angle
// of (1 - x^2 - y^2, 2y). For |z| past bigArg, atanh z = 1/z + i pi/2 to
// within 1/|z|^2.
template <class C>
ORVANE_HD inline void atanhParts(typename Part<C>::type x, typename Part<C>::type y,
                                 typename Part<C>::type& re, typename Part<C>::type& im) {
  typedef typename Part<C>::type R;
  typedef Limits<R> L;
  if (x > L::bigArg() || y > L::bigArg()) {
    const C w = cx_div(cx_make<C>(R(1), R(0)), cx_make<C>(x, y));
    re = w.x;
    im = L::halfPi() + w.y;
    return;
  }
  const R omx = R(1) - x;
  if (fabs_(omx) < L::sqrtMinNormal() && y < L::sqrtMinNormal()) {
    // Next to the pole at 1, where the squares would underflow.
    re = R(0.5) * (log_(hypot_(R(1) + x, y)) - log_(hypot_(omx, y)));
  } else {
    re = R(0.25) * log1p_(R(4) * x / (omx * omx + y * y));
  }
  im = R(0.5) * atan2_(R(2) * y, omx * (R(1) + x) - y * y);
}

}  // namespace cx_detail

template <class C>
ORVANE_HD inline C cx_asin(C z) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  R re, im;
  asinAcos(fabs_(z.x), fabs_(z.y), false, re, im);
  return cx_make<C>(copysign_(re, z.x), copysign_(im, z.y));
}

// The imaginary part has the sign opposite to that of Im z (acos(2 + 0i) = -i acosh 2).
template <class C>
ORVANE_HD inline C cx_acos(C z) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  R re, im;
  asinAcos(fabs_(z.x), fabs_(z.y), true, re, im);
  return cx_make<C>(signBit(z.x) ? Limits<R>::pi() - re : re, -copysign_(im, z.y));
}

// asinh z = -i asin(iz).
template <class C>
ORVANE_HD inline C cx_asinh(C z) {
  const C w = cx_asin(cx_make<C>(-z.y, z.x));
  return cx_make<C>(w.y, -w.x);
}

// acosh z = +-i acos z, the sign giving a non-negative real part; the
// imaginary part has the sign of Im z.
template <class C>
ORVANE_HD inline C cx_acosh(C z) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  R re, im;
  asinAcos(fabs_(z.x), fabs_(z.y), true, re, im);
  return cx_make<C>(im, copysign_(signBit(z.x) ? Limits<R>::pi() - re : re, z.y));
}

template <class C>
ORVANE_HD inline C cx_atanh(C z) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  R re, im;
  atanhParts<C>(fabs_(z.x), fabs_(z.y), re, im);
  return cx_make<C>(copysign_(re, z.x), copysign_(im, z.y));
}

// atan z = -i atanh(iz).
template <class C>
ORVANE_HD inline C cx_atan(C z) {
  const C w = cx_atanh(cx_make<C>(-z.y, z.x));
  return cx_make<C>(w.y, -w.x);
}

// ---- Powers -----------------------------------------------------------------------------

namespace cx_detail {

// z^n for n >= 1 by repeated squaring: exact whenever the products are, and
// z^2 is exactly z*z.
template <class C>
ORVANE_HD inline C powUnsigned(C z, unsigned n) {
  C result = z;
  bool have = false;
  for (;;) {
    if (n & 1u) {
      result = have ? cx_mul(result, z) : z;
      have = true;
    }
    n >>= 1;
    if (n == 0u) break;
    z = cx_mul(z, z);
  }
  return result;
}

// Finite, and not so small that its parts have lost bits.
template <class C>
ORVANE_HD inline bool inNormalRange(C z) {
  typedef typename Part<C>::type R;
  const R ax = fabs_(z.x), ay = fabs_(z.y);
  const R m = ax > ay ? ax : ay;
  return m <= Limits<R>::largest() && m >= Limits<R>::minNormal();
}

// |z|^b, given logAbs = log|z| (accurate, also near |z| = 1): exp(b log|z|)
// where log|z| is small, pow(|z|, b) elsewhere (its error does not grow with
// log|z|), with huge and subnormal moduli scaled by powers of two.
template <class R>
ORVANE_HD inline R absPow(R ax, R ay, R logAbs, R b) {
  typedef Limits<R> L;
  if (fabs_(logAbs) <= R(1)) return exp_(b * logAbs);
  const R m = ax > ay ? ax : ay;
  if (m > L::largest() / R(4)) return pow_(hypot_(R(0.5) * ax, R(0.5) * ay), b) * pow_(R(2), b);
  if (m < L::minNormal()) {
    const int k = L::upscale();
    return pow_(hypot_(scalbn_(ax, k), scalbn_(ay, k)), b) * pow_(R(2), -R(k) * b);
  }
  return pow_(hypot_(ax, ay), b);
}

}  // namespace cx_detail

// z^w on the principal branch, exp(w log z), with the cheap exact cases:
// z^0 = 1 (also 0^0); 0^w = 0 when Re w > 0, infinity when w is a negative
// real, NaN otherwise; an integer exponent up to 64 in size by repeated
// squaring (z^-n as 1/z^n) while that stays in range, so that z^2 is z*z;
// w = +-1/2 through cx_sqrt; a positive real base to a real power through the
// real pow. Any other real power is |z|^a e^(i a arg z), with |z|^a taken
// twice at half the exponent where it overflows, so that a part of the result
// overflows only when it must.
template <class C>
ORVANE_HD inline C cx_pow(C z, C w) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  const C one = cx_make<C>(R(1), R(0));
  const bool zeroBase = z.x == R(0) && z.y == R(0);
  if (w.y != R(0)) {
    if (zeroBase) return w.x > R(0) ? cx_make<C>(R(0), R(0)) : cx_make<C>(quietNaN<R>(), quietNaN<R>());
    return cx_exp(cx_mul(w, cx_log(z)));
  }
  const R a = w.x;
  if (a == R(0)) return one;
  if (zeroBase) return a > R(0) ? cx_make<C>(R(0), R(0)) : cx_make<C>(infinity<R>(), R(0));
  if (a == floor_(a) && fabs_(a) <= R(64)) {
    // Where a product overflows or underflows the polar form below takes over.
    const unsigned n = unsigned(fabs_(a));
    const C p = powUnsigned(z, n);
    if (inNormalRange(p)) return a > R(0) ? p : cx_div(one, p);
    if (a < R(0)) {
      const C q = powUnsigned(cx_div(one, z), n);  // z^n out of range, its inverse perhaps not
      if (inNormalRange(q)) return q;
    }
  }
  if (a == R(0.5)) return cx_sqrt(z);
  if (a == R(-0.5)) return cx_div(one, cx_sqrt(z));
  if (z.y == R(0) && z.x > R(0)) return cx_make<C>(pow_(z.x, a), z.y);
  const C lz = cx_log(z);
  const R th = a * lz.y;
  const R c = cos_(th), s = sin_(th);
  const R ax = fabs_(z.x), ay = fabs_(z.y);
  const R r = absPow(ax, ay, lz.x, a);
  if (isFinite(r)) return cx_make<C>(r * c, r * s);
  const R h = absPow(ax, ay, lz.x, R(0.5) * a);
  return cx_make<C>((h * c) * h, (h * s) * h);
}

namespace cx_detail {

// cx_pow(z, n) out of line: the rare case of cx_pown.
template <class C>
ORVANE_HD ORVANE_CX_RARE C powInteger(C z, int n) {
  typedef typename Part<C>::type R;
  return cx_pow(z, cx_make<C>(R(n), R(0)));
}

}  // namespace cx_detail

// z^n for an integer literal n, 1 <= |n| <= 64: exactly cx_pow(z, n), without
// its tests of the exponent (the code generated for "z^2" calls this).
template <class C>
ORVANE_HD inline C cx_pown(C z, int n) {
  typedef typename cx_detail::Part<C>::type R;
  using namespace cx_detail;
  // A zero z gives a zero p, which is not in the normal range.
  const C p = powUnsigned(z, unsigned(n < 0 ? -n : n));
  if (inNormalRange(p)) return n > 0 ? p : cx_div(cx_make<C>(R(1), R(0)), p);
  return powInteger(z, n);
}

// Bessel, error and gamma functions and the exponential integral.
#include "jit/special_functions.h"
