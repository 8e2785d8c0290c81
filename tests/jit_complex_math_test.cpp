// The complex functions of run-time transforms, in double and in float,
// against std::complex<long double> at points chosen to stress each
// algorithm: both sides of every branch cut (signed zeros and near misses),
// the neighbourhoods of the unit circle and of +-1 and +-i, huge and tiny
// moduli, and arguments whose results overflow or underflow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <sstream>
#include <string>
#include <vector>
#include <random>
#include <cstdio>

#include "jit/complex_math.h"

namespace {

typedef std::complex<long double> LC;

// ---- The accuracy measure -----------------------------------------------------------

// Error of one part in units of the precision's epsilon, relative to the
// part itself, or to the whole modulus where the function is only accurate
// normwise. Results in the subnormal range are measured against the smallest
// normal number. A reference beyond the precision's range wants an infinity
// of the same sign; measured part by part, a zero reference wants a zero of
// the same sign.
template <class R>
double partError(R got, long double want, long double modulus, bool normwise, std::string* why) {
  const long double largest = std::numeric_limits<R>::max();
  const long double tiny = std::numeric_limits<R>::min();
  if (std::isnan(want)) return std::isnan(got) ? 0 : 1e30;
  // Normwise, when the modulus overflows, a part far below it is anything
  // but NaN: neither its size nor its sign is within reach.
  if (normwise && modulus > largest && std::fabs(want) < 1e-3L * modulus) return std::isnan(got) ? 1e30 : 0;
  if (std::fabs(want) > largest) {
    if (std::isinf(got) && std::signbit(got) == std::signbit(want)) return 0;
    *why = "wanted an infinity";
    return 1e30;
  }
  if (want == 0 && !normwise) {
    if (got == 0 && std::signbit(got) == std::signbit(want)) return 0;
    *why = "wanted a zero of this sign";
    return 1e30;
  }
  long double scale = std::fabs(want);
  if (normwise && modulus > scale) scale = modulus;
  if (scale < tiny) scale = tiny;
  const long double err = std::fabs(static_cast<long double>(got) - want) / scale;
  return static_cast<double>(err / std::numeric_limits<R>::epsilon());
}

template <class C>
std::string show(C z) {
  std::ostringstream o;
  o.precision(std::numeric_limits<decltype(z.x)>::max_digits10);
  o << "(" << z.x << ", " << z.y << ")";
  return o.str();
}
std::string show(LC z) {
  std::ostringstream o;
  o.precision(21);
  o << "(" << z.real() << ", " << z.imag() << ")";
  return o.str();
}

// Largest error over both parts; the description of the worst failure, if any.
template <class C>
double error(C got, LC want, bool normwise, std::string* why) {
  const long double modulus = std::abs(want);
  std::string w1, w2;
  const double e = std::max(partError(got.x, want.real(), modulus, normwise, &w1),
                            partError(got.y, want.imag(), modulus, normwise, &w2));
  *why = w1.empty() ? w2 : w1;
  return e;
}

// ---- The functions ------------------------------------------------------------------------

template <class C>
C of(double x, double y) {
  return cx_make<C>(static_cast<decltype(C().x)>(x), static_cast<decltype(C().x)>(y));
}

LC realOnly(long double v) { return LC(v, 0.0L); }

struct Function {
  const char* name;
  double2 (*d)(double2);
  float2 (*f)(float2);
  LC (*ref)(LC);
  double ulps;    // tolerance in units of epsilon, for double and float alike
  bool normwise;  // measured against |F| rather than part by part
};

#define ORVANE_FN(n, expr, ulps, normwise)                                           \
  Function {                                                                         \
    #n, [](double2 z) { return cx_##n(z); }, [](float2 z) { return cx_##n(z); }, \
        [](LC z) -> LC { return expr; }, ulps, normwise                            \
  }

// Reasons for the tolerances:
// - exp, sin, cos, sinh, cosh: each part a product of two library values
//   (each within an ulp) with one rounding: 3.
// - log, sqrt: a library function of an accurately formed argument: 3.
// - tanh, tan: Kahan's formula chains five to seven roundings (4 seen): 5.
// - the inverse functions: the algorithm of Hull et al. keeps every
//   cancellation exact; a chain of roundings remains (2.1 seen): 3.
// - abs, arg: one library call: 1.
// - conj, real, imag, neg: exact.
const Function kFunctions[] = {
    ORVANE_FN(exp, std::exp(z), 3, false),
    ORVANE_FN(log, std::log(z), 3, false),
    ORVANE_FN(sqrt, std::sqrt(z), 3, false),
    ORVANE_FN(sin, std::sin(z), 3, false),
    ORVANE_FN(cos, std::cos(z), 3, false),
    ORVANE_FN(tan, std::tan(z), 5, false),
    ORVANE_FN(sinh, std::sinh(z), 3, false),
    ORVANE_FN(cosh, std::cosh(z), 3, false),
    ORVANE_FN(tanh, std::tanh(z), 5, false),
    ORVANE_FN(asin, std::asin(z), 3, false),
    ORVANE_FN(acos, std::acos(z), 3, false),
    ORVANE_FN(atan, std::atan(z), 3, false),
    ORVANE_FN(asinh, std::asinh(z), 3, false),
    ORVANE_FN(acosh, std::acosh(z), 3, false),
    ORVANE_FN(atanh, std::atanh(z), 3, false),
    ORVANE_FN(abs, realOnly(std::abs(z)), 1, false),
    ORVANE_FN(arg, realOnly(std::arg(z)), 1, false),
    ORVANE_FN(conj, std::conj(z), 0, false),
    ORVANE_FN(real, realOnly(z.real()), 0, false),
    ORVANE_FN(imag, realOnly(z.imag()), 0, false),
    ORVANE_FN(neg, LC(0.0L) - z, 0, false),
};

// ---- The points ------------------------------------------------------------------------------

struct Point {
  double x, y;
};

std::vector<Point> points() {
  std::vector<Point> p = {
      // Ordinary values in every quadrant.
      {0.5, 0.25}, {-0.75, 0.5}, {-2.5, -1.5}, {3, -4}, {0.1, 7}, {-7, 0.3}, {1.5, 1.5}, {-0.3, -0.2},
      // The axes and zero, with both signs of zero.
      {0, 0}, {-0.0, 0}, {0, -0.0}, {-0.0, -0.0}, {2, 0}, {0, 2}, {-2, 0}, {0, -2}, {0.5, 0}, {0, 0.5},
      // Both sides of the cuts on the real axis (log, sqrt, pow: x < 0;
      // asin, acos, atanh: |x| > 1; acosh: x < 1) ...
      {-2, -0.0}, {-0.5, -0.0}, {2, -0.0}, {-3, 1e-300}, {-3, -1e-300}, {3, 1e-300}, {3, -1e-300},
      {1.25, 1e-17}, {1.25, -1e-17}, {-1.25, 1e-17}, {0.25, -0.0}, {-0.25, -0.0}, {-4, 1e-9}, {-4, -1e-9},
      // ... and on the imaginary axis (asinh, atan: |y| > 1).
      {-0.0, 2}, {-0.0, -2}, {1e-300, 3}, {-1e-300, 3}, {1e-17, -1.25}, {-1e-17, -1.25}, {-1e-9, 4},
      // Next to the branch points +-1 and +-i and on the unit circle.
      {1, 0}, {-1, 0}, {1, -0.0}, {-1, -0.0}, {0, 1}, {0, -1}, {1, 1e-10}, {1, -1e-10}, {-1, 1e-10},
      {1 + 1e-12, 1e-12}, {1 - 1e-12, 1e-12}, {0.9999999, 1e-10}, {1e-10, 1}, {1e-10, 1 + 1e-9},
      {1, 1e-200}, {-1, -1e-200}, {1e-200, 1}, {1 + 1e-15, 0}, {1 - 1e-15, 0}, {0.6, 0.8},
      {-0.8, 0.6}, {0.99999, 0.0044721}, {-0.0201017112, -0.99979794}, {0.7071067811865476, 0.7071067811865475},
      {0.7071067811865475, -0.7071067811865475},
      {0.7071067811865476, 0.7071067811865476}, {-0.6, 0.5}, {0.55, -0.8351646544245034}, {1 + 1e-8, 1e-8},
      // Tiny moduli, down to subnormals.
      {1e-20, -3e-20}, {1e-200, 1e-200}, {-1e-300, 2e-300}, {3e-310, 4e-310}, {-5e-320, 0}, {1e-30, 0},
      {0, 1e-30}, {1e-160, 1e-160}, {2e-38, 1e-39}, {1e-42, -1e-42},
      // Large moduli, up to the edge of overflow.
      {1e10, 1e10}, {-1e15, 3}, {3, -1e15}, {1e30, 0.5}, {1e200, -1e200}, {-1e300, 1e300},
      {1.7e308, 1e308}, {-1e-200, 1e200}, {3e38, -3e38}, {1e20, 1e-20}, {1e8, 1e8},
      // Overflow, underflow and saturation of exp, sin, cos, sinh, cosh, tanh.
      {700, 1}, {710, 1}, {710, -2}, {-745, 1}, {1000, 0.5}, {0.5, 720}, {2, -715}, {800, 0},
      {-800, 0.3}, {30, 1}, {-30, -2}, {20, 3}, {1, 30}, {-2, 25}, {88.5, 0.7}, {-88.5, 1.2}, {0.3, 89.5},
      {100, 1e-300}, {5e-324, 1000}, {1000, -5e-324}, {1.4e-45, -1.2e31}, {-1.2e31, 1.4e-45},
      {5, 1.5707963267948966}, {1e-5, 1.5707963267948966}, {0.3, 3.141592653589793},
  };
  return p;
}

template <class C>
void expectAccurate(const Function& fn, C (*ours)(C), double x, double y, const char* where) {
  typedef decltype(C().x) R;
  const R rx = static_cast<R>(x), ry = static_cast<R>(y);
  if (std::isinf(rx) || std::isinf(ry)) return;  // beyond float's range
  const C got = ours(of<C>(rx, ry));
  const LC want = fn.ref(LC(rx, ry));
  std::string why;
  EXPECT_LE(error(got, want, fn.normwise, &why), fn.ulps)
      << fn.name << " in " << (sizeof(R) == 8 ? "double" : "float") << " at " << show(of<C>(rx, ry))
      << " (" << where << "): got " << show(got) << ", want " << show(want) << " " << why;
}

TEST(JitComplexMath, EveryFunctionAtTheChosenPoints) {
  for (const Function& fn : kFunctions) {
    for (const Point& pt : points()) {
      expectAccurate<double2>(fn, fn.d, pt.x, pt.y, "chosen point");
      expectAccurate<float2>(fn, fn.f, pt.x, pt.y, "chosen point");
    }
  }
}

// ---- Random regions ------------------------------------------------------------------------

struct Draw {
  std::mt19937_64 g{20240611};
  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(g); }
  double sign() { return (g() & 1) ? 1.0 : -1.0; }
  double decades(double lo, double hi) { return std::pow(10.0, uniform(lo, hi)); }  // log-uniform
};

struct Region {
  const char* name;
  Point (*draw)(Draw&, int k);
};

const Region kRegions[] = {
    {"whole range",
     [](Draw& d, int) { return Point{d.sign() * d.decades(-310, 308), d.sign() * d.decades(-310, 308)}; }},
    {"near the unit circle",
     [](Draw& d, int) {
       const double r = 1 + d.sign() * d.decades(-17, -2), th = d.uniform(-3.2, 3.2);
       return Point{r * std::cos(th), r * std::sin(th)};
     }},
    {"near +-1 and +-i",
     [](Draw& d, int k) {
       Point p{d.sign() * (1 + d.sign() * d.decades(-17, 0)), d.sign() * d.decades(-320, 1)};
       if (k & 1) std::swap(p.x, p.y);
       return p;
     }},
    {"the square of side 8", [](Draw& d, int) { return Point{d.uniform(-4, 4), d.uniform(-4, 4)}; }},
    {"near multiples of pi/2",
     [](Draw& d, int k) {
       Point p{1.5707963267948966 * std::floor(d.uniform(-8, 8)) + d.sign() * d.decades(-16, 0),
               d.sign() * d.decades(-20, 1.5)};
       if (k & 1) std::swap(p.x, p.y);
       return p;
     }},
    {"past the range of exp and cosh",
     [](Draw& d, int k) {
       Point p{d.uniform(-780, 780), d.uniform(-8, 8)};
       if (k & 1) std::swap(p.x, p.y);
       return p;
     }},
    {"where asin changes formula",  // A = 1.5 and x/A = 0.6417 cross here
     [](Draw& d, int) { return Point{d.sign() * d.uniform(0, 2), d.sign() * d.uniform(0, 1.6)}; }},
    {"around the asymptotic switch",  // bigArg of either precision
     [](Draw& d, int k) {
       Point p{d.sign() * d.decades(3, 10), d.sign() * d.decades(-5, 10)};
       if (k & 1) std::swap(p.x, p.y);
       return p;
     }},
};

TEST(JitComplexMath, EveryFunctionOverRandomRegions) {
  for (const Region& region : kRegions) {
    Draw draw;
    std::vector<Point> pts;
    for (int k = 0; k < 3000; ++k) pts.push_back(region.draw(draw, k));
    for (const Function& fn : kFunctions) {
      for (const Point& pt : pts) {
        expectAccurate<double2>(fn, fn.d, pt.x, pt.y, region.name);
        expectAccurate<float2>(fn, fn.f, pt.x, pt.y, region.name);
      }
    }
  }
}

// ---- Multiplication and division ----------------------------------------------------

template <class C>
void expectBinary(const char* name, C (*ours)(C, C), LC (*ref)(LC, LC), double ulps, Point a, Point b,
                  const char* where) {
  typedef decltype(C().x) R;
  const C ca = of<C>(a.x, a.y), cb = of<C>(b.x, b.y);
  if (std::isinf(ca.x) || std::isinf(ca.y) || std::isinf(cb.x) || std::isinf(cb.y)) return;
  const C got = ours(ca, cb);
  const LC want = ref(LC(ca.x, ca.y), LC(cb.x, cb.y));
  std::string why;
  EXPECT_LE(error(got, want, true, &why), ulps)
      << name << " in " << (sizeof(R) == 8 ? "double" : "float") << " of " << show(ca) << " and " << show(cb)
      << " (" << where << "): got " << show(got) << ", want " << show(want) << " " << why;
}

// Both are accurate normwise only: the real part of a product or of a
// quotient is a difference that may cancel. mul: two products and a sum per
// part; div: the exact scaling leaves the squares, the sums and a division.
TEST(JitComplexMath, MultiplicationAndDivisionAgainstLongDouble) {
  auto mulD = [](double2 a, double2 b) { return cx_mul(a, b); };
  auto mulF = [](float2 a, float2 b) { return cx_mul(a, b); };
  auto divD = [](double2 a, double2 b) { return cx_div(a, b); };
  auto divF = [](float2 a, float2 b) { return cx_div(a, b); };
  LC (*mulRef)(LC, LC) = [](LC a, LC b) { return a * b; };
  LC (*divRef)(LC, LC) = [](LC a, LC b) { return a / b; };
  Draw d;
  for (int k = 0; k < 20000; ++k) {
    // The textbook product: operands whose products stay in range.
    const Point a{d.sign() * d.decades(-150, 150), d.sign() * d.decades(-150, 150)};
    const Point b{d.sign() * d.decades(-150, 150), d.sign() * d.decades(-150, 150)};
    expectBinary<double2>("mul", mulD, mulRef, 3, a, b, "random");
    const Point fa{d.sign() * d.decades(-18, 18), d.sign() * d.decades(-18, 18)};
    const Point fb{d.sign() * d.decades(-18, 18), d.sign() * d.decades(-18, 18)};
    expectBinary<float2>("mul", mulF, mulRef, 3, fa, fb, "random");
    // The quotient: anything, including results out of range.
    const Point p{d.sign() * d.decades(-320, 308), d.sign() * d.decades(-320, 308)};
    const Point q{d.sign() * d.decades(-320, 308), d.sign() * d.decades(-320, 308)};
    expectBinary<double2>("div", divD, divRef, 4, p, q, "random");
    const Point fp{d.sign() * d.decades(-45, 38), d.sign() * d.decades(-45, 38)};
    const Point fq{d.sign() * d.decades(-45, 38), d.sign() * d.decades(-45, 38)};
    expectBinary<float2>("div", divF, divRef, 4, fp, fq, "random");
  }
  // Operands where unscaled formulas overflow, underflow or lose bits.
  const Point cases[][2] = {
      {{1e300, 1e300}, {1e300, 1e300}},   {{1e-300, 1e-300}, {1e-300, -1e-300}}, {{1.7e308, 1}, {1e308, 1e308}},
      {{1, 1}, {1e308, 1e308}},           {{1e-310, 3e-310}, {1e-310, 1e-310}},  {{1e308, -1e308}, {0.5, 0.5}},
      {{3, 4}, {1e-310, 2e-310}},         {{1e-320, 0}, {3, 4}},                 {{1, 0}, {3e38, 3e38}},
      {{1e-30, 1e-30}, {1e-40, 1e-40}},   {{2, 3}, {4e-300, 1e300}},             {{1e200, 1}, {1e-200, 1e-100}},
  };
  for (const auto& c : cases) {
    expectBinary<double2>("div", divD, divRef, 4, c[0], c[1], "scaling case");
    expectBinary<float2>("div", divF, divRef, 4, c[0], c[1], "scaling case");
  }
}

TEST(JitComplexMath, RealAndImaginaryDivisorsAreCorrectlyRounded) {
  const double2 q = cx_div(cx_make<double2>(9, 0), cx_make<double2>(11, 0));
  EXPECT_EQ(q.x, 9.0 / 11.0);
  EXPECT_EQ(q.y, 0.0);
  const double2 r = cx_div(cx_make<double2>(0.3, -0.7), cx_make<double2>(0, 3));
  EXPECT_EQ(r.x, -0.7 / 3);
  EXPECT_EQ(r.y, -(0.3 / 3));
  const float2 f = cx_div(cx_make<float2>(1, 2), cx_make<float2>(3, 0));
  EXPECT_EQ(f.x, 1.0f / 3.0f);
  EXPECT_EQ(f.y, 2.0f / 3.0f);
  const double2 z = cx_div(cx_make<double2>(1, -1), cx_make<double2>(0, 0));
  EXPECT_TRUE(std::isinf(z.x) && std::isinf(z.y));
}

// Division takes the unscaled formula for operands in a middle range; there it
// must give the bits of the scaled formula (which it takes everywhere else),
// up to the single rounding of a subnormal quotient. The parts are drawn
// across the range and past its ends, with the ends themselves and their
// neighbours, and with tiny parts whose products go subnormal.
template <class C>
void checkPlainDivision(Draw& d) {
  typedef decltype(C().x) R;
  typedef cx_detail::Limits<R> L;
  const R low = L::plainDivLow(), high = L::plainDivHigh();
  const double span = std::log10(double(high)) + 2;
  auto part = [&](int pick) -> R {
    const R sign = R(d.sign());
    switch (pick % 8) {
      case 0: return sign * low;
      case 1: return sign * high;
      case 2: return sign * std::nextafter(low, R(0));
      case 3: return sign * std::nextafter(high, std::numeric_limits<R>::infinity());
      case 4: return sign * R(d.decades(std::log10(double(L::minNormal())) - 5, -span));
      default: return sign * R(d.decades(-span, span));
    }
  };
  int plain = 0;
  for (int k = 0; k < 40000; ++k) {
    const int picks = int(d.g());
    const C a = cx_make<C>(part(picks), part(picks >> 3)), b = cx_make<C>(part(picks >> 6), part(picks >> 9));
    const C got = cx_div(a, b), want = cx_detail::divScaled(a, b);
    const R am = std::max(std::fabs(a.x), std::fabs(a.y));
    plain += std::min(std::fabs(b.x), std::fabs(b.y)) >= low && am >= low &&
             std::max(std::fabs(b.x), std::fabs(b.y)) <= high && am <= high;
    const bool subnormal = (want.x != 0 && std::fabs(want.x) < L::minNormal()) ||
                           (want.y != 0 && std::fabs(want.y) < L::minNormal());
    if (subnormal) continue;
    EXPECT_TRUE(got.x == want.x && got.y == want.y && std::signbit(got.x) == std::signbit(want.x) &&
                std::signbit(got.y) == std::signbit(want.y))
        << (sizeof(R) == 8 ? "double " : "float ") << show(a) << " / " << show(b) << ": got " << show(got)
        << ", the scaled formula gives " << show(want);
  }
  EXPECT_GT(plain, 5000) << "few operands in the plain range";
}

TEST(JitComplexMath, PlainDivisionGivesTheScaledFormulasBits) {
  Draw d;
  checkPlainDivision<double2>(d);
  checkPlainDivision<float2>(d);
}

// ---- Powers ------------------------------------------------------------------------------------

TEST(JitComplexMath, PowerExactCases) {
  typedef double2 D;
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    D z, w, want;
  };
  const Case cases[] = {
      {"(1+i)^2", {1, 1}, {2, 0}, {0, 2}},
      {"(1+i)^-2", {1, 1}, {-2, 0}, {0, -0.5}},
      {"(1+i)^8", {1, 1}, {8, 0}, {16, 0}},
      {"2^10", {2, 0}, {10, 0}, {1024, 0}},
      {"(-2)^3", {-2, 0}, {3, 0}, {-8, 0}},
      {"(-3i)^-1", {0, -3}, {-1, 0}, {0, 1.0 / 3}},
      {"z^1", {0.3, -0.7}, {1, 0}, {0.3, -0.7}},
      {"z^0", {0.3, -0.7}, {0, 0}, {1, 0}},
      {"0^0", {0, 0}, {0, 0}, {1, 0}},
      {"0^2", {0, 0}, {2, 0}, {0, 0}},
      {"0^0.5", {0, 0}, {0.5, 0}, {0, 0}},
      {"0^(1+2i)", {0, 0}, {1, 2}, {0, 0}},
      {"0^-1", {0, 0}, {-1, 0}, {inf, 0}},
      {"4^0.5", {4, 0}, {0.5, 0}, {2, 0}},
      {"(-4+0i)^0.5", {-4, 0}, {0.5, 0}, {0, 2}},
      {"(-4-0i)^0.5", {-4, -0.0}, {0.5, 0}, {0, -2}},
      {"16^-0.5", {16, 0}, {-0.5, 0}, {0.25, 0}},
      {"2^0.3 as the real pow", {2, 0}, {0.3, 0}, {std::pow(2.0, 0.3), 0}},
      {"(1e200)^2 overflows", {1e200, 0}, {2, 0}, {inf, 0}},
      {"(2^-600)^-2 overflows through the inverse", {std::ldexp(1.0, -600), 0}, {-2, 0}, {inf, 0}},
      {"(2^-520)^-2 = 2^1040 overflows", {std::ldexp(1.0, -520), 0}, {-2, 0}, {inf, 0}},
      {"(2^-511)^-2 = 2^1022 through the inverse",
       {std::ldexp(1.0, -511), 0},
       {-2, 0},
       {std::ldexp(1.0, 1022), 0}},
  };
  for (const Case& c : cases) {
    const D got = cx_pow(c.z, c.w);
    EXPECT_EQ(got.x, c.want.x) << c.what;
    EXPECT_EQ(got.y, c.want.y) << c.what;
  }
  const D nan = cx_pow(D{0, 0}, D{0, 1});
  EXPECT_TRUE(std::isnan(nan.x) && std::isnan(nan.y)) << "0^i";
  // Small integer powers are the products and quotients themselves.
  const D z{0.3, -0.7};
  const D z2 = cx_pow(z, D{2, 0}), zz = cx_mul(z, z);
  EXPECT_TRUE(z2.x == zz.x && z2.y == zz.y);
  const D z3 = cx_pow(z, D{3, 0}), zzz = cx_mul(z, zz);
  EXPECT_TRUE(z3.x == zzz.x && z3.y == zzz.y);
  const D zi = cx_pow(z, D{-1, 0}), inv = cx_div(D{1, 0}, z);
  EXPECT_TRUE(zi.x == inv.x && zi.y == inv.y);
  const float2 f = cx_pow(float2{1, 1}, float2{-2, 0});
  EXPECT_TRUE(f.x == 0 && f.y == -0.5f);
  // The generated code's integer powers are cx_pow's, bit for bit, in range or not.
  for (const D base : {z, D{0, 0}, D{-2, 0}, D{1e200, 1e200}, D{1e-200, -3e-200}, D{-0.0, 4}}) {
    for (int n : {1, 2, 3, 7, 64, -1, -2, -5, -64}) {
      const D a = cx_pown(base, n), b = cx_pow(base, D{double(n), 0});
      EXPECT_TRUE((a.x == b.x || (std::isnan(a.x) && std::isnan(b.x))) &&
                  (a.y == b.y || (std::isnan(a.y) && std::isnan(b.y))) &&
                  std::signbit(a.x) == std::signbit(b.x) && std::signbit(a.y) == std::signbit(b.y))
          << base.x << "+" << base.y << "i ^ " << n;
    }
  }
}

// Against exp(w log z) in long double, normwise. z^w has condition number
// about |w| (1 + |log z|) in the relative sense; each path rounds within a
// small multiple of that (squaring up to 64: at most |n| roundings compound;
// exp(w log z): the rounding of w log z), hence 3 (1 + |w| (1 + |log z|)).
template <class C>
void checkPowers(Draw& d) {
  typedef decltype(C().x) R;
  const bool single = sizeof(R) == 4;
  for (int k = 0; k < 20000; ++k) {
    const double range = single ? 12 : 60;
    const Point z{d.sign() * d.decades(-range, range), d.sign() * d.decades(-range, range)};
    Point w;
    switch (k % 4) {
      case 0: w = {std::floor(d.uniform(-70, 70)), 0}; break;
      case 1: w = {d.uniform(-6, 6), 0}; break;
      case 2: w = {d.uniform(-3, 3), d.uniform(-3, 3)}; break;
      default: w = {d.sign() * 0.5, 0}; break;
    }
    const C cz = of<C>(k % 16 == 5 ? std::fabs(z.x) : z.x, k % 16 == 5 ? 0 : z.y), cw = of<C>(w.x, w.y);
    const LC lz(cz.x, cz.y), lw(cw.x, cw.y);
    const LC want = std::exp(lw * std::log(lz));
    const double tol = 3 * (1 + std::abs(lw) * (1 + std::abs(std::log(lz))));
    const C got = cx_pow(cz, cw);
    std::string why;
    EXPECT_LE(error(got, want, true, &why), tol)
        << (single ? "float" : "double") << " " << show(cz) << "^" << show(cw) << ": got " << show(got)
        << ", want " << show(want) << " " << why;
  }
}

TEST(JitComplexMath, PowerAgainstLongDouble) {
  Draw d;
  checkPowers<double2>(d);
  checkPowers<float2>(d);
}

}  // namespace
