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
// Each time is taken with kDehoogSets parameter sets (M, T/t) at once; its row
// holds their samples one after another (kDehoogRow elements). The sets differ
// in the height they sample to and in their discretisation, so that their
// disagreement shows a singularity one of them does not see.
#pragma once

#if !defined(__CUDACC_RTC__)
#include <cmath>
#endif

#include "orvane/config.h"

namespace orvane {

// The parameter sets of a time: the number M of continued-fraction steps, and
// the period T as a multiple of t. The one table of them.
// The sets past the third sample higher up the line (2M pi/T = 64/t and
// 128/t): less accurate (the line's shift grows as T shrinks, and with it the
// round-off), they serve to see singularities the others miss.
constexpr int kDehoogSets = 5;
ORVANE_HD constexpr int dehoogSteps(int c) { return c == 0 ? 32 : c == 2 ? 32 : 64; }
ORVANE_HD constexpr double dehoogPeriod(int c) {
  return c == 0 ? 4.0 : c == 1 ? 4.0 : c == 2 ? 3.0 : c == 3 ? 2.0 : 1.0;
}
// The samples of set c are k = 0 .. 2M.
ORVANE_HD constexpr int dehoogTerms(int c) { return 2 * dehoogSteps(c) + 1; }
ORVANE_HD constexpr int dehoogOffset(int c) {
  int offset = 0;
  for (int k = 0; k < c; ++k) offset += dehoogTerms(k);
  return offset;
}
constexpr int kDehoogRow = dehoogOffset(kDehoogSets);

// -ln(1e-14): the discretisation error the line's shift aims at.
constexpr double kDehoogLogTolerance = 32.23619130191664;

// The set of element e of a time's row.
ORVANE_HD inline int dehoogSet(int e) {
  int c = 0;
  while (c + 1 < kDehoogSets && e >= dehoogOffset(c + 1)) ++c;
  return c;
}

// The line and period of set c for time t and shift.
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

// Sample body for element e of time i: s = gamma + i k pi/T. The samples are
// taken in double in every build: the continued fraction needs all the digits.
ORVANE_HD inline void dehoogPoint(int e, int i, const double* times, const double* shifts,
                                  double2* devNodes) {
  const int c = dehoogSet(e);
  const int k = e - dehoogOffset(c);
  const DehoogLine l = dehoogLine(c, times[i], shifts[i]);
  double2 s;
  s.x = l.gamma;
  s.y = double(k) * 3.141592653589793 / l.T;
  devNodes[(long long)i * kDehoogRow + e] = s;
}

}  // namespace orvane
