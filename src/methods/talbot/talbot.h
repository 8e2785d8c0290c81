// Talbot's method: f(t) from F on an optimised Talbot contour shifted right of
// every singularity, for many times at once, with a predicted error of the
// same kind as the Weeks method's.
//
// Each time is summed with 24, 32, 48 and 64 nodes. The prediction of the sum
// with N_j nodes is
//   E_j = max(2 |f_j - f_(j+1)|, 32 eps size_j, 32 eps size_(j+1))
// (size: the sum of the terms' moduli, the scale of the round-off), raised to
// |f_j - f_k| for every larger contour k whose value differs from f_j by more
// than its own round-off (a pole only the larger contours enclose); the value
// kept is the f_j of least E_j among the neighbouring pairs in which neither
// sum saw F jump across the contour. Where no pair qualifies (a time
// at or below 0, a branch cut across every contour, values that are not
// finite) the errors are infinite and the flag says not met.
//
// What the difference of two sums cannot see: a singularity outside every
// contour (far up the imaginary axis at large t) changes all of them alike.
// The automatic choice therefore checks a Talbot value against the Weeks
// record of the same time before it may replace it.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "device/gpu_runtime.h"
#include "methods/method.h"
#include "stages/stage_context.h"
#include "methods/talbot/talbot_kernel.h"

namespace orvane {

struct TalbotRecord {
  double2 ft;
  double AbsErrPred;
  double RelErrPred;
  int TolFlag;  // 0: RelErrPred below the request
  int nodes;    // node count of the value kept (0: none qualified)
};

// The prediction from the sums of one time.
TalbotRecord talbotPrediction(const TalbotSum (&sums)[kTalbotCandidates], double relErr);

// Times per device batch: their nodes take kTalbotBatch * kTalbotRow * 16 bytes;
// the caller hears of the times done after each batch (a long call can be
// interrupted there).
constexpr int kTalbotBatch = 8192;

// The device buffers of the method, kept from one call to the next.
struct TalbotBuffers {
  gpu::DeviceBuffer nodes;  // the nodes of a batch of times, then F there
  gpu::DeviceBuffer times;  // their times and contour shifts
  gpu::DeviceBuffer sums;   // the sums of every node count
};

// One record per time: shifts[i] is the contour's shift for times[i], relErr[i]
// its request; all times in batches of kTalbotBatch, `progress` (when set)
// hearing of the times done after each. Throws Error as the other stages do
// when the device fails.
std::vector<TalbotRecord> wfnTalbot(StageContext& c, TalbotBuffers& buffers,
                                    const std::vector<double>& times,
                                    const std::vector<double>& shifts,
                                    const std::vector<double>& relErr,
                                    const std::function<void(int, int)>& progress = {});

// The record of a Talbot value: sigma is the contour's shift, b 0, N the node
// count of the value.
Result talbotResult(double t, double shift, const TalbotRecord& r);

// The method for the registry: the contour's shift is the search's lowest
// sigma, or the caller's sigma of the time.
std::unique_ptr<InversionMethod> makeTalbotMethod(const SolverSettings& settings);

}  // namespace orvane
