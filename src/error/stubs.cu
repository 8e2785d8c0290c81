// Error estimation and parameter search. (Being written.)
#include "driver/weeks_method.h"

void WeeksMethod::wfnErrorCore(double, int, int, int, double, double, double, double*) {}
SigmaB WeeksMethod::wfnParamEst(double, int, double, double, double, double, double) { return SigmaB{0, 0}; }
ErrorPrediction WeeksMethod::wfnErrorEst(double2, double, int, double, double, double) {
  return ErrorPrediction{0, 0, 1};
}
