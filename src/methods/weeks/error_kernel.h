// Per-element body of the error grid kernel and the overflow-safe complex
// modulus it shares with the host-side error prediction. The estimate of grid
// point k is e^(sigma t) (eps * sum_{n<N} |a_n| + sum_{N<=n<2N} |a_n|).
#pragma once

#include <cmath>
#include <math.h>

#include "orvane/config.h"
#include "orvane/detail/grid.h"

namespace orvane {

// Largest finite value of the working type: the threshold above which the
// modulus falls back to v + w (so an infinite part gives an infinite modulus).
ORVANE_HD inline double largestFinite(double) { return 1.7976931348623157e308; }
ORVANE_HD inline float largestFinite(float) { return 3.402823466e38f; }

// |x + iy| as v sqrt(1 + (w/v)^2), v and w the larger and smaller of |x| and |y|;
// v + w when v is 0 or either part exceeds the largest finite value. Computed
// entirely in R, so the single-precision build takes its quotient and root in float.
template <class R>
ORVANE_HD inline R wfnCabs(R x, R y) {
  const R a = fabs(x);
  const R c = fabs(y);
  const R v = a > c ? a : c;
  const R w = a > c ? c : a;
  R q = w / v;
  q = R(1) + q * q;
  q = v * sqrt(q);
  const R big = largestFinite(R(0));
  if (v == R(0) || v > big || w > big) q = v + w;
  return q;
}

// The weight of the round-off term: the double machine epsilon 2^-52 in both builds.
constexpr double kRoundoffEps = 2.220446049250313e-16;

// The time-independent part of the estimate of one grid point from its block
// of coefficients a: eps * sum_{n<quarter} |a_n| + sum_{quarter<=n<half} |a_n|,
// summed in increasing n (round-off first, then the tail). The upper half of
// the block is not read.
ORVANE_HD inline wreal wfnLagErrorSum(const double2* a, int Nsamples) {
  const int half = int(floor(wreal(Nsamples) * wreal(0.5)));
  const int quarter = int(floor(wreal(half) * wreal(0.5)));
  const wreal eps = wreal(kRoundoffEps);
  wreal sum = 0;
  for (int n = 0; n < quarter; ++n) sum += eps * wfnCabs(wreal(a[n].x), wreal(a[n].y));
  for (int n = quarter; n < half; ++n) sum += wfnCabs(wreal(a[n].x), wreal(a[n].y));
  return sum;
}

// The estimate at time t of grid point k: the sum scaled by e^(sigma_k t). The
// sums depend on t only through this factor, so one set of sums serves every time.
ORVANE_HD inline double wfnLagErrorAt(wreal sum, const detail::Grid& grid, int k, double TimeInput) {
  const wreal sigma = grid.sigma<wreal>(grid.sigmaIndex(k));
  return double(exp(wreal(TimeInput) * sigma) * sum);
}

// Error kernel body for grid point k, whose block of Nsamples coefficients is
// local block k - rowBegin of devData (grids are done in chunks of rows); the
// estimate at TimeInput goes to devErrorvec[k - rowBegin]. At TimeInput 0 the
// estimate is exactly the time-independent sum (e^0 = 1).
ORVANE_HD inline void wfnLagError(int k, int rowBegin, int Nsamples, const detail::Grid& grid,
                                  double TimeInput, const double2* devData, double* devErrorvec) {
  const double2* a = devData + (long long)(k - rowBegin) * Nsamples;
  devErrorvec[k - rowBegin] = wfnLagErrorAt(wfnLagErrorSum(a, Nsamples), grid, k, TimeInput);
}

}  // namespace orvane
