// The special functions of run-time transforms (jit/special_functions.h)
// against mpmath at 30 digits (data/special_values.txt, written by
// support/make_special_values.py): moduli 1e-8 to 1e6 at every argument, both
// sides of the cuts, six Bessel orders. The error is relative, measured
// against the file's scale where the value is near a zero. The worst error
// of each function is printed. Then what the table cannot show: the float2
// forms, exponential scaling, and inputs outside the domain.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "jit/complex_math.h"

namespace {

struct SpecialValue {
  std::string name;
  double nu;
  double2 z;
  double re, im, scale;
};

std::vector<SpecialValue> readSpecialValues() {
  std::vector<SpecialValue> table;
  std::ifstream in(std::string(ORVANE_SOURCE_DIR) + "/tests/data/special_values.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    SpecialValue v;
    fields >> v.name >> v.nu >> v.z.x >> v.z.y >> v.re >> v.im >> v.scale;
    if (fields) table.push_back(v);
  }
  return table;
}

double2 c2(double re, double im) { return cx_make<double2>(re, im); }

// The function of the table's name on C (double2 or float2).
template <class C>
C evaluate(const std::string& name, C nu, C z) {
  if (name == "besselk") return cx_besselk(nu, z);
  if (name == "besseli") return cx_besseli(nu, z);
  if (name == "besselj") return cx_besselj(nu, z);
  if (name == "bessely") return cx_bessely(nu, z);
  if (name == "erf") return cx_erf(z);
  if (name == "erfc") return cx_erfc(z);
  if (name == "erfcx") return cx_erfcx(z);
  if (name == "gamma") return cx_gamma(z);
  if (name == "lgamma") return cx_lgamma(z);
  if (name == "expint") return cx_expint(z);
  ADD_FAILURE() << "unknown function " << name;
  return z;
}

// Relative error; a reference beyond the double range wants an infinite
// result (or one past 1e300), one below it a result below 1e-290.
double errorOf(const SpecialValue& v, double2 got) {
  const double want = std::hypot(v.re, v.im);
  const double size = std::hypot(got.x, got.y);
  if (want > 1e300) return size > 1e300 ? 0 : 1;
  if (want < 1e-300) return size < 1e-290 ? 0 : 1;
  const double e = std::hypot(got.x - v.re, got.y - v.im) / std::max(want, std::min(v.scale, 1e300));
  return std::isnan(e) ? 1 : e;
}

// The bound of each function's relative error over the table.
const std::map<std::string, double> kTolerance = {
    {"besselk", 1e-14}, {"besseli", 1e-14}, {"besselj", 1e-14}, {"bessely", 1e-14},
    {"erf", 1e-14},     {"erfc", 1e-14},    {"erfcx", 1e-14},   {"expint", 1e-14},
    {"gamma", 1e-14},   {"lgamma", 1e-14},
};

TEST(SpecialFunctions, AgreeWithMpmathOverThePlane) {
  const std::vector<SpecialValue> table = readSpecialValues();
  ASSERT_GE(table.size(), 3000u) << "tests/data/special_values.txt missing or short";
  std::map<std::string, double> worst;
  std::map<std::string, int> count;
  for (const SpecialValue& v : table) {
    const double2 got = evaluate(v.name, c2(v.nu, 0), v.z);
    const double e = errorOf(v, got);
    ++count[v.name];
    worst[v.name] = std::max(worst[v.name], e);
    ASSERT_TRUE(kTolerance.count(v.name)) << v.name;
    EXPECT_LE(e, kTolerance.at(v.name)) << v.name << "(" << v.nu << ", " << v.z.x << " + " << v.z.y
                                         << "i) = " << got.x << " + " << got.y << "i, want " << v.re
                                         << " + " << v.im << "i";
  }
  for (const auto& w : worst) {
    std::printf("  %-8s %5d points, worst relative error %.2e\n", w.first.c_str(), count[w.first], w.second);
  }
  EXPECT_EQ(worst.size(), kTolerance.size());
}

// The float2 forms are the double results rounded.
TEST(SpecialFunctions, FloatFormsRoundTheDoubleResults) {
  const std::vector<SpecialValue> table = readSpecialValues();
  for (std::size_t k = 0; k < table.size(); k += 7) {
    const SpecialValue& v = table[k];
    const float2 zf = cx_make<float2>(float(v.z.x), float(v.z.y));
    const double2 zd = c2(zf.x, zf.y);
    const float2 got = evaluate(v.name, cx_make<float2>(float(v.nu), 0), zf);
    const double2 wide = evaluate(v.name, c2(float(v.nu), 0), zd);
    EXPECT_TRUE((got.x == float(wide.x) || (std::isnan(got.x) && std::isnan(wide.x))) &&
                (got.y == float(wide.y) || (std::isnan(got.y) && std::isnan(wide.y))))
        << v.name << " at " << zf.x << " + " << zf.y << "i";
  }
}

// Where a value leaves the double range its scaled form stays accurate, and
// the value itself becomes zero or infinite, never NaN. K0(x sqrt s) with
// x = 100 at the far samples of an inversion contour is the case in point.
TEST(SpecialFunctions, ValuesOutOfRangeUnderflowOrOverflowCleanly) {
  for (const double2 s : {c2(1e4, 1e5), c2(-2e3, 1e6), c2(50, -3e4), c2(1e6, 0)}) {
    const double2 arg = cx_mul(c2(100, 0), cx_sqrt(s));
    const double2 k = cx_besselk(c2(0, 0), arg);
    EXPECT_EQ(k.x, 0.0) << s.x << " + " << s.y << "i";
    EXPECT_EQ(k.y, 0.0);
    // e^z K0(z) ~ sqrt(pi / 2z).
    const double2 ke = cx_besselke(c2(0, 0), arg);
    const double2 lead = cx_sqrt(cx_div(c2(M_PI / 2, 0), arg));
    EXPECT_LT(std::hypot(ke.x - lead.x, ke.y - lead.y), 1e-4 * std::hypot(lead.x, lead.y));
    const double2 ie = cx_besselie(c2(1, 0), arg);
    EXPECT_TRUE(std::isfinite(ie.x) && std::isfinite(ie.y) && std::hypot(ie.x, ie.y) > 0);
    const double2 i = cx_besseli(c2(1, 0), arg);
    EXPECT_FALSE(std::isnan(i.x) || std::isnan(i.y));
  }
  // A representable quotient of two small values: the finite well radius
  // K0(r sqrt s) / (s sqrt s K1(sqrt s)) with r = 20 at s = 900.
  const double2 s = c2(900, 0);
  const double2 q = cx_div(cx_besselk(c2(0, 0), cx_mul(c2(20, 0), cx_sqrt(s))),
                           cx_mul(cx_mul(s, cx_sqrt(s)), cx_besselk(c2(1, 0), cx_sqrt(s))));
  EXPECT_TRUE(std::isfinite(q.x) && q.x > 0 && q.x < 1e-200) << q.x;
  struct Case {
    const char* what;
    double2 got;
    double re, im;
  };
  const Case cases[] = {
      {"erfc(30)", cx_erfc(c2(30, 0)), 0, 0},
      {"erfc(-30)", cx_erfc(c2(-30, 0)), 2, 0},
      {"erfc(1e6 i) overflows", cx_erfc(c2(0, 1e6)), 1, -INFINITY},
      {"gamma(500)", cx_gamma(c2(500, 0)), INFINITY, 0},
      {"gamma(-500.5)", cx_gamma(c2(-500.5, 0)), 0, 0},
      {"expint(800)", cx_expint(c2(800, 0)), 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(std::isnan(c.got.x) || std::isnan(c.got.y)) << c.what;
    if (std::isinf(c.re)) {
      EXPECT_TRUE(std::isinf(c.got.x)) << c.what << ": " << c.got.x;
    } else if (std::isinf(c.im)) {
      EXPECT_TRUE(std::isinf(c.got.y)) << c.what << ": " << c.got.y;
    } else {
      EXPECT_NEAR(c.got.x, c.re, 1e-300) << c.what;
      EXPECT_NEAR(c.got.y, c.im, 1e-300) << c.what;
    }
  }
  // erfcx keeps what erfc loses: erfcx(30) = 1/(30 sqrt pi) (1 - 1/1800 + ...).
  const double2 x = cx_erfcx(c2(30, 0));
  EXPECT_NEAR(x.x, 0.018795888861416751, 1e-17);
}

// Far outside the sampled range, down to subnormal and up to the largest
// moduli, a finite argument gives a number or an infinity, never NaN.
TEST(SpecialFunctions, FiniteArgumentsNeverGiveNaN) {
  const std::vector<std::string> names = {"besselk", "besseli", "besselj", "bessely", "erf",
                                          "erfc",    "erfcx",   "gamma",   "lgamma",  "expint"};
  for (const double r : {1e-320, 1e-300, 1e-30, 1e20, 1e100, 1e300, 1.7e308}) {
    for (const double a : {0.0, 0.3, 0.5, 0.75, 1.0, -0.25, -0.5, -1.0}) {
      double2 z = c2(r * std::cos(a * M_PI), r * std::sin(a * M_PI));
      if (a == 0.5 || a == -0.5) z.x = 0;
      if (a == 1.0) z.y = 0;
      if (a == -1.0) z = c2(-r, -0.0);
      for (const std::string& name : names) {
        for (const double nu : {0.0, 2.5, -1.5}) {
          const double2 v = evaluate(name, c2(nu, 0), z);
          EXPECT_FALSE(std::isnan(v.x) || std::isnan(v.y)) << name << "(" << nu << ", " << z.x << " + " << z.y << "i)";
          if (name.compare(0, 6, "bessel") != 0) break;
        }
      }
    }
  }
}

// Outside the domain: NaN for a NaN or infinite argument or a complex order,
// and the limits at the poles.
TEST(SpecialFunctions, PolesAndInvalidArguments) {
  const double nan = NAN;
  struct Case {
    const char* what;
    double2 got;
    int want;  // 0 NaN, 1 infinite, 2 exactly re + 0i
    double re;
  };
  const Case cases[] = {
      {"besselk(0, NaN)", cx_besselk(c2(0, 0), c2(nan, 0)), 0, 0},
      {"besselj(1 + i, 2)", cx_besselj(c2(1, 1), c2(2, 0)), 0, 0},
      {"besseli(inf, 2)", cx_besseli(c2(INFINITY, 0), c2(2, 0)), 0, 0},
      {"erf(inf)", cx_erf(c2(INFINITY, 0)), 0, 0},
      {"lgamma(NaN i)", cx_lgamma(c2(0, nan)), 0, 0},
      {"expint(-inf)", cx_expint(c2(-INFINITY, 0)), 0, 0},
      {"besselk(0, 0)", cx_besselk(c2(0, 0), c2(0, 0)), 1, 0},
      {"bessely(2, 0)", cx_bessely(c2(2, 0), c2(0, 0)), 1, 0},
      {"gamma(-3)", cx_gamma(c2(-3, 0)), 1, 0},
      {"gamma(0)", cx_gamma(c2(0, 0)), 1, 0},
      {"lgamma(0)", cx_lgamma(c2(0, 0)), 1, 0},
      {"expint(0)", cx_expint(c2(0, 0)), 1, 0},
      {"besseli(0, 0)", cx_besseli(c2(0, 0), c2(0, 0)), 2, 1},
      {"besselj(2.5, 0)", cx_besselj(c2(2.5, 0), c2(0, 0)), 2, 0},
      {"lgamma(1)", cx_lgamma(c2(1, 0)), 2, 0},
      {"lgamma(2)", cx_lgamma(c2(2, 0)), 2, 0},
      {"gamma(1)", cx_gamma(c2(1, 0)), 2, 1},
      {"erf(0)", cx_erf(c2(0, 0)), 2, 0},
  };
  for (const Case& c : cases) {
    if (c.want == 0) {
      EXPECT_TRUE(std::isnan(c.got.x) || std::isnan(c.got.y)) << c.what << ": " << c.got.x;
    } else if (c.want == 1) {
      EXPECT_TRUE(std::isinf(c.got.x) || std::isinf(c.got.y)) << c.what << ": " << c.got.x << " + " << c.got.y << "i";
    } else {
      EXPECT_EQ(c.got.x, c.re) << c.what;
      EXPECT_EQ(c.got.y, 0.0) << c.what;
    }
  }
  // A negative order: J_-1 = -J_1, K_-nu = K_nu, and I_-1/2(z) = sqrt(2/(pi z)) cosh z.
  const double2 z = c2(1.5, -0.7);
  const double2 jm = cx_besselj(c2(-1, 0), z), jp = cx_besselj(c2(1, 0), z);
  EXPECT_NEAR(jm.x, -jp.x, 1e-15);
  EXPECT_NEAR(jm.y, -jp.y, 1e-15);
  const double2 km = cx_besselk(c2(-2.5, 0), z), kp = cx_besselk(c2(2.5, 0), z);
  EXPECT_EQ(km.x, kp.x);
  EXPECT_EQ(km.y, kp.y);
  const double2 ih = cx_besseli(c2(-0.5, 0), z);
  const double2 want = cx_mul(cx_sqrt(cx_div(c2(2 / M_PI, 0), z)), cx_cosh(z));
  EXPECT_NEAR(ih.x, want.x, 1e-15);
  EXPECT_NEAR(ih.y, want.y, 1e-15);
}

// The names of --transform statements are the cx_ functions on wcomplex.
TEST(SpecialFunctions, TransformNamesCallTheSameFunctions) {
  const wcomplex z = cx(wreal(0.8), wreal(-2.5));
  const wcomplex pairs[][2] = {
      {orvane::K0(z), cx_besselk(cx(0, 0), z)},     {orvane::K1(z), cx_besselk(cx(1, 0), z)},
      {orvane::I0(z), cx_besseli(cx(0, 0), z)},     {orvane::I1(z), cx_besseli(cx(1, 0), z)},
      {orvane::J0(z), cx_besselj(cx(0, 0), z)},     {orvane::J1(z), cx_besselj(cx(1, 0), z)},
      {orvane::bessely(2.5, z), cx_bessely(cx(2.5, 0), z)},
      {orvane::erf(z), cx_erf(z)},                  {orvane::erfc(z), cx_erfc(z)},
      {orvane::erfcx(z), cx_erfcx(z)},              {orvane::gamma(z), cx_gamma(z)},
      {orvane::lgamma(z), cx_lgamma(z)},            {orvane::expint(z), cx_expint(z)},
  };
  for (const auto& p : pairs) {
    EXPECT_EQ(p[0].x, p[1].x);
    EXPECT_EQ(p[0].y, p[1].y);
  }
}

}  // namespace
