// Error prediction for a computed f(t): the error grid estimate of the one
// point (sigma, b) is the absolute error; over |f(t)| it is the relative error,
// and the flag says whether that is strictly below the requested one.
#pragma once

#include <new>

#include "driver/weeks_method.h"
#include "error/error_core.cuh"
#include "error/error_kernel.h"

namespace orvane {

// The record for estimate E of a computed f(t). |f(t)| is the overflow-safe
// modulus in double; a NaN relative error never meets the tolerance.
inline ErrorPrediction predictError(double E, double2 ft, double RelErrInput) {
  ErrorPrediction p;
  const double modulus = wfnCabs(ft.x, ft.y);
  p.AbsErrPred = E;
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
