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
// the round-off), they serve to see singularities the others miss. The last
// two, the reach sets, take as many steps as they need to follow the line (a
// fraction of M steps follows oscillations up to the height M pi/T, half as
// high as its samples reach) up to the height kDehoogReach at T = top, and to
// a quarter of it with half the steps at T = 2 top (M pi/top >= kDehoogReach,
// M a power of two from 64 to kDehoogMaxReachSteps): without the first no set
// would see a pole at height 2 at t = 50, without the second the poles at
// +-20i of 1/s + s/(s^2+400) at t = 20, and all would agree on a value
// without them.
constexpr int kDehoogSets = 7;
constexpr int kDehoogReachSet = kDehoogSets - 2;  // the first reach set
constexpr double kDehoogReach = 32.0;
constexpr int kDehoogMaxReachSteps = 4096;
// The ratio of a band's top to its bottom.
constexpr double kDehoogBand = 1.4142135623730951;
ORVANE_HD constexpr int dehoogSteps(int c, int reachSteps) {
  return c == 0 ? 32 : c == 2 ? 32 : c == kDehoogReachSet ? (reachSteps / 2 > 64 ? reachSteps / 2 : 64) : c > kDehoogReachSet ? reachSteps : 64;
}
ORVANE_HD constexpr double dehoogPeriod(int c) {
  return c == 0 ? 4.0 : c == 1 ? 4.0 : c == 2 ? 3.0 : c == 3 ? 2.0 : c == 4 ? 1.0 : c == 5 ? 2.0 : 1.0;
}
// The fixed set that reach set c is, with these steps, or -1.
ORVANE_HD constexpr int dehoogSameAs(int c, int reachSteps) {
  int same = -1;
  for (int k = 0; k < kDehoogReachSet && c >= kDehoogReachSet; ++k)
    if (dehoogSteps(k, reachSteps) == dehoogSteps(c, reachSteps) && dehoogPeriod(k) == dehoogPeriod(c)) same = k;
  return same;
}
// The samples of set c are k = 0 .. 2M.
ORVANE_HD constexpr int dehoogTerms(int c, int reachSteps) { return 2 * dehoogSteps(c, reachSteps) + 1; }

// The sets of one period share a line (the line's shift depends on T alone),
// and the fraction of M steps takes the first 2M + 1 of its samples: F is
// sampled once per line, as far as its longest set needs. The lines, by
// period (T/top): 4, 3, 2, 1.
constexpr int kDehoogLines = 4;
ORVANE_HD constexpr int dehoogLineOf(int c) {
  return dehoogPeriod(c) == 4.0 ? 0 : dehoogPeriod(c) == 3.0 ? 1 : dehoogPeriod(c) == 2.0 ? 2 : 3;
}
ORVANE_HD constexpr int dehoogLineTerms(int line, int reachSteps) {
  int terms = 0;
  for (int c = 0; c < kDehoogSets; ++c)
    if (dehoogLineOf(c) == line && dehoogTerms(c, reachSteps) > terms) terms = dehoogTerms(c, reachSteps);
  return terms;
}
ORVANE_HD constexpr int dehoogLineOffset(int line, int reachSteps) {
  int offset = 0;
  for (int l = 0; l < line; ++l) offset += dehoogLineTerms(l, reachSteps);
  return offset;
}
// Where set c's samples start in a group's row.
ORVANE_HD constexpr int dehoogOffset(int c, int reachSteps) { return dehoogLineOffset(dehoogLineOf(c), reachSteps); }
// The samples of one group: its lines' one after another.
ORVANE_HD constexpr int dehoogRow(int reachSteps) { return dehoogLineOffset(kDehoogLines, reachSteps); }

// The reach set's steps for a band's top t (the cap where t is too large to reach).
inline int dehoogReachSteps(double t) {
  int M = 64;
  while (M < kDehoogMaxReachSteps && double(M) * 3.141592653589793 / t < kDehoogReach) M *= 2;
  return M;
}

// -ln(1e-14): the discretisation error the line's shift aims at.
constexpr double kDehoogLogTolerance = 32.23619130191664;

// The line of element e of a group's row.
ORVANE_HD inline int dehoogLineOfElement(int e, int reachSteps) {
  int line = 0;
  while (line + 1 < kDehoogLines && e >= dehoogLineOffset(line + 1, reachSteps)) ++line;
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
                                  int reachSteps, double2* devNodes) {
  const int line = dehoogLineOfElement(e, reachSteps);
  const int k = e - dehoogLineOffset(line, reachSteps);
  // The period of the line's sets: that of the first set on it.
  int c = 0;
  while (dehoogLineOf(c) != line) ++c;
  const DehoogLine l = dehoogLine(c, tops[i], shifts[i]);
  double2 s;
  s.x = l.gamma;
  s.y = double(k) * 3.141592653589793 / l.T;
  devNodes[(long long)i * dehoogRow(reachSteps) + e] = s;
}

}  // namespace orvane
