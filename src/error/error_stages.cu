// The solver's error grid driver, parameter search and error prediction: the
// generic stages applied to the user's compiled-in transform.
#include <new>

#include "coeffs/user_transform.h"
#include "driver/weeks_method.h"
#include "error/error_core.cuh"
#include "error/error_est.cuh"
#include "error/param_est.cuh"

void WeeksMethod::wfnErrorCore(double TimeInput, int Nsigma, int Nb, int NLaguerre, double sigmin,
                               double sigmax, double bmax, double* Errorvec) {
  orvane::errorCore(UserTransform{}, TimeInput, Nsigma, Nb, NLaguerre, sigmin, sigmax, bmax,
                    Errorvec);
}

SigmaB WeeksMethod::wfnParamEst(double TimeInput, int NLagInput, double sigmin, double sigmax,
                                double bmax, double tolsInput, double tolbInput) {
#if ORVANE_DIAG
  // The diagnostic build runs one full pipeline per search, so that its timing
  // lines show every search.
  return orvane::paramEst(UserTransform{}, TimeInput, NLagInput, sigmin, sigmax, bmax, tolsInput,
                          tolbInput);
#else
  // The error sums of a grid serve every time that searches it.
  if (searchCache_ == nullptr) {
    searchCache_ = new (std::nothrow) orvane::ErrorSumsCache;
    if (searchCache_ == nullptr) orvane::endWithMessage("The parameter search cannot allocate its cache.");
  }
  return orvane::paramEst(UserTransform{}, TimeInput, NLagInput, sigmin, sigmax, bmax, tolsInput,
                          tolbInput, searchCache_);
#endif
}

void WeeksMethod::releaseSearchCache(orvane::ErrorSumsCache* cache) { delete cache; }

ErrorPrediction WeeksMethod::wfnErrorEst(double2 ft, double TimeInput, int NLagInput, double sigma,
                                         double b, double RelErrInput) {
  return orvane::errorEst(UserTransform{}, ft, TimeInput, NLagInput, sigma, b, RelErrInput);
}
