// Per-element bodies of de Hoog's method (de Hoog, Knight and Stokes, "An
// improved method for numerical inversion of Laplace transforms", SIAM J. Sci.
// Stat. Comput. 3 (1982) 357-366): the samples of F on the Bromwich line of
// every time, shared by the CUDA kernel and the host loop.
//
// For a period T and a line Re s = gamma, the trapezoidal rule of the Bromwich
// integral is the Fourier series
//   f(t) ~ e^(gamma t)/T Re( a_0/2 + sum_k a_k e^(i k pi t/T) ),  a_k = F(gamma + i k pi/T),
// whose discretisation error is about e^(-2 gamma' T) for gamma' = gamma less
// the largest real part of a singularity; gamma = shift - ln(1e-14)/(2T) puts it
// at round-off. The 2M + 1 terms k = 0 .. 2M are summed as a continued fraction
// whose coefficients the quotient-difference algorithm gives (see dehoog.cu),
// which accelerates the series as a Pade approximant does: it needs samples
// only up to the height 2M pi/T, where the plain series needs them far beyond.
//
// The samples, and the fraction's coefficients, depend on T and not on t: the
// times are taken in groups, each the times of a band [top/sqrt 2, top) (and
// of one shift), with T a multiple of the band's top, so that F is sampled
// and the quotient-difference table made once per group, and each time costs
// only the fraction's evaluation (de Hoog's own use of the method).
// Each group is taken with kDehoogSets parameter sets (M, T/top) at once; its
// row holds the samples of their lines (dehoogRow elements). The sets
// differ in the height they sample to and in their discretisation, so that
// their disagreement shows a singularity one of them does not see.
//
// Beside the sets, the check: the plain Fourier series of the line of period
// 2 top, taken much higher up (dehoogCheckModes terms) and summed with a
// smooth filter instead of a continued fraction. The filtered series
// converges wherever f is smooth near t (its error falls as a high power of
// the terms times the distance to the nearest jump of f), and it sees what F
// holds up to the height dehoogCheckHeight: a pole high up whose residue the
// fractions' few terms cannot resolve (0.001 s/(s^2+2500) beside 1/s at
// t = 5, a lightly damped 10 Hz mode, a 60 Hz rectifier), which would leave
// every set agreeing on a wrong value. Where it cannot converge (a jump of f
// close to t, oscillations of f beyond its height) it disagrees, and the
// value is not met.
#pragma once

#if !defined(__CUDACC_RTC__)
#include <cmath>
#endif

#include "orvane/config.h"

namespace orvane {

// The parameter sets of a group: the number M of continued-fraction steps,
// and the period T as a multiple of the band's top. The one table of them.
// The sets past the third sample higher up the line (2M pi/T = 64/top and
// 128/top): less accurate (the line's shift grows as T shrinks, and with it
// the round-off), they serve to see singularities the others miss.
constexpr int kDehoogSets = 5;
// The ratio of a band's top to its bottom.
constexpr double kDehoogBand = 1.4142135623730951;
ORVANE_HD constexpr int dehoogSteps(int c) { return c == 0 || c == 2 ? 32 : 64; }
ORVANE_HD constexpr double dehoogPeriod(int c) {
  return c == 0 ? 4.0 : c == 1 ? 4.0 : c == 2 ? 3.0 : c == 3 ? 2.0 : 1.0;
}
// The samples of set c are k = 0 .. 2M.
ORVANE_HD constexpr int dehoogTerms(int c) { return 2 * dehoogSteps(c) + 1; }

// The check's line is that of period 2; its terms k = 0 .. modes. The
// modes follow the band's top so that the check sees up to
// kDehoogCheckTarget where that takes at most kDehoogMaxCheckModes terms,
// and never fewer than kDehoogMinCheckModes (which the filtered series
// needs to converge to round-off at every time of a band, where f is smooth:
// the terms times the angle pi t/T, at least 1.1, above 300). A value whose
// check sees less high than kDehoogReach is not met (t above about 1,000):
// without that height no set would see a pole at height 2 at t = 50, nor the
// poles at +-20i of 1/s + s/(s^2+400) at t = 20.
//
// The line of period 1 is taken as high, for a second filtered series (half
// the terms, twice as far apart): where the check's value is to stand for
// the sets' (oscillations too fast for their fractions), the two must agree,
// so that the one line's discretisation error (f at t + 2T, t + 4T ... : a
// jump of f long after t where f(t) = 0) shows as it does between the sets.
constexpr int kDehoogCheckLine = 2;
constexpr int kDehoogCheckSet = 3;  // the set on that line
constexpr int kDehoogCrossLine = 3;
constexpr double kDehoogCheckPeriod = 2.0;
constexpr double kDehoogCrossPeriod = 1.0;
constexpr int kDehoogMinCheckModes = 512;
constexpr int kDehoogMaxCheckModes = 32768;
constexpr double kDehoogCheckTarget = 128.0;
constexpr double kDehoogReach = 32.0;
// The part of the check's terms whose filter weight is at least 1/2: what
// lies below it the check sees.
constexpr double kDehoogCheckPass = 0.6;
// The filter of term k of n: e^(-36 (k/n)^8), round-off at the last term.
inline double dehoogCheckWeight(int k, int n) {
  const double x = double(k) / double(n), x2 = x * x, x4 = x2 * x2;
  return std::exp(-36.0 * x4 * x4);
}
// The height the check of n terms sees for a band's top.
inline double dehoogCheckHeight(int n, double top) {
  return kDehoogCheckPass * double(n) * 3.141592653589793 / (kDehoogCheckPeriod * top);
}

// The sets of one period share a line (the line's shift depends on T alone),
// and the fraction of M steps takes the first 2M + 1 of its samples: F is
// sampled once per line, as far as its longest set (or the check) needs. The
// lines, by period (T/top): 4, 3, 2, 1.
constexpr int kDehoogLines = 4;
ORVANE_HD constexpr int dehoogLineOf(int c) {
  return dehoogPeriod(c) == 4.0 ? 0 : dehoogPeriod(c) == 3.0 ? 1 : dehoogPeriod(c) == 2.0 ? 2 : 3;
}
ORVANE_HD constexpr int dehoogLineTerms(int line, int checkModes) {
  int terms = line == kDehoogCheckLine ? checkModes + 1 : line == kDehoogCrossLine ? checkModes / 2 + 1 : 0;
  for (int c = 0; c < kDehoogSets; ++c)
    if (dehoogLineOf(c) == line && dehoogTerms(c) > terms) terms = dehoogTerms(c);
  return terms;
}
ORVANE_HD constexpr int dehoogLineOffset(int line, int checkModes) {
  int offset = 0;
  for (int l = 0; l < line; ++l) offset += dehoogLineTerms(l, checkModes);
  return offset;
}
// Where set c's samples start in a group's row.
ORVANE_HD constexpr int dehoogOffset(int c, int checkModes) {
  return dehoogLineOffset(dehoogLineOf(c), checkModes);
}
// The samples of one group: its lines' one after another.
ORVANE_HD constexpr int dehoogRow(int checkModes) { return dehoogLineOffset(kDehoogLines, checkModes); }

// The check's terms for a band's top: a multiple of 128.
inline int dehoogCheckModes(double top) {
  const double wanted = kDehoogCheckTarget * kDehoogCheckPeriod * top / (kDehoogCheckPass * 3.141592653589793);
  if (!(wanted < kDehoogMaxCheckModes)) return kDehoogMaxCheckModes;
  const int n = 128 * int(std::ceil(wanted / 128.0));
  return n < kDehoogMinCheckModes ? kDehoogMinCheckModes : n;
}

// -ln(1e-14): the discretisation error the line's shift aims at.
constexpr double kDehoogLogTolerance = 32.23619130191664;

// The line of element e of a group's row.
ORVANE_HD inline int dehoogLineOfElement(int e, int checkModes) {
  int line = 0;
  while (line + 1 < kDehoogLines && e >= dehoogLineOffset(line + 1, checkModes)) ++line;
  return line;
}

// The line and period of set c for a band's top t and a shift.
struct DehoogLine {
  double T;
  double gamma;
};
ORVANE_HD inline DehoogLine dehoogLine(int c, double t, double shift) {
  DehoogLine l;
  l.T = dehoogPeriod(c) * t;
  l.gamma = shift + kDehoogLogTolerance / (2.0 * l.T);
  return l;
}

// Sample body for element e of group i (tops[i], shifts[i]): s = gamma + i k pi/T.
// The samples are taken in double in every build: the continued fraction
// needs all the digits.
ORVANE_HD inline void dehoogPoint(int e, int i, const double* tops, const double* shifts,
                                  int checkModes, double2* devNodes) {
  const int line = dehoogLineOfElement(e, checkModes);
  const int k = e - dehoogLineOffset(line, checkModes);
  // The period of the line's sets: that of the first set on it.
  int c = 0;
  while (dehoogLineOf(c) != line) ++c;
  const DehoogLine l = dehoogLine(c, tops[i], shifts[i]);
  double2 s;
  s.x = l.gamma;
  s.y = double(k) * 3.141592653589793 / l.T;
  devNodes[(long long)i * dehoogRow(checkModes) + e] = s;
}

}  // namespace orvane
