// Error prediction for a computed f(t): the error grid estimate of the one
// point (sigma, b) is the absolute error; over |f(t)| it is the relative error,
// and the flag says whether that is strictly below the requested one.
#pragma once

#include <cmath>
#include <limits>
#include <new>

#include "driver/weeks_method.h"
#include "error/error_core.cuh"
#include "error/error_kernel.h"

namespace orvane {

// The record for estimate E of a computed f(t). |f(t)| is the overflow-safe
// modulus in double; a NaN relative error never meets the tolerance.
// An f(t) with a part that is infinite or NaN is no result at all: E / |f(t)|
// would be 0 for an infinite part and report the tolerance met, and the run
// loop would prefer that record to every finite one. Its relative error is
// therefore NaN, which never meets the tolerance and never replaces a number.
inline ErrorPrediction predictError(double E, double2 ft, double RelErrInput) {
  ErrorPrediction p;
  p.AbsErrPred = E;
  if (!std::isfinite(ft.x) || !std::isfinite(ft.y)) {
    p.RelErrPred = std::numeric_limits<double>::quiet_NaN();
    p.TolFlag = 1;
    return p;
  }
  const double modulus = wfnCabs(ft.x, ft.y);
  p.RelErrPred = std::fabs(E) / modulus;
  p.TolFlag = RelErrInput > p.RelErrPred ? 0 : 1;
  return p;
}

template <class F>
ErrorPrediction errorEst(const F& f, double2 ft, double TimeInput, int NLagInput, double sigma,
                         double b, double RelErrInput) {
  double* estimate = new (std::nothrow) double[1];
  if (estimate == nullptr) endWithMessage("The error prediction cannot allocate its host buffer.");
  // A grid of one sigma and one b value: its single point is exactly (sigma, b).
  errorCore(f, TimeInput, 1, 1, NLagInput, sigma, sigma, b, estimate);
  const ErrorPrediction p = predictError(estimate[0], ft, RelErrInput);
  delete[] estimate;
  return p;
}

}  // namespace orvane
