// De Hoog's method: f(t) from F on the Bromwich line Re s = gamma, the
// Fourier series of the trapezoidal rule summed by a continued fraction (the
// quotient-difference algorithm), for many times at once, with a predicted
// error from several parameter sets.
//
// Each time is summed with the kDehoogSets sets of dehoog_kernel.h. The value
// kept is that of set 0; its predicted error is
//   E = max(|f_0 - f_0'|, 512 eps size_0, and 2 |f_c - f_0| for every other
//           set c that differs from it by more than its own round-off 64 eps size_c)
// (f_0' the approximant two steps before the last, size the sum of the
// samples' moduli times e^(gamma t)/T, the scale of a set's round-off). Sets
// that sample to different heights disagree where one sees a singularity the
// others miss, and sets with different periods disagree where the
// discretisation or the fraction has not converged. Where a sum is not
// finite, or t is not positive, the errors are infinite and the flag says not
// met.
//
// What the sets cannot see: a singularity above every set's highest sample
// (2M pi/T), or right of the line. The automatic choice therefore uses this
// method as one check among others, never alone.
#pragma once

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

// The sum of set c from its 2M + 1 samples a (F at the line's points).
DehoogSum dehoogSum(int c, double t, double shift, const double2* a);

struct DehoogRecord {
  double f;
  double AbsErrPred;
  double RelErrPred;
  int TolFlag;
};

// The prediction from the sums of one time.
DehoogRecord dehoogPrediction(const DehoogSum (&sums)[kDehoogSets], double relErr);

// The device buffers of the method, kept from one call to the next.
struct DehoogBuffers {
  gpu::DeviceBuffer nodes;  // the line's points of a batch of times, then F there
  gpu::DeviceBuffer times;  // their times and shifts
};

// Times per device batch: their samples take kDehoogBatch * kDehoogRow * 16 bytes.
constexpr int kDehoogBatch = 32768;

// One record per time: shifts[i] is the line's shift (the abscissa the caller
// puts right of every singularity) for times[i], relErr[i] its request.
std::vector<DehoogRecord> wfnDehoog(StageContext& c, DehoogBuffers& buffers,
                                    const std::vector<double>& times,
                                    const std::vector<double>& shifts,
                                    const std::vector<double>& relErr);

// The method for the registry: the line's shift is the search's lowest sigma,
// or the caller's sigma of the time; sigma in the record is that shift, b 0,
// N the steps of set 0.
std::unique_ptr<InversionMethod> makeDehoogMethod(const SolverSettings& settings);

}  // namespace orvane
