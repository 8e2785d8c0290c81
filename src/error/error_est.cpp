// Error prediction for a computed f(t).
#include "error/error_est.h"

#include <cmath>
#include <limits>

#include "error/error_core.h"
#include "error/error_kernel.h"

namespace orvane {

ErrorPrediction predictError(double E, double2 ft, double RelErrInput) {
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

ErrorPrediction wfnErrorEst(StageContext& c, double2 ft, double TimeInput, int NLagInput,
                            double sigma, double b, double RelErrInput) {
  // A grid of one sigma and one b value: its single point is exactly (sigma, b).
  double estimate = 0.0;
  wfnErrorCore(c, TimeInput, 1, 1, NLagInput, sigma, sigma, b, &estimate);
  return predictError(estimate, ft, RelErrInput);
}

}  // namespace orvane
