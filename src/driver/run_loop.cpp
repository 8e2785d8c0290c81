// WeeksMethod::Run: the generic run loop with the solver's own stages.
#include "driver/run_loop.h"

#include "driver/weeks_method.h"

namespace {

// Forwards the run loop's stage calls to the solver's operations.
struct SolverStages {
  WeeksMethod& wm;
  SigmaB paramEst(double t, int N, double sigmin, double sigmax, double bmax, double tols,
                  double tolb) {
    return wm.wfnParamEst(t, N, sigmin, sigmax, bmax, tols, tolb);
  }
  CoreResult weeksCore(double t, int N, double sigma, double b) {
    return wm.wfnWeeksCore(t, N, sigma, b);
  }
  ErrorPrediction errorEst(double2 ft, double t, int N, double sigma, double b, double relErr) {
    return wm.wfnErrorEst(ft, t, N, sigma, b, relErr);
  }
};

}  // namespace

void WeeksMethod::Run() {
  SolverStages stages{*this};
  orvane::runLoop(*this, stages);
}
