// Special functions of complex argument for transforms given at run time:
// Bessel functions of real order, the error functions, the gamma function
// and the exponential integral. Like complex_math.h (which includes this
// header at its end) it is compiled by the host C++ compiler, by nvcc and by
// NVRTC, and uses only CUDA's math functions and the project's own headers.
//
// Two spellings:
//
//   cx_besselk(nu, z), cx_besseli, cx_besselj, cx_bessely   order nu, argument z
//   cx_erf(z), cx_erfc(z), cx_erfcx(z)                       erfcx z = e^(z^2) erfc z
//   cx_gamma(z), cx_lgamma(z), cx_expint(z)                  expint = E1
//   cx_besselke(nu, z) = e^z K_nu(z), cx_besselie(nu, z) = e^(-|Re z|) I_nu(z)
//
// on C = double2 or float2 (the formula grammar's functions; every value of a
// formula is complex, so the order is the real part of nu and an order with a
// non-zero imaginary part gives NaN, as does one beyond 1e4 in size), and for --transform statements, in
// namespace orvane on the working type wcomplex with a real order:
//
//   orvane::besselk(nu, z)  orvane::besseli  orvane::besselj  orvane::bessely
//   orvane::besselke(nu, z)  orvane::besselie   (the scaled forms above)
//   orvane::K0(z) orvane::K1(z) orvane::I0(z) orvane::I1(z) orvane::J0(z) orvane::J1(z)
//   orvane::erf(z)  orvane::erfc(z)  orvane::erfcx(z)
//   orvane::gamma(z)  orvane::lgamma(z)  orvane::expint(z)
//
// Branches are the principal ones: the Bessel functions of non-integer order,
// Y and K of every order, lgamma and expint are cut along the negative real axis,
// and a point on the cut takes the value of the upper side (as with a +0
// imaginary part, whatever the sign of the zero); lgamma is the analytic
// continuation of the real log-gamma function (not log(gamma z)), expint(-x)
// = -Ei(x) - i pi. A value beyond the range of the type is infinite, one below
// it zero (with its phase where it has one), never NaN; products such as
// K0(r sqrt s) / K1(sqrt s) stay the caller's to scale.
//
// Accuracy, against mpmath at 30 digits from |z| = 1e-8 to 1e6 at every
// argument (tests/special_functions_test.cpp prints the worst error of each
// function): relative errors of a few 1e-15, measured near a zero of a
// function against the size of its companion (Y for J, K for I, ...); orders
// up to 60 stay near 1e-14.
//
// The float2 forms compute in double and round.
#pragma once

#include "jit/complex_math.h"

namespace cx_detail {

// The functions below work in double on double2 (the float2 forms widen and
// round); the larger ones are kept out of line, so that a transform that
// calls one several times compiles it once.
#if defined(__CUDACC__)
#define ORVANE_SF_OUTLINE __noinline__
#else
#define ORVANE_SF_OUTLINE __attribute__((noinline))
#endif

typedef double2 SfZ;

ORVANE_HD inline SfZ sfZ(double re, double im) { return cx_make<double2>(re, im); }
ORVANE_HD inline SfZ sfScale(SfZ z, double r) { return sfZ(z.x * r, z.y * r); }
ORVANE_HD inline SfZ sfTimesI(SfZ z) { return sfZ(-z.y, z.x); }
ORVANE_HD inline double sfAbs(SfZ z) { return hypot_(z.x, z.y); }
ORVANE_HD inline SfZ sfNaN() { return sfZ(quietNaN<double>(), quietNaN<double>()); }
ORVANE_HD inline SfZ sfInf() { return sfZ(infinity<double>(), 0.0); }
ORVANE_HD inline bool sfFinite(SfZ z) { return isFinite(z.x) && isFinite(z.y); }
// A zero imaginary part made +0: a point on a cut takes the upper side's value.
ORVANE_HD inline SfZ sfUpper(SfZ z) { return sfZ(z.x, z.y == 0.0 ? 0.0 : z.y); }

ORVANE_HD inline double sfPi() { return 3.141592653589793; }
ORVANE_HD inline double sfEuler() { return 0.57721566490153286; }

// sin(pi x) and cos(pi x), the argument reduced exactly: x = f + n/2 with
// |f| <= 1/4, so that integers and half-integers give exact zeros and ones.
ORVANE_HD inline void sfSinCosPi(double x, double& s, double& c) {
  if (!(fabs_(x) < 4503599627370496.0)) {  // 2^52: x is an integer (or not finite)
    const double half = x * 0.5;
    s = isFinite(x) ? 0.0 : quietNaN<double>();
    c = isFinite(x) ? (half == floor_(half) ? 1.0 : -1.0) : s;
    return;
  }
  const double n = floor_(2.0 * x + 0.5);
  const double f = x - 0.5 * n;
  const double sf = sin_(sfPi() * f), cf = cos_(sfPi() * f);
  const int q = int(n - 4.0 * floor_(0.25 * n));
  s = q == 0 ? sf : q == 1 ? cf : q == 2 ? -sf : -cf;
  c = q == 0 ? cf : q == 1 ? -sf : q == 2 ? -cf : sf;
}

// m e^(a + i b), a = aHi + aLo and b = bHi + bLo given in two parts: the phase
// is turned first, and e^a is applied as e^r 2^k with |r| <= ln2/2 where it
// is out of the range of exp, so that the result overflows or underflows only
// when it must (a zero m gives zero).
ORVANE_HD inline SfZ sfExpTimes(SfZ m, double aHi, double aLo, double bHi, double bLo) {
  if (m.x == 0.0 && m.y == 0.0) return m;
  SfZ r = m;
  if (bHi != 0.0 || bLo != 0.0) {
    const double c = cos_(bHi), s = sin_(bHi);
    const double cl = cos_(bLo), sl = sin_(bLo);
    const double cr = c * cl - s * sl, sr = s * cl + c * sl;
    r = sfZ(m.x * cr - m.y * sr, m.x * sr + m.y * cr);
  }
  if (aHi != aHi) return sfNaN();
  const double low = 1.0 + aLo;
  if (fabs_(aHi) <= 700.0) return sfScale(r, exp_(aHi) * low);
  double a = aHi;
  if (a > 4.0e6) a = 4.0e6;
  if (a < -4.0e6) a = -4.0e6;
  // Cody and Waite: ln 2 in a part whose products with k up to 2^22 are exact.
  const double k = floor_(a * 1.4426950408889634 + 0.5);
  const double rr = (a - k * 0.693147180369123816490) - k * 1.90821492927058770002e-10;
  const double f = exp_(rr) * low;
  const int ki = int(k);
  return sfZ(scalbn_(r.x * f, ki), scalbn_(r.y * f, ki));
}

// m e^(sign z^2), z^2 formed with its rounding errors (z^2 is near the
// exponent range in the cases that matter, where one ulp of it is many
// ulps of the result).
ORVANE_HD inline SfZ sfExpSquareTimes(SfZ z, double sign, SfZ m) {
  if (fabs_(z.x) > 1e150 || fabs_(z.y) > 1e150) {
    // z^2 overflows: e^(sign z^2) is 0 or infinite (or of size 1 on the
    // diagonals), its phase 2xy exact on the axes and lost elsewhere.
    const double d = sign * (fabs_(z.x) - fabs_(z.y));
    const double ph = sign * 2.0 * z.x * z.y;
    const double a = d > 0.0 ? infinity<double>() : d < 0.0 ? -infinity<double>() : 0.0;
    return sfExpTimes(m, a, 0.0, isFinite(ph) ? ph : 0.0, 0.0);
  }
  const double p = z.x * z.x, ep = fma_(z.x, z.x, -p);
  const double q = z.y * z.y, eq = fma_(z.y, z.y, -q);
  double err;
  const double re = twoSum(p, -q, err);
  const double reLo = err + (ep - eq);
  const double tx = 2.0 * z.x;
  const double im = tx * z.y, imLo = fma_(tx, z.y, -im);
  return sfExpTimes(m, sign * re, sign * reLo, sign * im, sign * imLo);
}

// A value m e^e with a real exponent e, for values beyond the double range.
struct SfScaled {
  SfZ m;
  double e;
};
ORVANE_HD inline SfScaled sfScaled(SfZ m, double e) {
  SfScaled v;
  v.m = m;
  v.e = e;
  return v;
}
ORVANE_HD inline SfZ sfValue(SfScaled v) { return sfExpTimes(v.m, v.e, 0.0, 0.0, 0.0); }
// a A + b B.
ORVANE_HD inline SfScaled sfCombine(SfZ a, SfScaled A, SfZ b, SfScaled B) {
  const double e = A.e > B.e ? A.e : B.e;
  const SfZ ta = cx_mul(a, sfScale(A.m, exp_(A.e - e)));
  const SfZ tb = cx_mul(b, sfScale(B.m, exp_(B.e - e)));
  return sfScaled(cx_add(ta, tb), e);
}

// 1/Gamma(1 + x) = sum d_k x^k, for |x| <= 1/2, as its even and odd parts:
// g2 = sum over even k, g1 = -(sum over odd k)/x (Temme's Gamma_2 and Gamma_1).
ORVANE_HD inline void sfRecipGammaParts(double x, double& g1, double& g2) {
  const double t = x * x;
  g2 = 1.0 + t * (-0.65587807152025388 + t * (0.16653861138229149 + t * (-0.0096219715278769736 +
       t * (-0.0011651675918590651 + t * (0.00012805028238811619 + t * (-1.2504934821426707e-6 +
       t * (-2.0563384169776071e-7 + t * (5.0020076444692229e-9 + t * (1.0434267116911005e-10 +
       t * (-3.6968056186422057e-12 + t * (-2.0583260535665068e-14 + t * (1.2267786282382608e-15 +
       t * 1.1866922547516003e-18))))))))))));
  g1 = -(0.57721566490153286 + t * (-0.042002635034095236 + t * (-0.042197734555544337 +
       t * (0.0072189432466630995 + t * (-0.00021524167411495097 + t * (-2.0134854780788239e-5 +
       t * (1.1330272319816959e-6 + t * (6.1160951044814158e-9 + t * (-1.1812745704870201e-9 +
       t * (7.7822634399050713e-12 + t * (5.100370287454476e-13 + t * (-5.348122539423018e-15 +
       t * (-1.1812593016974588e-16 + t * 1.4123806553180318e-18)))))))))))));
}

// ---- Bessel functions I and K ------------------------------------------------------

// K_mu(z) and z K_(mu+1)(z) for |mu| <= 1/2 and |z| <= 2 by Temme's series
// (J. Comput. Phys. 19, 1975), in complex arithmetic.
ORVANE_HD inline void sfTemmeK(double mu, SfZ z, SfZ& k0, SfZ& k1) {
  double g1, g2;
  sfRecipGammaParts(mu, g1, g2);
  const double gampl = g2 - mu * g1;  // 1/Gamma(1 + mu)
  const double gammi = g2 + mu * g1;  // 1/Gamma(1 - mu)
  const SfZ x2 = sfScale(z, 0.5);
  const double pimu = sfPi() * mu;
  const double fact = fabs_(pimu) < 1e-300 ? 1.0 : pimu / sin_(pimu);
  const SfZ d = cx_neg(cx_log(x2));
  const SfZ e = sfScale(d, mu);
  const SfZ fact2 = sfAbs(e) < 1e-300 ? sfZ(1.0, 0.0) : cx_div(cx_sinh(e), e);
  SfZ ff = sfScale(cx_add(sfScale(cx_cosh(e), g1), cx_mul(sfScale(fact2, g2), d)), fact);
  SfZ sum = ff;
  const SfZ ee = cx_exp(e);
  SfZ p = sfScale(ee, 0.5 / gampl);
  SfZ q = sfScale(cx_div(sfZ(1.0, 0.0), ee), 0.5 / gammi);
  SfZ c = sfZ(1.0, 0.0);
  const SfZ dd = cx_mul(x2, x2);
  SfZ sum1 = p;
  for (int i = 1; i < 200; ++i) {
    const double di = double(i);
    ff = sfScale(cx_add(cx_add(sfScale(ff, di), p), q), 1.0 / (di * di - mu * mu));
    c = sfScale(cx_mul(c, dd), 1.0 / di);
    p = sfScale(p, 1.0 / (di - mu));
    q = sfScale(q, 1.0 / (di + mu));
    const SfZ del = cx_mul(c, ff);
    sum = cx_add(sum, del);
    const SfZ del1 = cx_mul(c, cx_sub(p, sfScale(ff, di)));
    sum1 = cx_add(sum1, del1);
    if (sfAbs(del) <= 1e-17 * sfAbs(sum) && sfAbs(del1) <= 1e-17 * sfAbs(sum1)) break;
  }
  k0 = sum;
  k1 = sfScale(sum1, 2.0);  // z K_(mu+1)(z): the caller divides, scaled where that overflows
}

// e^z K_mu(z) and e^z K_(mu+1)(z) for |mu| <= 1/2 and |z| > 2 by Steed's
// method on Temme's continued fraction CF2 with the Thompson-Barnett sum
// (J. Comput. Phys. 64, 1986). Returns false where it did not converge.
ORVANE_HD inline bool sfSteedK(double mu, SfZ z, SfZ& k0, SfZ& k1) {
  SfZ b = sfScale(cx_add(z, sfZ(1.0, 0.0)), 2.0);
  SfZ d = cx_div(sfZ(1.0, 0.0), b);
  SfZ h = d, delh = d;
  SfZ q1 = sfZ(0.0, 0.0), q2 = sfZ(1.0, 0.0);
  const double a1 = 0.25 - mu * mu;
  SfZ q = sfZ(a1, 0.0);
  double c = a1, a = -a1;
  SfZ s = cx_add(sfZ(1.0, 0.0), sfScale(delh, a1));
  bool done = false;
  for (int i = 2; i < 100000; ++i) {
    a -= 2.0 * (i - 1);
    c = -a * c / i;
    const SfZ qnew = sfScale(cx_sub(q1, cx_mul(b, q2)), 1.0 / a);
    q1 = q2;
    q2 = qnew;
    q = cx_add(q, sfScale(qnew, c));
    b = cx_add(b, sfZ(2.0, 0.0));
    d = cx_div(sfZ(1.0, 0.0), cx_add(b, sfScale(d, a)));
    delh = cx_mul(cx_sub(cx_mul(b, d), sfZ(1.0, 0.0)), delh);
    h = cx_add(h, delh);
    const SfZ dels = cx_mul(q, delh);
    s = cx_add(s, dels);
    if (sfAbs(dels) <= 1e-17 * sfAbs(s)) {
      done = true;
      break;
    }
  }
  h = sfScale(h, a1);
  k0 = cx_div(cx_sqrt(cx_div(sfZ(0.5 * sfPi(), 0.0), z)), s);
  k1 = cx_div(cx_mul(k0, cx_sub(cx_add(z, sfZ(mu + 0.5, 0.0)), h)), z);
  return done;
}

// I_(nu+1)(z) / I_nu(z) by its continued fraction (CF1), modified Lentz.
ORVANE_HD inline SfZ sfRatioI(double nu, SfZ z) {
  const double tiny = 1e-300;
  const SfZ zi = cx_div(sfZ(2.0, 0.0), z);
  SfZ f = sfScale(zi, nu + 1.0);
  if (f.x == 0.0 && f.y == 0.0) f = sfZ(tiny, 0.0);
  SfZ cc = f, dd = sfZ(0.0, 0.0);
  for (int j = 2; j < 2000000; ++j) {
    const SfZ bj = sfScale(zi, nu + j);
    dd = cx_add(bj, dd);
    if (dd.x == 0.0 && dd.y == 0.0) dd = sfZ(tiny, 0.0);
    dd = cx_div(sfZ(1.0, 0.0), dd);
    cc = cx_add(bj, cx_div(sfZ(1.0, 0.0), cc));
    if (cc.x == 0.0 && cc.y == 0.0) cc = sfZ(tiny, 0.0);
    const SfZ del = cx_mul(cc, dd);
    f = cx_mul(f, del);
    if (sfAbs(cx_sub(del, sfZ(1.0, 0.0))) <= 1e-17) break;
  }
  return cx_div(sfZ(1.0, 0.0), f);
}

// The Hankel expansions of K and I for large |z| (DLMF 10.40.2, 10.40.5):
// sPlus = sum a_k(nu) / z^k, sMinus = sum (-1)^k a_k(nu) / z^k, and the
// largest term (the sums' rounding errors are ulps of it). False where the
// terms do not fall below the rounding error soon enough.
ORVANE_HD inline bool sfHankelSums(double nu, SfZ z, SfZ& sPlus, SfZ& sMinus, double& largest) {
  const double mu4 = 4.0 * nu * nu;
  const SfZ zi = cx_div(sfZ(1.0, 0.0), z);
  SfZ t = sfZ(1.0, 0.0);
  sPlus = t;
  sMinus = t;
  largest = 1.0;
  for (int k = 1; k < 120; ++k) {
    const double odd = 2.0 * k - 1.0;
    t = cx_mul(t, sfScale(zi, (mu4 - odd * odd) / (8.0 * k)));
    sPlus = cx_add(sPlus, t);
    sMinus = (k & 1) ? cx_sub(sMinus, t) : cx_add(sMinus, t);
    const double at = sfAbs(t);
    largest = at > largest ? at : largest;
    if (largest > 1e8) return false;
    if (at == 0.0 || (at <= 2e-17 * sfAbs(sPlus) && at <= 2e-17 * sfAbs(sMinus))) return true;
  }
  return false;
}

// I_nu(z) and K_nu(z) for nu >= 0, Re z >= 0, z != 0, as scaled values.
// Power series and Temme's series for |z| <= 2; for larger |z| the Hankel
// expansions where they converge, else Steed's CF2 for K with forward
// recurrence, and I from CF1 and the Wronskian I_nu K_(nu+1) + I_(nu+1) K_nu = 1/z.
// Without wantI, vi is left undefined where that saves work.
ORVANE_HD ORVANE_SF_OUTLINE inline void sfBesselIKRight(double nu, SfZ z, SfScaled& vi, SfScaled& vk,
                                                        bool wantI = true) {
  const double r = sfAbs(z);
  const double n = floor_(nu + 0.5);
  const double mu = nu - n;
  const int steps = int(n);
  double cy, sy;
  cy = cos_(z.y);
  sy = sin_(z.y);
  SfZ sp, sm;
  double largest;
  if (r > 25.0 && sfHankelSums(nu, z, sp, sm, largest)) {
    // Terms that grow past the first (an order large against sqrt|z|) cancel
    // in the sums: taken where that costs no more than a few ulps of the value.
    const SfZ ks = cx_mul(sfScale(cx_div(sfZ(1.0, 0.0), cx_sqrt(z)), 1.2533141373155003), sp);  // sqrt(pi/2)
    vk = sfScaled(cx_mul(ks, sfZ(cy, -sy)), -z.x);
    // e^(iy) sMinus +- i e^(+-i nu pi) e^(-2x) e^(-iy) sPlus, over sqrt(2 pi z).
    double snp, cnp;
    sfSinCosPi(nu, snp, cnp);
    const double sg = z.y >= 0.0 ? 1.0 : -1.0;
    const SfZ rot = sfZ(-sg * sg * snp, sg * cnp);  // +-i e^(+-i nu pi)
    const double e2 = exp_(-2.0 * z.x);
    const SfZ second = sfScale(cx_mul(cx_mul(rot, sfZ(cy, -sy)), sp), e2);
    const SfZ num = cx_add(cx_mul(sfZ(cy, sy), sm), second);
    vi = sfScaled(sfScale(cx_div(num, cx_sqrt(z)), 0.39894228040143268), z.x);  // 1/sqrt(2 pi)
    const bool kGood = largest <= 16.0 * sfAbs(sp);
    const bool iGood = largest * (1.0 + e2) <= 16.0 * (sfAbs(sm) + e2 * sfAbs(sp));
    if (kGood && (iGood || !wantI)) return;
  }
  SfZ k0, k1;
  double kexp = 0.0;
  int downs = 0;  // times k0 and k1 were scaled by 2^-830
  const double down = scalbn_(1.0, -830);
  if (r <= 2.0) {
    sfTemmeK(mu, z, k0, k1);
    const SfZ k1z = k1;
    k1 = cx_div(k1z, z);
    if (!sfFinite(k1)) {
      // K_(mu+1) beyond the range already (|z| near the smallest doubles).
      k0 = sfScale(k0, down);
      k1 = cx_div(sfScale(k1z, down), z);
      downs = 1;
    }
  } else if (!sfSteedK(mu, z, k0, k1)) {
    vi = sfScaled(sfNaN(), 0.0);
    vk = vi;
    return;
  }
  // Forward recurrence K_(m+1) = K_(m-1) + (2m/z) K_m, stable for K, the
  // values scaled down by 2^-830 (and kexp raised) as they grow past 1e250.
  const SfZ zi = cx_div(sfZ(2.0, 0.0), z);
  const double step = sfAbs(zi);
  if (steps > 0 && !isFinite(step)) {
    // 2/z overflows: K_nu ~ Gamma(nu)/2 (2/z)^nu is infinite, of phase -nu arg z.
    const double th = nu * atan2_(z.y, z.x);
    k0 = sfZ(cos_(th), -sin_(th));
    k1 = k0;
    kexp = 1e6;
  }
  for (int k = 1; k <= steps && kexp < 1e6; ++k) {
    if (sfAbs(k1) * step * (mu + k) > 1e250) {
      k0 = sfScale(k0, down);
      k1 = sfScale(k1, down);
      ++downs;
    }
    const SfZ next = cx_add(k0, cx_mul(sfScale(zi, mu + k), k1));
    k0 = k1;
    k1 = next;
  }
  if (downs > 0) {
    // Back by powers of two, exactly, where the values are in range; else
    // the scaling stays in the exponent.
    const int e = 830 * downs;
    const SfZ b0 = sfZ(scalbn_(k0.x, e), scalbn_(k0.y, e)), b1 = sfZ(scalbn_(k1.x, e), scalbn_(k1.y, e));
    if (sfFinite(b0) && sfFinite(b1)) {
      k0 = b0;
      k1 = b1;
    } else {
      kexp += e * 0.69314718055994531;
    }
  }
  vi = sfScaled(sfNaN(), 0.0);
  if (r <= 2.0) {
    vk = sfScaled(k0, kexp);
    if (!wantI) return;
    // I_nu(z) = (z/2)^nu / Gamma(nu + 1) sum (z^2/4)^k / (k! (nu+1)_k).
    double g1, g2;
    sfRecipGammaParts(mu, g1, g2);
    double gam = 1.0 / (g2 - mu * g1);
    for (int k = 1; k <= steps; ++k) gam *= mu + k;
    const SfZ x2 = sfScale(z, 0.5);
    const SfZ lead = nu == 0.0 ? sfZ(1.0, 0.0) : sfScale(cx_pow(x2, sfZ(nu, 0.0)), 1.0 / gam);
    const SfZ q = cx_mul(x2, x2);
    SfZ t = sfZ(1.0, 0.0), sum = t;
    for (int k = 1; k < 200; ++k) {
      t = sfScale(cx_mul(t, q), 1.0 / (k * (nu + k)));
      sum = cx_add(sum, t);
      if (sfAbs(t) <= 1e-17 * sfAbs(sum)) break;
    }
    vi = sfScaled(cx_mul(lead, sum), 0.0);
    return;
  }
  vk = sfScaled(cx_mul(k0, sfZ(cy, -sy)), kexp - z.x);
  if (!wantI) return;
  const SfZ f = sfRatioI(nu, z);
  const SfZ is = cx_div(sfZ(1.0, 0.0), cx_mul(z, cx_add(k1, cx_mul(f, k0))));
  vi = sfScaled(cx_mul(is, sfZ(cy, sy)), z.x - kexp);
}

// I_nu and K_nu for nu >= 0 and z != 0 anywhere on the principal sheet: the
// left half plane from w = -z = z e^(-+i pi), the sign m that of Im z (the
// upper side for a zero): I_nu(z) = e^(i m nu pi) I_nu(w),
// K_nu(z) = e^(-i m nu pi) K_nu(w) - i m pi I_nu(w) (DLMF 10.34.1, 10.34.2).
ORVANE_HD inline void sfBesselIK(double nu, SfZ z, SfScaled& vi, SfScaled& vk, bool wantI = true) {
  if (z.x >= 0.0) {
    sfBesselIKRight(nu, z, vi, vk, wantI);
    return;
  }
  SfScaled wi, wk;
  sfBesselIKRight(nu, cx_neg(z), wi, wk);
  const double m = z.y >= 0.0 ? 1.0 : -1.0;
  double s, c;
  sfSinCosPi(nu, s, c);
  vi = sfScaled(cx_mul(sfZ(c, m * s), wi.m), wi.e);
  // K(z) = e^(-i m nu pi) K(w) - i m pi I(w).
  vk = sfCombine(sfZ(c, -m * s), wk, sfZ(0.0, -m * sfPi()), wi);
}

// Which of I, K, J, Y.
enum SfBesselKind { kSfI, kSfK, kSfJ, kSfY };

// J_nu(w) = e^(+-i nu pi/2) I_nu(-+i w) and Y from the Hankel functions
// H1_nu(w) = 2/(pi i) e^(-i nu pi/2) K_nu(-i w), H2_nu(w) = (2i/pi) e^(i nu pi/2) K_nu(i w)
// (DLMF 10.27.6, 10.27.8), for nu >= 0.
ORVANE_HD inline SfScaled sfBesselNonNegative(SfBesselKind kind, double nu, SfZ w) {
  if (kind == kSfI || kind == kSfK) {
    SfScaled vi, vk;
    sfBesselIK(nu, w, vi, vk, kind == kSfI);
    return kind == kSfI ? vi : vk;
  }
  const bool upper = w.y >= 0.0;
  const SfZ z = upper ? sfZ(w.y, -w.x) : sfZ(-w.y, w.x);  // -i w or i w
  SfScaled vi, vk;
  sfBesselIKRight(nu, z, vi, vk);
  double s, c;
  sfSinCosPi(0.5 * nu, s, c);
  const SfZ rot = sfZ(c, upper ? s : -s);  // e^(+-i nu pi/2)
  const SfScaled j = sfScaled(cx_mul(rot, vi.m), vi.e);
  if (kind == kSfJ) return j;
  const double tp = 2.0 / sfPi();
  if (upper) {
    // Y = -i (H1 - J), H1 = -(2i/pi) e^(-i nu pi/2) K.
    const SfZ h1 = cx_mul(sfZ(-tp * s, -tp * c), vk.m);
    return sfCombine(sfZ(0.0, -1.0), sfScaled(h1, vk.e), sfZ(0.0, 1.0), j);
  }
  // Y = i (H2 - J), H2 = (2i/pi) e^(i nu pi/2) K.
  const SfZ h2 = cx_mul(sfZ(-tp * s, tp * c), vk.m);
  return sfCombine(sfZ(0.0, 1.0), sfScaled(h2, vk.e), sfZ(0.0, -1.0), j);
}

// Any real order: K_(-nu) = K_nu, I_(-nu) = I_nu + (2/pi) sin(nu pi) K_nu,
// J_(-nu) = cos(nu pi) J_nu - sin(nu pi) Y_nu, Y_(-nu) = sin(nu pi) J_nu + cos(nu pi) Y_nu.
// scaling: 0 the value, 1 e^z times it (K), 2 e^(-|Re z|) times it (I).
ORVANE_HD ORVANE_SF_OUTLINE inline SfZ sfBessel(SfBesselKind kind, SfZ nuc, SfZ zc, int scaling) {
  if (nuc.y != 0.0 || !(fabs_(nuc.x) <= 1e4) || !sfFinite(zc)) return sfNaN();
  const SfZ z = sfUpper(zc);
  const double nu = nuc.x;
  const double anu = fabs_(nu);
  if (z.x == 0.0 && z.y == 0.0) {
    if (kind == kSfK) return sfInf();
    if (kind == kSfY) return sfZ(-infinity<double>(), 0.0);
    if (nu == 0.0) return sfZ(1.0, 0.0);
    return nu > 0.0 || nu == floor_(nu) ? sfZ(0.0, 0.0) : sfInf();
  }
  SfScaled v;
  if (nu >= 0.0 || kind == kSfK) {
    v = sfBesselNonNegative(kind, anu, z);
  } else {
    double s, c;
    sfSinCosPi(anu, s, c);
    if (kind == kSfI) {
      SfScaled vi, vk;
      sfBesselIK(anu, z, vi, vk);
      v = sfCombine(sfZ(1.0, 0.0), vi, sfZ(2.0 / sfPi() * s, 0.0), vk);
    } else {
      const SfScaled j = sfBesselNonNegative(kSfJ, anu, z);
      const SfScaled y = sfBesselNonNegative(kSfY, anu, z);
      v = kind == kSfJ ? sfCombine(sfZ(c, 0.0), j, sfZ(-s, 0.0), y) : sfCombine(sfZ(s, 0.0), j, sfZ(c, 0.0), y);
    }
  }
  if (scaling == 1) {
    // e^z K: the phase of e^(iy) and the exponent x.
    return sfExpTimes(v.m, v.e + z.x, 0.0, z.y, 0.0);
  }
  if (scaling == 2) return sfExpTimes(v.m, v.e - fabs_(z.x), 0.0, 0.0, 0.0);
  return sfValue(v);
}

// ---- The error functions --------------------------------------------------------------

// The Faddeeva function w(z) = e^(-z^2) erfc(-iz) for Im z >= 0 by the
// trapezoidal rule on w(z) = (i/pi) int e^(-t^2)/(z - t) dt with step h = 1/2
// and the correction for the pole at t = z (Chiarella and Reichel, Math. Comp.
// 22, 1968; Matta and Reichel, 1971): nodes at (n + delta) h with the offset
// delta (0 or 1/2) that keeps z a quarter step or more from them. The error
// is of the order e^(-pi^2/h^2) ~ 1e-17 relative over the half plane.
ORVANE_HD ORVANE_SF_OUTLINE inline SfZ sfFaddeevaUpper(SfZ z) {
  if (sfAbs(z) >= 1e8) {
    // w(z) = i/(sqrt(pi) z) (1 + 1/(2 z^2) + ...), the rest below 1e-32.
    const SfZ q = cx_div(sfZ(1.0, 0.0), z);
    const SfZ w = cx_mul(q, cx_add(sfZ(1.0, 0.0), sfScale(cx_mul(q, q), 0.5)));
    return sfScale(sfTimesI(w), 0.56418958354775628);
  }
  const double h = 0.5;
  const double u = z.x / h;
  const double fr = u - floor_(u);
  const bool half = !(fr >= 0.25 && fr < 0.75);
  const double delta = half ? 0.5 : 0.0;
  SfZ sum = half ? sfZ(0.0, 0.0) : cx_div(sfZ(1.0, 0.0), z);
  const SfZ z2 = sfScale(z, 2.0);
  for (int n = half ? 0 : 1; n <= 13; ++n) {
    const double t = (n + delta) * h;
    const SfZ den = cx_mul(sfZ(z.x - t, z.y), sfZ(z.x + t, z.y));
    sum = cx_add(sum, sfScale(cx_div(z2, den), exp_(-t * t)));
  }
  SfZ w = sfScale(sfTimesI(sum), h / sfPi());
  if (z.y < sfPi() / h && z.x * z.x - z.y * z.y < 800.0) {
    // 2 e^(-z^2) / (1 - e^(-2 pi i (z - delta h)/h)), where it is not below
    // the double range.
    double s, c;
    sfSinCosPi(2.0 * (u - delta), s, c);
    const double g = exp_(2.0 * sfPi() * z.y / h);
    const SfZ den = sfZ(1.0 - g * c, g * s);
    const SfZ corr = sfExpSquareTimes(z, -1.0, cx_div(sfZ(2.0, 0.0), den));
    w = cx_add(w, corr);
  }
  return w;
}

// erfcx z = e^(z^2) erfc z = w(iz); in the left half plane 2 e^(z^2) - erfcx(-z).
ORVANE_HD inline SfZ sfErfcx(SfZ z) {
  if (z.x >= 0.0) return sfFaddeevaUpper(sfTimesI(z));
  const SfZ w = sfFaddeevaUpper(sfZ(z.y, -z.x));
  return cx_sub(sfExpSquareTimes(z, 1.0, sfZ(2.0, 0.0)), w);
}

// erfc z = e^(-z^2) w(iz) for Re z >= 0, 2 - erfc(-z) elsewhere.
ORVANE_HD inline SfZ sfErfc(SfZ z) {
  if (z.x >= 0.0) return sfExpSquareTimes(z, -1.0, sfFaddeevaUpper(sfTimesI(z)));
  const SfZ m = cx_neg(z);
  return cx_sub(sfZ(2.0, 0.0), sfExpSquareTimes(m, -1.0, sfFaddeevaUpper(sfTimesI(m))));
}

// erf z: its Maclaurin series for |z| < 1/2, else 1 - erfc z (odd).
ORVANE_HD ORVANE_SF_OUTLINE inline SfZ sfErf(SfZ z) {
  if (sfAbs(z) < 0.5) {
    const SfZ q = cx_mul(z, z);
    SfZ t = z, sum = z;
    for (int n = 1; n < 40; ++n) {
      t = sfScale(cx_mul(t, q), -1.0 / n);
      const SfZ term = sfScale(t, 1.0 / (2 * n + 1));
      sum = cx_add(sum, term);
      if (sfAbs(term) <= 1e-17 * sfAbs(sum)) break;
    }
    return sfScale(sum, 1.1283791670955126);
  }
  if (z.x >= 0.0) return cx_sub(sfZ(1.0, 0.0), sfErfc(z));
  return cx_sub(sfErfc(cx_neg(z)), sfZ(1.0, 0.0));
}

// ---- Gamma and log-gamma -----------------------------------------------------------------
//
// Gamma(z) = e^(log Gamma(z)) with log Gamma up to 700 in size: one ulp of it
// is 1e-13 of the result, so Stirling's leading terms are formed in two
// doubles (the 1e-14 goal needs the exponent to some 1e-17).

// A running sum hi + lo.
struct SfDD {
  double hi, lo;
};
ORVANE_HD inline SfDD sfDD(double hi, double lo) {
  SfDD v;
  v.hi = hi;
  v.lo = lo;
  return v;
}
ORVANE_HD inline void sfAdd(SfDD& acc, double v) {
  double err;
  acc.hi = twoSum(acc.hi, v, err);
  acc.lo += err;
}
// acc += a (b.hi + b.lo), the product's rounding error kept.
ORVANE_HD inline void sfAddProduct(SfDD& acc, double a, SfDD b) {
  const double p = a * b.hi;
  sfAdd(acc, p);
  acc.lo += fma_(a, b.hi, -p) + a * b.lo;
}
// hi + lo with |lo| at most half an ulp of hi.
ORVANE_HD inline SfDD sfNormal(SfDD v) {
  double err;
  const double hi = twoSum(v.hi, v.lo, err);
  return sfDD(hi, err);
}
// a / b for doubles, in two parts.
ORVANE_HD inline SfDD sfQuotient(double a, double b) {
  const double q = a / b;
  return sfDD(q, fma_(-q, b, a) / b);
}

// log(h + l), h > 0 normal, |l| <= ulp(h): h = m 2^k with m in [sqrt 1/2, sqrt 2],
// log m = 2 atanh u, u = (m - 1)/(m + 1) in two parts, the series's tail
// (a hundredth of u or less) in double.
ORVANE_HD inline SfDD sfLogDD(double h, double l) {
  // 0, infinity, NaN and negative h: log's own value (ilogb of 0 is INT_MIN,
  // which the scaling below may not negate).
  if (!(h > 0.0) || h > 1.7976931348623157e308) return sfDD(log_(h), 0.0);
  int k = ilogb_(h);
  double m = scalbn_(h, -k);
  if (m > 1.4142135623730951) {
    m *= 0.5;
    ++k;
  }
  const double f = m - 1.0;
  double sl;
  const double sh = twoSum(m, 1.0, sl);
  const double uh = f / sh;
  const double ul = (fma_(-uh, sh, f) - uh * sl) / sh;
  const double u2 = uh * uh;
  double tail = 1.0 / 25;
  for (int j = 11; j >= 1; --j) tail = 1.0 / (2 * j + 1) + u2 * tail;
  tail *= uh * u2;
  SfDD acc = sfDD(2.0 * uh, 0.0);
  acc.lo += 2.0 * ul + 2.0 * tail + l / h;
  sfAddProduct(acc, double(k), sfDD(0.6931471805599453, 2.3190468138462996e-17));
  return sfNormal(acc);
}

// atan(t) for 0 <= t <= 1 given in two parts: atan(j/8) from the table plus
// atan v, v = (t - j/8)/(1 + t j/8), |v| <= 1/16.
ORVANE_HD inline SfDD sfAtanDD(double th, double tl) {
  const int j = int(th * 8.0 + 0.5);
  const double c = j * 0.125;
  double hi, lo;
  switch (j) {
    case 0: hi = 0.0; lo = 0.0; break;
    case 1: hi = 0.12435499454676144; lo = -3.1253241424539383e-18; break;
    case 2: hi = 0.24497866312686414; lo = 1.0698755618734451e-17; break;
    case 3: hi = 0.35877067027057225; lo = -2.4623815582638635e-17; break;
    case 4: hi = 0.4636476090008061; lo = 2.2698777452961687e-17; break;
    case 5: hi = 0.5585993153435624; lo = -5.4556305485916264e-18; break;
    case 6: hi = 0.6435011087932844; lo = 1.5834785051444286e-17; break;
    case 7: hi = 0.7188299996216245; lo = -2.1478388444456983e-17; break;
    default: hi = 0.7853981633974483; lo = 3.061616997868383e-17; break;
  }
  double nl;
  const double nh = twoSum(th - c, tl, nl);  // th - c is exact
  const double pc = c * th;
  double dl;
  const double dh = twoSum(1.0, pc, dl);
  dl += fma_(c, th, -pc) + c * tl;
  const double vh = nh / dh;
  const double vl = (fma_(-vh, dh, nh) + nl - vh * dl) / dh;
  const double v2 = vh * vh;
  double tail = -1.0 / 19;
  for (int k = 8; k >= 1; --k) tail = ((k & 1) ? -1.0 : 1.0) / (2 * k + 1) + v2 * tail;
  tail *= vh * v2;
  SfDD acc = sfDD(hi, lo);
  sfAdd(acc, vh);
  acc.lo += vl + tail;
  return sfNormal(acc);
}

// log Gamma(w) by Stirling's series for Re w > 0, |w| >= 10, in two parts
// for the real and the imaginary part; Re w = x + xl is given in two parts
// too (it is z + n or 1 - z + n, rounded).
ORVANE_HD inline void sfStirlingDD(double x, double xl, double y, SfDD& re, SfDD& im) {
  const SfZ w = sfZ(x, y);
  if (fabs_(x) > 1e150 || fabs_(y) > 1e150) {
    // |log Gamma| near or past the double range: w (log w - 1) - log(w)/2,
    // formed at 2^-20 w so that no product overflows into a NaN; an
    // imaginary part past the range leaves the phase undefined (0 here).
    const SfZ l = cx_log(w);
    const SfZ m = cx_mul(sfScale(w, 9.5367431640625e-07), cx_sub(l, sfZ(1.0, 0.0)));
    re = sfDD(m.x * 1048576.0 - 0.5 * l.x, 0.0);
    const double i = m.y * 1048576.0 - 0.5 * l.y;
    im = sfDD(isFinite(i) ? i : 0.0, 0.0);
    return;
  }
  // log|w| = log(x^2 + y^2)/2.
  const double p = x * x, q = y * y;
  double e;
  const double r2 = twoSum(p, q, e);
  e += fma_(x, x, -p) + fma_(y, y, -q) + 2.0 * x * xl;
  double r2l;
  const double r2h = twoSum(r2, e, r2l);
  SfDD ell = sfLogDD(r2h, r2l);
  ell.hi *= 0.5;
  ell.lo *= 0.5;
  // arg w = atan(y/x), or +-pi/2 - atan(x/y).
  const double ay = fabs_(y);
  SfDD th;
  if (ay <= x) {
    const SfDD t = sfQuotient(ay, x);
    th = sfAtanDD(t.hi, t.lo - t.hi * (xl / x));
  } else {
    const SfDD t = sfQuotient(x, ay);
    const SfDD a = sfAtanDD(t.hi, t.lo + xl / ay);
    th = sfDD(1.5707963267948966, 6.123233995736766e-17);
    sfAdd(th, -a.hi);
    th.lo -= a.lo;
  }
  if (y < 0.0) {
    th.hi = -th.hi;
    th.lo = -th.lo;
  }
  // The series beyond the leading terms, small: in double.
  const SfZ zi = cx_div(sfZ(1.0, 0.0), w);
  const SfZ zi2 = cx_mul(zi, zi);
  SfZ s = sfZ(0.17964437236883057, 0.0);
  const double c[] = {-0.029550653594771242, 0.0064102564102564103, -0.0019175269175269175,
                      0.00084175084175084175, -0.00059523809523809524, 0.00079365079365079365,
                      -0.0027777777777777778, 0.083333333333333333};
  for (int k = 0; k < 8; ++k) s = cx_add(sfZ(c[k], 0.0), cx_mul(zi2, s));
  s = cx_mul(s, zi);
  // (w - 1/2) log w - w + log(2 pi)/2 + s.
  const double a = x - 0.5;
  re = sfDD(0.9189385332046728, -3.8782941580672414e-17);
  sfAddProduct(re, a, ell);
  sfAddProduct(re, -y, th);
  sfAdd(re, -x);
  sfAdd(re, s.x);
  re.lo += xl * (ell.hi - 1.0);
  im = sfDD(0.0, xl * th.hi);
  sfAddProduct(im, a, th);
  sfAddProduct(im, y, ell);
  sfAdd(im, -y);
  sfAdd(im, s.y);
  re = sfNormal(re);
  im = sfNormal(im);
}

// log(1 + e) for small e without rounding 1 + e.
ORVANE_HD inline SfZ sfLog1p(SfZ e) {
  const double u = e.x * (2.0 + e.x) + e.y * e.y;
  return sfZ(0.5 * log1p_(u), atan2_(e.y, 1.0 + e.x));
}

// sum_(k>=2) (zeta(k) - 1)/k (-e)^k, for |e| <= 3/4 (the terms fall as (e/2)^k).
ORVANE_HD inline SfZ sfZetaTail(SfZ e) {
  const double c[] = {
      0.32246703342411322, 0.067352301053198095, 0.020580808427784548, 0.0073855510286739853,
      0.0028905103307415233, 0.001192753911703261, 0.00050966952474304242, 0.00022315475845357938,
      9.9457512781808534e-5, 4.4926236738133142e-5, 2.0507212775670692e-5, 9.4394882752683959e-6,
      4.3748667899074878e-6, 2.0392157538013662e-6, 9.5514121304074198e-7, 4.492469198764566e-7,
      2.1207184805554666e-7, 1.00432248239681e-7, 4.7698101693639806e-8, 2.2711094608943165e-8,
      1.0838659214896954e-8, 5.1834750419700467e-9, 2.4836745438024783e-9, 1.1921401405860912e-9,
      5.731367241678862e-10, 2.7595228851242331e-10, 1.3304764374244489e-10, 6.4229645638381e-11,
      3.1044247747322273e-11, 1.5021384080754142e-11, 7.2759744802390797e-12, 3.5277424765759151e-12,
      1.7119917905596179e-12, 8.3153858414202848e-13, 4.0422005252894401e-13, 1.9664756310966165e-13,
      9.5736303878385558e-14, 4.6640760264283742e-14, 2.2737369600659723e-14, 1.1091399470834522e-14};
  const int count = int(sizeof c / sizeof c[0]);
  const SfZ m = cx_neg(e);
  SfZ acc = sfZ(c[count - 1], 0.0);
  for (int k = count - 2; k >= 0; --k) acc = cx_add(sfZ(c[k], 0.0), cx_mul(m, acc));
  return cx_mul(cx_mul(m, m), acc);
}

// log Gamma(1 + e) = -gamma e + sum_(k>=2) zeta(k)/k (-e)^k, the 1/k part of
// zeta(k) summed in closed form, e - log(1 + e): |e| <= 3/4.
ORVANE_HD inline SfZ sfLgammaNearOne(SfZ e) {
  return cx_add(cx_sub(cx_sub(e, sfLog1p(e)), sfScale(e, sfEuler())), sfZetaTail(e));
}

// log Gamma(2 + e) = log(1 + e) + log Gamma(1 + e) = (1 - gamma) e + the tail.
ORVANE_HD inline SfZ sfLgammaNearTwo(SfZ e) {
  return cx_add(sfScale(e, 0.42278433509846714), sfZetaTail(e));
}

// The shift n that takes z + n to |z + n| >= 10.
ORVANE_HD inline int sfStirlingShift(SfZ z) {
  if (fabs_(z.y) >= 10.0) return 0;
  const double need = sqrt_(100.0 - z.y * z.y) - z.x;
  return need > 0.0 ? int(need) + 1 : 0;
}

// log Gamma for Re z >= 1/2: the series about 1 and 2 (where log Gamma has
// its zeros, and the recurrence below would cancel), else Stirling's after
// the recurrence log Gamma(z) = log Gamma(z + n) - sum log(z + k).
ORVANE_HD inline SfZ sfLgammaRight(SfZ z) {
  const SfZ e1 = cx_sub(z, sfZ(1.0, 0.0));
  if (sfAbs(e1) <= 0.75) return sfLgammaNearOne(e1);
  const SfZ e2 = cx_sub(z, sfZ(2.0, 0.0));
  if (sfAbs(e2) <= 0.75) return sfLgammaNearTwo(e2);
  const int n = sfStirlingShift(z);
  double wl;
  const double wx = twoSum(z.x, double(n), wl);
  SfDD re, im;
  sfStirlingDD(wx, wl, z.y, re, im);
  for (int k = 0; k < n; ++k) {
    const SfZ l = cx_log(cx_add(z, sfZ(double(k), 0.0)));
    sfAdd(re, -l.x);
    sfAdd(im, -l.y);
  }
  return sfZ(re.hi + re.lo, im.hi + im.lo);
}

// The principal branch of log Gamma (continuous from the positive real axis,
// cut along the negative one), for Im z >= 0: by reflection for Re z < 1/2,
// log Gamma(z) = log pi - L(z) - log Gamma(1 - z), L(z) = log sin(pi z) on the
// branch continuous in the upper half plane: -log 2 + i pi (1/2 - z) + log(1 - e^(2 pi i z)).
ORVANE_HD inline SfZ sfLgammaUpper(SfZ z) {
  if (z.x >= 0.5) return sfLgammaRight(z);
  if (sfAbs(z) > 1e150) {
    // Past the range of the reflection's parts: Stirling's leading terms
    // (the negative real axis there holds only poles).
    if (z.y == 0.0) return sfInf();
    SfDD re, im;
    sfStirlingDD(z.x, 0.0, z.y, re, im);
    return sfZ(re.hi, im.hi);
  }
  if (sfAbs(z) <= 0.75) return cx_sub(sfLgammaNearOne(z), cx_log(z));
  // 1 - e^(2 pi i z) = -expm1(2 pi i z), from sin and cos of pi x reduced exactly.
  double s1, c1, s2, c2;
  sfSinCosPi(z.x, s1, c1);
  sfSinCosPi(2.0 * z.x, s2, c2);
  const double a = -2.0 * sfPi() * z.y;
  const SfZ em1 = sfZ(expm1(a) * c2 - 2.0 * s1 * s1, exp_(a) * s2);
  const SfZ l = cx_add(sfZ(-0.69314718055994531 + sfPi() * z.y, sfPi() * (0.5 - z.x)), cx_log(cx_neg(em1)));
  const SfZ right = cx_conj(sfLgammaRight(sfZ(1.0 - z.x, z.y)));  // log Gamma(1 - z), Im(1 - z) <= 0
  return cx_sub(cx_sub(sfZ(1.1447298858494002, 0.0), l), right);
}

ORVANE_HD ORVANE_SF_OUTLINE inline SfZ sfLgamma(SfZ zc) {
  if (!sfFinite(zc)) return sfNaN();
  const SfZ z = sfUpper(zc);
  if (z.x == 0.0 && z.y == 0.0) return sfInf();
  if (z.y >= 0.0) return sfLgammaUpper(z);
  return cx_conj(sfLgammaUpper(cx_conj(z)));
}

// Gamma(z) for Re z = x + xl >= 1/2 as a scaled value: e^(Stirling) at
// z + n, over the product z (z + 1) ... (z + n - 1).
ORVANE_HD inline SfScaled sfGammaRight(double x, double xl, double y) {
  const SfZ z = sfZ(x, y);
  const int n = sfStirlingShift(z);
  SfZ prod = sfZ(1.0, 0.0);
  for (int k = 0; k < n; ++k) prod = cx_mul(prod, cx_add(z, sfZ(double(k), 0.0)));
  double wl;
  const double wx = twoSum(x, double(n), wl);
  SfDD re, im;
  sfStirlingDD(wx, wl + xl, y, re, im);
  const SfZ m = sfExpTimes(cx_div(sfZ(1.0, 0.0), prod), 0.0, re.lo, im.hi, im.lo);
  return sfScaled(m, re.hi);
}

// Gamma: e^(Stirling) over the rising product for Re z >= 1/2, reflection
// pi / (sin(pi z) Gamma(1 - z)) below, sin(pi z) as e^(pi |y|) times
// (sin(pi x) (1 + q), +-i cos(pi x) (1 - q)) / 2 with q = e^(-2 pi |y|), so
// that no part overflows on the way.
ORVANE_HD ORVANE_SF_OUTLINE inline SfZ sfGamma(SfZ zc) {
  if (!sfFinite(zc)) return sfNaN();
  const SfZ z = sfUpper(zc);
  // Gamma(z) = 1/z - gamma + O(z), the rest below 1e-40 of the value.
  if (sfAbs(z) < 1e-20) return cx_sub(cx_div(sfZ(1.0, 0.0), z), sfZ(sfEuler(), 0.0));
  if (z.x >= 0.5) return sfValue(sfGammaRight(z.x, 0.0, z.y));
  if (sfAbs(z) > 1e150) return cx_exp(sfLgamma(z));
  double s, c;
  sfSinCosPi(z.x, s, c);
  const double ay = fabs_(z.y);
  const double q = exp_(-2.0 * sfPi() * ay);
  const double omq = -expm1(-2.0 * sfPi() * ay);
  const SfZ sn = sfZ(0.5 * s * (1.0 + q), z.y < 0.0 ? -0.5 * c * omq : 0.5 * c * omq);
  if (sn.x == 0.0 && sn.y == 0.0) return sfInf();
  double xl;
  const double x1 = twoSum(1.0, -z.x, xl);  // 1 - x, in two parts
  const SfScaled g = sfGammaRight(x1, xl, -z.y);
  // The exponent -(g.e + pi |y|) in two parts, the low one into the mantissa.
  const double pay = sfPi() * ay;
  const double payLo = fma_(sfPi(), ay, -pay) + 1.2246467991473532e-16 * ay;
  double err;
  const double e = twoSum(-g.e, -pay, err);
  const SfZ m = sfScale(cx_div(sfZ(sfPi(), 0.0), cx_mul(sn, g.m)), 1.0 + (err - payLo));
  return sfValue(sfScaled(m, e));
}

// ---- The exponential integral E1 --------------------------------------------------------

// E1(z) = int_z^inf e^(-t)/t dt, cut along the negative real axis: the series
// -gamma - log z - sum (-z)^k/(k k!) where it does not cancel much (its terms
// reach e^|z| against a value near e^-Re z: |z| + Re z <= 3), the asymptotic
// series e^(-z)/z sum k! (-z)^-k for |z| >= 40, and the continued fraction
// E1(z) = e^(-z) / (z + 1 - 1/(z + 3 - 4/(z + 5 - ...))) (modified Lentz) between.
ORVANE_HD ORVANE_SF_OUTLINE inline SfZ sfExpint(SfZ zc) {
  if (!sfFinite(zc)) return sfNaN();
  const SfZ z = sfUpper(zc);
  const double r = sfAbs(z);
  if (r == 0.0) return sfInf();
  const SfZ one = sfZ(1.0, 0.0);
  if (r >= 40.0) {
    const SfZ zi = cx_div(one, z);
    SfZ t = one, sum = one;
    for (int k = 1; k < 200 && k < r; ++k) {
      t = cx_neg(sfScale(cx_mul(t, zi), double(k)));
      sum = cx_add(sum, t);
      if (sfAbs(t) <= 1e-17 * sfAbs(sum)) break;
    }
    return sfExpTimes(cx_mul(sum, zi), -z.x, 0.0, -z.y, 0.0);
  }
  if (r + z.x <= 3.0) {
    SfZ t = one, sum = sfZ(0.0, 0.0);
    const SfZ m = cx_neg(z);
    for (int k = 1; k < 500; ++k) {
      t = sfScale(cx_mul(t, m), 1.0 / k);
      const SfZ term = sfScale(t, 1.0 / k);
      sum = cx_add(sum, term);
      if (sfAbs(term) <= 1e-17 * sfAbs(sum) && k > r) break;
    }
    return cx_sub(cx_sub(sfZ(-sfEuler(), 0.0), cx_log(z)), sum);
  }
  // The depth the fraction needs, from the forward (Lentz) evaluation; the
  // value from the backward one, which does not gather rounding errors over
  // the hundreds of terms that arguments near the imaginary axis take.
  const double tiny = 1e-300;
  SfZ b = cx_add(z, one);
  SfZ c = sfZ(1.0 / tiny, 0.0);
  SfZ d = cx_div(one, b);
  int depth = 1;
  for (; depth < 100000; ++depth) {
    const double an = -double(depth) * double(depth);
    b = cx_add(b, sfZ(2.0, 0.0));
    d = cx_div(one, cx_add(sfScale(d, an), b));
    c = cx_add(b, cx_div(sfZ(an, 0.0), c));
    if (sfAbs(cx_sub(cx_mul(c, d), one)) <= 1e-17) break;
  }
  SfZ t = sfZ(0.0, 0.0);
  for (int k = depth + 8; k >= 1; --k) t = cx_div(sfZ(double(k) * double(k), 0.0), cx_sub(cx_add(z, sfZ(2.0 * k + 1.0, 0.0)), t));
  const SfZ h = cx_div(one, cx_sub(cx_add(z, one), t));
  return sfExpTimes(h, -z.x, 0.0, -z.y, 0.0);
}

// double2 <-> the caller's complex type.
ORVANE_HD inline double2 sfWiden(double2 z) { return z; }
ORVANE_HD inline double2 sfWiden(float2 z) { return sfZ(z.x, z.y); }
template <class C>
ORVANE_HD inline C sfNarrow(double2 z);
template <>
ORVANE_HD inline double2 sfNarrow<double2>(double2 z) {
  return z;
}
template <>
ORVANE_HD inline float2 sfNarrow<float2>(double2 z) {
  return cx_make<float2>(float(z.x), float(z.y));
}

}  // namespace cx_detail

template <class C>
ORVANE_HD inline C cx_besselk(C nu, C z) {
  using namespace cx_detail;
  return sfNarrow<C>(sfBessel(kSfK, sfWiden(nu), sfWiden(z), 0));
}
template <class C>
ORVANE_HD inline C cx_besselke(C nu, C z) {
  using namespace cx_detail;
  return sfNarrow<C>(sfBessel(kSfK, sfWiden(nu), sfWiden(z), 1));
}
template <class C>
ORVANE_HD inline C cx_besseli(C nu, C z) {
  using namespace cx_detail;
  return sfNarrow<C>(sfBessel(kSfI, sfWiden(nu), sfWiden(z), 0));
}
template <class C>
ORVANE_HD inline C cx_besselie(C nu, C z) {
  using namespace cx_detail;
  return sfNarrow<C>(sfBessel(kSfI, sfWiden(nu), sfWiden(z), 2));
}
template <class C>
ORVANE_HD inline C cx_besselj(C nu, C z) {
  using namespace cx_detail;
  return sfNarrow<C>(sfBessel(kSfJ, sfWiden(nu), sfWiden(z), 0));
}
template <class C>
ORVANE_HD inline C cx_bessely(C nu, C z) {
  using namespace cx_detail;
  return sfNarrow<C>(sfBessel(kSfY, sfWiden(nu), sfWiden(z), 0));
}
template <class C>
ORVANE_HD inline C cx_erf(C z) {
  using namespace cx_detail;
  const double2 w = sfWiden(z);
  return sfNarrow<C>(sfFinite(w) ? sfErf(w) : sfNaN());
}
template <class C>
ORVANE_HD inline C cx_erfc(C z) {
  using namespace cx_detail;
  const double2 w = sfWiden(z);
  return sfNarrow<C>(sfFinite(w) ? sfErfc(w) : sfNaN());
}
template <class C>
ORVANE_HD inline C cx_erfcx(C z) {
  using namespace cx_detail;
  const double2 w = sfWiden(z);
  return sfNarrow<C>(sfFinite(w) ? sfErfcx(w) : sfNaN());
}
template <class C>
ORVANE_HD inline C cx_gamma(C z) {
  using namespace cx_detail;
  return sfNarrow<C>(sfGamma(sfWiden(z)));
}
template <class C>
ORVANE_HD inline C cx_lgamma(C z) {
  using namespace cx_detail;
  return sfNarrow<C>(sfLgamma(sfWiden(z)));
}
template <class C>
ORVANE_HD inline C cx_expint(C z) {
  using namespace cx_detail;
  return sfNarrow<C>(sfExpint(sfWiden(z)));
}

// ---- The names of --transform statements -------------------------------------------

namespace orvane {

namespace sf_detail {
ORVANE_HD inline wcomplex order(wreal nu) {
  wcomplex r;
  r.x = nu;
  r.y = 0;
  return r;
}
}  // namespace sf_detail

ORVANE_HD inline wcomplex besselk(wreal nu, wcomplex z) { return cx_besselk(sf_detail::order(nu), z); }
ORVANE_HD inline wcomplex besseli(wreal nu, wcomplex z) { return cx_besseli(sf_detail::order(nu), z); }
ORVANE_HD inline wcomplex besselj(wreal nu, wcomplex z) { return cx_besselj(sf_detail::order(nu), z); }
ORVANE_HD inline wcomplex bessely(wreal nu, wcomplex z) { return cx_bessely(sf_detail::order(nu), z); }
ORVANE_HD inline wcomplex besselke(wreal nu, wcomplex z) { return cx_besselke(sf_detail::order(nu), z); }
ORVANE_HD inline wcomplex besselie(wreal nu, wcomplex z) { return cx_besselie(sf_detail::order(nu), z); }
ORVANE_HD inline wcomplex K0(wcomplex z) { return besselk(0, z); }
ORVANE_HD inline wcomplex K1(wcomplex z) { return besselk(1, z); }
ORVANE_HD inline wcomplex I0(wcomplex z) { return besseli(0, z); }
ORVANE_HD inline wcomplex I1(wcomplex z) { return besseli(1, z); }
ORVANE_HD inline wcomplex J0(wcomplex z) { return besselj(0, z); }
ORVANE_HD inline wcomplex J1(wcomplex z) { return besselj(1, z); }
ORVANE_HD inline wcomplex erf(wcomplex z) { return cx_erf(z); }
ORVANE_HD inline wcomplex erfc(wcomplex z) { return cx_erfc(z); }
ORVANE_HD inline wcomplex erfcx(wcomplex z) { return cx_erfcx(z); }
ORVANE_HD inline wcomplex gamma(wcomplex z) { return cx_gamma(z); }
ORVANE_HD inline wcomplex lgamma(wcomplex z) { return cx_lgamma(z); }
ORVANE_HD inline wcomplex expint(wcomplex z) { return cx_expint(z); }

}  // namespace orvane
