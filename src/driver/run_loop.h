// The run loop over times, expansion sizes and tolerances, generic over the
// solver (anything with WeeksMethod's parameter fields and Results) and over
// the three stages it calls, so that the choice among records can be driven by
// scripted stage results.
#pragma once

#include <cmath>
#include <iostream>
#include <limits>

#include "driver/weeks_method.h"

namespace orvane {

// A record replaces the stored one when its predicted relative error is
// strictly lower; a NaN never replaces a number, a number always replaces a NaN.
inline bool betterRecord(double RelErrPred, double BestRelErr) {
  if (std::isnan(RelErrPred)) return false;
  return std::isnan(BestRelErr) || BestRelErr > RelErrPred;
}

// Stages must offer:
//   SigmaB paramEst(double t, int N, double sigmin, double sigmax, double bmax, double tols, double tolb)
//   CoreResult weeksCore(double t, int N, double sigma, double b)
//   ErrorPrediction errorEst(double2 ft, double t, int N, double sigma, double b, double relErr)
template <class Solver, class Stages>
void runLoop(Solver& wm, Stages& stages) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int i = 0; i < wm.Ntimes; ++i) {
    const double TimeInput = wm.Time[i];
    const double RelErrInput = wm.RelErr[i];
    const double sigmaInput = wm.sigmaUser[i];
    const double bInput = wm.bUser[i];
    int TolMetFlag = 1;
    double BestRelErr = 0.0;

    // Without any size or tolerance nothing is evaluated; the record then says
    // so (no value, no error, tolerance not met) instead of holding garbage.
    WeeksResult none;
    none.Time = TimeInput;
    none.ft.x = nan;
    none.ft.y = nan;
    none.sigma = sigmaInput;
    none.b = bInput;
    none.AbsErrPred = nan;
    none.RelErrPred = nan;
    none.TolFlag = 1;
    wm.Results[i] = none;

    if (ORVANE_DIAG) {
      std::cout << std::endl;
      std::cout << "Time Input = " << TimeInput << std::endl;
      std::cout << "Relative Error Input = " << RelErrInput << std::endl;
      std::cout << "sigma Input = " << sigmaInput << std::endl;
      std::cout << "b Input = " << bInput << std::endl;
      std::cout << "Tolerance Met Flag = " << TolMetFlag << std::endl;
      std::cout << "Best Relative Error = " << BestRelErr << std::endl;
      std::cout << std::endl;
    }

    bool met = false;
    for (int j = 0; j < wm.Nsizes && !met; ++j) {
      const int NLagInput = wm.NLag[j];
      if (ORVANE_DIAG) std::cout << "NLagInput " << NLagInput << std::endl;

      for (int k = 0; k < wm.Ntol; ++k) {
        const double tolsInput = wm.tols[k];
        const double tolbInput = wm.tolb[k];
        if (ORVANE_DIAG)
          std::cout << "tolsInput " << tolsInput << " tolbInput " << tolbInput << std::endl;

        SigmaB pair;
        pair.sigma = sigmaInput;
        pair.b = bInput;
        if (wm.SearchSwitch != 0)
          pair = stages.paramEst(TimeInput, NLagInput, wm.sigmin, wm.sigmax, wm.bmax, tolsInput,
                                 tolbInput);

        const CoreResult core = stages.weeksCore(TimeInput, NLagInput, pair.sigma, pair.b);
        const ErrorPrediction pred =
            stages.errorEst(core.ft, TimeInput, NLagInput, pair.sigma, pair.b, RelErrInput);
        WeeksResult rec;
        rec.Time = core.Time;
        rec.ft = core.ft;
        rec.sigma = core.sigma;
        rec.b = core.b;
        rec.AbsErrPred = pred.AbsErrPred;
        rec.RelErrPred = pred.RelErrPred;
        rec.TolFlag = pred.TolFlag;
        TolMetFlag = rec.TolFlag;

        if (j == 0 && k == 0) {
          wm.Results[i] = rec;
          BestRelErr = rec.RelErrPred;
        }
        if (TolMetFlag == 0) {
          wm.Results[i] = rec;
          met = true;
          break;
        }
        if (betterRecord(rec.RelErrPred, BestRelErr)) {
          wm.Results[i] = rec;
          BestRelErr = rec.RelErrPred;
        }
        // The user's (sigma, b) does not depend on the resolution: one pass per size.
        if (wm.SearchSwitch == 0) break;
      }
    }
  }
}

}  // namespace orvane
