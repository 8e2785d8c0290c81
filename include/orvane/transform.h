// A transform F(s), as the engine asks for it: whole rows of weighted samples
// on the Weeks contour, and F at batches of points for the methods that sample
// elsewhere; never one call per element. Three ways to give one:
//   - a formula, compiled when the program runs: orvane::compile("1/(s+a)", {{"a", 1.0}});
//   - a functor compiled into the caller's program, with an ORVANE_HD call
//     operator on the working complex type (orvane::wcomplex: double2, float2
//     in a single-precision build), wrapped by FunctorTransform (Solver::invert
//     does that itself):
//       struct Exp { ORVANE_HD orvane::wcomplex operator()(orvane::wcomplex s) const; };
//   - a class known only by its values at points (a function of another
//     language, say), derived from PointTransform.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "orvane/config.h"
#include "orvane/detail/sampling.h"

namespace orvane {

class Transform {
 public:
  virtual ~Transform() = default;
  // Fills `devSamples` (device memory, rows.rowCount rows of rows.Nsamples
  // elements) with the weighted samples of the rows it names, in contour order.
  // Returns a GPU runtime status, 0 on success.
  virtual int sampleRows(const detail::SampleRows& rows, double2* devSamples) const = 0;
  // F at `count` points (device memory) into `devValues` (device memory,
  // which may be `devPoints` itself). Returns a GPU runtime status, 0 on success.
  virtual int evaluate(const double2* devPoints, long long count, double2* devValues) const = 0;
  // True for a transform that serves one call at a time at a fixed cost per
  // call (a function of an interpreter that holds a lock, say): the error grid
  // then asks it for whole chunks of rows from one thread, as on the CUDA
  // backend, instead of one row per call from every thread of the host
  // backend. The numbers are the same either way.
  virtual bool wantsWholeBatches() const { return false; }
};

// A transform given by evaluate() alone: the rows of the Weeks contour are
// filled by writing their points, evaluating F there in place, and weighting.
class PointTransform : public Transform {
 public:
  int sampleRows(const detail::SampleRows& rows, double2* devSamples) const override;
};

template <class F>
class FunctorTransform final : public Transform {
 public:
  explicit FunctorTransform(const F& f = F()) : f_(f) {}
  int sampleRows(const detail::SampleRows& rows, double2* devSamples) const override {
    return detail::launchSampling(f_, rows, devSamples);
  }
  int evaluate(const double2* devPoints, long long count, double2* devValues) const override {
    return detail::launchEvaluation(f_, devPoints, count, devValues);
  }
  const F& functor() const { return f_; }

 private:
  F f_;
};

// Real constants of a formula, by name.
typedef std::vector<std::pair<std::string, double>> Constants;

// The transform of a formula in s, as the command line's --expr takes it
// ("1/(s+a)^2", "exp(-sqrt(s))/s", ...), with `constants` as named real
// values in it. It is compiled on first use and kept in the per-user cache of
// compiled transforms. Throws Error(kParameters) for a formula that does not
// parse or compile, with the message naming the place.
std::unique_ptr<Transform> compile(const std::string& formula, const Constants& constants = {});

}  // namespace orvane
