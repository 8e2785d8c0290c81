// De Hoog's method: f(t) from F on the Bromwich line Re s = gamma, the
// Fourier series of the trapezoidal rule summed by a continued fraction (the
// quotient-difference algorithm), for many times at once, with a predicted
// error from several parameter sets.
//
// Each time is summed with the kDehoogSets sets of dehoog_kernel.h and its
// check, their samples and fractions shared by the times of its band. The
// value kept is that of set 0; its predicted error is
//   E = max(|f_0 - f_0'|, 512 eps size_0, and 2 |f_c - f_0| for every other
//           set c, and the check, that differs from it by more than its own
//           round-off 64 eps size_c)
// (f_0' the approximant two steps before the last, size the sum of the
// samples' moduli times e^(gamma t)/T, the scale of a set's round-off). Sets
// that sample to different heights disagree where one sees a singularity the
// others miss, and sets with different periods disagree where the
// discretisation or the fraction has not converged. Where a sum is not
// finite, or t is not positive, the errors are infinite and the flag says not
// met.
//
// What the sets cannot see: a singularity above the check's height
// (dehoogCheckHeight: 360/t up to t of about 5, then 64 up to t of about
// 480, 32 at t of about 1,000), or right of the shift. The solver checks the latter with the Weeks
// rows before a value counts; a time whose check does not reach kDehoogReach
// is not met.
#pragma once

#include <complex>
#include <functional>
#include <memory>
#include <vector>

#include "device/gpu_runtime.h"
#include "methods/dehoog/dehoog_kernel.h"
#include "methods/method.h"
#include "stages/stage_context.h"

namespace orvane {

// What one set of one time sums up.
struct DehoogSum {
  double f;     // the estimate of f(t) (the real part)
  double step;  // |f - the approximant two steps before|
  double size;  // e^(gamma t)/T sum |a_k|
};

// The continued fraction of set c for a band's top and a shift, from its
// 2M + 1 samples a (F at the line's points).
struct DehoogFraction {
  int M = 0;
  double T = 0.0, gamma = 0.0;
  double sum = 0.0;              // sum |a_k|
  std::vector<std::complex<double>> d;  // the coefficients d_0 .. d_2M
};
DehoogFraction dehoogFraction(int c, double top, double shift, const double2* a);

// The sum of a fraction at time t (of its band).
DehoogSum dehoogSum(const DehoogFraction& fraction, double t);

// The weights of the check's n + 1 terms (the first halved), and of the
// first 3n/4 + 1 for the shorter series.
struct DehoogFilter {
  int n = 0;
  std::vector<double> all, part;
};
DehoogFilter dehoogFilter(int n);

// The check of a band's top and a shift at time t: the filtered series of
// the w.n + 1 samples a of the line of period `period` times top; `step`: its
// difference from the series filtered over the first 3n/4 terms.
DehoogSum dehoogCheck(const double2* a, const DehoogFilter& w, double period, double top, double shift,
                      double t);

struct DehoogRecord {
  double f;
  double AbsErrPred;
  double RelErrPred;
  int TolFlag;
};

// The discretisation error of a fraction at time t, e^(-2 gamma T) f(t + 2T):
// negligible beside f(t) unless f is much larger later (f = 0 before a
// delayed jump), so it is estimated from the level the fraction itself shows
// over the rest of its period (up to 1.75 T, where its round-off is still
// small), carried to t + 2T at the growth the shift allows.
double dehoogAliasing(const DehoogFraction& fraction, double t, double shift);

// The prediction from the sums of one time, its check and the check's
// series on the line of period 1 (`cross`); `reached`: the check saw up to
// kDehoogReach (else the errors are infinite); `aliasing`, `checkAliasing`:
// the discretisation errors of set 0 and of the check's line (floors of
// their errors). The value is set 0's, or the check's where that has
// converged further (and agrees with `cross`) than set 0 agrees with the
// others.
DehoogRecord dehoogPrediction(const DehoogSum (&sums)[kDehoogSets], const DehoogSum& check,
                              const DehoogSum& cross, bool reached, double relErr, double aliasing,
                              double checkAliasing);

// The device buffers of the method, kept from one call to the next.
struct DehoogBuffers {
  gpu::DeviceBuffer nodes;  // the line's points of a batch of times, then F there
  gpu::DeviceBuffer times;  // their times and shifts
};

// Times per device batch: at most kDehoogBatch, and their samples at most
// kDehoogBatchBytes.
constexpr int kDehoogBatch = 32768;
constexpr long long kDehoogBatchBytes = 256ll << 20;
// The work of a batch (the sum of M^2 over its groups' sets, the
// quotient-difference tables' lengths) from which its fractions are shared
// among host threads: that of two or three times below t = 2 pi.
constexpr long long kDehoogSharedWork = 32768;
// The times between two calls of the progress hook.
constexpr int kDehoogProgress = 2048;

// One record per time: shifts[i] is the line's shift (the abscissa the caller
// puts right of every singularity) for times[i], relErr[i] its request.
// `progress` (when set) hears of the times done now and then (a long call
// can be interrupted there).
std::vector<DehoogRecord> wfnDehoog(StageContext& c, DehoogBuffers& buffers,
                                    const std::vector<double>& times,
                                    const std::vector<double>& shifts,
                                    const std::vector<double>& relErr,
                                    const std::function<void(int, int)>& progress = {});

// The method for the registry: the line's shift is the search's lowest sigma,
// or the caller's sigma of the time; sigma in the record is that shift, b 0,
// N the steps of set 0.
std::unique_ptr<InversionMethod> makeDehoogMethod(const SolverSettings& settings);

}  // namespace orvane
