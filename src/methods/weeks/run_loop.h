// The Weeks run loop over times, expansion sizes and tolerances, generic over
// the three stages it calls, so that the choice among records can be driven by
// scripted stage results.
#pragma once

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <vector>

#include "methods/method.h"
#include "methods/weeks/records.h"
#include "orvane/options.h"
#include "orvane/result.h"

namespace orvane {

// What the loop runs: the times t[which[k]] with their options, and the
// (sigma, b) its echo lines show for each time (the options' pair, or with a
// search what the caller shows; zeros when null).
struct WeeksRun {
  const std::vector<double>& t;
  const Options& options;
  const std::vector<int>& which;
  const std::vector<Pair>* shown = nullptr;
  double hopeless = 0.0;  // as TimeBatch::hopeless
};

// Stages must offer:
//   SigmaB paramEst(double t, int N, double sigmin, double sigmax, double bmax, double tols, double tolb)
//   CoreResult weeksCore(double t, int N, double sigma, double b)
//   ErrorPrediction errorEst(double2 ft, double t, int N, double sigma, double b, double relErr)
// records[k] receives the kept record of time which[k]; with a sink `diag`,
// the echo block of every time and the size and tolerance lines go there.
// `progress`, when given, hears of every time done.
template <class Stages>
void runLoop(const WeeksRun& run, Stages& stages, std::vector<Result>& records, std::ostream* diag,
             const std::function<void(int, int)>* progress = nullptr) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Options& o = run.options;
  const bool search = o.search();
  const int count = int(run.which.size());
  const int Nsizes = int(o.sizes.size());
  // With the caller's pairs there is one pass per size, whatever the resolutions.
  const int Ntol = search ? int(o.resolutions.size()) : 1;
  records.assign(run.which.size(), Result());
  for (int w = 0; w < count; ++w) {
    const std::size_t i = std::size_t(run.which[std::size_t(w)]);
    const double TimeInput = run.t[i];
    const double RelErrInput = o.request(i);
    const Pair shown = !search ? o.pair(i) : run.shown != nullptr ? (*run.shown)[i] : Pair{0.0, 0.0};
    const double sigmaInput = shown.sigma;
    const double bInput = shown.b;
    int TolMetFlag = 1;
    double BestRelErr = 0.0;
    Result& kept = records[std::size_t(w)];

    // Without any size or tolerance nothing is evaluated; the record then says
    // so (no value, no error, tolerance not met) instead of holding garbage.
    kept.t = TimeInput;
    kept.f = std::complex<double>(nan, nan);
    kept.sigma = sigmaInput;
    kept.b = bInput;
    kept.abs_err = nan;
    kept.rel_err = nan;
    kept.flag = 1;
    kept.N = 0;
    kept.method = Method("weeks");

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
    for (int j = 0; j < Nsizes && !met; ++j) {
      const int NLagInput = o.sizes[std::size_t(j)];
      if (diag != nullptr) *diag << "NLagInput " << NLagInput << std::endl;

      for (int k = 0; k < Ntol; ++k) {
        const Resolution step = search ? o.resolutions[std::size_t(k)] : Resolution{0.0, 0.0};
        if (diag != nullptr && search)
          *diag << "tolsInput " << step.sigma << " tolbInput " << step.b << std::endl;
        else if (diag != nullptr && !o.resolutions.empty())
          *diag << "tolsInput " << o.resolutions[0].sigma << " tolbInput " << o.resolutions[0].b
                << std::endl;

        SigmaB pair;
        pair.sigma = sigmaInput;
        pair.b = bInput;
        if (search)
          pair = stages.paramEst(TimeInput, NLagInput, o.sigma_min, o.sigma_max, o.b_max, step.sigma,
                                 step.b);

        const CoreResult core = stages.weeksCore(TimeInput, NLagInput, pair.sigma, pair.b);
        const ErrorPrediction pred =
            stages.errorEst(core.ft, TimeInput, NLagInput, pair.sigma, pair.b, RelErrInput);
        Result rec;
        rec.t = core.Time;
        rec.f = std::complex<double>(core.ft.x, core.ft.y);
        rec.sigma = core.sigma;
        rec.b = core.b;
        rec.abs_err = pred.AbsErrPred;
        rec.rel_err = pred.RelErrPred;
        rec.flag = pred.TolFlag;
        rec.N = NLagInput;
        rec.method = kept.method;
        rec.sigma_step = step.sigma;
        rec.b_step = step.b;
        TolMetFlag = rec.flag;

        if (j == 0 && k == 0) {
          kept = rec;
          BestRelErr = rec.rel_err;
        }
        if (TolMetFlag == 0) {
          kept = rec;
          met = true;
          break;
        }
        if (betterRecord(rec.rel_err, BestRelErr)) {
          kept = rec;
          BestRelErr = rec.rel_err;
        }
        if (search && run.hopeless > 0.0 && !(BestRelErr <= std::fmax(run.hopeless * RelErrInput, 0.1))) break;
      }
    }
    if (progress != nullptr && *progress) (*progress)(w + 1, count);
  }
}

}  // namespace orvane
