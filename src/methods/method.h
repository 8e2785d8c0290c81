// The seam of an inversion method: the solver hands a method the times of a
// call that it is to invert, in the stage context of every method, and gets a
// record per time back. A method keeps its own buffers and whatever else it
// reuses from one call to the next; the registry makes one per solver.
#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "orvane/options.h"
#include "orvane/result.h"
#include "orvane/solver.h"
#include "stages/stage_context.h"

namespace orvane {

// The times of one call and what was asked for them. The method inverts the
// times t[which[k]] and returns their records in that order.
struct TimeBatch {
  const std::vector<double>& t;
  const Options& options;
  const std::vector<int>& which;
  // Hears of the times done, as (done, of all in `which`); none when empty.
  std::function<void(int, int)> progress;
  // The (sigma, b) the diagnostic lines show for each time of t where the
  // options search (the console's parameter file has them either way); null:
  // the options' pairs, or zeros.
  const std::vector<Pair>* shownPairs = nullptr;
  // Where positive, a search gives a time up after a resolution whose best
  // prediction is still above `hopeless` times its request and above 0.1
  // (auto's budget for times no method can meet: no digit right); 0: every
  // resolution.
  double hopeless = 0.0;
};

// A record replaces the stored one when its predicted relative error is
// strictly lower; a NaN never replaces a number, a number always replaces a NaN.
inline bool betterRecord(double RelErrPred, double BestRelErr) {
  if (std::isnan(RelErrPred)) return false;
  return std::isnan(BestRelErr) || BestRelErr > RelErrPred;
}

// The relative error of a value of modulus `modulus` with the absolute error
// E, as a bound on the error relative to the true value, whose modulus is at
// least modulus - E: E / (modulus - E) (E / modulus understated it where the
// value was too large: 1.108 for 1 with E = 0.108 came out at 0.0975); 0 for
// an exact zero (E = 0 where every sample of F is 0); infinite where E is not
// below the modulus (a zero value with any other error), and for an
// unbounded one.
inline double relativeError(double E, double modulus) {
  if (E == 0.0) return 0.0;
  return std::isfinite(E) && modulus > E ? E / (modulus - E) : INFINITY;
}

// The times of a batch as a method without a search of its own takes them:
// each time's shift (the search's lowest sigma, or the caller's sigma of the
// time, right of every singularity either way) and request.
struct ShiftedTimes {
  std::vector<double> t, shift, request;
};
inline ShiftedTimes shiftedTimes(const TimeBatch& batch) {
  const Options& o = batch.options;
  ShiftedTimes s;
  for (int i : batch.which) {
    const std::size_t k = std::size_t(i);
    s.t.push_back(batch.t[k]);
    s.shift.push_back(o.search() ? o.sigma_min : o.pair(k).sigma);
    s.request.push_back(o.request(k));
  }
  return s;
}

// What a method can tell of F right of a line Re s = sigma.
enum class Clearance {
  kUnknown,   // it cannot see there
  kClear,     // F is analytic there, as far as it can see
  kSingular,  // F has a singularity there (or values that are not finite)
};

class InversionMethod {
 public:
  virtual ~InversionMethod() = default;
  virtual std::vector<Result> invert(StageContext& c, const TimeBatch& batch) = 0;
  // An independent test of the assumption of the methods on a Bromwich line
  // or a Talbot contour: that F is analytic right of the line Re s = sigma,
  // just right of their shift (which may hold a pole: 1/s with the shift 0).
  // A method that cannot tell says kUnknown.
  virtual Clearance rightOf(StageContext&, double /*sigma*/, double /*shift*/) { return Clearance::kUnknown; }
  // Forgets what it kept that depends on the transform; called before each call.
  virtual void forget() {}
};

}  // namespace orvane
