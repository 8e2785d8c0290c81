// Error prediction for a computed f(t): the error grid estimate of the one
// point (sigma, b) is the absolute error; over |f(t)| it is the relative error,
// and the flag says whether that is strictly below the requested one.
#pragma once

#include "coeffs/pipeline.h"
#include "orvane/result.h"

namespace orvane {

// The record for estimate E of a computed f(t). |f(t)| is the overflow-safe
// modulus in double; a NaN relative error never meets the tolerance.
// An f(t) with a part that is infinite or NaN is no result at all: E / |f(t)|
// would be 0 for an infinite part and report the tolerance met, and the run
// loop would prefer that record to every finite one. Its relative error is
// therefore NaN, which never meets the tolerance and never replaces a number.
ErrorPrediction predictError(double E, double2 ft, double RelErrInput);

ErrorPrediction wfnErrorEst(StageContext& c, double2 ft, double TimeInput, int NLagInput,
                            double sigma, double b, double RelErrInput);

}  // namespace orvane
