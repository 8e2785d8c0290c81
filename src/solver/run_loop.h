// The run loop over times, expansion sizes and tolerances, generic over the
// three stages it calls, so that the choice among records can be driven by
// scripted stage results.
#pragma once

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <vector>

#include "orvane/parameters.h"
#include "orvane/result.h"

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
// Results[i] receives the kept record of time i; with a sink `diag`, the echo
// block of every time and the size and tolerance lines go there.
// `progress`, when given, hears of every time done.
template <class Stages>
void runLoop(const Parameters& params, Stages& stages, std::vector<WeeksResult>& Results,
             std::ostream* diag, const std::function<void(int, int)>* progress = nullptr) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Results.assign(params.Time.size(), WeeksResult());
  for (int i = 0; i < params.Ntimes(); ++i) {
    const double TimeInput = params.Time[i];
    const double RelErrInput = params.RelErr[i];
    const double sigmaInput = params.sigmaUser[i];
    const double bInput = params.bUser[i];
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
    none.NLag = 0;
    none.tols = 0.0;
    none.tolb = 0.0;
    Results[i] = none;

    if (diag != nullptr) {
      std::ostream& out = *diag;
      out << std::endl;
      out << "Time Input = " << TimeInput << std::endl;
      out << "Relative Error Input = " << RelErrInput << std::endl;
      out << "sigma Input = " << sigmaInput << std::endl;
      out << "b Input = " << bInput << std::endl;
      out << "Tolerance Met Flag = " << TolMetFlag << std::endl;
      out << "Best Relative Error = " << BestRelErr << std::endl;
      out << std::endl;
    }

    bool met = false;
    for (int j = 0; j < params.Nsizes() && !met; ++j) {
      const int NLagInput = params.NLag[j];
      if (diag != nullptr) *diag << "NLagInput " << NLagInput << std::endl;

      for (int k = 0; k < params.Ntol(); ++k) {
        const double tolsInput = params.tols[k];
        const double tolbInput = params.tolb[k];
        if (diag != nullptr)
          *diag << "tolsInput " << tolsInput << " tolbInput " << tolbInput << std::endl;

        SigmaB pair;
        pair.sigma = sigmaInput;
        pair.b = bInput;
        if (params.SearchSwitch != 0)
          pair = stages.paramEst(TimeInput, NLagInput, params.sigmin, params.sigmax, params.bmax, tolsInput,
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
        rec.NLag = NLagInput;
        rec.tols = params.SearchSwitch != 0 ? tolsInput : 0.0;
        rec.tolb = params.SearchSwitch != 0 ? tolbInput : 0.0;
        TolMetFlag = rec.TolFlag;

        if (j == 0 && k == 0) {
          Results[i] = rec;
          BestRelErr = rec.RelErrPred;
        }
        if (TolMetFlag == 0) {
          Results[i] = rec;
          met = true;
          break;
        }
        if (betterRecord(rec.RelErrPred, BestRelErr)) {
          Results[i] = rec;
          BestRelErr = rec.RelErrPred;
        }
        // The user's (sigma, b) does not depend on the resolution: one pass per size.
        if (params.SearchSwitch == 0) break;
      }
    }
    if (progress != nullptr && *progress) (*progress)(i + 1, params.Ntimes());
  }
}

}  // namespace orvane
